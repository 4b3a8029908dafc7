#include "afxfile.h"

#include <string.h>

namespace {

CString FullPath(LPCSTR lpszFileName)
{
    char szPath[MAX_PATH];
    LPSTR pFilePart = NULL;
    DWORD n = GetFullPathNameA(lpszFileName, MAX_PATH, szPath, &pFilePart);
    if (n == 0 || n >= MAX_PATH)
        return CString(lpszFileName);
    return CString(szPath);
}

void ThrowFileError(DWORD dwError, LPCSTR lpszFileName)
{
    AfxThrowFileException(CFileException::OsErrorToException((LONG)dwError), (LONG)dwError, lpszFileName);
}

// Local CTime to UTC FILETIME, the way file times are stored.
void TimeToFileTime(const CTime& time, FILETIME* pFileTime, LPCSTR lpszFileName)
{
    SYSTEMTIME st;
    FILETIME local;
    if (!time.GetAsSystemTime(st))
        AfxThrowFileException(CFileException::generic, -1, lpszFileName);
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, pFileTime))
        ThrowFileError(GetLastError(), lpszFileName);
}

} // namespace

IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CStdioFile, CFile)

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE), m_bCloseOnDelete(FALSE)
{
}

CFile::CFile(HANDLE hFile) : m_hFile(hFile), m_bCloseOnDelete(FALSE)
{
}

CFile::CFile(LPCSTR lpszFileName, UINT nOpenFlags) : m_hFile(INVALID_HANDLE_VALUE), m_bCloseOnDelete(FALSE)
{
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e))
        AfxThrowFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
}

CFile::~CFile()
{
    // A destructor must not throw: errors on this last close are dropped.
    if (m_hFile != INVALID_HANDLE_VALUE && m_bCloseOnDelete)
        Abort();
}

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pException)
{
    nOpenFlags &= ~(UINT)(typeBinary | typeText);
    m_bCloseOnDelete = FALSE;
    m_hFile = INVALID_HANDLE_VALUE;
    m_strFileName.Empty();

    m_strFileName = FullPath(lpszFileName);

    DWORD dwAccess = 0;
    switch (nOpenFlags & 3) {
    case modeRead: dwAccess = GENERIC_READ; break;
    case modeWrite: dwAccess = GENERIC_WRITE; break;
    case modeReadWrite: dwAccess = GENERIC_READ | GENERIC_WRITE; break;
    default: dwAccess = GENERIC_READ; break;
    }

    DWORD dwShareMode = 0;
    switch (nOpenFlags & 0x70) {
    case shareCompat:
    case shareExclusive: dwShareMode = 0; break;
    case shareDenyWrite: dwShareMode = FILE_SHARE_READ; break;
    case shareDenyRead: dwShareMode = FILE_SHARE_WRITE; break;
    case shareDenyNone: dwShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: dwShareMode = 0; break;
    }

    SECURITY_ATTRIBUTES sa;
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = NULL;
    sa.bInheritHandle = (nOpenFlags & modeNoInherit) == 0;

    DWORD dwCreateFlag;
    if (nOpenFlags & modeCreate)
        dwCreateFlag = (nOpenFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    else
        dwCreateFlag = OPEN_EXISTING;

    HANDLE hFile = CreateFileA(lpszFileName, dwAccess, dwShareMode, &sa, dwCreateFlag,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        if (pException != NULL) {
            pException->m_lOsError = (LONG)GetLastError();
            pException->m_cause = CFileException::OsErrorToException(pException->m_lOsError);
            pException->m_strFileName = lpszFileName;
        }
        m_strFileName.Empty();
        return FALSE;
    }
    m_hFile = hFile;
    m_bCloseOnDelete = TRUE;
    return TRUE;
}

void CFile::ThrowOsError(DWORD dwError) const
{
    ThrowFileError(dwError, m_strFileName);
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0)
        return 0;
    DWORD dwRead = 0;
    if (!ReadFile(m_hFile, lpBuf, nCount, &dwRead, NULL))
        ThrowOsError(GetLastError());
    return (UINT)dwRead;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (nCount == 0)
        return;
    DWORD nWritten = 0;
    if (!WriteFile(m_hFile, lpBuf, nCount, &nWritten, NULL))
        ThrowOsError(GetLastError());
    if (nWritten != nCount)
        AfxThrowFileException(CFileException::diskFull, -1, m_strFileName);
}

LONG CFile::Seek(LONG lOff, UINT nFrom)
{
    DWORD dwMethod = nFrom == end ? FILE_END : nFrom == current ? FILE_CURRENT : FILE_BEGIN;
    DWORD dwNew = SetFilePointer(m_hFile, lOff, NULL, dwMethod);
    if (dwNew == (DWORD)-1)
        ThrowOsError(GetLastError());
    return (LONG)dwNew;
}

DWORD CFile::GetPosition() const
{
    DWORD dwPos = SetFilePointer(m_hFile, 0, NULL, FILE_CURRENT);
    if (dwPos == (DWORD)-1)
        ThrowOsError(GetLastError());
    return dwPos;
}

DWORD CFile::SeekToEnd()
{
    return (DWORD)Seek(0, end);
}

void CFile::SeekToBegin()
{
    Seek(0, begin);
}

void CFile::SetLength(DWORD dwNewLen)
{
    Seek((LONG)dwNewLen, begin);
    if (!SetEndOfFile(m_hFile))
        ThrowOsError(GetLastError());
}

DWORD CFile::GetLength() const
{
    CFile* self = const_cast<CFile*>(this);
    DWORD dwCur = (DWORD)self->CFile::Seek(0, current);
    DWORD dwLen = (DWORD)self->CFile::Seek(0, end);
    self->CFile::Seek((LONG)dwCur, begin);
    return dwLen;
}

void CFile::Flush()
{
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    if (!FlushFileBuffers(m_hFile))
        ThrowOsError(GetLastError());
}

void CFile::Close()
{
    BOOL bError = FALSE;
    DWORD dwError = 0;
    if (m_hFile != INVALID_HANDLE_VALUE) {
        bError = !CloseHandle(m_hFile);
        if (bError)
            dwError = GetLastError();
    }
    m_hFile = INVALID_HANDLE_VALUE;
    m_bCloseOnDelete = FALSE;
    CString name = m_strFileName;
    m_strFileName.Empty();
    if (bError)
        ThrowFileError(dwError, name);
}

void CFile::Abort()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bCloseOnDelete = FALSE;
    m_strFileName.Empty();
}

CString CFile::GetFileName() const
{
    LPCSTR path = m_strFileName;
    LPCSTR name = path;
    for (LPCSTR p = path; *p != '\0'; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    return CString(name);
}

CString CFile::GetFileTitle() const
{
    CString name = GetFileName();
    int dot = name.ReverseFind('.');
    if (dot >= 0)
        name = name.Left(dot);
    return name;
}

CString CFile::GetFilePath() const
{
    return m_strFileName;
}

void CFile::SetFilePath(LPCSTR lpszNewName)
{
    m_strFileName = lpszNewName;
}

void PASCAL CFile::Rename(LPCSTR lpszOldName, LPCSTR lpszNewName)
{
    if (!MoveFileA(lpszOldName, lpszNewName))
        ThrowFileError(GetLastError(), lpszOldName);
}

void PASCAL CFile::Remove(LPCSTR lpszFileName)
{
    if (!DeleteFileA(lpszFileName))
        ThrowFileError(GetLastError(), lpszFileName);
}

BOOL PASCAL CFile::GetStatus(LPCSTR lpszFileName, CFileStatus& rStatus)
{
    rStatus.m_szFullName[0] = '\0';
    char szPath[MAX_PATH];
    LPSTR pFilePart = NULL;
    DWORD n = GetFullPathNameA(lpszFileName, MAX_PATH, szPath, &pFilePart);
    if (n == 0 || n >= MAX_PATH)
        return FALSE;
    lstrcpynA(rStatus.m_szFullName, szPath, MAX_PATH);
    // A pattern would report some other file.
    if (strpbrk(lpszFileName, "*?") != NULL)
        return FALSE;

    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(lpszFileName, &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);

    rStatus.m_attribute = (BYTE)(fd.dwFileAttributes & ~FILE_ATTRIBUTE_NORMAL);
    rStatus.m_size = (LONG)fd.nFileSizeLow;
    rStatus.m_ctime = CTime(fd.ftCreationTime);
    rStatus.m_atime = CTime(fd.ftLastAccessTime);
    rStatus.m_mtime = CTime(fd.ftLastWriteTime);
    if (rStatus.m_ctime.GetTime() == 0)
        rStatus.m_ctime = rStatus.m_mtime;
    if (rStatus.m_atime.GetTime() == 0)
        rStatus.m_atime = rStatus.m_mtime;
    return TRUE;
}

void PASCAL CFile::SetStatus(LPCSTR lpszFileName, const CFileStatus& status)
{
    DWORD wAttr = GetFileAttributesA(lpszFileName);
    if (wAttr == (DWORD)-1)
        ThrowFileError(GetLastError(), lpszFileName);

    // A read-only file loses that attribute first so its times can be written.
    if ((DWORD)status.m_attribute != wAttr && (wAttr & readOnly)) {
        if (!SetFileAttributesA(lpszFileName, (DWORD)status.m_attribute))
            ThrowFileError(GetLastError(), lpszFileName);
    }

    if (status.m_mtime.GetTime() != 0) {
        FILETIME lastWrite, lastAccess, creation;
        FILETIME* pLastAccess = NULL;
        FILETIME* pCreation = NULL;
        TimeToFileTime(status.m_mtime, &lastWrite, lpszFileName);
        if (status.m_atime.GetTime() != 0) {
            TimeToFileTime(status.m_atime, &lastAccess, lpszFileName);
            pLastAccess = &lastAccess;
        }
        if (status.m_ctime.GetTime() != 0) {
            TimeToFileTime(status.m_ctime, &creation, lpszFileName);
            pCreation = &creation;
        }
        HANDLE hFile = CreateFileA(lpszFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE)
            ThrowFileError(GetLastError(), lpszFileName);
        BOOL bOk = SetFileTime(hFile, pCreation, pLastAccess, &lastWrite);
        DWORD dwError = bOk ? 0 : GetLastError();
        CloseHandle(hFile);
        if (!bOk)
            ThrowFileError(dwError, lpszFileName);
    }

    if ((DWORD)status.m_attribute != wAttr && !(wAttr & readOnly)) {
        if (!SetFileAttributesA(lpszFileName, (DWORD)status.m_attribute))
            ThrowFileError(GetLastError(), lpszFileName);
    }
}

// CStdioFile

CStdioFile::CStdioFile() : m_bText(TRUE), m_nBufPos(0), m_nBufLen(0)
{
}

CStdioFile::CStdioFile(LPCSTR lpszFileName, UINT nOpenFlags) : m_bText(TRUE), m_nBufPos(0), m_nBufLen(0)
{
    CFileException e;
    if (!Open(lpszFileName, nOpenFlags, &e))
        AfxThrowFileException(e.m_cause, e.m_lOsError, e.m_strFileName);
}

CStdioFile::~CStdioFile()
{
}

BOOL CStdioFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    m_bText = (nOpenFlags & typeBinary) == 0;
    m_nBufPos = m_nBufLen = 0;
    return CFile::Open(lpszFileName, nOpenFlags, pError);
}

int CStdioFile::GetByte()
{
    if (m_nBufPos == m_nBufLen) {
        m_nBufPos = 0;
        m_nBufLen = CFile::Read(m_buf, sizeof(m_buf));
        if (m_nBufLen == 0)
            return -1;
    }
    return m_buf[m_nBufPos++];
}

int CStdioFile::GetChar()
{
    int ch = GetByte();
    if (m_bText && ch == '\r') {
        int next = GetByte();
        if (next == '\n')
            return '\n';
        if (next != -1)
            --m_nBufPos; // a lone '\r' stays
    }
    return ch;
}

void CStdioFile::DropReadAhead()
{
    // Put the file position back where the reader stands.
    if (m_nBufPos < m_nBufLen)
        CFile::Seek(-(LONG)(m_nBufLen - m_nBufPos), current);
    m_nBufPos = m_nBufLen = 0;
}

BOOL CStdioFile::ReadString(CString& rString)
{
    rString.Empty();
    BOOL bAny = FALSE;
    int ch;
    while ((ch = GetChar()) != -1) {
        bAny = TRUE;
        if (ch == '\n')
            break;
        rString += (char)ch;
    }
    return bAny;
}

LPSTR CStdioFile::ReadString(LPSTR lpsz, UINT nMax)
{
    if (lpsz == NULL || nMax == 0)
        return NULL;
    UINT n = 0;
    while (n + 1 < nMax) {
        int ch = GetChar();
        if (ch == -1)
            break;
        lpsz[n++] = (char)ch;
        if (ch == '\n')
            break;
    }
    lpsz[n] = '\0';
    return (n == 0 && nMax > 1) ? NULL : lpsz;
}

void CStdioFile::WriteString(LPCSTR lpsz)
{
    Write(lpsz, lstrlenA(lpsz));
}

UINT CStdioFile::Read(void* lpBuf, UINT nCount)
{
    BYTE* p = (BYTE*)lpBuf;
    UINT n = 0;
    if (!m_bText) {
        // Hand out what is buffered, then read straight from the file.
        UINT nBuffered = m_nBufLen - m_nBufPos;
        if (nBuffered > nCount)
            nBuffered = nCount;
        memcpy(p, m_buf + m_nBufPos, nBuffered);
        m_nBufPos += nBuffered;
        n = nBuffered;
        if (n < nCount)
            n += CFile::Read(p + n, nCount - n);
        return n;
    }
    while (n < nCount) {
        int ch = GetChar();
        if (ch == -1)
            break;
        p[n++] = (BYTE)ch;
    }
    return n;
}

void CStdioFile::Write(const void* lpBuf, UINT nCount)
{
    DropReadAhead();
    if (!m_bText) {
        CFile::Write(lpBuf, nCount);
        return;
    }
    const char* p = (const char*)lpBuf;
    const char* run = p;
    for (UINT i = 0; i < nCount; ++i) {
        if (p[i] == '\n') {
            CFile::Write(run, (UINT)(p + i - run));
            CFile::Write("\r\n", 2);
            run = p + i + 1;
        }
    }
    CFile::Write(run, (UINT)(p + nCount - run));
}

DWORD CStdioFile::GetPosition() const
{
    return CFile::GetPosition() - (m_nBufLen - m_nBufPos);
}

LONG CStdioFile::Seek(LONG lOff, UINT nFrom)
{
    DropReadAhead();
    return CFile::Seek(lOff, nFrom);
}

void CStdioFile::SetLength(DWORD dwNewLen)
{
    DropReadAhead();
    CFile::SetLength(dwNewLen);
}

DWORD CStdioFile::GetLength() const
{
    return CFile::GetLength();
}

void CStdioFile::Flush()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        DropReadAhead();
    CFile::Flush();
}

void CStdioFile::Close()
{
    m_nBufPos = m_nBufLen = 0;
    CFile::Close();
}

void CStdioFile::Abort()
{
    m_nBufPos = m_nBufLen = 0;
    CFile::Abort();
}
