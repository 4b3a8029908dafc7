// Internet classes.
#include "afx.h"

#ifndef VGL_AFXINET_H
#define VGL_AFXINET_H

#include <wininet.h>

// A WinInet failure: m_dwError is the WinInet or Win32 error code.
class CInternetException : public CException
{
    DECLARE_DYNAMIC(CInternetException)
public:
    explicit CInternetException(DWORD dwError);
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);

    DWORD m_dwError;
    DWORD m_dwContext;
};

// Throws a CInternetException; dwError 0 takes GetLastError().
AFX_NORETURN void AFXAPI AfxThrowInternetException(DWORD dwContext, DWORD dwError = 0);

#endif // VGL_AFXINET_H
