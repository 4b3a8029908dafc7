// The uninstall program's error texts: the server's refusal of the uninstall notice and the
// HTTP statuses, as they reach the trace log.
#ifndef VGL_UNINSTALLERRORS_H
#define VGL_UNINSTALLERRORS_H

#include "afx.h"

// The server did not accept the uninstall notice; thrown and caught by value.
class CCgiUninstallException
{
public:
    // The reply's return code (0 when there was no reply).
    explicit CCgiUninstallException(int nReturnCode) : m_nReturnCode(nReturnCode) {}
    int GetReturnCode() const { return m_nReturnCode; }
    // String 166 for -4, 165 for -3, 164 for -2, 163 for any other code.
    CString GetText() const;

private:
    int m_nReturnCode;
};

// The language library's string id for an HTTP status; 0 for a status without one.
UINT getInternetStatusStringId(int nStatus);
// "(%d) %s": the status and its text (empty for a status without one).
CString getInternetStatusText(int nStatus);
// A string of the language library; empty when it is missing.
CString loadUninstallString(UINT nId);

#endif
