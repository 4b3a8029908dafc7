#include "SystemError.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace
{
// The system's text for a code, without its trailing line end, allocated with
// LocalAlloc; NULL when there is none. Inserts such as "%1" are left as they
// are: no arguments exist to fill them.
LPSTR FetchSystemText(DWORD dwCode)
{
    LPSTR pszText = NULL;
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               NULL, dwCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               (LPSTR)&pszText, 0, NULL);
    if (cch == 0 || pszText == NULL)
        return NULL;
    while (cch > 0 && (pszText[cch - 1] == '\r' || pszText[cch - 1] == '\n' ||
                       pszText[cch - 1] == ' '))
        pszText[--cch] = '\0';
    return pszText;
}

// Formats into pszBuffer, cut to cbBuffer bytes with the zero.
void FormatCut(LPSTR pszBuffer, UINT cbBuffer, LPCSTR pszFormat, ...)
{
    if (pszBuffer == NULL || cbBuffer == 0)
        return;
    va_list args;
    va_start(args, pszFormat);
    _vsnprintf(pszBuffer, cbBuffer, pszFormat, args);
    va_end(args);
    pszBuffer[cbBuffer - 1] = '\0';
}
} // namespace

// ---------------------------------------------------------------------------
// CSystemError

CSystemError::CSystemError(DWORD dwErrorCode, const char* pszSourceFile, int nSourceLine)
    : m_dwErrorCode(dwErrorCode),
      m_strSourceFile(pszSourceFile != NULL ? pszSourceFile : ""),
      m_nSourceLine(nSourceLine)
{
}

CSystemError::CSystemError(const CSystemError& other)
    : m_dwErrorCode(other.m_dwErrorCode),
      m_strSourceFile(other.m_strSourceFile),
      m_nSourceLine(other.m_nSourceLine)
{
}

CSystemError& CSystemError::operator=(const CSystemError& other)
{
    m_dwErrorCode = other.m_dwErrorCode;
    m_strSourceFile = other.m_strSourceFile;
    m_nSourceLine = other.m_nSourceLine;
    return *this;
}

CSystemError::~CSystemError()
{
}

LPSTR CSystemError::GetSystemMessage() const
{
    return FetchSystemText(m_dwErrorCode);
}

CString CSystemError::GetErrorMessage() const
{
    CString strMessage;
    LPSTR pszText = GetSystemMessage();
    if (pszText == NULL)
        return strMessage;
    if (!m_strSourceFile.empty())
        strMessage.Format("(%d) %s, %s|%d", (int)m_dwErrorCode, pszText, m_strSourceFile.c_str(),
                          m_nSourceLine);
    else
        strMessage.Format("(%d) %s", (int)m_dwErrorCode, pszText);
    LocalFree(pszText);
    return strMessage;
}

CString CSystemError::ToString() const
{
    return GetErrorMessage();
}

// ---------------------------------------------------------------------------
// CCommonException

CCommonException::CCommonException(int nErrorCode) : m_nErrorCode(nErrorCode)
{
}

CCommonException::~CCommonException()
{
}

int CCommonException::ReportError(UINT nType, UINT /*nMessageID*/)
{
    char szMessage[1024];
    szMessage[0] = '\0';
    if (!GetErrorMessage(szMessage, sizeof(szMessage), NULL) || szMessage[0] == '\0')
        return 0;
    return MessageBoxA(NULL, szMessage, "Error", nType);
}

BOOL CCommonException::GetErrorMessage(LPSTR pszError, UINT nMaxError, PUINT pnHelpContext)
{
    if (pnHelpContext != NULL)
        *pnHelpContext = 0;
    LPSTR pszText = FetchSystemText((DWORD)m_nErrorCode);
    FormatCut(pszError, nMaxError, "Error : %d, Description : %s", m_nErrorCode,
              pszText != NULL ? pszText : "");
    if (pszText != NULL)
        LocalFree(pszText);
    return TRUE;
}

void CCommonException::Delete()
{
    delete this;
}

int CCommonException::GetErrorCode()
{
    return m_nErrorCode;
}

// ---------------------------------------------------------------------------
// CLibraryHandleException

CLibraryHandleException::CLibraryHandleException(int nErrorCode, LPCSTR pszPath)
    : CCommonException(nErrorCode)
{
    lstrcpynA(m_szPath, pszPath != NULL ? pszPath : "", sizeof(m_szPath));
}

BOOL CLibraryHandleException::GetErrorMessage(LPSTR pszError, UINT nMaxError, PUINT pnHelpContext)
{
    char szBase[1024];
    CCommonException::GetErrorMessage(szBase, sizeof(szBase), pnHelpContext);
    FormatCut(pszError, nMaxError, "CLibraryHandleException: %s, Path = %s", szBase, m_szPath);
    return TRUE;
}
