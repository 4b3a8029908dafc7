// Component updates and the outbreak-prevention policy as the client's windows start them.
#ifndef VGL_UPDATES_H
#define VGL_UPDATES_H

#include "afx.h"

#include "Notification.h"

#include <vector>

// Applies or lifts the stored outbreak-prevention policy at start-up and reports it.
void StartUpOPPSetting();
// The outbreak-prevention policy from the server: applied (fApply) or lifted; callers hold
// the outbreak-policy lock. *pfFetched (may be NULL): the server answered.
BOOL UpdateOPPSetting(BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fApply, BOOL* pfFetched);
// The global settings from the server; FALSE only when the request failed.
BOOL UpdateGlobalSettingsEx(CTavmontDlg* pMainWnd, BOOL fReserved1, BOOL fReserved2, BOOL fIntranet,
                            BOOL fDisplayErrMsg, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                            PFN_PHASE_CANCEL pfCancel, PFN_PHASE_COUNT pfReserved, void* pvThis);

// ---- component download, installation and hand-over to the update program ----
#include "UpdateLibrary.h"

// Staging folders in the temporary folder.
#define PATTERN_UPDATE_FOLDER "Vigilon_PatternUpdate"
#define ENGINE_UPDATE_FOLDER "Vigilon_EngineUpdate"
#define PROGRAM_UPDATE_FOLDER "Vigilon_ProgramUpdate"
#define HOTFIX_UPDATE_FOLDER "Vigilon_HotFix"

// Splits "http://host[:port]/path" held in a buffer of cbUrl bytes; a URL without a path gains
// "/" when it fits, else it names no server.
void GetURLInfo(char* pszUrl, CString& strServer, int& nPort, const char*& pszPath,
                size_t cbUrl = KVU_URL_BUFFER_SIZE);
// The low DWORD of a file's version; FALSE when it has no version resource.
BOOL getFileVersionLow(const char* pszFile, DWORD* pdwVersion);

namespace NS_Notification
{
    enum
    {
        NOVAFETCH_PATTERN = 1,
        NOVAFETCH_ENGINE = 2,
        NOVAFETCH_NO_LIBRARY = 36       // the library or an entry point missing, or no usable source
    };
    // Proxy modes of one download attempt.
    enum
    {
        PS_NORMAL_PROXY = 0,
        PS_NO_PROXY = 1,
        PS_DEFAULT_BROWSER_PROXY = 2,
        PS_INTERNET_PROXY = 3
    };
    // The update library's progress context.
    struct SNovafetchContext
    {
        CTavmontDlg* pMainWnd;
        BOOL fIntranet;
    };

    // One component through the update library from every allowed source in turn; the
    // result of the last attempt (0 success, 10 cancelled, negative: stop).
    int Novafetch(int nComponent, SINIEntry tableINI[], CTavmontDlg* pMainWnd, BOOL fIntranet,
                  BOOL fDisplayErrMsg, const char* pszTargetDir);
    int Novafetch_Try(PFN_KVUGETERRORSTRING pfGetErrorString, PFN_KVUMAKEVERSION pfMakeVersion,
                      int nProxySetting, const char* pszServer, int nPort, const char* pszUpdateUrl,
                      const char* pszTargetDir, CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg,
                      CString* pstrError, int nComponent, const char* pszLibraryPath);
    // The update library could not be loaded even after the support files were fetched: a
    // message box only when the caller allows one (callers run on worker threads), else traced.
    void ReportLibraryLoadFailure(DWORD dwError, BOOL fDisplayErrMsg);
    // Whether a pattern, engine or program download may start: only for a client of an HTTP
    // server whose engine is ready. *pfContinue: the update chain goes on (FALSE only when
    // the engine is not ready).
    BOOL ComponentDownloadMayStart(BOOL* pfContinue);
    // Called inside catch (...) of a pattern, engine or program download: the exception is
    // traced and, when asked (and not a cancelled connection), shown in a message box.
    void ReportDownloadException(const char* pszWhere, BOOL fDisplayErrMsg);
    int NovafetchCallback(int nEvent, DWORD dwValue, SNovafetchContext* pContext);
    void GetNFServer(CString& strServer, int& nPort, const char*& pszUpdateUrl);
    BOOL GetOtherServer(CString& strServer, int& nPort, const char*& pszUpdateUrl);
    // "http://" + server joined to the path into the buffer; FALSE (no server) when it does
    // not fit.
    BOOL BuildNovafetchUrl(char* pszOut, size_t cbOut, const char* pszServer, const char* pszPath);
    // The support files of the update library that are missing, from the client's server.
    BOOL Active_GetMissFiles(BOOL fIntranet);
    // Writes a missing file from a non-empty reply through a temporary file; an existing
    // file is never replaced.
    BOOL WriteMissingFile(const CString& strPath, const CAccBuffer& body);

    // Install the staged pattern or engine in the running client (or leave it for the update
    // program).
    BOOL PostUpdatePattern(CTavmontDlg* pMainWnd, BOOL fProgramUpdate, BOOL fHotFix, BOOL fCancel);
    BOOL PostUpdateEngine(CTavmontDlg* pMainWnd, BOOL fProgramUpdate, BOOL fHotFix, BOOL fCancel);
    BOOL CopyOriginalPatternFile(const CString& strDir, CString& strCopy);
    // Deletes a pattern copy the update library left unchanged.
    void DeleteUnchangedPatternCopy(const CString& strCopy);
    // The update program's command line for a hand-over (see the table in ProgramUpdate.cpp).
    CString UpdateProgramArguments(BOOL fProgram, BOOL fHotFix, BOOL fRestart, BOOL fIntranet);
    // A stamp YYYYMMDDhhmmss of real calendar values (1970-2037).
    BOOL IsValidUpdateStamp(const char* pszStamp);
    // Closes the hand-over's mappings and process handles (at the end of the client).
    void CloseUpdateHandOver();
}

// ---- hot fixes ----
// One file of a hot fix as the client decides about it.
struct SHotFix
{
    CString m_strKey;           // the file's path on the server
    CTime m_timeServer;         // its stamp; local time once the file is chosen
    int m_nChosen;              // 1: needed here
    CString m_strProgramDir;
    CString m_strHotFixDir;     // the staging folder
};
typedef std::vector<SHotFix> VECTOR_HOTFIX;

namespace NS_Notification
{
    // The files of the hot-fix list (pszHotFixData) whose copy here (in the program folder,
    // or staged by a program or engine update) is older than the server's or missing. Each
    // needed file is appended to pvResult, or marks its record of pvExisting when that is
    // given. *pfHotFixFormat: the list's first key is a hot-fix key.
    BOOL IsHotFixNecessary(const char* pszHotFixData, const char* pszProgramDir, const char* pszHotFixDir,
                           const char* pszProgramUpdateDir, const char* pszEngineUpdateDir, BOOL fDisplayErrMsg,
                           BOOL* pfHotFixFormat, VECTOR_HOTFIX* pvExisting, VECTOR_HOTFIX* pvResult);
    // Each file into its staging folder with the server's time; FALSE at the first failure.
    BOOL DownloadHotFixFiles(VECTOR_HOTFIX& vHotFixes, PFN_HTTP_STATUS_CALLBACK pfStatus,
                             PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLength, PFN_HTTP_CANCEL_CALLBACK pfCancel,
                             LPVOID pvThis, BOOL fIntranet, BOOL fDisplayErrMsg,
                             PFN_PHASE_COUNT pfFileCountCallback, LPVOID pvFileCountThis);
}

// ---- periodic upgrade check ----
// Entry idx (0..1) of the schedule table as a number; -1 when outside or without a value.
int GetScheduleUpdateIniValue(int idx);
// Entry idx (1..24; 0 is the section line) of the client-settings table; NULL outside or
// without a value.
const char* GetServerIniValue(int idx);
enum
{
    SERVER_INI_ALLOW_SCHEDULE_UPDATE = 15,
    SCHEDULE_INI_CHECK_GLOBAL_SETTING = 0,
    SCHEDULE_INI_UPDATE_INTERVAL = 1
};
// The two schedule values (seconds) into the "Schedule Update" subkey.
BOOL writeScheduleUpdateValues();
// The schedule values of the server's text (hours and minutes) as seconds, each first cut to
// its maximum (8760 hours, 525600 minutes); an empty value stays empty.
CString scheduleHoursToSeconds(const char* pszHours);
CString scheduleMinutesToSeconds(const char* pszMinutes);

// ---- outbreak-prevention policy ----
// The policy binding's error callback: status 5 ends the policy (expired).
void CheckTimeOutAndReportStatus(DWORD* pdwStatus);
// The policy library's way to the filter driver. Operation 2 stops only a driver that
// operation 1 started: a driver the real-time monitor holds stays open.
int OppEngineCallback(int nOperation, void* pvArgument);
// The policy's activate or restore message, on a thread of its own.
void showOppPopup(BOOL fActivate);
// "\n" and "\r" as line breaks, in a new copy (freed by the caller) when the text holds a
// backslash; *ppszOut is left alone otherwise.
void convertEscapedLineBreaks(char** ppszOut, const char* pszText);

#endif
