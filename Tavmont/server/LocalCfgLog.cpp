// Local configuration logs: settings the user applied on the client, queued as private
// copies and sent by their own thread (HTTP: the settings' configuration query; file-based
// mode: the client's configuration record).
#include "Notification.h"
#include "NotificationThreads.h"

#include "CommonScanINI.h"
#include "DatabaseAccess.h"
#include "DebugWindow.h"
#include "ExclusionFileINI.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "ServerSettings.h"

namespace
{
const int MAX_TRIES = 8;

CArray<SLocalCfgLog, const SLocalCfgLog&> g_vLocalCfgLog;
CCriticalSection g_csLocalCfgLog;

unsigned __stdcall LocalCfgLogThread(void* pvParam);

BOOL PeekFirst(SLocalCfgLog& record)
{
    CSingleLock lock(&g_csLocalCfgLog, TRUE);
    if (g_vLocalCfgLog.GetSize() == 0)
        return FALSE;
    record = g_vLocalCfgLog[0];
    return TRUE;
}

void RemoveFirst()
{
    CSingleLock lock(&g_csLocalCfgLog, TRUE);
    if (g_vLocalCfgLog.GetSize() > 0)
        g_vLocalCfgLog.RemoveAt(0);
}

void Append(const SLocalCfgLog& record)
{
    {
        CSingleLock lock(&g_csLocalCfgLog, TRUE);
        g_vLocalCfgLog.Add(record);
    }
    NS_Notification::g_localCfgLogThread.Wake();
    NS_Notification::StartLocalCfgLogThread();
}

// The file-based record of the copy: the database glue writes the object of its kind.
BOOL SendToDatabase(const CString& strGuid, const SLocalCfgLog& record)
{
    if (record.m_fScanINI)
        return record.m_pScanINI != NULL && NS_DataBase::SendLocalCfgLog(strGuid, *record.m_pScanINI);
    return record.m_pExclusionINI != NULL && NS_DataBase::SendLocalCfgLog(strGuid, *record.m_pExclusionINI);
}

void LocalCfgLogThreadEx()
{
    using namespace NS_Notification;
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::LocalCfgLog, TRUE);
    int iSeed = (int)NS_RegistryKey::GetGUIDDigitSum();
    CAccBuffer reply(128);
    CString strGuid = NS_RegistryKey::GetGUID();
    CString strRelease = NS_RegistryKey::GetProgramVersion();

    while (g_localCfgLogThread.WaitForWork())
    {
        SLocalCfgLog record;
        while (!g_localCfgLogThread.IsStopping() && PeekFirst(record))
        {
            if (!IsIntranetConnectable())
            {
                VGLTRACE(12, "Remove LocalCfgLog for good");
                RemoveFirst();
                continue;
            }
            for (int iRetry = 0;;)
            {
                BOOL fDelivered = FALSE;
                CString strQuery;
                if (NS_RegistryKey::IsHttpBased())
                {
                    record.GetQuery(strQuery, strGuid, strRelease);
                    CString strError = "Fail to ping server";
                    reply.Reset();
                    if (ConnectServer(reply, strQuery, &timeouts, NULL, NULL, CLogThread::CancelRequest, NULL, TRUE,
                                      &strError))
                    {
                        int iCode = reply.GetReturnCode(0, 3);
                        NS_Debug::AddLocalCfgLog(iCode, record, strQuery, CString());
                        fDelivered = reply.GetLength() == 0 || iCode >= 0;
                    }
                    else
                    {
                        NS_Debug::AddLocalCfgLog(-9999, record, strQuery, strError);
                    }
                }
                else
                {
                    CString strLog;
                    record.GetQuery(strLog, strGuid, NULL);
                    strQuery = "Filebase: " + strLog;
                    if (SendToDatabase(strGuid, record))
                    {
                        NS_Debug::AddLocalCfgLog(1, record, strQuery, CString());
                        fDelivered = TRUE;
                    }
                    else
                    {
                        NS_Debug::AddLocalCfgLog(-9999, record, strQuery, NS_DataBase::GetErrorText());
                    }
                }
                if (fDelivered)
                {
                    RemoveFirst();
                    break;
                }
                if (WaitBeforeRetry(iSeed, iRetry, 3, g_localCfgLogThread.GetStopEvent()) || ++iRetry >= MAX_TRIES)
                {
                    VGLTRACE(12, "Remove LocalCfgLog for good (%s)", (LPCSTR)strQuery);
                    RemoveFirst();
                    break;
                }
            }
        }
    }
}

unsigned __stdcall LocalCfgLogThread(void* pvParam)
{
    try
    {
        LocalCfgLogThreadEx();
    }
    catch (...)
    {
        VGLTRACE(13, "--> G.P.F in NS_Notification::LocalCfgLogThread(%p)", pvParam);
    }
    return 0;
}
}

namespace NS_Notification
{
CLogThread g_localCfgLogThread("g_hLocalCfgLogThread", LocalCfgLogThread, 3000);

BOOL HasQueuedLocalCfgLog()
{
    return g_vLocalCfgLog.GetSize() > 0;
}

void AddScanCfgLog(CCommonScanINI& ini)
{
    VGLTRACE(3, "NS_Notification::AddScanCfgLog([%s])", ini.GetSection());
    Append(SLocalCfgLog(ini));
}

void AddExclusionCfgLog(CExclusionFileINI& ini)
{
    VGLTRACE(3, "NS_Notification::AddExclusionCfgLog([%s])", ini.m_pszSection);
    Append(SLocalCfgLog(ini));
}

void StartLocalCfgLogThread()
{
    g_localCfgLogThread.Start();
}
}
