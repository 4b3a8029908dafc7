// Virus-log records, the day arrays and the store of all days.
#include "LogReport.h"

#include "IOTLib.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "NetSessions.h"
#include "StringUtils.h"
#include "SystemError.h"

#include "resource_ids.h"

#include <stdlib.h>
#include <string.h>

CLogReport g_logReport;
PFN_LOG_DAY_HOOK g_pfnLogDayWritten = NULL;

namespace
{
    CString LoadText(UINT nID)
    {
        CString str;
        str.LoadString(nID);
        return str;
    }

    // yyyymmdd of the local calendar date: equal keys name one day, and keys sort by date.
    int DateKey(const CTime& t)
    {
        struct tm tmLocal;
        if (t.GetLocalTm(&tmLocal) == NULL)
            return 0;
        return (tmLocal.tm_year + 1900) * 10000 + (tmLocal.tm_mon + 1) * 100 + tmLocal.tm_mday;
    }

    CString DayFileName(const CTime& t)
    {
        CString str;
        str.Format("%04d_%02d_%02d.log", t.GetYear(), t.GetMonth(), t.GetDay());
        return str;
    }

    // The first record of a day, or NULL when the day is empty.
    CLogReportItem* FirstItem(const CLogReportArray& day)
    {
        return day.GetItem(0);
    }

    // 00:00 of the calendar date after t's. Noon plus a day lands on the next date whatever
    // the clock changes do on the way.
    CTime NextDate(const CTime& t)
    {
        CTime noon(t.GetYear(), t.GetMonth(), t.GetDay(), 12, 0, 0);
        CTime next = noon + CTimeSpan(1, 0, 0, 0);
        return CTime(next.GetYear(), next.GetMonth(), next.GetDay(), 0, 0, 0);
    }

    // Holds an optional lock for its scope; waits until the section is free.
    class CPendingLock
    {
    public:
        explicit CPendingLock(CCriticalSection* pLock) : m_pLock(pLock)
        {
            if (m_pLock != NULL)
                m_pLock->Lock(10000);
        }
        ~CPendingLock()
        {
            if (m_pLock != NULL)
                m_pLock->Unlock();
        }

    private:
        CCriticalSection* m_pLock;
    };

    BOOL IsStopped(const volatile LONG* pfStop)
    {
        return pfStop != NULL && *pfStop != 0;
    }

    void DeleteFiles(const CString& strFolder, LPCSTR pszPattern, const CStringArray* pKept)
    {
        CStringArray arrNames;
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(joinPath(strFolder, pszPattern), &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            return;
        do
        {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                arrNames.Add(fd.cFileName);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
        for (int i = 0; i < arrNames.GetSize(); i++)
        {
            BOOL fKept = FALSE;
            for (int k = 0; pKept != NULL && k < pKept->GetSize() && !fKept; k++)
                fKept = arrNames[i].CompareNoCase(pKept->GetAt(k)) == 0;
            if (!fKept)
            {
                CString strPath = joinPath(strFolder, arrNames[i]);
                SetFileAttributesA(strPath, FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(strPath);
            }
        }
    }

    CString ExceptionText(CException* e)
    {
        char sz[MAX_PATH] = "";
        e->GetErrorMessage(sz, sizeof sz);
        return sz;
    }
}

int engineActionToLogAction(int nEngineAction)
{
    switch (nEngineAction)
    {
    case IOT_ACTION_DELETE: return LOG_ACTION_DELETE;
    case IOT_ACTION_RENAME: return LOG_ACTION_RENAME;
    case IOT_ACTION_MOVE: return LOG_ACTION_MOVE;
    case IOT_ACTION_CLEAN: return LOG_ACTION_CLEAN;
    default: return LOG_ACTION_NONE;
    }
}

CString getActionResultText(int nLogAction, int nStatus)
{
    if (nStatus)
    {
        switch (nLogAction)
        {
        case 1: return LoadText(IDS_LOG_NONE);
        case 2: return LoadText(IDS_LOG_DELETED);
        case 3: return LoadText(IDS_LOG_RENAMED);
        case 4: return LoadText(IDS_LOG_MOVED);
        default: return LoadText(IDS_LOG_CLEANED);
        }
    }
    UINT nAction;
    switch (nLogAction)
    {
    case 1: nAction = IDS_LOG_NONE; break;
    case 2: nAction = IDS_LOG_DELETE; break;
    case 3: nAction = IDS_LOG_RENAME; break;
    case 4: nAction = IDS_LOG_MOVE; break;
    default: nAction = IDS_LOG_CLEAN; break;
    }
    CString strTail;
    if (!strTail.LoadString(IDS_LOG_FAILED_TAIL))
        strTail.Empty();
    return LoadText(IDS_LOG_FAILED_HEAD) + LoadText(nAction) + strTail;
}

// ---------------------------------------------------------------------------
// CLogReportItem

IMPLEMENT_SERIAL(CLogReportItem, CObject, 1)

CLogReportItem::CLogReportItem()
    : m_nEventKind(1), m_nFirstAction(1), m_nSecondAction(1), m_nFirstStatus(1), m_nSecondStatus(1)
{
}

CLogReportItem::CLogReportItem(int nEventKind, const CTime& time, const CString& strPath,
                               const CString& strVirus, int nFirstAction, int nFirstStatus,
                               int nSecondAction, int nSecondStatus)
    : m_nEventKind(nEventKind), m_nFirstAction(nFirstAction), m_nSecondAction(nSecondAction),
      m_nFirstStatus(nFirstStatus), m_nSecondStatus(nSecondStatus), m_time(time), m_strPath(strPath),
      m_strVirus(strVirus)
{
    FillLogin();
}

CLogReportItem::CLogReportItem(const IOT_EVENT* pEvent, BOOL fManual, BOOL fRealtime, BOOL fScheduled,
                               BOOL /*fRemote*/)
{
    if (fManual)
        m_nEventKind = LOG_EVENT_MANUAL;
    else if (fRealtime)
        m_nEventKind = LOG_EVENT_REALTIME;
    else if (fScheduled)
        m_nEventKind = LOG_EVENT_SCHEDULE;
    else
        m_nEventKind = LOG_EVENT_REMOTE;
    m_nFirstAction = engineActionToLogAction(pEvent->nFirstAction);
    m_nSecondAction = engineActionToLogAction(pEvent->nSecondAction);
    m_nFirstStatus = pEvent->nFirstResult;
    m_nSecondStatus = pEvent->nSecondResult;
    m_time = CTime::GetCurrentTime();
    m_strPath = pEvent->pszFile;
    m_strVirus = pEvent->pszVirus;
    if (pEvent->nLayerCount != 0 && pEvent->nLayerCount != -1)
    {
        m_strCompressedFile = pEvent->pszFile;
        m_strPath = pEvent->apszLayers[0];
    }
    FillLogin();
}

CLogReportItem::CLogReportItem(const CLogReportItem& other) : CObject()
{
    *this = other;
}

CLogReportItem& CLogReportItem::operator=(const CLogReportItem& other)
{
    if (this == &other)
        return *this;
    m_nEventKind = other.m_nEventKind;
    m_nFirstAction = other.m_nFirstAction;
    m_nSecondAction = other.m_nSecondAction;
    m_nFirstStatus = other.m_nFirstStatus;
    m_nSecondStatus = other.m_nSecondStatus;
    m_time = other.m_time;
    m_strPath = other.m_strPath;
    m_strVirus = other.m_strVirus;
    m_strLogin = other.m_strLogin;
    m_strCompressedFile = other.m_strCompressedFile;
    return *this;
}

CLogReportItem::~CLogReportItem() {}

void CLogReportItem::FillLogin()
{
    char szLogin[128];
    memset(szLogin, 0, sizeof szLogin);
    BOOL fDone = FALSE;
    if (m_nEventKind == LOG_EVENT_REALTIME)
    {
        if (GetInfectionSource(NULL, szLogin, sizeof szLogin) != 0)
            fDone = TRUE;
        else
        {
            VGLTRACE(3, "[CLogReportItem::CLogReportItem] GetInfectionSource() = 0");
            memset(szLogin, 0, sizeof szLogin);
        }
    }
    if (!fDone)
    {
        DWORD cb = sizeof szLogin;
        if (!GetUserNameA(szLogin, &cb))
            szLogin[0] = '\0';
    }
    szLogin[sizeof szLogin - 1] = '\0';
    char* pSemicolon = strrchr(szLogin, ';');
    if (pSemicolon)
        *pSemicolon = '\0';
    m_strLogin = szLogin;
}

void CLogReportItem::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar << (LONG)m_nEventKind << (LONG)m_nFirstAction << (LONG)m_nSecondAction << (LONG)m_nFirstStatus
           << (LONG)m_nSecondStatus << m_time << m_strPath << m_strVirus << m_strLogin << m_strCompressedFile;
    }
    else
    {
        ar >> m_nEventKind >> m_nFirstAction >> m_nSecondAction >> m_nFirstStatus >> m_nSecondStatus >> m_time >>
            m_strPath >> m_strVirus >> m_strLogin >> m_strCompressedFile;
    }
}

CString CLogReportItem::GetEventKindText() const
{
    switch (m_nEventKind)
    {
    case LOG_EVENT_MANUAL: return LoadText(IDS_EVENT_MANUAL);
    case LOG_EVENT_REALTIME: return LoadText(IDS_EVENT_REALTIME);
    case LOG_EVENT_SCHEDULE: return LoadText(IDS_EVENT_SCHEDULE);
    case LOG_EVENT_REMOTE: return LoadText(IDS_EVENT_REMOTE);
    default: return CString();
    }
}

CString CLogReportItem::GetResultText() const
{
    if (m_nFirstStatus == 0 && m_nFirstAction == LOG_ACTION_CLEAN)
    {
        CString str;
        str.Format("%s (%s)", (LPCSTR)getActionResultText(LOG_ACTION_CLEAN, 0),
                   (LPCSTR)getActionResultText(m_nSecondAction, m_nSecondStatus));
        return str;
    }
    return getActionResultText(m_nFirstAction, m_nFirstStatus);
}

CString CLogReportItem::GetDateTimeText() const
{
    CString str;
    str.Format("%d/%d/%d %02d:%02d:%02d", m_time.GetYear(), m_time.GetMonth(), m_time.GetDay(), m_time.GetHour(),
               m_time.GetMinute(), m_time.GetSecond());
    return str;
}

CString CLogReportItem::GetDateText() const
{
    CString str;
    str.Format("%04d%02d%02d", m_time.GetYear(), m_time.GetMonth(), m_time.GetDay());
    return str;
}

CString CLogReportItem::GetTimeText() const
{
    CString str;
    str.Format("%02d%02d%02d", m_time.GetHour(), m_time.GetMinute(), m_time.GetSecond());
    return str;
}

// Length of the drive and folder part of a path (up to its last separator), whatever the
// path's length.
static int DirectoryLength(LPCSTR pszPath)
{
    int nLength = 0;
    for (LPCSTR p = pszPath; *p;)
    {
        if (IsDBCSLeadByte((BYTE)*p) && p[1])
        {
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == '/' || (*p == ':' && p == pszPath + 1))
            nLength = (int)(p - pszPath) + 1;
        p++;
    }
    return nLength;
}

CString CLogReportItem::GetFileName() const
{
    return m_strPath.Mid(DirectoryLength(m_strPath));
}

CString CLogReportItem::GetDirectory() const
{
    return m_strPath.Left(DirectoryLength(m_strPath));
}

CString CLogReportItem::BuildCgiQuery(const CString& strCgiPath, const CString& strGuid, BOOL fUrlEncode,
                                      const char* pszRelease) const
{
    CString strDirectory = abbreviateWithEllipsis(GetDirectory(), 254, 3);
    CString strFile = abbreviateWithEllipsis(GetFileName(), 128, 3);
    CString strCompressed = abbreviateWithEllipsis(m_strCompressedFile, 128, 3);
    CString strLogin = m_strLogin;
    CString strVirus = m_strVirus;
    if (fUrlEncode)
    {
        strDirectory = urlEncodeUtf8(strDirectory);
        strFile = urlEncodeUtf8(strFile);
        strCompressed = urlEncodeUtf8(strCompressed);
        strLogin = urlEncodeUtf8(strLogin);
        strVirus = urlEncodeUtf8(strVirus);
    }
    int nFirstStatus = m_nFirstStatus ? 1 : -1;
    int nSecondAction = 0, nSecondStatus = 0;
    if (m_nFirstStatus == 0 && m_nFirstAction == LOG_ACTION_CLEAN)
    {
        nSecondAction = m_nSecondAction;
        nSecondStatus = m_nSecondStatus ? 1 : -1;
    }

    CString strQuery, strPart;
    strQuery.Format("%s?UID=%s&DATE=%04d%02d%02d&TIME=%02d%02d%02d&EVENT=%d&LOGIN=%s&VIRUS=%s", (LPCSTR)strCgiPath,
                    (LPCSTR)strGuid, m_time.GetYear(), m_time.GetMonth(), m_time.GetDay(), m_time.GetHour(),
                    m_time.GetMinute(), m_time.GetSecond(), m_nEventKind, (LPCSTR)strLogin, (LPCSTR)strVirus);
    strPart.Format("&FILE=%s&COMPRESSEDFILE=%s&DIRECTORY=%s", (LPCSTR)strFile, (LPCSTR)strCompressed,
                   (LPCSTR)strDirectory);
    strQuery += strPart;
    strPart.Format("&FIRSTACTION=%d&FIRSTSTATUS=%d&SECONDACTION=%d&SECONDSTATUS=%d", m_nFirstAction, nFirstStatus,
                   nSecondAction, nSecondStatus);
    strQuery += strPart;
    if (pszRelease)
    {
        strPart.Format("&RELEASE=%s", pszRelease);
        strQuery += strPart;
    }
    return strQuery;
}

// ---------------------------------------------------------------------------
// CLogReportArray

IMPLEMENT_SERIAL(CLogReportArray, CObArray, 1)

CLogReportArray::CLogReportArray() {}

CLogReportArray::CLogReportArray(const CLogReportArray& other) : CObArray()
{
    AppendCopies(other);
}

CLogReportArray& CLogReportArray::operator=(const CLogReportArray& other)
{
    if (this != &other)
    {
        FreeAll();
        AppendCopies(other);
    }
    return *this;
}

CLogReportArray::~CLogReportArray()
{
    FreeAll();
}

void CLogReportArray::FreeAll()
{
    for (int i = 0; i < GetSize(); i++)
        delete (CLogReportItem*)GetAt(i);
    RemoveAll();
}

void CLogReportArray::AppendCopies(const CLogReportArray& other)
{
    for (int i = 0; i < other.GetSize(); i++)
        if (other.GetAt(i) != NULL)
            AddCopy(*(CLogReportItem*)other.GetAt(i));
}

int CLogReportArray::AddCopy(const CLogReportItem& item)
{
    CLogReportItem* pCopy = new CLogReportItem(item);
    try
    {
        return Add(pCopy);
    }
    catch (...)
    {
        delete pCopy;
        throw;
    }
}

void CLogReportArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
    {
        ar.WriteCount(GetSize());
        for (int i = 0; i < GetSize(); i++)
            ar << GetAt(i);
        return;
    }
    // Loading keeps what was read before a damaged or cut record.
    try
    {
        DWORD nCount = ar.ReadCount();
        for (DWORD i = 0; i < nCount; i++)
        {
            CObject* pOb = ar.ReadObject(RUNTIME_CLASS(CLogReportItem));
            if (pOb == NULL)
                continue;
            try
            {
                Add(pOb);
            }
            catch (...)
            {
                delete pOb;
                throw;
            }
        }
    }
    catch (CException* e)
    {
        DWORD dwError = GetLastError();
        CString strText;
        strText.Format("(0x%X) %s", (unsigned)dwError, (LPCSTR)ExceptionText(e));
        VGLTRACE(10, "  CException(%s) in CLogReportArray::Serialize(...)", (LPCSTR)strText);
        e->Delete();
    }
}

void CLogReportArray::SaveToFile(LPCSTR pszPath)
{
    CFile file(pszPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    CArchive ar(&file, CArchive::store);
    Serialize(ar);
    ar.Close();
    file.Close();
}

void CLogReportArray::LoadFromFile(LPCSTR pszPath)
{
    FreeAll();
    CFile file(pszPath, CFile::modeRead | CFile::shareDenyWrite);
    CArchive ar(&file, CArchive::load);
    Serialize(ar);
    ar.Close();
    file.Close();
}

// ---------------------------------------------------------------------------
// CLogReport

CLogReport::CLogReport() {}

CLogReport::CLogReport(const CLogReport& source, const CTime& from, const CTime& to)
{
    CSingleLock lock(&source.m_lock, TRUE);
    for (POSITION pos = source.m_days.GetHeadPosition(); pos != NULL;)
    {
        CLogReportArray& day = source.m_days.GetNext(pos);
        for (int i = 0; i < day.GetSize(); i++)
        {
            CLogReportItem* pItem = day.GetItem(i);
            if (pItem != NULL && pItem->m_time >= from && pItem->m_time <= to)
                AddItem(*pItem, NULL, NULL);
        }
    }
}

CLogReport::CLogReport(const CLogReport& source, const CLogItemPosArray& arrPositions)
{
    CSingleLock lock(&source.m_lock, TRUE);
    m_strFolder = source.m_strFolder;
    for (int i = 0; i < arrPositions.GetSize(); i++)
    {
        CLogReportItem* pItem = source.GetItem(arrPositions[i].nDay, arrPositions[i].nItem);
        if (pItem != NULL)
            AddItem(*pItem, NULL, NULL);
    }
}

CLogReport::~CLogReport()
{
    RemoveAll();
}

CString CLogReport::GetFolder() const
{
    CSingleLock lock(&m_lock, TRUE);
    return m_strFolder;
}

SLogItemPos CLogReport::AddItem(const CLogReportItem& item, CLogItemPosArray* pPending, CCriticalSection* pLock)
{
    // The caller's lock first and for the whole insertion: a sender holding it never sees a
    // day inserted in front of a pair that is not yet shifted.
    CPendingLock pendingLock(pLock);
    CSingleLock lock(&m_lock, TRUE);

    int nKey = DateKey(item.m_time);
    SLogItemPos result = { 0, 0 };

    // The first day of the same date takes the record.
    int nDay = 0;
    for (POSITION pos = m_days.GetHeadPosition(); pos != NULL; nDay++)
    {
        CLogReportArray& day = m_days.GetNext(pos);
        CLogReportItem* pFirst = FirstItem(day);
        if (pFirst != NULL && DateKey(pFirst->m_time) == nKey)
        {
            result.nDay = nDay;
            result.nItem = day.AddCopy(item);
            return result;
        }
    }

    // A new day beside the first non-empty day, or at the tail.
    nDay = 0;
    POSITION posFirst = NULL;
    for (POSITION pos = m_days.GetHeadPosition(); pos != NULL; nDay++)
    {
        POSITION posThis = pos;
        if (FirstItem(m_days.GetNext(pos)) != NULL)
        {
            posFirst = posThis;
            break;
        }
    }

    CLogReportArray newDay;
    newDay.AddCopy(item);
    if (posFirst == NULL)
    {
        result.nDay = m_days.GetCount();
        m_days.AddTail(newDay);
        return result;
    }
    if (nKey < DateKey(FirstItem(m_days.GetAt(posFirst))->m_time))
    {
        m_days.InsertBefore(posFirst, newDay);
        result.nDay = nDay;
    }
    else
    {
        m_days.InsertAfter(posFirst, newDay);
        result.nDay = nDay + 1;
    }
    if (pPending != NULL)
    {
        for (int i = 0; i < pPending->GetSize(); i++)
            if (pPending->ElementAt(i).nDay >= result.nDay)
                pPending->ElementAt(i).nDay++;
    }
    return result;
}

int CLogReport::GetDayCount() const
{
    CSingleLock lock(&m_lock, TRUE);
    return m_days.GetCount();
}

CLogReportArray* CLogReport::GetDayArray(int nDay) const
{
    CSingleLock lock(&m_lock, TRUE);
    POSITION pos = m_days.FindIndex(nDay);
    if (pos == NULL)
        return NULL;
    return &m_days.GetAt(pos);
}

CLogReportItem* CLogReport::GetItem(int nDay, int nItem) const
{
    CSingleLock lock(&m_lock, TRUE);
    CLogReportArray* pDay = GetDayArray(nDay);
    return pDay != NULL ? pDay->GetItem(nItem) : NULL;
}

void CLogReport::GetAllItemIndexes(CLogItemPosArray& arrPositions) const
{
    CSingleLock lock(&m_lock, TRUE);
    arrPositions.RemoveAll();
    int nDay = 0;
    for (POSITION pos = m_days.GetHeadPosition(); pos != NULL; nDay++)
    {
        CLogReportArray& day = m_days.GetNext(pos);
        for (int i = 0; i < day.GetSize(); i++)
        {
            SLogItemPos p = { nDay, i };
            arrPositions.Add(p);
        }
    }
}

void CLogReport::Append(const CLogReport& other)
{
    if (&other == this)
        return;
    CSingleLock otherLock(&other.m_lock, TRUE);
    for (POSITION pos = other.m_days.GetHeadPosition(); pos != NULL;)
    {
        CLogReportArray& day = other.m_days.GetNext(pos);
        for (int i = 0; i < day.GetSize(); i++)
            if (day.GetItem(i) != NULL)
                AddItem(*day.GetItem(i), NULL, NULL);
    }
}

void CLogReport::MergeDay(const CLogReportArray& day)
{
    CSingleLock lock(&m_lock, TRUE);
    CLogReportItem* pLoaded = FirstItem(day);
    if (pLoaded != NULL)
    {
        // Appended behind the records already held, so their positions stay valid.
        int nKey = DateKey(pLoaded->m_time);
        for (POSITION pos = m_days.GetHeadPosition(); pos != NULL;)
        {
            CLogReportArray& held = m_days.GetNext(pos);
            CLogReportItem* pFirst = FirstItem(held);
            if (pFirst != NULL && DateKey(pFirst->m_time) == nKey)
            {
                held.AppendCopies(day);
                return;
            }
        }
    }
    m_days.AddTail(const_cast<CLogReportArray&>(day));
}

void CLogReport::LoadAndPurge(LPCSTR pszFolder, const CTime& from, const CTime& to, const volatile LONG* pfStop)
{
    VGLTRACE(1, "-->CLogReport::LoadAndPurge(%s, %ld, %ld)", pszFolder, (long)from.GetTime(), (long)to.GetTime());
    CSingleLock lock(&m_lock, TRUE);
    // Stopped before reading: the folder stays unknown, so no save writes a day over its file.
    if (IsStopped(pfStop))
        return;
    m_strFolder = pszFolder;
    if (m_strFolder.IsEmpty() || !isDirectoryExist(m_strFolder))
        return;
    if (from <= to)
    {
        // One name per calendar date: a day of 23 or 25 hours is neither skipped nor read twice.
        // All or nothing: a later save must not write a day over a file not yet read.
        for (CTime t = from; t <= to; t = NextDate(t))
        {
            CString strPath = joinPath(m_strFolder, DayFileName(t));
            if (isFileExist(strPath))
            {
                CLogReportArray day;
                day.LoadFromFile(strPath);
                MergeDay(day);
            }
        }
    }
    CStringArray arrSaved;
    if (from <= to && !SaveDays(&from, &to, pfStop, arrSaved))
    {
        VGLTRACE(3, "<--CLogReport::LoadAndPurge(%s), stopped before the purge", pszFolder);
        return;
    }
    DeleteDayFilesBut(arrSaved);
    VGLTRACE(2, "<--CLogReport::LoadAndPurge(%s), %d days", pszFolder, m_days.GetCount());
}

void CLogReport::SaveRange(const CTime& from, const CTime& to, const volatile LONG* pfStop)
{
    VGLTRACE(1, "-->CLogReport::SaveRange(%ld, %ld)", (long)from.GetTime(), (long)to.GetTime());
    CSingleLock lock(&m_lock, TRUE);
    if (m_strFolder.IsEmpty() || !isDirectoryExist(m_strFolder))
        return;
    CStringArray arrSaved;
    if (!SaveDays(&from, &to, pfStop, arrSaved))
        VGLTRACE(3, "<--CLogReport::SaveRange(), stopped after %d days", (int)arrSaved.GetSize());
}

BOOL CLogReport::SaveDays(const CTime* pFrom, const CTime* pTo, const volatile LONG* pfStop, CStringArray& arrSaved)
{
    for (POSITION pos = m_days.GetHeadPosition(); pos != NULL;)
    {
        CLogReportArray& day = m_days.GetNext(pos);
        CLogReportItem* pFirst = FirstItem(day);
        if (pFirst == NULL || (pFrom != NULL && (pFirst->m_time < *pFrom || pFirst->m_time > *pTo)))
            continue;
        if (IsStopped(pfStop))
            return FALSE;
        CString strName = DayFileName(pFirst->m_time);
        CString strPath = joinPath(m_strFolder, strName);
        CString strNew = strPath.Left(strPath.GetLength() - 4) + ".new";
        try
        {
            day.SaveToFile(strNew);
        }
        catch (...)
        {
            DeleteFileA(strNew);
            throw;
        }
        if (g_pfnLogDayWritten != NULL)
            g_pfnLogDayWritten(strPath);
        if (!replaceFileWithNew(strNew, strPath))
        {
            DWORD dwError = GetLastError();
            DeleteFileA(strNew);
            THROW_SYSTEM_ERROR(dwError);
        }
        arrSaved.Add(strName);
    }
    return TRUE;
}

void CLogReport::DeleteDayFilesBut(const CStringArray& arrKept)
{
    DeleteFiles(m_strFolder, "*.log", &arrKept);
    DeleteFiles(m_strFolder, "*.new", NULL);
}

BOOL CLogReport::LoadFile(LPCSTR pszPath, BOOL fShowMessage)
{
    CString strError;
    try
    {
        CLogReportArray day;
        day.LoadFromFile(pszPath);
        MergeDay(day);
        return TRUE;
    }
    catch (CException* e)
    {
        strError = ExceptionText(e);
        VGLTRACE(10, "CException = %s in CLogReport::LoadFile(%s)", (LPCSTR)strError, pszPath);
        e->Delete();
    }
    catch (CSystemError& e)
    {
        strError = e.ToString();
        VGLTRACE(10, "CSystemError = %s in CLogReport::LoadFile(%s)", (LPCSTR)strError, pszPath);
    }
    catch (...)
    {
        strError = LoadText(IDS_UNKNOWN_EXCEPTION);
        VGLTRACE(10, "Exception(...) %s in CLogReport::LoadFile(%s)", (LPCSTR)strError, pszPath);
    }
    if (fShowMessage)
        ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
    return FALSE;
}

BOOL CLogReport::LoadFolder(LPCSTR pszFolder)
{
    VGLTRACE(1, "-->CLogReport::LoadFolder(%s)", pszFolder);
    CSingleLock lock(&m_lock, TRUE);
    m_strFolder = pszFolder;
    if (m_strFolder.IsEmpty() || !isDirectoryExist(m_strFolder))
        return FALSE;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(joinPath(m_strFolder, "*.log"), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return TRUE;
    do
    {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            LoadFile(joinPath(m_strFolder, fd.cFileName), FALSE);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return TRUE;
}

BOOL CLogReport::SaveFolder()
{
    VGLTRACE(1, "-->CLogReport::SaveFolder() %s", (LPCSTR)m_strFolder);
    CSingleLock lock(&m_lock, TRUE);
    if (m_strFolder.IsEmpty() || !isDirectoryExist(m_strFolder))
        return FALSE;
    CStringArray arrSaved;
    SaveDays(NULL, NULL, NULL, arrSaved);
    DeleteDayFilesBut(arrSaved);
    return TRUE;
}

void CLogReport::RemoveAll()
{
    CSingleLock lock(&m_lock, TRUE);
    m_days.RemoveAll();
}

// ---------------------------------------------------------------------------
// NS_LogReport

namespace NS_LogReport
{
    CLogReport& GetLogReport()
    {
        return g_logReport;
    }

    void LoadLogs(const CTime& from, const CTime& to, const volatile LONG* pfStop)
    {
        CString strFolder = joinPath(getModulePath(), "Log");
        if (!isDirectoryExist(strFolder))
            CreateDirectoryA(strFolder, NULL);
        g_logReport.LoadAndPurge(strFolder, from, to, pfStop);
    }

    void SaveLogs(const CTime& from, const CTime& to, const volatile LONG* pfStop)
    {
        g_logReport.SaveRange(from, to, pfStop);
    }

    SLogItemPos AddItem(CLogReportItem& item, CLogItemPosArray* pPending, CCriticalSection* pLock)
    {
        return g_logReport.AddItem(item, pPending, pLock);
    }

    void FinalDestruct()
    {
        g_logReport.RemoveAll();
    }
}
