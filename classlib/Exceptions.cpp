// Exception classes. Exceptions are thrown as heap pointers and the handler
// calls Delete(); the out-of-memory exception is one shared static object.
#include "afx.h"
#include "afxinet.h"

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CResourceException, CException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CException)
IMPLEMENT_DYNAMIC(CArchiveException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)
IMPLEMENT_DYNAMIC(CInternetException, CException)

namespace
{
// Copies text into the caller's buffer, cut to nMaxError - 1 bytes without
// splitting a double-byte character.
BOOL CopyMessage(LPCSTR lpszText, LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    if (pnHelpContext != NULL)
        *pnHelpContext = 0;
    if (lpszError == NULL || nMaxError == 0)
        return TRUE;
    UINT n = 0;
    while (lpszText[n] != '\0')
    {
        UINT nChar = (_ismbblead((unsigned char)lpszText[n]) && lpszText[n + 1] != '\0') ? 2 : 1;
        if (n + nChar > nMaxError - 1)
            break;
        n += nChar;
    }
    memcpy(lpszError, lpszText, n);
    lpszError[n] = '\0';
    return TRUE;
}

// Replaces "%1" in lpszFormat by the file name, or by "an unnamed file".
CString WithFileName(LPCSTR lpszFormat, const CString& strFileName)
{
    CString strText(lpszFormat);
    if (!strFileName.IsEmpty())
        strText.Replace("%1", strFileName);
    else
        strText.Replace("%1", strText.Find("%1") == 0 ? "An unnamed file" : "an unnamed file");
    return strText;
}

CString AppTitle()
{
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, szPath, sizeof(szPath));
    szPath[n < sizeof(szPath) ? n : sizeof(szPath) - 1] = '\0';
    CString strTitle(szPath);
    strTitle = strTitle.Mid(strTitle.ReverseFind('\\') + 1);
    int nDot = strTitle.ReverseFind('.');
    if (nDot > 0)
        strTitle = strTitle.Left(nDot);
    return strTitle;
}
}

// ---------------------------------------------------------------------------

CException::CException() : m_bAutoDelete(TRUE)
{
}

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete)
{
}

CException::~CException()
{
}

BOOL CException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    if (pnHelpContext != NULL)
        *pnHelpContext = 0;
    if (lpszError != NULL && nMaxError != 0)
        *lpszError = '\0';
    return FALSE;
}

int CException::ReportError(UINT nType, UINT nMessageID)
{
    char szMessage[512];
    CString strText;
    if (GetErrorMessage(szMessage, sizeof(szMessage), NULL))
        strText = szMessage;
    else if (nMessageID == 0 || !strText.LoadString(nMessageID))
        strText = "No error message is available.";
    return ::MessageBoxA(GetActiveWindow(), strText, AppTitle(), nType);
}

void CException::Delete()
{
    if (m_bAutoDelete > 0)
        delete this;
}

// ---------------------------------------------------------------------------

CMemoryException::CMemoryException() : CException(TRUE)
{
}

CMemoryException::CMemoryException(BOOL bAutoDelete) : CException(bAutoDelete)
{
}

BOOL CMemoryException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    return CopyMessage("Out of memory.", lpszError, nMaxError, pnHelpContext);
}

void AFXAPI AfxThrowMemoryException()
{
    // No allocation when memory has run out: a shared object that Delete() keeps.
    static CMemoryException s_memoryException(FALSE);
    throw &s_memoryException;
}

CResourceException::CResourceException() : CException(TRUE)
{
}

CResourceException::CResourceException(BOOL bAutoDelete) : CException(bAutoDelete)
{
}

BOOL CResourceException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    return CopyMessage("A required resource was unavailable.", lpszError, nMaxError, pnHelpContext);
}

void AFXAPI AfxThrowResourceException()
{
    // Shared like the memory exception: thrown when the system has run short.
    static CResourceException s_resourceException(FALSE);
    throw &s_resourceException;
}

CNotSupportedException::CNotSupportedException()
{
}

BOOL CNotSupportedException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    return CopyMessage("An unsupported operation was attempted.", lpszError, nMaxError, pnHelpContext);
}

void AFXAPI AfxThrowNotSupportedException()
{
    throw new CNotSupportedException;
}

// ---------------------------------------------------------------------------

CArchiveException::CArchiveException(int cause, LPCSTR lpszArchiveName)
    : m_cause(cause), m_strFileName(lpszArchiveName)
{
}

BOOL CArchiveException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    static const char* const s_texts[] = {
        "No error occurred.",
        "An unexpected error occurred while accessing %1.",
        "Tried to write to %1 while reading it.",
        "An unexpected end of file was found while reading %1.",
        "Tried to read from %1 while writing it.",
        "%1 has an invalid format.",
        "%1 contains an unexpected object.",
        "%1 contains an object of an unknown version.",
    };
    int nCause = (m_cause >= 0 && m_cause < (int)(sizeof(s_texts) / sizeof(s_texts[0]))) ? m_cause : generic;
    return CopyMessage(WithFileName(s_texts[nCause], m_strFileName), lpszError, nMaxError, pnHelpContext);
}

void AFXAPI AfxThrowArchiveException(int cause, LPCSTR lpszArchiveName)
{
    throw new CArchiveException(cause, lpszArchiveName);
}

// ---------------------------------------------------------------------------

CFileException::CFileException(int cause, LONG lOsError, LPCSTR lpszArchiveName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(lpszArchiveName)
{
}

BOOL CFileException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    static const char* const s_texts[] = {
        "No error occurred.",
        "An unknown error occurred while accessing %1.",
        "%1 was not found.",
        "%1 contains an invalid path.",
        "%1 could not be opened because there are too many open files.",
        "Access to %1 was denied.",
        "An invalid file handle was associated with %1.",
        "%1 could not be removed because it is the current directory.",
        "%1 could not be created because the directory is full.",
        "Seek failed on %1.",
        "A hardware I/O error was reported while accessing %1.",
        "A sharing violation occurred while accessing %1.",
        "A locking violation occurred while accessing %1.",
        "Disk full while accessing %1.",
        "An attempt was made to access %1 past its end.",
    };
    int nCause = (m_cause >= 0 && m_cause < (int)(sizeof(s_texts) / sizeof(s_texts[0]))) ? m_cause : generic;
    return CopyMessage(WithFileName(s_texts[nCause], m_strFileName), lpszError, nMaxError, pnHelpContext);
}

int PASCAL CFileException::OsErrorToException(LONG lOsError)
{
    switch (lOsError)
    {
    case NO_ERROR:
        return none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
    case ERROR_NO_MORE_FILES:
    case ERROR_DISK_CHANGE:
        return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_SAME_DEVICE:
    case ERROR_WRONG_DISK:
    case ERROR_DUP_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NET_NAME:
    case ERROR_SHARING_PAUSED:
    case ERROR_ALREADY_ASSIGNED:
    case ERROR_BUFFER_OVERFLOW:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_LEVEL:
    case ERROR_NO_VOLUME_LABEL:
    case ERROR_DIR_NOT_ROOT:
    case ERROR_LABEL_TOO_LONG:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_META_EXPANSION_TOO_LONG:
    case ERROR_DIRECTORY:
        return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_SHARING_BUFFER_EXCEEDED:
    case ERROR_TOO_MANY_NAMES:
    case ERROR_NO_MORE_SEARCH_HANDLES:
        return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_ACCESS:
    case ERROR_WRITE_PROTECT:
    case ERROR_WRITE_FAULT:
    case ERROR_NETWORK_BUSY:
    case ERROR_BAD_NET_RESP:
    case ERROR_NETNAME_DELETED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_REQ_NOT_ACCEP:
    case ERROR_FILE_EXISTS:
    case ERROR_CANNOT_MAKE:
    case ERROR_INVALID_PASSWORD:
    case ERROR_BUSY:
    case ERROR_ALREADY_EXISTS:
    case ERROR_SWAPERROR:
        return accessDenied;
    case ERROR_BAD_FORMAT:
    case ERROR_NOT_DOS_DISK:
    case ERROR_BAD_REM_ADAP:
    case ERROR_BAD_DEV_TYPE:
    case ERROR_INVALID_TARGET_HANDLE:
    case ERROR_INVALID_ORDINAL:
    case ERROR_INVALID_EXE_SIGNATURE:
    case ERROR_BAD_EXE_FORMAT:
        return invalidFile;
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_DIR_NOT_EMPTY:
        return removeCurrentDir;
    case ERROR_NO_SPOOL_SPACE:
        return directoryFull;
    case ERROR_BAD_LENGTH:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK_ON_DEVICE:
        return badSeek;
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_CRC:
    case ERROR_ADAP_HDW_ERR:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NET_WRITE_FAULT:
    case ERROR_INVALID_CATEGORY:
    case ERROR_OPERATION_ABORTED:
    case ERROR_IO_INCOMPLETE:
    case ERROR_IO_PENDING:
        return hardIO;
    case ERROR_SHARING_VIOLATION:
        return sharingViolation;
    case ERROR_LOCK_VIOLATION:
    case ERROR_DRIVE_LOCKED:
    case ERROR_LOCK_FAILED:
        return lockViolation;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
        return diskFull;
    case ERROR_HANDLE_EOF:
        return endOfFile;
    default:
        return generic;
    }
}

int PASCAL CFileException::ErrnoToException(int nErrno)
{
    switch (nErrno)
    {
    case EPERM:
    case EACCES:
        return accessDenied;
    case EBADF:
        return invalidFile;
    case EDEADLOCK:
        return sharingViolation;
    case EMFILE:
        return tooManyOpenFiles;
    case ENOENT:
    case ENFILE:
        return fileNotFound;
    case ENOSPC:
        return diskFull;
    case EINVAL:
    case EIO:
        return hardIO;
    default:
        return generic;
    }
}

void PASCAL CFileException::ThrowOsError(LONG lOsError, LPCSTR lpszFileName)
{
    if (lOsError != 0)
        AfxThrowFileException(OsErrorToException(lOsError), lOsError, lpszFileName);
}

void PASCAL CFileException::ThrowErrno(int nErrno, LPCSTR lpszFileName)
{
    if (nErrno != 0)
        AfxThrowFileException(ErrnoToException(nErrno), _doserrno, lpszFileName);
}

void AFXAPI AfxThrowFileException(int cause, LONG lOsError, LPCSTR lpszFileName)
{
    throw new CFileException(cause, lOsError, lpszFileName);
}

// ---------------------------------------------------------------------------

CInternetException::CInternetException(DWORD dwError) : m_dwError(dwError), m_dwContext(0)
{
}

BOOL CInternetException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    if (pnHelpContext != NULL)
        *pnHelpContext = 0;
    if (lpszError == NULL || nMaxError == 0)
        return FALSE;
    *lpszError = '\0';

    LPSTR lpBuffer = NULL;
    HMODULE hWinInet = GetModuleHandleA("wininet.dll");
    DWORD dwFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                    FORMAT_MESSAGE_IGNORE_INSERTS | (hWinInet != NULL ? FORMAT_MESSAGE_FROM_HMODULE : 0);
    DWORD dwLen = ::FormatMessageA(dwFlags, hWinInet, m_dwError, 0, (LPSTR)&lpBuffer, 0, NULL);
    if (dwLen == 0 || lpBuffer == NULL)
        return FALSE;
    CString strText(lpBuffer);
    LocalFree(lpBuffer);

    if (m_dwError == ERROR_INTERNET_EXTENDED_ERROR)
    {
        DWORD dwLastError = 0, dwSize = 0;
        InternetGetLastResponseInfoA(&dwLastError, NULL, &dwSize);
        if (dwSize > 0)
        {
            CString strInfo;
            if (InternetGetLastResponseInfoA(&dwLastError, strInfo.GetBuffer(dwSize + 1), &dwSize))
            {
                strInfo.ReleaseBuffer(dwSize);
                strText += strInfo;
            }
            else
                strInfo.ReleaseBuffer(0);
        }
    }
    return CopyMessage(strText, lpszError, nMaxError, NULL);
}

void AFXAPI AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError)
{
    if (dwError == 0)
        dwError = ::GetLastError();
    CInternetException* pException = new CInternetException(dwError);
    pException->m_dwContext = dwContext;
    throw pException;
}
