// Status logs: the record, the query of each type, the queue and its sender thread, the
// synchronous send, the randomised retry wait of every log thread, and the version texts
// that fill the queries.
#include "Notification.h"
#include "NotificationThreads.h"

#include "ClientClock.h"
#include "DatabaseAccess.h"
#include "DebugWindow.h"
#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "resource_ids.h"

#include <vector>

#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace
{
// A record is tried at most this many times.
const int MAX_TRIES = 8;

unsigned __stdcall StatusLogThread(void* pvParam);

CArray<NS_Notification::StatusLogType, const NS_Notification::StatusLogType&> g_vStatusLog;
CCriticalSection g_csStatusLog;

void FormatDate(CString& str, const CTime& time)
{
    str.Format("%04d%02d%02d", time.GetYear(), time.GetMonth(), time.GetDay());
}

void FormatTime(CString& str, const CTime& time)
{
    str.Format("%02d%02d%02d", time.GetHour(), time.GetMinute(), time.GetSecond());
}

// A decimal version text ("6.510") as its integer part and thousandths.
void SplitThousandths(double x, DWORD* pdwMajor, DWORD* pdwMinor)
{
    DWORD dwMajor = (DWORD)x;
    *pdwMajor = dwMajor;
    *pdwMinor = (DWORD)floor((x - dwMajor) * 1000.0 + 0.5);
}

// The first record of the queue, copied; FALSE when it is empty.
BOOL PeekFirst(NS_Notification::StatusLogType& record)
{
    CSingleLock lock(&g_csStatusLog, TRUE);
    if (g_vStatusLog.GetSize() == 0)
        return FALSE;
    record = g_vStatusLog[0];
    return TRUE;
}

void RemoveFirst()
{
    CSingleLock lock(&g_csStatusLog, TRUE);
    if (g_vStatusLog.GetSize() > 0)
        g_vStatusLog.RemoveAt(0);
}

void Append(const NS_Notification::StatusLogType& record)
{
    {
        CSingleLock lock(&g_csStatusLog, TRUE);
        g_vStatusLog.Add(record);
    }
    NS_Notification::g_statusLogThread.Wake();
}

void StatusLogThreadEx()
{
    using namespace NS_Notification;
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::StatusLog, TRUE);
    int iSeed = (int)NS_RegistryKey::GetGUIDDigitSum();
    CAccBuffer reply(128);

    while (g_statusLogThread.WaitForWork())
    {
        StatusLogType record;
        while (!g_statusLogThread.IsStopping() && PeekFirst(record))
        {
            CString strGuid = NS_RegistryKey::GetGUID();
            CString strQuery;
            if (!IsIntranetConnectable())
            {
                GetStatusLogQuery(strQuery, strGuid, record, TRUE, TRUE);
                VGLTRACE(12, "Remove StatusLog for good = %s", (LPCSTR)strQuery);
                RemoveFirst();
                continue;
            }
            for (int iRetry = 0;;)
            {
                BOOL fDelivered = FALSE;
                if (NS_RegistryKey::IsHttpBased())
                {
                    GetStatusLogQuery(strQuery, strGuid, record, TRUE, TRUE);
                    CString strError = "Fail to ping server";
                    reply.Reset();
                    if (ConnectServer(reply, strQuery, &timeouts, NULL, NULL, CLogThread::CancelRequest, NULL, TRUE,
                                      &strError))
                    {
                        int iCode = reply.GetReturnCode(0, 3);
                        BOOL fEmpty = reply.GetLength() == 0;
                        NS_Debug::AddStatusLog(iCode, record, strQuery, fEmpty ? CString("Buffer is empty") : CString());
                        fDelivered = fEmpty || iCode >= 0;
                    }
                    else
                    {
                        NS_Debug::AddStatusLog(-9999, record, strQuery, strError);
                    }
                }
                else
                {
                    CString strLog;
                    GetStatusLogQuery(strLog, strGuid, record, FALSE, TRUE);
                    strQuery = "Filebase: " + strLog;
                    if (NS_DataBase::SendStatusLog(strGuid, record.m_nType, record.m_time))
                    {
                        NS_Debug::AddStatusLog(1, record, strQuery, CString());
                        fDelivered = TRUE;
                    }
                    else
                    {
                        NS_Debug::AddStatusLog(-9999, record, strQuery, NS_DataBase::GetErrorText());
                    }
                }
                if (fDelivered)
                {
                    RemoveFirst();
                    break;
                }
                if (WaitBeforeRetry(iSeed, iRetry, 3, g_statusLogThread.GetStopEvent()) || ++iRetry >= MAX_TRIES)
                {
                    VGLTRACE(12, "Remove Status Log for good (%s)", (LPCSTR)strQuery);
                    RemoveFirst();
                    break;
                }
            }
        }
    }
}

unsigned __stdcall StatusLogThread(void* pvParam)
{
    try
    {
        StatusLogThreadEx();
    }
    catch (...)
    {
        VGLTRACE(13, "--> G.P.F in NS_Notification::StatusLogThreadEx(%p)", pvParam);
    }
    return 0;
}
}

namespace NS_Notification
{
CLogThread g_statusLogThread("g_hStatusLogThread", StatusLogThread, 3000);

BOOL HasQueuedStatusLog()
{
    return g_vStatusLog.GetSize() > 0;
}

// ---- the record ----

StatusLogType::StatusLogType()
    : m_nType(0), m_nReserved(0), m_nSuccess(0), m_nInfect(0), m_nInfectFiles(0), m_nEvent(0)
{
    memset(m_szText, 0, sizeof(m_szText));
}

StatusLogType::StatusLogType(const CTime& time, int nType, const char* pszText)
    : m_time(time), m_nType(nType), m_nReserved(0), m_nSuccess(0), m_nInfect(0), m_nInfectFiles(0), m_nEvent(0)
{
    memset(m_szText, 0, sizeof(m_szText));
    if (pszText != NULL)
        strncpy(m_szText, pszText, sizeof(m_szText) - 1);
}

StatusLogType::StatusLogType(const CTime& start, const CTime& stop, int nSuccess, int nInfect, int nInfectFiles,
                             int nType, int nEvent, const char* pszText)
    : m_time(start), m_nType(nType), m_nReserved(0), m_timeStop(stop), m_nSuccess(nSuccess), m_nInfect(nInfect),
      m_nInfectFiles(nInfectFiles), m_nEvent(nEvent)
{
    memset(m_szText, 0, sizeof(m_szText));
    if (pszText != NULL)
        strncpy(m_szText, pszText, sizeof(m_szText) - 1);
}

CString StatusLogType::GetDateText() const
{
    CString str;
    FormatDate(str, m_time);
    return str;
}

CString StatusLogType::GetTimeText() const
{
    CString str;
    FormatTime(str, m_time);
    return str;
}

// ---- queries ----

void GetScanEventQuery(CString& strOut, const CString& strGuid, const StatusLogType& record)
{
    const CTime& t = record.m_time;
    strOut.Format("%s?UID=%s&DATE=%04d%02d%02d&TIME=%02d%02d%02d&EVENT=%d&RELEASE=%s",
                  (LPCSTR)NS_RegistryKey::GetCgiOnScan(), (LPCSTR)strGuid, t.GetYear(), t.GetMonth(), t.GetDay(),
                  t.GetHour(), t.GetMinute(), t.GetSecond(), record.m_nType,
                  (LPCSTR)NS_RegistryKey::GetProgramVersion());
}

void GetCloseQuery(CString& strOut, const CString& strGuid, const StatusLogType& record)
{
    const CTime& t = record.m_time;
    strOut.Format("%s?UID=%s&DATE=%04d%02d%02d&TIME=%02d%02d%02d&RELEASE=%s", (LPCSTR)NS_RegistryKey::GetCgiOnClose(),
                  (LPCSTR)strGuid, t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetMinute(), t.GetSecond(),
                  (LPCSTR)NS_RegistryKey::GetProgramVersion());
}

void GetUpdateStatusQuery(CString& strOut, const CString& strGuid, const StatusLogType& record, int nVariant)
{
    int nPattern = 0;
    GetPatternVersionNumber(&nPattern);
    CString strEngine = GetEngineVersion(CString());
    CString strProgram = NS_RegistryKey::GetProgramVersion();
    CString strHotFix = NS_RegistryKey::GetHotFixDateTime();
    switch (nVariant)
    {
    case 2: strEngine = record.m_szText; break;
    case 4: strProgram = record.m_szText; break;
    case 8: strHotFix = record.m_szText; break;
    }
    const CTime& t = record.m_time;
    strOut.Format("%s?UID=%s&PATTERN=%d&ENGINE=%s&PROGRAM=%s&HOTFIX=%s&DATE=%04d%02d%02d&TIME=%02d%02d%02d&RELEASE=%s",
                  (LPCSTR)NS_RegistryKey::GetCgiOnUpdate(), (LPCSTR)strGuid, nPattern, (LPCSTR)strEngine,
                  (LPCSTR)strProgram, (LPCSTR)strHotFix, t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(),
                  t.GetMinute(), t.GetSecond(), (LPCSTR)NS_RegistryKey::GetProgramVersion());
}

void GetScanResultQuery(CString& strOut, const CString& strGuid, const StatusLogType& record)
{
    const CTime& a = record.m_time;
    const CTime& b = record.m_timeStop;
    strOut.Format("%s?UID=%s&STARTDATE=%04d%02d%02d&STARTTIME=%02d%02d%02d&STOPDATE=%04d%02d%02d"
                  "&STOPTIME=%02d%02d%02d&SUCCESS=%d&INFECT=%d&INFECTFILES=%d&EVENT=%d&RELEASE=%s",
                  (LPCSTR)NS_RegistryKey::GetCgiOnScanResult(), (LPCSTR)strGuid, a.GetYear(), a.GetMonth(),
                  a.GetDay(), a.GetHour(), a.GetMinute(), a.GetSecond(), b.GetYear(), b.GetMonth(), b.GetDay(),
                  b.GetHour(), b.GetMinute(), b.GetSecond(), record.m_nSuccess, record.m_nInfect,
                  record.m_nInfectFiles, record.m_nEvent, (LPCSTR)NS_RegistryKey::GetProgramVersion());
}

void GetSpecialLogQuery(CString& strOut, int nType)
{
    // The server takes these two texts as they are, without URL encoding.
    CString strDescription;
    char szName[MAX_PATH] = "";
    switch (nType)
    {
    case NSN_DISK_SPACE_LOW:
        strDescription.Format("Espace disque inf\xE9rieur \xE0 %dM", 20);
        break;
    case NSN_OTHER_PRODUCT:
        FindOtherConsumerProduct(szName, sizeof(szName));
        strDescription.Format("%s existe d\xE9j\xE0.", szName);
        break;
    case NSN_OTHER_SERVER_PRODUCT:
        FindOtherServerProduct(szName, sizeof(szName));
        strDescription.Format("%s existe d\xE9j\xE0.", szName);
        break;
    }
    strOut.Format("%s?COMPUTER=%s&desc=%s", (LPCSTR)NS_RegistryKey::GetCgiOnSpecialLog(),
                  (LPCSTR)getLocalComputerName(), (LPCSTR)strDescription);
}

void GetClientInfoQuery(CString& strOut, const CString& strGuid, const StatusLogType& record, BOOL fEncode,
                        BOOL fIntranet)
{
    CString strComputer = getLocalComputerName();
    CString strPlatform = GetPlatformName();
    CString strIP;
    if (NS_RegistryKey::IsHttpBased())
        strIP = GetClientIPAddress();
    CString strDomain = NS_RegistryKey::GetDomain();
    if (fEncode)
    {
        strComputer = urlEncodeUtf8(strComputer);
        strPlatform = urlEncodeUtf8(strPlatform);
        strIP = urlEncodeUtf8(strIP);
        strDomain = urlEncodeUtf8(strDomain);
    }
    int nPattern = 0;
    GetPatternVersionNumber(&nPattern);
    int nMobile = fIntranet ? 0 : 1;
    if (NS_RegistryKey::IsForceMobile())
        nMobile = 2;
    BOOL fPolicy = isFileExist(joinPath(getModulePath(), "ZavuzRestore.ini"));
    CString strProgram = NS_RegistryKey::GetProgramVersion();
    const CTime& t = record.m_time;
    strOut.Format("%s?UID=%s&DATE=%04d%02d%02d&TIME=%02d%02d%02d&COMPUTER=%s&PLATFORM=%s&IP=%s&PTNFILE=%d"
                  "&PROGRAM=%s&ENGINE=%s&ENCY=%d&DOMAIN=%s&HOTFIX=%s&INSTDATE=%s&INSTTIME=%s&MOBILE=%d"
                  "&RELEASE=%s&OPPSTATUS=%d",
                  (LPCSTR)NS_RegistryKey::GetCgiOnStart(), (LPCSTR)strGuid, t.GetYear(), t.GetMonth(), t.GetDay(),
                  t.GetHour(), t.GetMinute(), t.GetSecond(), (LPCSTR)strComputer, (LPCSTR)strPlatform,
                  (LPCSTR)strIP, nPattern, (LPCSTR)strProgram, (LPCSTR)GetEngineVersion(CString()), 1,
                  (LPCSTR)strDomain, (LPCSTR)NS_RegistryKey::GetHotFixDateTime(),
                  (LPCSTR)NS_RegistryKey::GetInstallDate(), (LPCSTR)NS_RegistryKey::GetInstallTime(), nMobile,
                  (LPCSTR)strProgram, fPolicy ? 1 : 0);
}

void GetStatusLogQuery(CString& strOut, const CString& strGuid, const StatusLogType& record, BOOL fEncode,
                       BOOL fIntranet)
{
    strOut.Empty();
    switch (record.m_nType)
    {
    case NSN_MANUAL_SCAN:
    case NSN_REALTIME_SCAN:
    case NSN_SCHEDULE_SCAN:
    case NSN_SCAN_NOW:
        GetScanEventQuery(strOut, strGuid, record);
        break;
    case NSN_START:
        GetClientInfoQuery(strOut, strGuid, record, fEncode, fIntranet);
        break;
    case NSN_CLOSE:
        GetCloseQuery(strOut, strGuid, record);
        break;
    case NSN_PATTERN_ROLLBACK:
        GetUpdateStatusQuery(strOut, strGuid, record, 1);
        break;
    case NSN_ENGINE_ROLLBACK:
        GetUpdateStatusQuery(strOut, strGuid, record, 2);
        break;
    case NSN_HOTFIX:
        GetUpdateStatusQuery(strOut, strGuid, record, 8);
        break;
    case NSN_UPDATE:
    case NSN_SYNC:
        GetUpdateStatusQuery(strOut, strGuid, record, 0);
        break;
    case NSN_SCAN_RESULT:
        GetScanResultQuery(strOut, strGuid, record);
        break;
    case NSN_DISK_SPACE_LOW:
    case NSN_OTHER_PRODUCT:
    case NSN_OTHER_SERVER_PRODUCT:
        GetSpecialLogQuery(strOut, record.m_nType);
        break;
    }
}

// ---- queueing and sending ----

void SendStatusLog(const CTime& time, int nType, const char* pszText)
{
    VGLTRACE(3, "NS_Notification::SendStatusLog(type = %d, text = %s)", nType, pszText ? pszText : "(null)");
    Append(StatusLogType(time, nType, pszText));
}

void SendScanResultLog(const CTime& start, const CTime& stop, int nSuccess, int nInfect, int nInfectFiles, int nType,
                       int nEvent, const char* pszText)
{
    VGLTRACE(3, "NS_Notification::SendScanResultLog(type = %d, event = %d)", nType, nEvent);
    Append(StatusLogType(start, stop, nSuccess, nInfect, nInfectFiles, nType, nEvent, pszText));
}

BOOL SendStatusLogNow(const CTime& time, int nType, const char* pszText, BOOL fIntranet, BOOL fDisplayErrMsg,
                      PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd, PFN_PHASE_CANCEL pfCancel, PFN_PHASE_COUNT,
                      LPVOID pvContext, const SServerAddress* pServer)
{
    VGLTRACE(1, "--> NS_Notification::SendStatusLogNow(kvCurrentTime, %d)", nType);
    BOOL fSuccess = FALSE;
    StatusLogType record(time, nType, pszText);
    CString strGuid = NS_RegistryKey::GetGUID();
    CString strQuery;
    GetStatusLogQuery(strQuery, strGuid, record, TRUE, fIntranet);
    if (fIntranet && !IsIntranetConnectable())
    {
        VGLTRACE(2, "<-- NS_Notification::SendStatusLogNow(kvCurrentTime, %d), fSuccess = %d", nType, fSuccess);
        return FALSE;
    }
    if (NS_RegistryKey::IsHttpBased())
    {
        CAccBuffer reply(128);
        if (pfBegin != NULL)
            pfBegin(PHASE_SEND_STATUS, pvContext);
        CString strError;
        try
        {
            NS_RegistryKey::STimeout timeouts;
            NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::StatusLog, fIntranet);
            if (ConnectServer(reply, strQuery, &timeouts, NULL, NULL, pfCancel, pvContext, fIntranet, &strError, pServer))
            {
                int iReturnCode = reply.GetReturnCode(0, 3);
                VGLTRACE(3, "int iReturnCode(%d) = bufResult.GetReturnCode(0);", iReturnCode);
                fSuccess = iReturnCode == 1;
            }
            else if (pfCancel == NULL || !pfCancel(pvContext))
            {
                VGLTRACE(12, "Error = %s", (LPCSTR)strError);
                if (fDisplayErrMsg)
                    ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
            }
        }
        catch (CException* e)
        {
            char szError[260] = "";
            e->GetErrorMessage(szError, sizeof(szError));
            VGLTRACE(10, "CException = %s", szError);
            if (fDisplayErrMsg)
                ::MessageBoxA(NULL, szError, NULL, MB_OK | MB_ICONSTOP);
            e->Delete();
        }
        catch (CSystemError& e)
        {
            VGLTRACE(10, "CSystemError = %s", (LPCSTR)e.ToString());
            if (fDisplayErrMsg)
                ::MessageBoxA(NULL, e.GetErrorMessage(), NULL, MB_OK | MB_ICONSTOP);
        }
        catch (...)
        {
            VGLTRACE(10, "Unknown exception(...)");
        }
        if (pfEnd != NULL)
            pfEnd(PHASE_SEND_STATUS, pvContext);
    }
    else
    {
        fSuccess = NS_DataBase::SendStatusLog(strGuid, record.m_nType, record.m_time);
        if (!fSuccess)
            VGLTRACE(12, "(%d) = NS_DataBase::SendStatusLog(strGuid, logItem)", fSuccess);
    }
    VGLTRACE(2, "<-- NS_Notification::SendStatusLogNow(kvCurrentTime, %d), fSuccess = %d", nType, fSuccess);
    return fSuccess;
}

int RetryRange(int iRandom, int iRetry, int iShift)
{
    int iPower = (int)pow(2.0, (double)(iRetry + iShift));
    return iRandom * iPower / 32767 + 1;
}

BOOL WaitBeforeRetry(int iSeed, int iRetry, int iShift, HANDLE hStop)
{
    srand((unsigned)(iSeed * (int)time(NULL)));
    int iRandom = rand();
    int iPower = (int)pow(2.0, (double)(iRetry + iShift));
    int iRange = RetryRange(iRandom, iRetry, iShift);
    VGLTRACE(3, "iSeed = %d, iRandom = %d, iPower = %d, iRange = %d", iSeed, iRandom, iPower, iRange);
    VGLTRACE(3, "strCurrentTime = %s", (LPCSTR)CTime::GetCurrentTime().Format("%A,%B %d %Y, %H:%M:%S"));
    BOOL fStopped = ::WaitForSingleObject(hStop, NS_Clock::GetWaitMilliseconds((DWORD)iRange)) == WAIT_OBJECT_0;
    VGLTRACE(3, "strCurrentTime = %s", (LPCSTR)CTime::GetCurrentTime().Format("%A,%B %d %Y, %H:%M:%S"));
    return fStopped;
}

// ---- versions ----

BOOL GetLastEngineUpdateVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    CString strVersion = GetEngineVersion(CString());
    if (strVersion.IsEmpty())
        return FALSE;
    SplitThousandths(atof(strVersion), pdwMajor, pdwMinor);
    return TRUE;
}

BOOL IsLastEngineUpdateVersionNewer(const char* pszVersion)
{
    DWORD dwMajor = 0, dwMinor = 0;
    if (pszVersion == NULL || !GetLastEngineUpdateVersion(&dwMajor, &dwMinor))
        return FALSE;
    DWORD dwNewMajor = 0, dwNewMinor = 0;
    SplitThousandths(atof(pszVersion), &dwNewMajor, &dwNewMinor);
    return dwNewMajor > dwMajor || (dwNewMajor == dwMajor && dwNewMinor > dwMinor);
}

BOOL IsProgramVersionNewer(const char* pszVersion, const char* pszInstalled)
{
    CString strInstalled = pszInstalled != NULL ? CString(pszInstalled) : NS_RegistryKey::GetProgramVersion();
    double x = atof(pszVersion != NULL ? pszVersion : "");
    double y = atof(strInstalled);
    int nMajor = (int)x, nInstalledMajor = (int)y;
    int nMinor = (int)((x - nMajor) * 100.0 + 0.5);
    int nInstalledMinor = (int)((y - nInstalledMajor) * 100.0 + 0.5);
    return nMajor > nInstalledMajor || (nMajor == nInstalledMajor && nMinor > nInstalledMinor);
}

BOOL GetModuleVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    char szPath[MAX_PATH] = "";
    ::GetModuleFileNameA(NULL, szPath, sizeof(szPath));
    VS_FIXEDFILEINFO info;
    if (!getFixedFileVersion(szPath, &info))
        return FALSE;
    *pdwMajor = HIWORD(info.dwFileVersionMS);
    *pdwMinor = LOWORD(info.dwFileVersionMS);
    return TRUE;
}

BOOL GetFilterVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    int nMajor = 0, nMinor = 0;
    BOOL fOk = g_vexor.GetFilterVersion(&nMajor, &nMinor);
    *pdwMajor = nMajor;
    *pdwMinor = nMinor;
    return fOk;
}

BOOL GetRunningEngineVersion(DWORD* pdwMajor, DWORD* pdwMinor)
{
    int nMajor = 0, nMinor = 0;
    BOOL fOk = g_vexor.GetEngineVersion(&nMajor, &nMinor);
    *pdwMajor = nMajor;
    *pdwMinor = nMinor;
    return fOk;
}

BOOL GetPatternVersionNumber(int* pnNumber)
{
    DWORD dwVersion = 0;
    int nNumber = 0;
    BOOL fOk = GetPatternVersion(&dwVersion, &nNumber);
    *pnNumber = fOk ? nNumber : 0;
    return fOk;
}

CString GetPlatformName()
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    CString strPlatform;
    if (!::GetVersionExA(&info))
        return strPlatform;
    CString strFormat, strName;
    strFormat.LoadString(IDS_PLATFORM_FORMAT);
    DWORD dwBuild = info.dwBuildNumber;
    switch (info.dwPlatformId)
    {
    case VER_PLATFORM_WIN32s:
        strName.LoadString(IDS_PLATFORM_WIN32S);
        dwBuild &= 0xFFFF;
        break;
    case VER_PLATFORM_WIN32_WINDOWS:
        dwBuild &= 0xFFFF;
        if (info.dwMinorVersion >= 10)
            strName.LoadString(IDS_PLATFORM_WIN98);
        else if (dwBuild == 1111)
            strName.LoadString(IDS_PLATFORM_WIN95_OSR2);
        else
            strName.LoadString(IDS_PLATFORM_WIN95);
        break;
    case VER_PLATFORM_WIN32_NT:
        strName.LoadString(IDS_PLATFORM_WINNT);
        break;
    default:
        return strPlatform;
    }
    strPlatform.Format(strFormat, (LPCSTR)strName, (int)info.dwMajorVersion, (int)info.dwMinorVersion, (int)dwBuild);
    return strPlatform;
}
}
