// Saving the unsent store's folder without ever losing what it held.
#include "UnsentStore.h"

#include "LogReport.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "StringUtils.h"

#include <string.h>

namespace
{
const char s_szList[] = "Replace.lst";
const char s_szListTemp[] = "Replace.tmp";

CString InFolder(const CString& strFolder, LPCSTR pszName)
{
    return joinPath(strFolder, pszName);
}

// "yyyy_mm_dd.log" and nothing else may stand in the list.
BOOL IsDayFileName(const CString& strName)
{
    if (strName.GetLength() != 14)
        return FALSE;
    for (int i = 0; i < 14; i++)
    {
        char ch = strName[i];
        BOOL fOk;
        if (i == 4 || i == 7)
            fOk = ch == '_';
        else if (i >= 10)
            fOk = ch == ".log"[i - 10];
        else
            fOk = ch >= '0' && ch <= '9';
        if (!fOk)
            return FALSE;
    }
    return TRUE;
}

// The names of the files matching the pattern in the folder.
void ListFiles(const CString& strFolder, LPCSTR pszPattern, CStringArray& arrNames)
{
    arrNames.RemoveAll();
    WIN32_FIND_DATAA fd;
    HANDLE hFind = ::FindFirstFileA(InFolder(strFolder, pszPattern), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do
    {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            arrNames.Add(fd.cFileName);
    } while (::FindNextFileA(hFind, &fd));
    ::FindClose(hFind);
}

void DeleteMatching(const CString& strFolder, LPCSTR pszPattern)
{
    CStringArray arrNames;
    ListFiles(strFolder, pszPattern, arrNames);
    for (int i = 0; i < arrNames.GetSize(); i++)
        ::DeleteFileA(InFolder(strFolder, arrNames[i]));
}

BOOL Contains(const CStringArray& arrNames, const CString& strName)
{
    for (int i = 0; i < arrNames.GetSize(); i++)
        if (arrNames[i].CompareNoCase(strName) == 0)
            return TRUE;
    return FALSE;
}

// Another program reading a day file (a backup, a viewer) holds it for a moment: the step is
// tried again for about a second before the save gives up.
template <class Step>
BOOL RetryWhileShared(Step step)
{
    for (int nTry = 0;; nTry++)
    {
        if (step())
            return TRUE;
        DWORD dwError = ::GetLastError();
        if ((dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_ACCESS_DENIED) || nTry >= 40)
            return FALSE;
        ::Sleep(25);
    }
}

BOOL WriteList(const CString& strPath, const CStringArray& arrNames)
{
    HANDLE hFile = ::CreateFileA(strPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL fOk = TRUE;
    for (int i = 0; i < arrNames.GetSize() && fOk; i++)
    {
        CString strLine = arrNames[i] + "\r\n";
        DWORD cb = 0;
        fOk = ::WriteFile(hFile, (LPCSTR)strLine, strLine.GetLength(), &cb, NULL) && cb == (DWORD)strLine.GetLength();
    }
    fOk = ::FlushFileBuffers(hFile) && fOk;
    ::CloseHandle(hFile);
    return fOk;
}

BOOL ReadList(const CString& strPath, CStringArray& arrNames)
{
    arrNames.RemoveAll();
    HANDLE hFile = ::CreateFileA(strPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD cbFile = ::GetFileSize(hFile, NULL);
    CString strText;
    BOOL fOk = FALSE;
    if (cbFile != INVALID_FILE_SIZE && cbFile < 1024 * 1024)
    {
        char* pszText = strText.GetBuffer(cbFile + 1);
        DWORD cbRead = 0;
        fOk = ::ReadFile(hFile, pszText, cbFile, &cbRead, NULL) && cbRead == cbFile;
        pszText[fOk ? cbRead : 0] = '\0';
        strText.ReleaseBuffer();
    }
    ::CloseHandle(hFile);
    if (!fOk)
        return FALSE;
    int nStart = 0;
    while (nStart < strText.GetLength())
    {
        int nEnd = strText.Find('\n', nStart);
        if (nEnd < 0)
            nEnd = strText.GetLength();
        CString strName = strText.Mid(nStart, nEnd - nStart);
        strName.TrimRight("\r");
        if (IsDayFileName(strName))
            arrNames.Add(strName);
        nStart = nEnd + 1;
    }
    return TRUE;
}

// The list is in place: every new day file replaces its old one, the day files the list does
// not name go, and the list goes last. While a step fails the list stays, so the next save or
// start finishes the work. strWhat names the save in the traces.
BOOL RollForward(const CString& strFolder, const CStringArray& arrNames, const CString& strWhat)
{
    VGLTRACE(3, "%s: replacing %d day files in %s", (LPCSTR)strWhat, (int)arrNames.GetSize(), (LPCSTR)strFolder);
    BOOL fDone = TRUE;
    for (int i = 0; i < arrNames.GetSize(); i++)
    {
        CString strTarget = InFolder(strFolder, arrNames[i]);
        CString strNew = strTarget.Left(strTarget.GetLength() - 4) + ".new";
        if (::GetFileAttributesA(strNew) == INVALID_FILE_ATTRIBUTES)
            continue;
        // The list still names the new file: a crash within the replace is finished at the next start.
        BOOL fReplaced = RetryWhileShared([&] { return replaceFileWithNew(strNew, strTarget); });
        VGLTRACE(fReplaced ? 3 : 12, "%s: replaced %s (%d), error %lu", (LPCSTR)strWhat, (LPCSTR)arrNames[i],
                 fReplaced, fReplaced ? 0UL : ::GetLastError());
        fDone = fDone && fReplaced;
    }
    CStringArray arrOld;
    ListFiles(strFolder, "*.log", arrOld);
    for (int i = 0; i < arrOld.GetSize(); i++)
    {
        if (Contains(arrNames, arrOld[i]))
            continue;
        CString strOld = InFolder(strFolder, arrOld[i]);
        BOOL fDeleted = RetryWhileShared([&] { return ::DeleteFileA(strOld) != FALSE; });
        VGLTRACE(fDeleted ? 3 : 12, "%s: deleted %s (%d), error %lu", (LPCSTR)strWhat, (LPCSTR)arrOld[i], fDeleted,
                 fDeleted ? 0UL : ::GetLastError());
        fDone = fDone && fDeleted;
    }
    if (!fDone)
    {
        VGLTRACE(12, "%s: not finished, the list stays for the next save", (LPCSTR)strWhat);
        return FALSE;
    }
    ::DeleteFileA(InFolder(strFolder, s_szList));
    VGLTRACE(3, "%s: done", (LPCSTR)strWhat);
    return TRUE;
}
}

BOOL FinishInterruptedSave(const CString& strFolder)
{
    CString strList = InFolder(strFolder, s_szList);
    CStringArray arrNames;
    if (::GetFileAttributesA(strList) != INVALID_FILE_ATTRIBUTES)
    {
        VGLTRACE(3, "UnsentVirusLog save: finishing the save that was cut short");
        // The new files the list names are still needed while it cannot be finished.
        if (!ReadList(strList, arrNames) || !RollForward(strFolder, arrNames, "UnsentVirusLog save cut short"))
            return FALSE;
    }
    DeleteMatching(strFolder, "*.new");
    ::DeleteFileA(InFolder(strFolder, s_szListTemp));
    return TRUE;
}

BOOL SaveStoreToFolder(const CLogReport& store, const CString& strFolder)
{
    // An earlier save still to be finished comes first; until it is, the folder is left alone.
    if (!FinishInterruptedSave(strFolder))
        return FALSE;

    // One file a date; two day arrays of one date share it.
    CStringArray arrNames;
    int nRecords = 0;
    CArray<CLogReportArray*, CLogReportArray*> days;
    for (int nDay = 0; nDay < store.GetDayCount(); nDay++)
    {
        CLogReportArray* pDay = store.GetDayArray(nDay);
        CLogReportItem* pFirst = NULL;
        for (int i = 0; pDay != NULL && i < pDay->GetSize() && pFirst == NULL; i++)
            pFirst = pDay->GetItem(i);
        if (pFirst == NULL)
            continue;
        const CTime& t = pFirst->m_time;
        CString strName;
        strName.Format("%04d_%02d_%02d.log", t.GetYear(), t.GetMonth(), t.GetDay());
        int nAt = -1;
        for (int i = 0; i < arrNames.GetSize(); i++)
            if (arrNames[i] == strName)
                nAt = i;
        if (nAt < 0)
        {
            arrNames.Add(strName);
            days.Add(new CLogReportArray);
            nAt = (int)days.GetSize() - 1;
        }
        days[nAt]->AppendCopies(*pDay);
        nRecords += pDay->GetSize();
    }
    CString strWhat;
    strWhat.Format("UnsentVirusLog save of %d records", nRecords);

    BOOL fWritten = TRUE;
    try
    {
        for (int i = 0; i < arrNames.GetSize(); i++)
        {
            CString strNew = InFolder(strFolder, arrNames[i]);
            strNew = strNew.Left(strNew.GetLength() - 4) + ".new";
            days[i]->SaveToFile(strNew);
        }
    }
    catch (CException* e)
    {
        char szError[260] = "";
        e->GetErrorMessage(szError, sizeof(szError));
        VGLTRACE(12, "UnsentVirusLog save: a day file cannot be written: %s", szError);
        e->Delete();
        fWritten = FALSE;
    }
    for (int i = 0; i < days.GetSize(); i++)
    {
        days[i]->FreeAll();
        delete days[i];
    }
    CString strListTemp = InFolder(strFolder, s_szListTemp);
    if (fWritten)
    {
        VGLTRACE(3, "%s: %d day files written", (LPCSTR)strWhat, (int)arrNames.GetSize());
        fWritten = WriteList(strListTemp, arrNames) && ::MoveFileA(strListTemp, InFolder(strFolder, s_szList));
    }
    if (!fWritten)
    {
        VGLTRACE(12, "%s: not saved, the folder keeps what it held, error %lu", (LPCSTR)strWhat, ::GetLastError());
        DeleteMatching(strFolder, "*.new");
        ::DeleteFileA(strListTemp);
        return FALSE;
    }
    return RollForward(strFolder, arrNames, strWhat);
}
