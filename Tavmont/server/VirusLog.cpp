// Virus-log sending: the pending and failed positions of the virus-log store and of the
// unsent store, the two sender threads (and their synchronous passes), the reply rule and
// the recovery of failed records.
//
// Locks: a pass holds its channel's pass lock for its whole length, waits included, so two
// passes over one list never interleave; the list lock (for the virus log, the lock that
// NS_LogReport::AddItem takes) is held only while the lists are touched, never across a
// request or a wait, so a finding is never held up by a slow server. The failed list has the
// recover lock; the order is pass lock, recover lock, list lock, store lock.
#include "Notification.h"
#include "NotificationThreads.h"
#include "UnsentStore.h"


#include "DatabaseAccess.h"
#include "DebugWindow.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"

CLogReport g_vUnsentVirusLogStore;

namespace
{
const int MAX_TRIES = 8;

// A failed record: its position and the record itself, by which the position is found
// again when days were inserted in front of it meanwhile.
struct SFailedPos
{
    SLogItemPos pos;
    const CLogReportItem* pItem;
};
typedef CArray<SFailedPos, const SFailedPos&> CFailedPosArray;

typedef void (*PFN_DEBUG_ROW)(int, const CLogReportItem&, const CString&, const CString&);

struct SChannel
{
    const char* pszName;            // for the traces: "VirusLog", "UnsentVirusLog"
    const char* pszFailedName;
    CLogReport* pStore;
    CLogItemPosArray* pPending;
    CFailedPosArray* pFailed;
    CCriticalSection* pListLock;
    CCriticalSection* pRecoverLock;
    CMutex* pPassLock;
    CLogThread* pThread;
    UINT nTimeoutKind;
    PFN_DEBUG_ROW pfnDebugRow;
    BOOL fYieldInFileMode;
    BOOL fSaveOnFailure;            // its records are not on disk in the unsent store yet
};
}

// ---- state ----

namespace
{
CLogItemPosArray g_vVirusLog;
CFailedPosArray g_vFailedVirusLog;
CLogItemPosArray g_vUnsentVirusLog;
CFailedPosArray g_vFailedUnsentVirusLog;
CCriticalSection g_csVirusLog;
CCriticalSection g_csUnsentVirusLog;
CCriticalSection g_csRecoverVirusLog;
CCriticalSection g_csRecoverUnsentVirusLog;
// Mutexes: a thread ended by force at shut-down leaves them abandoned, not locked for good.
CMutex g_mutexVirusLogPass;
CMutex g_mutexUnsentVirusLogPass;
CMutex g_mutexSaveUnsent;

unsigned __stdcall VirusLogThreadProc(void* pvContext);
unsigned __stdcall UnsentVirusLogThreadProc(void* pvContext);
}

namespace NS_Notification
{
CLogThread g_virusLogThread("g_hVirusLogThread", VirusLogThreadProc, 6000);
CLogThread g_unsentVirusLogThread("g_hUnsentVirusLogThread", UnsentVirusLogThreadProc, 6000);
}

namespace
{
SChannel g_virusChannel = {"VirusLog", "g_vFailedVirusLog", &g_logReport, &g_vVirusLog, &g_vFailedVirusLog,
                           &g_csVirusLog, &g_csRecoverVirusLog, &g_mutexVirusLogPass,
                           &NS_Notification::g_virusLogThread, NS_RegistryKey::STimeout::VirusLog,
                           NS_Debug::AddVirusLog, TRUE, TRUE};
SChannel g_unsentChannel = {"UnsentVirusLog", "g_vFailedUnsentVirusLog", &g_vUnsentVirusLogStore,
                            &g_vUnsentVirusLog, &g_vFailedUnsentVirusLog, &g_csUnsentVirusLog,
                            &g_csRecoverUnsentVirusLog, &g_mutexUnsentVirusLogPass,
                            &NS_Notification::g_unsentVirusLogThread, NS_RegistryKey::STimeout::UnsentVirusLog,
                            NS_Debug::AddUnsentVirusLog, FALSE, FALSE};

// The current position of a failed record; FALSE when the store no longer holds it.
BOOL Resolve(const CLogReport& store, SFailedPos& failed)
{
    if (store.GetItem(failed.pos.nDay, failed.pos.nItem) == failed.pItem)
        return TRUE;
    for (int nDay = 0; nDay < store.GetDayCount(); nDay++)
    {
        CLogReportArray* pDay = store.GetDayArray(nDay);
        for (int nItem = 0; pDay != NULL && nItem < pDay->GetSize(); nItem++)
        {
            if (pDay->GetItem(nItem) == failed.pItem)
            {
                failed.pos.nDay = nDay;
                failed.pos.nItem = nItem;
                return TRUE;
            }
        }
    }
    return FALSE;
}

// The first pending record, copied; FALSE when nothing is pending. A position whose record
// is gone is dropped on the way.
BOOL PeekFirst(SChannel& ch, CLogReportItem& item)
{
    CSingleLock lock(ch.pListLock, TRUE);
    while (ch.pPending->GetSize() > 0)
    {
        SLogItemPos pos = ch.pPending->GetAt(0);
        CLogReportItem* pItem = ch.pStore->GetItem(pos.nDay, pos.nItem);
        if (pItem != NULL)
        {
            item = *pItem;
            return TRUE;
        }
        VGLTRACE(12, "The %s record (%d, %d) no longer exists", ch.pszName, pos.nDay, pos.nItem);
        ch.pPending->RemoveAt(0);
    }
    return FALSE;
}

// Only the pass removes from the front, so the first pair is still the record it sent (its
// day index may have moved, which the list itself follows).
void RemoveFirst(SChannel& ch)
{
    CSingleLock lock(ch.pListLock, TRUE);
    if (ch.pPending->GetSize() > 0)
        ch.pPending->RemoveAt(0);
}

void MoveFirstToFailed(SChannel& ch)
{
    CSingleLock recover(ch.pRecoverLock, TRUE);
    CSingleLock lock(ch.pListLock, TRUE);
    if (ch.pPending->GetSize() == 0)
        return;
    SFailedPos failed;
    failed.pos = ch.pPending->GetAt(0);
    failed.pItem = ch.pStore->GetItem(failed.pos.nDay, failed.pos.nItem);
    ch.pPending->RemoveAt(0);
    if (failed.pItem != NULL)
        ch.pFailed->Add(failed);
}

// Off line: everything pending moves to the failed list untried.
void MoveAllToFailed(SChannel& ch)
{
    CArray<CLogReportItem, const CLogReportItem&> moved;
    {
        CSingleLock recover(ch.pRecoverLock, TRUE);
        CSingleLock lock(ch.pListLock, TRUE);
        for (int i = 0; i < ch.pPending->GetSize(); i++)
        {
            SFailedPos failed;
            failed.pos = ch.pPending->GetAt(i);
            failed.pItem = ch.pStore->GetItem(failed.pos.nDay, failed.pos.nItem);
            if (failed.pItem == NULL)
                continue;
            ch.pFailed->Add(failed);
            moved.Add(*failed.pItem);
        }
        ch.pPending->RemoveAll();
    }
    for (int i = 0; i < moved.GetSize(); i++)
        ch.pfnDebugRow(-9999, moved[i], CString(), CString("Disconnected"));
}

void Recover(SChannel& ch)
{
    CSingleLock recover(ch.pRecoverLock, TRUE);
    CSingleLock lock(ch.pListLock, TRUE);
    int iTotalVirus = ch.pFailed->GetSize();
    VGLTRACE(3, "    int iTotalVirus(%d) = %s.GetSize()", iTotalVirus, ch.pszFailedName);
    for (int i = 0; i < iTotalVirus; i++)
    {
        SFailedPos failed = ch.pFailed->GetAt(i);
        if (Resolve(*ch.pStore, failed))
            ch.pPending->Add(failed.pos);
    }
    ch.pFailed->RemoveAll();
}

int PendingCount(SChannel& ch)
{
    CSingleLock lock(ch.pListLock, TRUE);
    return ch.pPending->GetSize();
}

// What the server's return code means for a virus-log record: delivered (or refused for
// good, which is not retried either), or kept for a retry.
BOOL IsDeliveredReply(BOOL fEmpty, int iCode)
{
    if (fEmpty || iCode >= 0)
        return TRUE;
    return iCode == -2 || (iCode <= -4 && iCode >= -16);
}

// One pass over the pending records: the background thread's (no context) or a synchronous
// one on the caller's thread.
void Pass(SChannel& ch, NS_Notification::SSyncSendContext* pContext)
{
    using namespace NS_Notification;
    BOOL fSync = pContext != NULL;
    if (fSync)
        Recover(ch);
    CSingleLock pass(ch.pPassLock, TRUE);

    NS_RegistryKey::STimeout intranetTimeouts, internetTimeouts;
    NS_RegistryKey::GetTimeout(&intranetTimeouts, ch.nTimeoutKind, TRUE);
    NS_RegistryKey::GetTimeout(&internetTimeouts, ch.nTimeoutKind, FALSE);
    int iSeed = (int)NS_RegistryKey::GetGUIDDigitSum();
    CAccBuffer reply(128);
    CString strGuid = NS_RegistryKey::GetGUID();
    CString strRelease = NS_RegistryKey::GetProgramVersion();
    HANDLE hStop = ch.pThread->GetStopEvent();

    int nTotal = PendingCount(ch), nDone = 0;
    if (fSync && pContext->pfProgress != NULL)
        pContext->pfProgress(PHASE_SEND_VIRUS_LOG, 0, nTotal, pContext->pvContext);

    CLogReportItem item;
    while (!ch.pThread->IsStopping() && PeekFirst(ch, item))
    {
        if (!fSync && !IsIntranetConnectable())
        {
            VGLTRACE(12, "Remove %s for good", ch.pszName);
            MoveAllToFailed(ch);
            break;
        }
        for (int iRetry = 0;;)
        {
            BOOL fHttp = NS_RegistryKey::IsHttpBased();
            BOOL fDelivered = FALSE;
            CString strQuery;
            if (fHttp)
            {
                strQuery = item.BuildCgiQuery(NS_RegistryKey::GetCgiOnLog(), strGuid, TRUE, strRelease);
                reply.Reset();
                CString strError = "Fail to ping server";
                if (fSync && pContext->pfCancel != NULL && pContext->pfCancel(pContext->pvContext))
                {
                    VGLTRACE(12, "remove the virus record to prevent from re-try again (%s)", (LPCSTR)strQuery);
                    MoveFirstToFailed(ch);
                    break;
                }
                BOOL fSent;
                if (fSync)
                    fSent = ConnectServer(reply, strQuery, &internetTimeouts, NULL, NULL, NULL, NULL,
                                          pContext->fIntranet, &strError);
                else
                    fSent = ConnectServer(reply, strQuery, &intranetTimeouts, NULL, NULL, CLogThread::CancelRequest,
                                          NULL, TRUE, &strError);
                if (fSent)
                {
                    if (fSync && pContext->pfProgress != NULL)
                        pContext->pfProgress(PHASE_SEND_VIRUS_LOG, ++nDone, nTotal, pContext->pvContext);
                    int iCode = reply.GetReturnCode(0, 3);
                    ch.pfnDebugRow(iCode, item, strQuery, CString());
                    fDelivered = IsDeliveredReply(reply.GetLength() == 0, iCode);
                }
                else
                {
                    ch.pfnDebugRow(-9999, item, strQuery, strError);
                }
            }
            else
            {
                strQuery = "Filebase: " + item.BuildCgiQuery(NS_RegistryKey::GetCgiOnLog(), strGuid, FALSE, NULL);
                if (NS_DataBase::SendVirusLog(strGuid, item))
                {
                    ch.pfnDebugRow(1, item, strQuery, CString());
                    fDelivered = TRUE;
                }
                else
                {
                    ch.pfnDebugRow(-9999, item, strQuery, NS_DataBase::GetErrorText());
                }
            }
            if (!fSync && (fHttp || ch.fYieldInFileMode))
                ::Sleep(0);
            if (fDelivered)
            {
                RemoveFirst(ch);
                break;
            }
            // A record that could not be sent is in the unsent store before the wait for its
            // next try, so that it outlives the client even when the pass never ends.
            if (iRetry == 0 && ch.fSaveOnFailure && !ch.pThread->IsStopping())
                SaveUnsentVirusLog();
            if (WaitBeforeRetry(iSeed, iRetry, 3, hStop) || ++iRetry >= MAX_TRIES)
            {
                VGLTRACE(12, "remove the virus record to prevent from re-try again (%s)", (LPCSTR)strQuery);
                MoveFirstToFailed(ch);
                break;
            }
        }
    }

    if (!ch.pThread->IsStopping())
    {
        int iVirusSize = PendingCount(ch);
        BOOL fConnectable = IsIntranetConnectable();
        VGLTRACE(3, "    fMobileSaveLog(%d) = (!IsIntranetConnectable(%d)() && (0 == iVirusSize(%d)))",
                 !fConnectable && iVirusSize == 0, fConnectable, iVirusSize);
        pass.Unlock();
        SaveUnsentVirusLog();
    }
}

void ThreadBody(SChannel& ch, void* pvContext)
{
    NS_Notification::SSyncSendContext* pContext = static_cast<NS_Notification::SSyncSendContext*>(pvContext);
    if (pContext != NULL)
    {
        Pass(ch, pContext);
        return;
    }
    while (ch.pThread->WaitForWork())
        Pass(ch, NULL);
}

unsigned __stdcall VirusLogThreadProc(void* pvContext)
{
    try
    {
        ThreadBody(g_virusChannel, pvContext);
    }
    catch (...)
    {
        VGLTRACE(13, "--> G.P.F in NS_Notification::VirusLogThreadEx(%p)", pvContext);
    }
    return 0;
}

unsigned __stdcall UnsentVirusLogThreadProc(void* pvContext)
{
    try
    {
        ThreadBody(g_unsentChannel, pvContext);
    }
    catch (...)
    {
        VGLTRACE(13, "--> G.P.F in NS_Notification::UnsentVirusLogThreadEx(%p)", pvContext);
    }
    return 0;
}

// Adds the records at the positions to the store being built.
void AddPending(CLogReport& target, const CLogReport& store, const CLogItemPosArray& positions)
{
    for (int i = 0; i < positions.GetSize(); i++)
    {
        CLogReportItem* pItem = store.GetItem(positions[i].nDay, positions[i].nItem);
        if (pItem != NULL)
            target.AddItem(*pItem, NULL, NULL);
    }
}

void AddFailed(CLogReport& target, const CLogReport& store, CFailedPosArray& failed)
{
    for (int i = 0; i < failed.GetSize(); i++)
    {
        SFailedPos& entry = failed.ElementAt(i);
        if (Resolve(store, entry))
            target.AddItem(*entry.pItem, NULL, NULL);
    }
}
}

namespace NS_Notification
{
CLogItemPosArray* GetVirusLogQueue()
{
    return &g_vVirusLog;
}

CCriticalSection* GetVirusLogQueueLock()
{
    return &g_csVirusLog;
}

void QueueVirusLog(int nDay, int nItem)
{
    {
        CSingleLock lock(&g_csVirusLog, TRUE);
        SLogItemPos pos = {nDay, nItem};
        g_vVirusLog.Add(pos);
    }
    VGLTRACE(3, "NS_Notification::QueueVirusLog(%d, %d)", nDay, nItem);
    InvokeVirusLogThread();
}

BOOL InvokeVirusLogThread()
{
    if (g_virusLogThread.IsStarted())
    {
        VGLTRACE(3, "[InvokeVirusLogThread] VirusLogThread already exist. Start the thread's activity immediately");
    }
    else
    {
        VGLTRACE(3, "[InvokeVirusLogThread] Create Send VirusLogThread...");
        g_virusLogThread.Start();
    }
    g_virusLogThread.Wake();
    return g_virusLogThread.IsStarted();
}

unsigned __stdcall VirusLogThread(void* pvContext)
{
    return VirusLogThreadProc(pvContext);
}

unsigned __stdcall UnsentVirusLogThread(void* pvContext)
{
    return UnsentVirusLogThreadProc(pvContext);
}

void RecoverVirusLog()
{
    Recover(g_virusChannel);
}

void RecoverUnsentVirusLog()
{
    Recover(g_unsentChannel);
}

BOOL HasQueuedVirusLog()
{
    return g_vVirusLog.GetSize() > 0;
}

BOOL HasQueuedUnsentVirusLog()
{
    return g_vUnsentVirusLog.GetSize() > 0;
}

BOOL HasPendingVirusLog()
{
    int iTotal = 0;
    {
        CSingleLock recover(&g_csRecoverVirusLog, TRUE);
        CSingleLock lock(&g_csVirusLog, TRUE);
        iTotal += g_vVirusLog.GetSize() + g_vFailedVirusLog.GetSize();
    }
    {
        CSingleLock recover(&g_csRecoverUnsentVirusLog, TRUE);
        CSingleLock lock(&g_csUnsentVirusLog, TRUE);
        iTotal += g_vUnsentVirusLog.GetSize() + g_vFailedUnsentVirusLog.GetSize();
    }
    VGLTRACE(2, "<-- NS_Notification::HasPendingVirusLog(), iTotalVirusPenging = %d", iTotal);
    return iTotal > 0;
}

CString GetUnsentVirusLogFolder()
{
    return joinPath(getModulePath(), "UnsentVirus");
}

void ResetVirusLogState()
{
    {
        CSingleLock recover(&g_csRecoverVirusLog, TRUE);
        CSingleLock lock(&g_csVirusLog, TRUE);
        g_vVirusLog.RemoveAll();
        g_vFailedVirusLog.RemoveAll();
    }
    CSingleLock recover(&g_csRecoverUnsentVirusLog, TRUE);
    CSingleLock lock(&g_csUnsentVirusLog, TRUE);
    g_vUnsentVirusLog.RemoveAll();
    g_vFailedUnsentVirusLog.RemoveAll();
    g_vUnsentVirusLogStore.RemoveAll();
}

void RestoreUnsentVirusLog()
{
    VGLTRACE(1, "--> NS_Notification::RestoreUnsentVirusLog()");
    try
    {
        CString strLogPath = GetUnsentVirusLogFolder();
        if (!isDirectoryExist(strLogPath))
            createDirectory(strLogPath, FALSE);
        // A save that a crash cut short is finished (or undone) first.
        FinishInterruptedSave(strLogPath);
        CSingleLock lock(&g_csUnsentVirusLog, TRUE);
        BOOL fSuccess = g_vUnsentVirusLogStore.LoadFolder(strLogPath);
        VGLTRACE(3, "fSuccess(%d) = g_vUnsentVirusLogStore.Construct(strLogPath = %s)", fSuccess, (LPCSTR)strLogPath);
        g_vUnsentVirusLogStore.GetAllItemIndexes(g_vUnsentVirusLog);
        VGLTRACE(3, "    %d unsent records restored", (int)g_vUnsentVirusLog.GetSize());
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(10, "CException = %s, NS_Notification::RestoreUnsentVirusLog()", szError);
        e->Delete();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::RestoreUnsentVirusLog()");
    }
    VGLTRACE(2, "<-- NS_Notification::RestoreUnsentVirusLog()");
}

void SaveUnsentVirusLog()
{
    VGLTRACE(1, "--> NS_Notification::SaveUnsentVirusLog()");
    try
    {
        CSingleLock save(&g_mutexSaveUnsent, TRUE);
        CLogReport vPreUnsentVirusLog;
        {
            CSingleLock recover(&g_csRecoverUnsentVirusLog, TRUE);
            CSingleLock lock(&g_csUnsentVirusLog, TRUE);
            AddPending(vPreUnsentVirusLog, g_vUnsentVirusLogStore, g_vUnsentVirusLog);
            AddFailed(vPreUnsentVirusLog, g_vUnsentVirusLogStore, g_vFailedUnsentVirusLog);
        }
        {
            CSingleLock recover(&g_csRecoverVirusLog, TRUE);
            CSingleLock lock(&g_csVirusLog, TRUE);
            AddPending(vPreUnsentVirusLog, g_logReport, g_vVirusLog);
            AddFailed(vPreUnsentVirusLog, g_logReport, g_vFailedVirusLog);
        }
        int nTotal = 0;
        for (int nDay = 0; nDay < vPreUnsentVirusLog.GetDayCount(); nDay++)
            nTotal += vPreUnsentVirusLog.GetDayArray(nDay)->GetSize();
        VGLTRACE(3, "    TotalUnsentVirus = %d", nTotal);
        CString strFolder = GetUnsentVirusLogFolder();
        if (!isDirectoryExist(strFolder))
            createDirectory(strFolder, FALSE);
        BOOL fSuccess = SaveStoreToFolder(vPreUnsentVirusLog, strFolder);
        VGLTRACE(3, "fSuccess(%d) = vPreUnsentVirusLog.Destruct()", fSuccess);
    }
    catch (CSystemError& e)
    {
        VGLTRACE(11, "CSystemError = %s, NS_Notification::SaveUnsentVirusLog()", (LPCSTR)e.ToString());
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(13, "Exception(...) in NS_Notification::SaveUnsentVirusLog(): %s", szError);
        e->Delete();
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::SaveUnsentVirusLog()");
    }
    VGLTRACE(2, "<-- NS_Notification::SaveUnsentVirusLog()");
}
}
