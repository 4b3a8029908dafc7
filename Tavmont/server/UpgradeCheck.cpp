// The periodic upgrade check: the server's client settings and schedule, the global settings,
// scan settings and alert message, the pending virus logs and, when the server permits
// scheduled updates, the update of whatever the server has newer.
#include "Notification.h"

#include "LogTracker.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "TavmontApp.h"
#include "Updates.h"
#include "Utils_RegKey.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

using namespace NS_Notification;

namespace
{
const long MAX_SCHEDULE_HOURS = 8760;
const long MAX_SCHEDULE_MINUTES = 525600;

CString scheduleToSeconds(const char* pszValue, long nMaximum, long nFactor)
{
    CString strValue = pszValue != NULL ? pszValue : "";
    strValue.TrimLeft();
    strValue.TrimRight();
    if (strValue.IsEmpty())
        return strValue;
    long n = atol(strValue);
    if (n > nMaximum)
        n = nMaximum;
    CString strSeconds;
    strSeconds.Format("%ld", n * nFactor);
    return strSeconds;
}

// Replaces the entry's value by the text (the entry keeps its own copy).
void replaceEntryValue(SINIEntry& entry, const CString& strText)
{
    if (entry.m_pszValue == NULL)
        return;
    lstrcpynA(entry.m_szBuffer, strText, sizeof(entry.m_szBuffer));
    entry.m_pszValue = entry.m_szBuffer;
}

const char* criticalValue(const char* pszName)
{
    SINIEntry* pEntry = findIniEntry(g_iniCriticalSection, INI_CRITICAL_SECTION_KEYS, pszName);
    return pEntry != NULL ? pEntry->m_pszValue : NULL;
}

const char* textOf(const char* psz)
{
    return psz != NULL ? psz : "";
}
}

CString scheduleHoursToSeconds(const char* pszHours)
{
    return scheduleToSeconds(pszHours, MAX_SCHEDULE_HOURS, 3600);
}

CString scheduleMinutesToSeconds(const char* pszMinutes)
{
    return scheduleToSeconds(pszMinutes, MAX_SCHEDULE_MINUTES, 60);
}

int GetScheduleUpdateIniValue(int idx)
{
    if (idx < 0 || idx >= INI_SCHEDULE_SECTION_KEYS)
    {
        VGLTRACE(12, "GetScheduleUpdateIniValue idx=%d out of range", idx);
        return -1;
    }
    const char* pszValue = g_iniScheduleSection[idx].m_pszValue;
    if (pszValue == NULL || *pszValue == '\0')
        return -1;
    return atoi(pszValue);
}

const char* GetServerIniValue(int idx)
{
    if (idx < 0 || idx > INI_CRITICAL_SECTION_KEYS)
    {
        VGLTRACE(12, "GetServerIniValue idx=%d out of range", idx);
        return NULL;
    }
    if (idx == 0)
        return NULL;
    return g_iniCriticalSection[idx - 1].m_pszValue;
}

BOOL writeScheduleUpdateValues()
{
    CString strKey;
    strKey.Format("%s\\%s", NS_RegistryKey::GetCurrentVersionKeyName(), NS_RegistryKey::GetScheduleUpdateKeyName());
    HKEY hKey = NULL;
    LONG lRet = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey, 0, KEY_ALL_ACCESS, &hKey);
    if (lRet != ERROR_SUCCESS)
    {
        VGLTRACE(12, "RegOpenKeyEx \"%s\" failed. lRet = %d)", (LPCSTR)strKey, (int)lRet);
        return FALSE;
    }
    for (int i = 0; i < INI_SCHEDULE_SECTION_KEYS; ++i)
    {
        CString strValue = textOf(g_iniScheduleSection[i].m_pszValue);
        strValue.TrimLeft();
        strValue.TrimRight();
        if (strValue.IsEmpty())
        {
            VGLTRACE(3, "%s is Empty", g_iniScheduleSection[i].m_pszName);
            continue;
        }
        VGLTRACE(3, "writeKeyDword %s = %s", g_iniScheduleSection[i].m_pszName, (LPCSTR)strValue);
        setRegistryDword(hKey, g_iniScheduleSection[i].m_pszName, (DWORD)atoi(strValue));
    }
    ::RegCloseKey(hKey);
    return TRUE;
}

namespace NS_Notification
{
void CheckUpgrade(BYTE flags[2])
{
    flags[0] = flags[1] = 0;
    int nPattern = 0;
    DWORD dwVersion = 0;
    if (!GetPatternVersion(&dwVersion, &nPattern))
    {
        VGLTRACE(12, "GetPatternVersion Failed.");
        nPattern = 0;
    }
    const char* pszPattern = criticalValue("Ptnfile_Version");
    if (nPattern < atoi(textOf(pszPattern)))
        flags[0] |= 0x01;
    const char* pszEngine = criticalValue("Engine95_Version");
    if (pszEngine != NULL && IsLastEngineUpdateVersionNewer(pszEngine))
        flags[0] |= 0x10;
    const char* pszProgram = criticalValue("Ksx95_Version");
    if (pszProgram != NULL && IsProgramVersionNewer(pszProgram, NULL))
        flags[1] |= 0x01;
    const char* pszHotFix = criticalValue("HotFIX");
    if (pszHotFix != NULL && strlen(pszHotFix) > 13 && isAllDigits(pszHotFix) && HasNewerHotFix(pszHotFix))
        flags[1] |= 0x10;
}

BOOL TryUpgrade(CTavmontDlg* pMainWnd, BOOL fForced, BOOL fIniOnly)
{
    VGLTRACE(1, "--> NS_Notification::TryUpgrade(fForced = %d, fIniOnly = %d)", fForced, fIniOnly);
    BOOL fSettingsOnly = (BYTE)fIniOnly == 1;
    BOOL fForce = (BYTE)fForced != 0;
    if (!fSettingsOnly)
    {
        VGLTRACE(3, "------ try to deploy ZaVUZ ------");
        ::EnterCriticalSection(&g_csOutbreakPolicy);
        try
        {
            UpdateOPPSetting(TRUE, FALSE, TRUE, NULL);
        }
        catch (...)
        {
            VGLTRACE(13, "Exception(...) in UpdateOPPSetting()");
        }
        ::LeaveCriticalSection(&g_csOutbreakPolicy);
    }

    CAccBuffer reply;
    if (!GetServerIni(reply, TRUE, FALSE, 0))
    {
        if (!fSettingsOnly && NS_RegistryKey::GetAllowUpdateFromKVNF())
        {
            VGLTRACE(3, "[TryUpgrade] Direct Update Pattern/Engine from KVNF");
            ::EnterCriticalSection(&g_csUpgrade);
            DirectUpdatePatternEngine(pMainWnd, TRUE, FALSE, NULL, NULL, NULL, NULL);
            ::LeaveCriticalSection(&g_csUpgrade);
        }
        VGLTRACE(12, "call GetServerIni failed.");
        return FALSE;
    }
    CString strServerIni;
    reply.GetString(strServerIni);
    if (strServerIni.IsEmpty())
    {
        VGLTRACE(12, "strServerIni is empty!");
        return FALSE;
    }
    {
        CSingleLock lock(&g_csIniTable, TRUE);
        if (!RenewIniTable(strServerIni, g_iniCriticalSection, INI_CRITICAL_SECTION_KEYS, "\n",
                           "[INI_CRITICAL_SECTION]"))
        {
            VGLTRACE(12, "RenewIniTable failed!");
            return FALSE;
        }
        int nSchedule = strServerIni.Find("[INI_SCHEDULE_SECTION]");
        if (nSchedule < 0 || !RenewIniTable(strServerIni.Mid(nSchedule), g_iniScheduleSection,
                                            INI_SCHEDULE_SECTION_KEYS, "\n", "[INI_SCHEDULE_SECTION]"))
        {
            VGLTRACE(12, "RenewIniTable %s failed!", "[INI_SCHEDULE_SECTION]");
            return FALSE;
        }
        VGLTRACE(3, "Pattern: %s", textOf(criticalValue("Ptnfile_Version")));
        VGLTRACE(3, "Engine: %s", textOf(criticalValue("Engine95_Version")));
        VGLTRACE(3, "Program: %s", textOf(criticalValue("Ksx95_Version")));
        VGLTRACE(3, "HotFix: %s", textOf(criticalValue("HotFIX")));
        replaceEntryValue(g_iniScheduleSection[SCHEDULE_INI_CHECK_GLOBAL_SETTING],
                          scheduleHoursToSeconds(g_iniScheduleSection[SCHEDULE_INI_CHECK_GLOBAL_SETTING].m_pszValue));
        replaceEntryValue(g_iniScheduleSection[SCHEDULE_INI_UPDATE_INTERVAL],
                          scheduleMinutesToSeconds(g_iniScheduleSection[SCHEDULE_INI_UPDATE_INTERVAL].m_pszValue));
        VGLTRACE(3, "ForceUpdate: %s sec.", textOf(g_iniScheduleSection[SCHEDULE_INI_CHECK_GLOBAL_SETTING].m_pszValue));
        VGLTRACE(3, "Interval: %s sec.", textOf(g_iniScheduleSection[SCHEDULE_INI_UPDATE_INTERVAL].m_pszValue));
        VGLTRACE(3, "Permission: %s", textOf(criticalValue("AllowScheduleUpdate")));
        ApplyClientSetup(pMainWnd, TRUE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
        writeScheduleUpdateValues();
    }

    VGLTRACE(3, "------ cgiRqINI type=1 Advanced Setting ------");
    UpdateGlobalSettingsEx(pMainWnd, TRUE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
    VGLTRACE(3, "------ cgiRqCfg type=CONFIG_ALL ------");
    NS_Configuration::ReadProfileSettingFromServer(TRUE, TRUE, FALSE);
    VGLTRACE(3, "------ cgiRqAlertMsg Get alert.msg------");
    UpdateAlertMessage(TRUE, TRUE, FALSE);
    if (fSettingsOnly)
    {
        VGLTRACE(2, "<-- NS_Notification::TryUpgrade(), settings only");
        return TRUE;
    }

    VGLTRACE(3, "------ Send Virus Log ------");
    SSyncSendContext context = {TRUE, 0, 0, NULL, NULL, NULL};
    VirusLogThread(&context);
    UnsentVirusLogThread(&context);

    CString strPermission;
    {
        CSingleLock lock(&g_csIniTable, TRUE);
        strPermission = textOf(criticalValue("AllowScheduleUpdate"));
    }
    if (fForce || strPermission == "1")
    {
        BYTE flags[2];
        {
            CSingleLock lock(&g_csIniTable, TRUE);
            CheckUpgrade(flags);
        }
        if (flags[0] & 0x01)
            VGLTRACE(3, "Pattern need to upgrade");
        if (flags[0] & 0x10)
            VGLTRACE(3, "Engine need to upgrade");
        if (flags[1] & 0x01)
            VGLTRACE(3, "Program need to upgrade");
        if (flags[1] & 0x10)
            VGLTRACE(3, "Need to do HOTFIX");
        if (flags[0] != 0 || flags[1] != 0)
            UpdateNewSettings(pMainWnd, FALSE, TRUE, TRUE, FALSE, NULL, NULL, NULL, NULL, NULL);
    }
    else
    {
        VGLTRACE(3, "Do not have permission to do schedule update");
    }
    VGLTRACE(2, "<-- NS_Notification::TryUpgrade(), TRUE");
    return TRUE;
}
}
