// The library's own error and exception types.
//
// How callers catch, one handler per type, in this order:
//   catch (CException* e)                 class-library exception: trace level 10
//                                         "CException = %s, ..." with its
//                                         GetErrorMessage text, then e->Delete()
//   catch (CSystemError& e)               trace level 10 (11 in the notification
//                                         and configuration code)
//                                         "CSystemError = %s, ..." with e.ToString()
//   catch (CInternetStatusException& e)   trace level 10
//                                         "CInternetStatusException = %s, in ..."
//   catch (CLibraryHandleException* e)    e->Delete(), or rethrow it unchanged
//   catch (...)                           trace level 13 "Exception(...) in ..."
// then clean up and return failure.
//
// Running out of memory in the class library's containers (CString, CArray,
// CAccBuffer) throws the class library's CMemoryException, which the
// catch (CException*) handler traces and deletes; std::bad_alloc from operator
// new elsewhere reaches the catch (...) handler. CCommonException is not a
// CException.
#pragma once

#include <afx.h>
#include <string>

// A failed Win32 call; thrown and caught by value.
class CSystemError
{
public:
    CSystemError(DWORD dwErrorCode, const char* pszSourceFile, int nSourceLine);
    CSystemError(const CSystemError& other);
    CSystemError& operator=(const CSystemError& other);
    ~CSystemError();

    // The system's text for the code (inserts left as they are), released by
    // the caller with LocalFree; NULL when the system has none.
    LPSTR GetSystemMessage() const;
    // "(%d) %s, %s|%d" (code, system text, file, line); "(%d) %s" without a
    // source file; empty when the system has no text for the code.
    CString GetErrorMessage() const;
    CString ToString() const;

    DWORD GetErrorCode() const { return m_dwErrorCode; }
    const std::string& GetSourceFile() const { return m_strSourceFile; }
    int GetSourceLine() const { return m_nSourceLine; }

private:
    DWORD m_dwErrorCode;
    std::string m_strSourceFile;
    int m_nSourceLine;
};

// Throws a CSystemError for the code at the caller's position.
#define THROW_SYSTEM_ERROR(code) throw CSystemError((code), __FILE__, __LINE__)

// Root of the library's heap-allocated exceptions; the catcher calls Delete().
class CCommonException
{
public:
    explicit CCommonException(int nErrorCode);

    // Shows GetErrorMessage's text in a message box captioned "Error"; returns
    // the box's result, or 0 when there is no text. nMessageID is not used.
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);
    // "Error : %d, Description : %s", cut to nMaxError (counting the zero).
    virtual BOOL GetErrorMessage(LPSTR pszError, UINT nMaxError, PUINT pnHelpContext = NULL);
    virtual ~CCommonException();
    virtual void Delete();
    virtual int GetErrorCode();

protected:
    int m_nErrorCode;
};

// A library that could not be loaded at run time.
class CLibraryHandleException : public CCommonException
{
public:
    CLibraryHandleException(int nErrorCode, LPCSTR pszPath);

    // "CLibraryHandleException: %s, Path = %s" (base text, path).
    virtual BOOL GetErrorMessage(LPSTR pszError, UINT nMaxError, PUINT pnHelpContext = NULL);

    LPCSTR GetPath() const { return m_szPath; }

protected:
    char m_szPath[MAX_PATH];
};

// An HTTP transfer that did not end with success; thrown and caught by value.
class CInternetStatusException
{
public:
    // The reply's HTTP status, or 0 when the caller cancelled the transfer.
    explicit CInternetStatusException(int nStatus) : m_nStatus(nStatus) {}

    int GetStatus() const { return m_nStatus; }

private:
    int m_nStatus;
};
