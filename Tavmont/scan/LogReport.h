// The virus log: one record per infection found (CLogReportItem), the records of one calendar
// day (CLogReportArray, one file "%04d_%02d_%02d.log" a day in the class library's archive
// format) and the store of all days (CLogReport). Records are addressed by their position:
// (day index in the store's list, item index in that day).
#ifndef VGL_LOGREPORT_H
#define VGL_LOGREPORT_H

#include "LockOrder.h"
#include "afx.h"
#include "afxcoll.h"
#include "afxmt.h"
#include "afxtempl.h"

struct IOT_EVENT;

// Event kinds of a record.
enum
{
    LOG_EVENT_MANUAL = 1,
    LOG_EVENT_REALTIME = 2,
    LOG_EVENT_SCHEDULE = 3,
    LOG_EVENT_REMOTE = 4
};

// Action codes of a record (the engine's codes differ: engineActionToLogAction).
enum
{
    LOG_ACTION_NONE = 1,
    LOG_ACTION_DELETE = 2,
    LOG_ACTION_RENAME = 3,
    LOG_ACTION_MOVE = 4,
    LOG_ACTION_CLEAN = 5
};

// Engine 4 -> 2, 1 -> 3, 2 -> 4, 3 -> 5, anything else -> 1.
int engineActionToLogAction(int nEngineAction);

// Display text of one action outcome (resource strings).
CString getActionResultText(int nLogAction, int nStatus);

// A record's place in a store.
struct SLogItemPos
{
    int nDay;
    int nItem;
};

typedef CArray<SLogItemPos, const SLogItemPos&> CLogItemPosArray;

class CLogReportItem : public CObject
{
    DECLARE_SERIAL(CLogReportItem)
public:
    CLogReportItem();
    // Boot, memory and outside-cleaner records.
    CLogReportItem(int nEventKind, const CTime& time, const CString& strPath, const CString& strVirus,
                   int nFirstAction, int nFirstStatus, int nSecondAction, int nSecondStatus);
    // Virus events of the real-time and on-demand scans.
    CLogReportItem(const IOT_EVENT* pEvent, BOOL fManual, BOOL fRealtime, BOOL fScheduled, BOOL fRemote);
    CLogReportItem(const CLogReportItem& other);
    CLogReportItem& operator=(const CLogReportItem& other);
    virtual ~CLogReportItem();

    virtual void Serialize(CArchive& ar);

    CString GetEventKindText() const;
    CString GetResultText() const;
    CString GetDateTimeText() const;     // "y/m/d hh:mm:ss", local time
    CString GetDateText() const;         // "yyyymmdd"
    CString GetTimeText() const;         // "hhmmss"
    CString GetFileName() const;
    CString GetDirectory() const;
    CString BuildCgiQuery(const CString& strCgiPath, const CString& strGuid, BOOL fUrlEncode,
                          const char* pszRelease) const;

    int m_nEventKind;
    int m_nFirstAction;
    int m_nSecondAction;
    int m_nFirstStatus;
    int m_nSecondStatus;
    CTime m_time;
    CString m_strPath;
    CString m_strVirus;
    CString m_strLogin;
    CString m_strCompressedFile;

private:
    void FillLogin();
};

// The records of one day, owned.
class CLogReportArray : public CObArray
{
    DECLARE_SERIAL(CLogReportArray)
public:
    CLogReportArray();
    CLogReportArray(const CLogReportArray& other);
    CLogReportArray& operator=(const CLogReportArray& other);
    virtual ~CLogReportArray();

    virtual void Serialize(CArchive& ar);

    // Throw CFileException* when the file cannot be created or opened.
    void SaveToFile(LPCSTR pszPath);
    void LoadFromFile(LPCSTR pszPath);

    int AddCopy(const CLogReportItem& item);
    // Appends copies of the other day's records.
    void AppendCopies(const CLogReportArray& other);
    void FreeAll();

    CLogReportItem* GetItem(int nIndex) const
    {
        return (nIndex >= 0 && nIndex < GetSize()) ? (CLogReportItem*)GetAt(nIndex) : NULL;
    }
};

// The whole store, one day array per list entry. A lock of its own keeps the list whole while
// threads add, load, save and read; AddItem takes the caller's pending-pairs lock first, for
// the whole insertion, so the lock order is always pending lock, then store.
class CLogReport : public CObject
{
public:
    CLogReport();
    CLogReport(const CLogReport& source, const CTime& from, const CTime& to);
    CLogReport(const CLogReport& source, const CLogItemPosArray& arrPositions);
    virtual ~CLogReport();

    SLogItemPos AddItem(const CLogReportItem& item, CLogItemPosArray* pPending, CCriticalSection* pLock);

    int GetDayCount() const;
    CLogReportArray* GetDayArray(int nDay) const;
    CLogReportItem* GetItem(int nDay, int nItem) const;
    void GetAllItemIndexes(CLogItemPosArray& arrPositions) const;
    void Append(const CLogReport& other);

    // Day files are written beside their names ("yyyy_mm_dd.new") and put in place only when
    // complete, and a day file goes only once the days kept are all saved: a save cut short
    // leaves every file whole. pfStop (non-zero: stop), when given, is looked at between day
    // files; a load stopped that way keeps what it read and leaves the folder as it was.
    void LoadAndPurge(LPCSTR pszFolder, const CTime& from, const CTime& to, const volatile LONG* pfStop = NULL);
    void SaveRange(const CTime& from, const CTime& to, const volatile LONG* pfStop = NULL);
    BOOL LoadFolder(LPCSTR pszFolder);
    BOOL SaveFolder();
    // One file into the store; failures are traced (and shown when asked) and skipped.
    BOOL LoadFile(LPCSTR pszPath, BOOL fShowMessage);
    void RemoveAll();

    CString GetFolder() const;

private:
    CLogReport(const CLogReport&);
    CLogReport& operator=(const CLogReport&);

    // A loaded day joins the day of the same date, or goes to the tail.
    void MergeDay(const CLogReportArray& day);
    // The non-empty days whose first record lies in the range (all with pFrom NULL), each
    // saved whole; their file names are added to arrSaved. FALSE when stopped before the end.
    BOOL SaveDays(const CTime* pFrom, const CTime* pTo, const volatile LONG* pfStop, CStringArray& arrSaved);
    // Deletes the folder's day files not named in arrKept, and new files a save left behind.
    void DeleteDayFilesBut(const CStringArray& arrKept);

    mutable CList<CLogReportArray, CLogReportArray&> m_days;
    CString m_strFolder;
    mutable CCriticalSection m_lock;
};

namespace NS_LogReport
{
    CLogReport& GetLogReport();
    void LoadLogs(const CTime& from, const CTime& to, const volatile LONG* pfStop = NULL);
    void SaveLogs(const CTime& from, const CTime& to, const volatile LONG* pfStop = NULL);
    SLogItemPos AddItem(CLogReportItem& item, CLogItemPosArray* pPending, CCriticalSection* pLock);
    void FinalDestruct();
}

extern CLogReport g_logReport;

// Test seam: called with a day file's path once its new content is complete beside it and
// before it takes the file's place (the store's lock held).
typedef void (*PFN_LOG_DAY_HOOK)(LPCSTR pszDayFile);
extern PFN_LOG_DAY_HOOK g_pfnLogDayWritten;

#endif
