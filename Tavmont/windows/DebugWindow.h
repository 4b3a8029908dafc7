// The client's debug window: a hidden sheet of five list pages where every attempt to send a
// log to the server and every server command is listed with its outcome. The log senders
// and the push-command handler feed it through NS_Debug; each adding function also traces
// the outcome.
#ifndef VGL_DEBUGWINDOW_H
#define VGL_DEBUGWINDOW_H

#include "afx.h"

#include "Notification.h"

class CDebugLogSheet;
class CLogReportItem;
class SLocalCfgLog;

// The one sheet, NULL while there is none; set and cleared on the main thread.
extern CDebugLogSheet* g_pDebugLogSheet;

namespace NS_Debug
{
    // Hands the window functions to the trace facility; the application calls it once
    // before NS_Debug::Construct.
    void InstallDebugWindow();

    // Whether the sheet is made: "DebugEnable" on, and COMCTL32.DLL's version readable
    // and not 4.0 (dwVersion: major in the high word, minor in the low word).
    BOOL IsDebugWindowWanted(BOOL fDebugEnable, BOOL fVersionRead, DWORD dwVersion);
    // COMCTL32.DLL of the system folder: its file version's major and minor numbers.
    BOOL GetCommonControlsVersion(DWORD* pdwVersion);

    // One row on a page after each attempt: the outcome code and the two texts.
    void AddStatusLog(int nCode, const NS_Notification::StatusLogType& record, const CString& strLog,
                      const CString& strError);
    void AddVirusLog(int nCode, const CLogReportItem& item, const CString& strLog, const CString& strError);
    void AddUnsentVirusLog(int nCode, const CLogReportItem& item, const CString& strLog, const CString& strError);
    void AddLocalCfgLog(int nCode, const SLocalCfgLog& record, const CString& strLog, const CString& strError);
    // A server command; traced only with fTrace.
    void AddNotification(const CString& strText, BOOL fTrace);
}

#endif
