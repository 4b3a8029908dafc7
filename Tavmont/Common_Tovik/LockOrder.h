// The client's locks: what each guards, and the order in which they may be taken. A thread
// holding a lock takes only locks further down the list; locks of one level are never held
// together unless their entry says so. The headers that declare locks include this one.
//
// Rules for every lock: no thread is killed while it may hold one; no thread sends to a window
// (SendMessage, SetWindowText, a list control call, ...) of another thread while holding a lock
// that the window's thread takes: it posts, or sends after letting go. A message box shown under
// a lock is named in that lock's entry. The trace (LogTracker) takes only its own lock and may
// be called under any lock.
//
// 1.  g_csUpgrade (TavmontApp.h): one component update, settings renewal, upgrade check or
//     synchronisation at a time (the scheduled-update, listener, scheduler and synchronise
//     threads). Held across server requests and an engine reload.
// 2.  g_csOutbreakPolicy (Notification.h): one outbreak-policy update at a time; inside it
//     the policy driver lock (OppSetting.cpp oppDriverLock), then the policy library's mutex
//     (supportlib OppPolicy.cpp policyMutex).
// 3.  The server's tables (Notification.h): g_csIniTable ([INI_CRITICAL_SECTION] and
//     [INI_SCHEDULE_SECTION]), then g_csUpdateTable (the update table), then
//     g_csNotificationTokenTable (the push-command tokens); g_csGlobalSettings
//     (GlobalSettings.cpp, the [Global Setting] table) at the same level, never with them.
//     Under g_csGlobalSettings the settings locks (12) are taken; it is held while its error
//     box is shown (only when the user asked for the renewal).
// 4.  g_csDownload (ComponentDownload.cpp, one component download at a time), g_csHotFix
//     (HotFix.cpp, one hot-fix pass at a time); inside them the update library's binding lock
//     (supportlib UpdateLibrary.cpp bindingLock).
// 5.  CVexorVXD::m_lock (Vexor.h), the engine lock: the engine and driver calls, and an engine
//     or pattern reload as a whole (IOMonitorUpdate.cpp); the reload copies the settings under
//     their locks (12). Its holder hands work to the main window by PostMessage only
//     (CIOMonitorDlg::HandExceptionProcesses, UpdateStatus); a reload that cannot start the
//     engine shows its error box under it (the window's thread is not needed for that).
// 6.  Saving the virus log: CManualScanDlg::s_csSave (ManualScanDlg.h, one save thread of the
//     manual scan), then g_csSaveVirusLog (IOMonitorDlg.h, one save of the virus-log page at a
//     time); CIOMonitorDlg::m_csSaveThread (IOMonitorDlg.h) guards only the save thread's handle.
// 7.  Sending the virus log: the pass mutexes g_mutexVirusLogPass and g_mutexUnsentVirusLogPass
//     (VirusLog.cpp, one pass of each channel; held across its requests), and
//     g_mutexSaveUnsent (VirusLog.cpp, one save of the unsent records at a time).
// 8.  The recovery locks g_csRecoverVirusLog, g_csRecoverUnsentVirusLog (VirusLog.cpp): the
//     failed lists of each channel.
// 9.  The queue locks g_csVirusLog (NS_Notification::GetVirusLogQueueLock) and
//     g_csUnsentVirusLog (VirusLog.cpp): each channel's pending positions. A finder holds
//     g_csVirusLog from NS_LogReport::AddItem until QueueVirusLog has queued the position; the
//     unsent channel's lock is taken after the other channel's lock is let go, never with it.
// 10. CLogReport::m_lock (LogReport.h): one virus-log store's day list (g_logReport, the
//     unsent store, the page's copies); two stores' locks are held together only while one is
//     copied from the other (the source's first).
// 11. g_connectServerLock (ConnectServer.h): one request to the server at a time, held across
//     it; inside it only SHttpConnectData::m_lock (MyHttpFile.h, one request's shared state).
// 12. The settings locks (SettingsLock.h, CSettingsLock): the global scan settings objects,
//     read and written in place by their owners' threads and copied by the others. Under them
//     only the registry and the leaves (13) are touched: no engine call, no window.
// 13. Leaves, under which no other lock is taken:
//     g_mutexCodeBase (DatabaseAccess.h, named, shared with the other programs): the
//       file-based database's files;
//     g_csStatusLog (StatusLog.cpp): the queued status logs; g_csLocalCfgLog
//       (LocalCfgLog.cpp): the queued local configuration reports; g_csAlertMessage
//       (AlertMessage.cpp): the alert text; g_csCommandTime (PushCommands.cpp): the time of
//       the last push command; g_csQuelmail, g_csPGX (OutsidePrograms.cpp): the mail-scan and
//       cleaner programs' state;
//     CLogThread::m_lock (NotificationThreads.h): a log thread's start;
//     CListenerThreads::m_lock (ListenerThreads.h): the listener's thread list;
//     CTavmontDlg::m_csTrayData (the tray icon's last data, re-added after a new task bar),
//       CTavmontDlg::m_csServerCommands (the queued server commands) (TavmontDlg.h);
//     CIOMonitorDlg::m_csProgress (IOMonitorDlg.h): the monitor's last file and counts;
//     CScanFilesDlg::m_csTexts (ScanFilesDlg.h): the scan window's texts from the workers;
//     CScanResultDlg::m_cs (ScanResultDlg.h): the rows, texts and resets queued for the page;
//     g_csManualScan (Globals.h): never taken; its address marks a scan window as interactive;
//     g_csDebugLogSheet (DebugWindow.cpp): the debug window's pages;
//     CFlagEvent::m_cs (FlagEvent.h): one flag's state;
//     CPostedObjects::m_lock (PostedObjects.h): the objects posted to a window, not yet taken.
//     CSynchronizeContext's mutex (SynchronizeDlg.cpp) guards the dialog pointer; its holder
//     may send to the dialog because the dialog's thread waits for it delivering sent messages.
#ifndef VGL_LOCKORDER_H
#define VGL_LOCKORDER_H
#endif
