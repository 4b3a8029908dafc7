// The global scan-setting objects and their start-up from the registry.
#include "ServerSettings.h"
#include "SettingsLock.h"

#include "AccBuffer.h"
#include "Configuration.h"
#include "ConnectServer.h"
#include "DatabaseAccess.h"
#include "DatabaseScanCfg.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "resource_ids.h"

#include <typeinfo>

CManualScanINI g_ManualScanINI;
CRealTimeScanINI g_RealTimeScanINI;
CScheduleScanINI g_ScheduleScanINI;
CExclusionFileINI g_ExclusionFileINI;
CRemoteScanINI g_RemoteScanINI;

namespace NS_Configuration
{
// The temporary file of the last settings fetched from the server; empty until a fetch.
CString g_strTempSettingsINI;

CManualScanINI& GetManualScanINI() { return g_ManualScanINI; }
CRealTimeScanINI& GetRealTimeScanINI() { return g_RealTimeScanINI; }
CScheduleScanINI& GetScheduleScanINI() { return g_ScheduleScanINI; }
CRemoteScanINI& GetRemoteScanINI() { return g_RemoteScanINI; }
CExclusionFileINI& GetExclusionFileINI() { return g_ExclusionFileINI; }
CCommonScanINI& GetManualScanINIBase() { return g_ManualScanINI; }
CCommonScanINI& GetRealTimeScanINIBase() { return g_RealTimeScanINI; }
CCommonScanINI& GetScheduleScanINIBase() { return g_ScheduleScanINI; }
CExclusionFileINI& GetExclusionFileINIBase() { return g_ExclusionFileINI; }
CString GetTempSettingsFile() { return g_strTempSettingsINI; }

namespace
{
// The global settings are read and written in place under their lock: other threads copy them.
template <class T> void ReadLocked(T& global, LPCSTR pszKey)
{
    CSettingsLock lock(&global);
    global.ReadRegistry(pszKey, HKEY_LOCAL_MACHINE);
}

template <class T> void WriteLocked(T& global, LPCSTR pszKey)
{
    CSettingsLock lock(&global);
    global.WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
}
}

void ReadProfileSettings()
{
    LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
    ReadLocked(g_ManualScanINI, pszKey);
    ReadLocked(g_RealTimeScanINI, pszKey);
    ReadLocked(g_ScheduleScanINI, pszKey);
    ReadLocked(g_ExclusionFileINI, pszKey);
    ReadLocked(g_RemoteScanINI, pszKey);
}

namespace
{
// Whether the file carries any value in the section.
BOOL HasSection(LPCSTR pszSection, LPCSTR pszIniFile)
{
    char szKeys[64] = "";
    return ::GetPrivateProfileStringA(pszSection, NULL, "", szKeys, sizeof(szKeys), pszIniFile) > 0;
}

// A scan settings object reads the file only when its section is there; without the global
// settings it keeps its own global values.
void ReadScanIni(CCommonScanINI& ini, LPCSTR pszIniFile)
{
    if (!HasSection(ini.GetSection(), pszIniFile))
    {
        VGLTRACE(3, "    [%s] is not in %s: kept", ini.GetSection(), pszIniFile);
        return;
    }
    BOOL fGlobal = HasSection(g_pszGlobalSettingSection, pszIniFile);
    CSettingsLock lock(&ini);
    int nCompressedFileCount = ini.m_nCompressedFileCount;
    BOOL fZipCleanOnOff = ini.m_fZipCleanOnOff;
    int nOleLayer = ini.m_nOleLayer;
    int nMaximumExtractFileSize = ini.m_nMaximumExtractFileSize;
    BOOL fPopupVirusFoundOnOff = ini.m_fPopupVirusFoundOnOff;
    ini.ReadIniFile(pszIniFile);
    if (!fGlobal)
    {
        ini.m_nCompressedFileCount = nCompressedFileCount;
        ini.m_fZipCleanOnOff = fZipCleanOnOff;
        ini.m_nOleLayer = nOleLayer;
        ini.m_nMaximumExtractFileSize = nMaximumExtractFileSize;
        ini.m_fPopupVirusFoundOnOff = fPopupVirusFoundOnOff;
    }
}

void ReadExclusionIni(CExclusionFileINI& ini, LPCSTR pszIniFile)
{
    if (!HasSection(ini.m_pszSection, pszIniFile))
    {
        VGLTRACE(3, "    [%s] is not in %s: kept", ini.m_pszSection, pszIniFile);
        return;
    }
    CSettingsLock lock(&ini);
    ini.ReadIniFile(pszIniFile);
}

// The class library's exception as its error text.
CString ErrorText(CException* e)
{
    char szError[260] = "";
    e->GetErrorMessage(szError, sizeof(szError));
    return szError;
}
}

void ReadProfileSettings(LPCSTR pszIniFile)
{
    ReadScanIni(g_ManualScanINI, pszIniFile);
    ReadScanIni(g_RealTimeScanINI, pszIniFile);
    ReadScanIni(g_ScheduleScanINI, pszIniFile);
    ReadExclusionIni(g_ExclusionFileINI, pszIniFile);
    ReadScanIni(g_RemoteScanINI, pszIniFile);
}

void ReadProfileSettingKind(EVENT nEvent, LPCSTR pszIniFile)
{
    LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
    CCommonScanINI* pScan = NULL;
    switch (nEvent)
    {
    case CONFIG_MANUAL_SCAN:
        pScan = &g_ManualScanINI;
        break;
    case CONFIG_REALTIME_SCAN:
        pScan = &g_RealTimeScanINI;
        break;
    case CONFIG_SCHEDULE_SCAN:
        pScan = &g_ScheduleScanINI;
        break;
    case CONFIG_SCAN_NOW:
        pScan = &g_RemoteScanINI;
        break;
    case CONFIG_EXCLUSION:
    {
        CSettingsLock lock(&g_ExclusionFileINI);
        ReadExclusionIni(g_ExclusionFileINI, pszIniFile);
        g_ExclusionFileINI.WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
        return;
    }
    default:
        return;
    }
    CSettingsLock lock(pScan);
    ReadScanIni(*pScan, pszIniFile);
    pScan->WriteRegistry(pszKey, HKEY_LOCAL_MACHINE);
}

void WriteProfileSettings()
{
    LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
    WriteLocked(g_ManualScanINI, pszKey);
    WriteLocked(g_RealTimeScanINI, pszKey);
    WriteLocked(g_ScheduleScanINI, pszKey);
    WriteLocked(g_ExclusionFileINI, pszKey);
    WriteLocked(g_RemoteScanINI, pszKey);
}

BOOL GetIni(LPCSTR pszINIFile, EVENT nEvent, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, NS_Configuration::EVENT nEvent = %d, "
                "BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d)",
             pszINIFile, nEvent, fIntranet, fDisplayErrMsg);
    BOOL fSuccess = FALSE;
    CString strError;
    try
    {
        if (NS_RegistryKey::IsHttpBased())
        {
            CString strQuery;
            strQuery.Format("%s?UID=%s&EVENT=%d", (LPCSTR)NS_RegistryKey::GetCgiOnRequestConfiguration(),
                            (LPCSTR)NS_RegistryKey::GetGUID(), (int)nEvent);
            strQuery = urlEncode(strQuery);
            NS_RegistryKey::STimeout timeouts;
            NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::cgiRqCfg, fIntranet);
            CAccBuffer reply;
            BOOL fSent = NS_Notification::ConnectServer(reply, strQuery, &timeouts, NULL, NULL, NULL, NULL,
                                                        fIntranet, &strError);
            if (NS_Notification::IsCanceled(fIntranet))
            {
                VGLTRACE(12, "NS_Configuration::GetIni(): cancelled");
                VGLTRACE(2, "<-- NS_Configuration::GetIni(...) = 0");
                return FALSE;
            }
            if (!fSent)
            {
                VGLTRACE(12, "NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, NS_Configuration::EVENT nEvent = %d, "
                             "BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d): %s",
                         pszINIFile, nEvent, fIntranet, fDisplayErrMsg, (LPCSTR)strError);
                if (fDisplayErrMsg)
                    ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
            }
            else
            {
                int nCode = GetIniReturnCode(reply, 0);
                if (nCode != 0 || reply.GetLength() == 0)
                    throw CCgiIniException(nCode);
                reply.Write(pszINIFile);
                fSuccess = TRUE;
            }
        }
        else
        {
            fSuccess = NS_DataBase::GetIni(pszINIFile, nEvent);
        }
    }
    catch (CException* e)
    {
        VGLTRACE(10, "CException = %s, NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, "
                     "NS_Configuration::EVENT nEvent = %d, BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d)",
                 (LPCSTR)ErrorText(e), pszINIFile, nEvent, fIntranet, fDisplayErrMsg);
        if (fDisplayErrMsg)
            e->ReportError(MB_ICONSTOP);
        e->Delete();
    }
    catch (CInternetStatusException& e)
    {
        CString strStatus;
        NS_Notification::GetInternetStatusText(e.GetStatus(), strStatus);
        VGLTRACE(10, "CInternetStatusException = %s, NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, "
                     "NS_Configuration::EVENT nEvent = %d, BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d)",
                 (LPCSTR)strStatus, pszINIFile, nEvent, fIntranet, fDisplayErrMsg);
        if (fDisplayErrMsg && e.GetStatus() != 0)
            ::MessageBoxA(NULL, strStatus, NULL, MB_OK | MB_ICONSTOP);
    }
    catch (CCgiIniException& e)
    {
        VGLTRACE(10, "CCgiIniException = %d, NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, "
                     "NS_Configuration::EVENT nEvent = %d, BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d)",
                 e.GetCode(), pszINIFile, nEvent, fIntranet, fDisplayErrMsg);
        if (fDisplayErrMsg)
        {
            CString strCode, strFormat, strText;
            strFormat.LoadString(IDS_CGI_INI_CODE);
            strCode.Format(strFormat, e.GetCode());
            strFormat.LoadString(IDS_CGI_INI_FAILED);
            strText.Format(strFormat, (LPCSTR)strCode);
            ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
        }
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, "
                     "NS_Configuration::EVENT nEvent = %d, BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d)",
                 (LPCSTR)e.ToString(), pszINIFile, nEvent, fIntranet, fDisplayErrMsg);
        if (fDisplayErrMsg)
        {
            CString strText;
            LPSTR pszSystem = e.GetSystemMessage();
            strText.Format("(0x%X) %s", (unsigned)e.GetErrorCode(), pszSystem ? pszSystem : "");
            if (pszSystem != NULL)
                ::LocalFree(pszSystem);
            ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
        }
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, "
                     "NS_Configuration::EVENT nEvent = %d, BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d)",
                 pszINIFile, nEvent, fIntranet, fDisplayErrMsg);
    }
    VGLTRACE(2, "<-- NS_Configuration::GetIni(const TCHAR* pszINIFile = %s, NS_Configuration::EVENT nEvent = %d, "
                "BOOL fIntranet = %d, BOOL fDisplayErrMsg = %d) = %d",
             pszINIFile, nEvent, fIntranet, fDisplayErrMsg, fSuccess);
    return fSuccess;
}

BOOL ReadProfileSettingFromServer(BOOL fFromServer, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Configuration::ReadProfileSettingFromServer(BOOL fFromServer = %d, BOOL fIntranet = %d, "
                "BOOL fDisplayErrMsg = %d)",
             fFromServer, fIntranet, fDisplayErrMsg);
    if (!fFromServer)
    {
        ReadProfileSettings();
        return FALSE;
    }
    BOOL fResult = FALSE;
    try
    {
        if (g_strTempSettingsINI.IsEmpty() || !isFileExist(g_strTempSettingsINI))
        {
            char szFolder[MAX_PATH] = "", szFile[MAX_PATH] = "";
            if (!::GetTempPathA(sizeof(szFolder), szFolder) || !::GetTempFileNameA(szFolder, "vgl", 0, szFile))
                THROW_SYSTEM_ERROR(::GetLastError());
            g_strTempSettingsINI = szFile;
            VGLTRACE(3, "g_strTempSettingsINI = %s", (LPCSTR)g_strTempSettingsINI);
        }
        CString strIni = g_strTempSettingsINI;
        LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
        if (GetIni(strIni, CONFIG_ALL, fIntranet, fDisplayErrMsg))
        {
            ReadProfileSettings(strIni);
            WriteProfileSettings();
            fResult = TRUE;
        }
        else if (GetIni(strIni, CONFIG_MANUAL_SCAN, fIntranet, fDisplayErrMsg))
        {
            ReadScanIni(g_ManualScanINI, strIni);
            BOOL fAll = FALSE;
            if (GetIni(strIni, CONFIG_REALTIME_SCAN, fIntranet, fDisplayErrMsg))
            {
                ReadScanIni(g_RealTimeScanINI, strIni);
                if (GetIni(strIni, CONFIG_SCHEDULE_SCAN, fIntranet, fDisplayErrMsg))
                {
                    ReadScanIni(g_ScheduleScanINI, strIni);
                    fAll = GetIni(strIni, CONFIG_EXCLUSION, fIntranet, fDisplayErrMsg);
                }
            }
            if (!fAll)
            {
                ReadProfileSettings();
            }
            else
            {
                fResult = TRUE;
                ReadExclusionIni(g_ExclusionFileINI, strIni);
                WriteLocked(g_ExclusionFileINI, pszKey);
                WriteLocked(g_ManualScanINI, pszKey);
                WriteLocked(g_RealTimeScanINI, pszKey);
                WriteLocked(g_ScheduleScanINI, pszKey);
                if (NS_RegistryKey::IsHttpBased())
                {
                    if (GetIni(strIni, CONFIG_SCAN_NOW, fIntranet, fDisplayErrMsg))
                    {
                        ReadScanIni(g_RemoteScanINI, strIni);
                        WriteLocked(g_RemoteScanINI, pszKey);
                    }
                    else
                    {
                        ReadProfileSettings();
                    }
                }
            }
        }
    }
    catch (CSystemError& e)
    {
        VGLTRACE(10, "CSystemError = %s, NS_Configuration::ReadProfileSettingFromServer()", (LPCSTR)e.ToString());
        fResult = FALSE;
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Configuration::ReadProfileSettingFromServer()");
        ReadProfileSettings();
        fResult = FALSE;
    }
    VGLTRACE(2, "<-- NS_Configuration::ReadProfileSettingFromServer(BOOL fFromServer = %d, BOOL fIntranet = %d, "
                "BOOL fDisplayErrMsg = %d) = %d",
             fFromServer, fIntranet, fDisplayErrMsg, fResult);
    return fResult;
}

void Construct(BOOL* pfFirstTimeStartUp)
{
    VGLTRACE(1, "--> NS_Configuration::Construct()");
    try
    {
        BOOL fFirst = !NS_RegistryKey::GetFilebaseSkipFirstUpdate();
        if (fFirst)
            NS_RegistryKey::SetFilebaseSkipFirstUpdate(TRUE);
        if (pfFirstTimeStartUp != NULL)
            *pfFirstTimeStartUp = fFirst;
        ReadProfileSettingFromServer(FALSE, TRUE, FALSE);
        // The database glue of file-based mode works on these objects too.
        NS_DataBase::SClientLinks links = NS_DataBase::GetClientLinks();
        links.pManualScanINI = &g_ManualScanINI;
        links.pRealTimeScanINI = &g_RealTimeScanINI;
        links.pScheduleScanINI = &g_ScheduleScanINI;
        links.pRemoteScanINI = &g_RemoteScanINI;
        links.pExclusionFileINI = &g_ExclusionFileINI;
        NS_DataBase::SetClientLinks(links);
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Configuration::Construct()", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Configuration::Construct()");
    }
    VGLTRACE(2, "<-- NS_Configuration::Construct()");
}

void Destruct()
{
    if (!g_strTempSettingsINI.IsEmpty())
    {
        BOOL f0 = ::DeleteFileA(g_strTempSettingsINI);
        VGLTRACE(3, "f0(%d) = ::DeleteFile(g_strTempSettingsINI = %s)", f0,
                 (LPCSTR)g_strTempSettingsINI);
        g_strTempSettingsINI.Empty();
    }
}
}

// ---- SLocalCfgLog ----

SLocalCfgLog::SLocalCfgLog() : m_fScanINI(TRUE), m_pScanINI(NULL), m_pExclusionINI(NULL), m_nRetry(0) {}

SLocalCfgLog::SLocalCfgLog(const CCommonScanINI& ini)
    : m_fScanINI(TRUE), m_pScanINI(ini.Clone()), m_pExclusionINI(NULL), m_nRetry(0),
      m_time(CTime::GetCurrentTime())
{
}

SLocalCfgLog::SLocalCfgLog(const CExclusionFileINI& ini)
    : m_fScanINI(FALSE), m_pScanINI(NULL), m_pExclusionINI(ini.Clone()), m_nRetry(0),
      m_time(CTime::GetCurrentTime())
{
}

SLocalCfgLog::SLocalCfgLog(const SLocalCfgLog& other) : m_pScanINI(NULL), m_pExclusionINI(NULL)
{
    CopyFrom(other);
}

SLocalCfgLog& SLocalCfgLog::operator=(const SLocalCfgLog& other)
{
    if (&other != this)
    {
        Free();
        CopyFrom(other);
    }
    return *this;
}

SLocalCfgLog::~SLocalCfgLog()
{
    Free();
}

void SLocalCfgLog::CopyFrom(const SLocalCfgLog& other)
{
    m_fScanINI = other.m_fScanINI;
    m_nRetry = other.m_nRetry;
    m_time = other.m_time;
    m_pScanINI = (m_fScanINI && other.m_pScanINI != NULL) ? other.m_pScanINI->Clone() : NULL;
    m_pExclusionINI = (!m_fScanINI && other.m_pExclusionINI != NULL) ? other.m_pExclusionINI->Clone() : NULL;
}

void SLocalCfgLog::Free()
{
    delete m_pScanINI;
    delete m_pExclusionINI;
    m_pScanINI = NULL;
    m_pExclusionINI = NULL;
}

void SLocalCfgLog::GetQuery(CString& strOut, const CString& strGuid, const char* pszRelease) const
{
    strOut.Empty();
    if (m_fScanINI)
    {
        if (m_pScanINI == NULL)
            return;
        // The run-time class decides: a kind without a program of its own gets an empty path.
        CString strPath;
        const std::type_info& type = typeid(*m_pScanINI);
        if (type == typeid(CManualScanINI))
            strPath = NS_RegistryKey::GetCgiOnManualScanConfiguration();
        else if (type == typeid(CRealTimeScanINI))
            strPath = NS_RegistryKey::GetCgiOnRealtimeScanConfiguration();
        else if (type == typeid(CScheduleScanINI))
            strPath = NS_RegistryKey::GetCgiOnScheduleScanConfiguration();
        strOut = m_pScanINI->BuildCgiQuery(strPath, strGuid, pszRelease);
    }
    else if (m_pExclusionINI != NULL)
    {
        strOut = m_pExclusionINI->BuildCgiQuery(NS_RegistryKey::GetCgiOnExclusionFileConfiguration(), strGuid,
                                                pszRelease);
    }
}

int SLocalCfgLog::UpdateRecord(const CString& strFolder, const CString& strGuid) const
{
    if (m_fScanINI)
        return m_pScanINI != NULL ? NS_DataBase::UpdateCfgRecord(strFolder, strGuid, *m_pScanINI) : 0;
    return m_pExclusionINI != NULL ? NS_DataBase::UpdateCfgRecord(strFolder, strGuid, *m_pExclusionINI) : 0;
}
