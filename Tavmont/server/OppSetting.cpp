// The outbreak-prevention policy, client side: the policy file "zavuz.ini" fetched from the
// server, applied or lifted through the policy binding, the outcome told to the server and the
// policy's message shown to the user.
#include "Notification.h"

#include "Globals.h"
#include "IOTLib.h"
#include "LogTracker.h"
#include "OppPolicy.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "StringUtils.h"
#include "TavmontDlg.h"
#include "Updates.h"
#include "resource_ids.h"

#include <process.h>
#include <stdlib.h>
#include <string.h>

using namespace NS_Notification;

namespace
{
const char s_szPolicyFile[] = "zavuz.ini";
const char s_szRestoreFile[] = "ZavuzRestore.ini";
const char s_szSection[] = "SLF_PRODUCT_VIGILON_CE";
const int POPUP_TEXT_SIZE = 1024;

// The driver that operation 1 of the policy library started (and operation 2 may stop).
CRITICAL_SECTION* oppDriverLock()
{
    static CRITICAL_SECTION s_cs;
    static LONG s_nInit = 0;
    if (InterlockedExchange(&s_nInit, 1) == 0)
        ::InitializeCriticalSection(&s_cs);
    return &s_cs;
}
BOOL g_fOppStartedDriver = FALSE;

CString policyFile()
{
    return joinPath(NS_RegistryKey::GetApplicationPath(), s_szPolicyFile);
}

BOOL fileExists(const CString& strPath)
{
    return ::GetFileAttributesA(strPath) != INVALID_FILE_ATTRIBUTES;
}

int readEnable()
{
    CString strFile = policyFile();
    ::WritePrivateProfileStringA(NULL, NULL, NULL, strFile);
    return (int)::GetPrivateProfileIntA(s_szSection, "Enable", 0, strFile);
}

void deletePolicyFile(const char* pszTracePrefix)
{
    if (!::DeleteFileA(policyFile()))
        VGLTRACE(12, "%serror: delete ZaVuz.ini failed, error code: %lu", pszTracePrefix, ::GetLastError());
}

// The inputs of the policy library: program folder, policy file and trusted ports.
struct SOppInputs
{
    CString strApplicationPath;
    CString strPolicyFile;
    CString strTrustedPorts;
};

SOppInputs readInputs(const char* pszTracePrefix)
{
    SOppInputs inputs;
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
    {
        VGLTRACE(12, "%s the product key cannot be opened", pszTracePrefix);
        return inputs;
    }
    char szPath[MAX_PATH] = "";
    DWORD cb = sizeof(szPath), dwType = 0;
    if (::RegQueryValueExA(hKey, "Application Path", NULL, &dwType, (LPBYTE)szPath, &cb) == ERROR_SUCCESS)
        inputs.strApplicationPath = szPath;
    DWORD dwLocal = 0, dwServer = 0;
    cb = sizeof(DWORD);
    if (::RegQueryValueExA(hKey, "LocalServerPort", NULL, &dwType, (LPBYTE)&dwLocal, &cb) != ERROR_SUCCESS)
        dwLocal = 0;
    cb = sizeof(DWORD);
    if (::RegQueryValueExA(hKey, "ServerPort", NULL, &dwType, (LPBYTE)&dwServer, &cb) != ERROR_SUCCESS)
        dwServer = 0;
    ::RegCloseKey(hKey);
    inputs.strPolicyFile = inputs.strApplicationPath + s_szPolicyFile;
    if (dwServer != 0)
        inputs.strTrustedPorts.Format("%lu,%lu", dwLocal, dwServer);
    else
        inputs.strTrustedPorts.Format("%lu", dwLocal);
    VGLTRACE(3, "%s Application Path = %s", pszTracePrefix, (LPCSTR)inputs.strApplicationPath);
    VGLTRACE(3, "%s policy file = %s", pszTracePrefix, (LPCSTR)inputs.strPolicyFile);
    VGLTRACE(3, "%s trusted ports = %s", pszTracePrefix, (LPCSTR)inputs.strTrustedPorts);
    return inputs;
}

int applyPolicy(const SOppInputs& inputs)
{
    return ApplyOppPolicy(inputs.strPolicyFile, s_szSection, inputs.strApplicationPath, inputs.strTrustedPorts,
                          CheckTimeOutAndReportStatus, OppEngineCallback);
}

void report(int nOutcome, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    CAccBuffer reply;
    ReportOppResult(reply, fIntranet, fDisplayErrMsg, 1, nOutcome);
}

// A lifted policy had switched real-time scanning on; off again when the settings want it off.
void restoreRealTimeOff(const char* pszTracePrefix)
{
    if (NS_Configuration::GetRealTimeScanINI().m_fEnable)
        return;
    g_vexor.TurnOffRealTimeScan();
    if (g_pMainDlg != NULL)
        CTavmontDlg::UpdateTrayIcon();
    VGLTRACE(3, "%s Turn off real-time.", pszTracePrefix);
}

// After the library ran: the outcome reported, the file of a lifted policy removed.
void afterApply(int nEnable, int rc, BOOL fIntranet, BOOL fDisplayErrMsg, const char* pszPrefix)
{
    if (nEnable)
    {
        if (rc == OPP_APPLIED)
            VGLTRACE(3, "%s********** REPORT APPLY ZAVUZ nErr=%d!", pszPrefix, rc);
        else
        {
            report(2, fIntranet, fDisplayErrMsg);
            VGLTRACE(12, "%s********** apply failed nErr=%d!", pszPrefix, rc);
        }
    }
    else if (rc == OPP_APPLIED)
    {
        VGLTRACE(3, "%s delete ZaVuz.ini..", pszPrefix);
        deletePolicyFile(pszPrefix);
        VGLTRACE(3, "%s********** REPORT RESTORE ZAVUZ nErr=%d!", pszPrefix, rc);
    }
    else
    {
        report(2, fIntranet, fDisplayErrMsg);
        VGLTRACE(12, "%s********** apply failed nErr=%d!", pszPrefix, rc);
    }
    if (!nEnable)
        restoreRealTimeOff(pszPrefix);
}

BOOL oppRequest(CAccBuffer& reply, const CString& strObject, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    reply.Reset();
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::AlertMessage, fIntranet);
    CString strError;
    BOOL fSuccess = ConnectServer(reply, urlEncode(strObject), &timeouts, NULL, NULL, ConnectCancelCallback, NULL,
                                  fIntranet, &strError);
    if (!fSuccess && fDisplayErrMsg && !IsCanceled(fIntranet))
        ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
    return fSuccess;
}

unsigned __stdcall popupThread(void* pv)
{
    char* pszBlock = (char*)pv;
    char* pszText = pszBlock;
    convertEscapedLineBreaks(&pszText, pszBlock);
    CString strCaption;
    strCaption.LoadString(IDS_OPP_POPUP_CAPTION);
    VGLTRACE(3, "[showOppPopup] %s", pszText);
    ::MessageBoxA(NULL, pszText, strCaption, MB_OK | MB_TOPMOST);
    if (pszText != pszBlock)
        free(pszText);
    free(pszBlock);
    return 0;
}
}

namespace NS_Notification
{
BOOL GetOppSetting(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fChkDatabase)
{
    CString strObject;
    strObject.Format("%s?UID=%s&RELEASE=%s&oppActivate=0%s", (LPCSTR)NS_RegistryKey::GetCgiOnZavuzResult(),
                     (LPCSTR)NS_RegistryKey::GetGUID(), (LPCSTR)NS_RegistryKey::GetProgramVersion(),
                     fChkDatabase ? "&chkDatabase=1" : "");
    return oppRequest(reply, strObject, fIntranet, fDisplayErrMsg);
}

BOOL ReportOppResult(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg, BOOL, int nOppActivate)
{
    CString strObject;
    strObject.Format("%s?UID=%s&RELEASE=%s&oppActivate=%d", (LPCSTR)NS_RegistryKey::GetCgiOnZavuzResult(),
                     (LPCSTR)NS_RegistryKey::GetGUID(), (LPCSTR)NS_RegistryKey::GetProgramVersion(), nOppActivate);
    return oppRequest(reply, strObject, fIntranet, fDisplayErrMsg);
}

BOOL IsOppFirstTimeReport()
{
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetCurrentVersionKeyName(), 0, KEY_ALL_ACCESS, &hKey) !=
        ERROR_SUCCESS)
        return FALSE;
    DWORD dwValue = 0, cb = sizeof(dwValue), dwType = 0;
    BOOL fFirst = ::RegQueryValueExA(hKey, "OppFirstTimeReportCheck", NULL, &dwType, (LPBYTE)&dwValue, &cb) !=
                  ERROR_SUCCESS;
    if (fFirst)
    {
        dwValue = 0;
        ::RegSetValueExA(hKey, "OppFirstTimeReportCheck", 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
    }
    ::RegCloseKey(hKey);
    return fFirst;
}
}

void convertEscapedLineBreaks(char** ppszOut, const char* pszText)
{
    if (ppszOut == NULL || pszText == NULL || strchr(pszText, '\\') == NULL)
        return;
    size_t nLength = strlen(pszText);
    char* pszOut = (char*)calloc(2 * nLength + 2, 1);
    if (pszOut == NULL)
        return;
    int nWide = ::MultiByteToWideChar(CP_ACP, MB_COMPOSITE, pszText, -1, NULL, 0);
    WCHAR* pwsz = nWide > 0 ? (WCHAR*)calloc((size_t)nWide + 1, sizeof(WCHAR)) : NULL;
    if (pwsz == NULL || ::MultiByteToWideChar(CP_ACP, MB_COMPOSITE, pszText, -1, pwsz, nWide) == 0)
    {
        free(pwsz);
        lstrcpynA(pszOut, pszText, (int)(2 * nLength + 2));
        *ppszOut = pszOut;
        return;
    }
    WCHAR* pTo = pwsz;
    for (const WCHAR* pFrom = pwsz; *pFrom != 0; ++pFrom)
    {
        if (pFrom[0] == L'\\' && (pFrom[1] == L'n' || pFrom[1] == L'r'))
        {
            *pTo++ = pFrom[1] == L'n' ? L'\n' : L'\r';
            ++pFrom;
        }
        else
        {
            *pTo++ = *pFrom;
        }
    }
    *pTo = 0;
    ::WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, pwsz, -1, pszOut, (int)(2 * nLength + 2), NULL, NULL);
    free(pwsz);
    *ppszOut = pszOut;
}

void showOppPopup(BOOL fActivate)
{
    CString strFile = policyFile();
    if (::GetPrivateProfileIntA(s_szSection, fActivate ? "ActivateOppPopup" : "RestoreOppPopup", 0, strFile) != 1)
        return;
    char* pszBlock = (char*)calloc(POPUP_TEXT_SIZE, 1);
    if (pszBlock == NULL)
        return;
    ::GetPrivateProfileStringA(s_szSection, fActivate ? "ActivateOppPopupMessage" : "RestoreOppPopupMessage", "",
                               pszBlock, POPUP_TEXT_SIZE, strFile);
    if (*pszBlock == '\0')
    {
        VGLTRACE(12, fActivate ? "[KSX95 StartUp Zavuz-PopupOppMessageBox] Error: can't get activate message! "
                               : "[KSX95 StartUp Zavuz-PopupOppMessageBox] Error: can't get Restore message! ");
        free(pszBlock);
        return;
    }
    uintptr_t hThread = _beginthreadex(NULL, 0, popupThread, pszBlock, 0, NULL);
    if (hThread == 0)
        free(pszBlock);
    else
        ::CloseHandle((HANDLE)hThread);
}

int OppEngineCallback(int nOperation, void* pvArgument)
{
    VGLTRACE(3, "OppEngineCallback(%d)", nOperation);
    switch (nOperation)
    {
    case 1:
    {
        ::EnterCriticalSection(oppDriverLock());
        int nResult = 0;
        BOOL fStarted = IOT_StartMode(&nResult, NULL, NULL, (LPCSTR)pvArgument, 2);
        BOOL fOwn = fStarted && ::GetLastError() != IOT_ERR_ALREADY_OPEN;
        if (fOwn)
            g_fOppStartedDriver = TRUE;
        ::LeaveCriticalSection(oppDriverLock());
        VGLTRACE(3, "    IOT_StartMode -> %d (%s)", fStarted, fOwn ? "started for the policy" : "already open");
        return fStarted;
    }
    case 2:
    {
        ::EnterCriticalSection(oppDriverLock());
        BOOL fResult = TRUE;
        if (g_fOppStartedDriver)
        {
            g_fOppStartedDriver = FALSE;
            fResult = IOT_Stop();
            VGLTRACE(3, "    IOT_Stop -> %d", fResult);
        }
        else
        {
            VGLTRACE(3, "    the driver stays open: the policy did not start it");
        }
        ::LeaveCriticalSection(oppDriverLock());
        return fResult;
    }
    case 3:
        return IOT_OppCommand3((LPCSTR)pvArgument);
    case 4:
        return IOT_OppCommand4((LPCSTR)pvArgument);
    case 5:
        return IOT_OppCommand5((LPCSTR)pvArgument);
    case 6:
        return IOT_OppCommand6((LPCSTR)pvArgument);
    case 7:
        return IOT_OppCommand7((LPCSTR)pvArgument);
    default:
        return 0;
    }
}

void CheckTimeOutAndReportStatus(DWORD* pdwStatus)
{
    DWORD dwStatus = pdwStatus != NULL ? *pdwStatus : 0;
    VGLTRACE(3, " ************* CALLBACK: dwStatus = %d", (int)dwStatus);
    if (dwStatus != OPP_STATUS_EXPIRED)
        return;
    VGLTRACE(3, " ************* CALLBACK: global timeout!");
    showOppPopup(FALSE);
    VGLTRACE(3, "delete ZaVuz.ini..");
    deletePolicyFile("");
    VGLTRACE(3, "********** REPORT RESTORE ZAVUZ ! ");
    report(2, TRUE, FALSE);
    restoreRealTimeOff("[CheckTimeOutAndReportStatus(...)]");
}

BOOL UpdateOPPSetting(BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fApply, BOOL* pfFetched)
{
    VGLTRACE(3, "UpdateOPPSetting(fIntranet = %d, fApply = %d)", fIntranet, fApply);
    CAccBuffer reply;
    if (!GetOppSetting(reply, fIntranet, fDisplayErrMsg, fApply))
    {
        VGLTRACE(12, "[NSG_NEW_OPP_SETTING] ************ ZavuzSettingFile retrieve fail");
        if (pfFetched != NULL)
            *pfFetched = FALSE;
        return FALSE;
    }
    if (pfFetched != NULL)
        *pfFetched = TRUE;
    if (reply.GetLength() == 2)
    {
        VGLTRACE(3, "[UpdateOPPSetting] Do not need to apply OPP setting or have CGI error");
        return FALSE;
    }
    CString strText;
    reply.GetString(strText);
    CString strFile = policyFile();
    if (strText.IsEmpty() || !WriteBufferToFile(strFile, strText))
    {
        VGLTRACE(12, "[NSG_NEW_OPP_SETTING] ************ ZavuzSettingFile Save fail");
        return FALSE;
    }
    if (!fileExists(strFile))
    {
        VGLTRACE(12, "[UpdateOPPSetting] ZaVuz.ini is not exist!");
        return FALSE;
    }
    int nEnable = readEnable();
    VGLTRACE(3, "[NSG_NEW_OPP_SETTING] ************ Zavuz Enable is %d", nEnable);
    if (nEnable == 0 && !fileExists(joinPath(NS_RegistryKey::GetApplicationPath(), s_szRestoreFile)))
    {
        VGLTRACE(3, "[NSG_NEW_OPP_SETTING] *****Delete Zavuz.ini(%s) ,but ZavuzRestoreIniFile not exist",
                 (LPCSTR)strFile);
        deletePolicyFile("");
        return FALSE;
    }
    if (nEnable)
        VGLTRACE(3, "[NSG_NEW_OPP_SETTING] ************ REPORT APPLY ZAVUZ");
    else
        VGLTRACE(3, "[NSG_NEW_OPP_SETTING]********** REPORT Restore ZAVUZ!");
    report(nEnable ? 1 : 2, fIntranet, fDisplayErrMsg);

    SOppInputs inputs = readInputs("[NSG_NEW_OPP_SETTING]");
    int rc = applyPolicy(inputs);
    VGLTRACE(3, "[NSG_NEW_OPP_SETTING] ApplyOppPolicy -> %d", rc);
    if (rc > 0)
        showOppPopup(nEnable);
    afterApply(nEnable, rc, fIntranet, fDisplayErrMsg, "[NSG_NEW_OPP_SETTING]");
    return TRUE;
}

void StartUpOPPSetting()
{
    VGLTRACE(1, "--> StartUpOPPSetting()");
    CString strFile = policyFile();
    if (!fileExists(strFile))
    {
        VGLTRACE(3, "[KSX95 StartUp Zavuz] no policy file %s", (LPCSTR)strFile);
        return;
    }
    int nEnable = readEnable();
    BOOL fFirst = IsOppFirstTimeReport();
    if (nEnable == 0 && !fileExists(joinPath(NS_RegistryKey::GetApplicationPath(), s_szRestoreFile)))
    {
        VGLTRACE(3, "[KSX95 StartUp Zavuz] no policy in force, the policy file is deleted");
        deletePolicyFile("[KSX95 StartUp Zavuz] ");
        return;
    }
    SOppInputs inputs = readInputs("[KSX95 StartUp Zavuz]");
    int rc = applyPolicy(inputs);
    VGLTRACE(3, "[KSX95 StartUp Zavuz] ApplyOppPolicy -> %d, Enable = %d, first = %d", rc, nEnable, fFirst);
    if (fFirst && nEnable == 1)
        report(1, TRUE, FALSE);
    else if (nEnable == 0)
        report(2, TRUE, FALSE);
    if (fFirst && rc > 0)
        showOppPopup(nEnable);
    afterApply(nEnable, rc, TRUE, FALSE, "[KSX95 StartUp Zavuz]");
}
