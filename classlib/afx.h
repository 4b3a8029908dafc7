// Core of the class library: basic types, CObject and run-time class
// information, CString, exceptions and CArchive.
#ifndef VGL_AFX_H
#define VGL_AFX_H

#ifndef _MBCS
#define _MBCS
#endif

#include <windows.h>
#include <tchar.h>
#include <mbstring.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <new>

// A CString handed to printf-style "..." would arrive as the address of the
// object, not of its text: make that a compile error (cast to LPCTSTR).
#pragma GCC diagnostic error "-Wconditionally-supported"

// ---------------------------------------------------------------------------
// Basic helpers

#ifndef AFXAPI
#define AFXAPI __stdcall
#endif
#ifndef AFX_CDECL
#define AFX_CDECL __cdecl
#endif
#define AFX_INLINE inline
#define AFX_DATA
#define AFX_EXT_CLASS
#define AFX_STATIC static
#define AFX_STATIC_DATA static

#ifdef _DEBUG
#define ASSERT(f) ((f) ? (void)0 : AfxAssertFailedLine(__FILE__, __LINE__))
#define VERIFY(f) ASSERT(f)
#else
#define ASSERT(f) ((void)0)
#define VERIFY(f) ((void)(f))
#endif
#define ASSERT_VALID(p) ((void)0)
#define ASSERT_KINDOF(class_name, object) ASSERT((object)->IsKindOf(RUNTIME_CLASS(class_name)))
#define ASSERT_POINTER(p, type) ASSERT((p) != NULL)
#define ASSERT_NULL_OR_POINTER(p, type) ((void)0)
#define TRACE(...) ((void)0)
#define TRACE0(sz) ((void)0)
#define TRACE1(sz, p1) ((void)0)
#define TRACE2(sz, p1, p2) ((void)0)
#define TRACE3(sz, p1, p2, p3) ((void)0)
#define DEBUG_NEW new
#define THIS_FILE __FILE__
#define UNUSED(x)
#define UNUSED_ALWAYS(x) (void)(x)

void AFXAPI AfxAssertFailedLine(LPCSTR lpszFileName, int nLine);
BOOL AFXAPI AfxIsValidString(LPCSTR lpsz, int nLength = -1);
BOOL AFXAPI AfxIsValidAddress(const void* lp, UINT nBytes, BOOL bReadWrite = TRUE);

// Module that holds the resources (strings, dialogs); the exe by default.
HINSTANCE AFXAPI AfxGetResourceHandle();
void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource);

struct __POSITION {};
typedef __POSITION* POSITION;
#define BEFORE_START_POSITION ((POSITION)-1L)

class CObject;
class CArchive;
class CFile;
class CTime;
class CTimeSpan;
class CString;

// ---------------------------------------------------------------------------
// Run-time class information

#define VERSIONABLE_SCHEMA (0x80000000)

struct CRuntimeClass
{
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                        // 0xFFFF: not serialisable
    CObject* (PASCAL* m_pfnCreateObject)();
    CRuntimeClass* m_pBaseClass;
    CRuntimeClass* m_pNextClass;           // registered serialisable classes

    CObject* CreateObject();
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;

    void Store(CArchive& ar) const;
    static CRuntimeClass* PASCAL Load(CArchive& ar, UINT* pwSchemaNum);
    // Registered class by name, or NULL.
    static CRuntimeClass* PASCAL FromName(LPCSTR lpszClassName);
};

// Registers a serialisable class so that archives can find it by name.
struct AFX_CLASSINIT
{
    AFX_CLASSINIT(CRuntimeClass* pNewClass);
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name) \
public: \
    static CRuntimeClass class##class_name; \
    virtual CRuntimeClass* GetRuntimeClass() const;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name) \
    static CObject* PASCAL CreateObject();

#define DECLARE_SERIAL(class_name) \
    DECLARE_DYNCREATE(class_name) \
    friend CArchive& AFXAPI operator>>(CArchive& ar, class_name*& pOb);

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew) \
    CRuntimeClass class_name::class##class_name = { \
        #class_name, (int)sizeof(class_name), wSchema, pfnNew, \
        RUNTIME_CLASS(base_class_name), NULL }; \
    CRuntimeClass* class_name::GetRuntimeClass() const \
        { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, NULL)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
    CObject* PASCAL class_name::CreateObject() { return new class_name; } \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema) \
    CObject* PASCAL class_name::CreateObject() { return new class_name; } \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, class_name::CreateObject) \
    static AFX_CLASSINIT _init_##class_name(RUNTIME_CLASS(class_name)); \
    CArchive& AFXAPI operator>>(CArchive& ar, class_name*& pOb) \
        { pOb = (class_name*)ar.ReadObject(RUNTIME_CLASS(class_name)); return ar; }

// ---------------------------------------------------------------------------
// CObject

class CObject
{
public:
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    virtual void Serialize(CArchive& ar);

    BOOL IsKindOf(const CRuntimeClass* pClass) const;
    BOOL IsSerializable() const;

    static CRuntimeClass classCObject;

protected:
    CObject() {}

private:
    CObject(const CObject&);
    void operator=(const CObject&);
};

// ---------------------------------------------------------------------------
// CString: 8-bit text in the system code page; double-byte characters are
// kept whole by the searching and case functions. Copies are deep, so a
// string may be handed to another thread.

class CString
{
public:
    CString();
    CString(const CString& stringSrc);
    CString(char ch, int nRepeat = 1);
    CString(LPCSTR lpsz);                  // MAKEINTRESOURCE(id) loads string id
    CString(LPCSTR lpch, int nLength);
    CString(const unsigned char* psz);
    CString(LPCWSTR lpsz);
    ~CString();

    int GetLength() const { return GetData()->nDataLength; }
    BOOL IsEmpty() const { return GetData()->nDataLength == 0; }
    void Empty();

    char GetAt(int nIndex) const { return m_pchData[nIndex]; }
    char operator[](int nIndex) const { return m_pchData[nIndex]; }
    char operator[](unsigned int nIndex) const { return m_pchData[nIndex]; }
    void SetAt(int nIndex, char ch);
    operator LPCSTR() const { return m_pchData; }

    const CString& operator=(const CString& stringSrc);
    const CString& operator=(char ch);
    const CString& operator=(LPCSTR lpsz);
    const CString& operator=(const unsigned char* psz);
    const CString& operator=(LPCWSTR lpsz);

    const CString& operator+=(const CString& string);
    const CString& operator+=(char ch);
    const CString& operator+=(LPCSTR lpsz);

    friend CString AFXAPI operator+(const CString& string1, const CString& string2);
    friend CString AFXAPI operator+(const CString& string, char ch);
    friend CString AFXAPI operator+(char ch, const CString& string);
    friend CString AFXAPI operator+(const CString& string, LPCSTR lpsz);
    friend CString AFXAPI operator+(LPCSTR lpsz, const CString& string);

    int Compare(LPCSTR lpsz) const;
    int CompareNoCase(LPCSTR lpsz) const;
    int Collate(LPCSTR lpsz) const;
    int CollateNoCase(LPCSTR lpsz) const;

    // Byte positions and counts, clamped to the string.
    CString Mid(int nFirst, int nCount) const;
    CString Mid(int nFirst) const;
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString SpanIncluding(LPCSTR lpszCharSet) const;
    CString SpanExcluding(LPCSTR lpszCharSet) const;

    void MakeUpper();
    void MakeLower();
    void MakeReverse();

    void TrimRight();
    void TrimRight(char chTarget);
    void TrimRight(LPCSTR lpszTargets);
    void TrimLeft();
    void TrimLeft(char chTarget);
    void TrimLeft(LPCSTR lpszTargets);

    int Replace(char chOld, char chNew);
    int Replace(LPCSTR lpszOld, LPCSTR lpszNew);
    int Remove(char chRemove);
    int Insert(int nIndex, char ch);
    int Insert(int nIndex, LPCSTR pstr);
    int Delete(int nIndex, int nCount = 1);

    // Byte index of the first match at or after nStart, or -1.
    int Find(char ch) const;
    int Find(char ch, int nStart) const;
    int Find(LPCSTR lpszSub) const;
    int Find(LPCSTR lpszSub, int nStart) const;
    int ReverseFind(char ch) const;
    int FindOneOf(LPCSTR lpszCharSet) const;

    // The C library's printf rules (checked by the compiler): a pointer or handle with %p,
    // a pointer-sized number with PRIuPTR, PRIdPTR or PRIXPTR of <inttypes.h>.
    void AFX_CDECL Format(LPCSTR lpszFormat, ...) __attribute__((format(ms_printf, 2, 3)));
    void AFX_CDECL Format(UINT nFormatID, ...);
    void FormatV(LPCSTR lpszFormat, va_list argList);
    // FormatMessage-style inserts (%1, %2!d!, ...).
    void AFX_CDECL FormatMessage(LPCSTR lpszFormat, ...);
    void AFX_CDECL FormatMessage(UINT nFormatID, ...);

    BOOL LoadString(UINT nID);
    BSTR AllocSysString() const;
    BSTR SetSysString(BSTR* pbstr) const;
    void AnsiToOem();
    void OemToAnsi();

    LPSTR GetBuffer(int nMinBufLength);
    void ReleaseBuffer(int nNewLength = -1);
    LPSTR GetBufferSetLength(int nNewLength);
    void FreeExtra();
    LPSTR LockBuffer();
    void UnlockBuffer();

private:
    struct CStringData
    {
        int nDataLength;
        int nAllocLength;
        char* data() { return (char*)(this + 1); }
    };
    CStringData* GetData() const { return ((CStringData*)m_pchData) - 1; }
    void Init();
    void AllocBuffer(int nLen);
    void Release();
    void AssignCopy(int nSrcLen, LPCSTR lpszSrcData);
    void ConcatInPlace(int nSrcLen, LPCSTR lpszSrcData);
    void SetLength(int nNewLength);

    LPSTR m_pchData;
};

bool AFXAPI operator==(const CString& s1, const CString& s2);
bool AFXAPI operator==(const CString& s1, LPCSTR s2);
bool AFXAPI operator==(LPCSTR s1, const CString& s2);
bool AFXAPI operator!=(const CString& s1, const CString& s2);
bool AFXAPI operator!=(const CString& s1, LPCSTR s2);
bool AFXAPI operator!=(LPCSTR s1, const CString& s2);
bool AFXAPI operator<(const CString& s1, const CString& s2);
bool AFXAPI operator<(const CString& s1, LPCSTR s2);
bool AFXAPI operator<(LPCSTR s1, const CString& s2);
bool AFXAPI operator>(const CString& s1, const CString& s2);
bool AFXAPI operator>(const CString& s1, LPCSTR s2);
bool AFXAPI operator>(LPCSTR s1, const CString& s2);
bool AFXAPI operator<=(const CString& s1, const CString& s2);
bool AFXAPI operator<=(const CString& s1, LPCSTR s2);
bool AFXAPI operator<=(LPCSTR s1, const CString& s2);
bool AFXAPI operator>=(const CString& s1, const CString& s2);
bool AFXAPI operator>=(const CString& s1, LPCSTR s2);
bool AFXAPI operator>=(LPCSTR s1, const CString& s2);

// ---------------------------------------------------------------------------
// Exceptions: thrown as heap objects (throw new CFileException(...)); the
// handler calls Delete().

class CException : public CObject
{
    DECLARE_DYNAMIC(CException)
public:
    CException();
    explicit CException(BOOL bAutoDelete);
    virtual ~CException();

    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);

    void Delete();

    BOOL m_bAutoDelete;
};

class CMemoryException : public CException
{
    DECLARE_DYNAMIC(CMemoryException)
public:
    CMemoryException();
    explicit CMemoryException(BOOL bAutoDelete);
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);
};

class CResourceException : public CException
{
    DECLARE_DYNAMIC(CResourceException)
public:
    CResourceException();
    explicit CResourceException(BOOL bAutoDelete);
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);
};

class CNotSupportedException : public CException
{
    DECLARE_DYNAMIC(CNotSupportedException)
public:
    CNotSupportedException();
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);
};

class CArchiveException : public CException
{
    DECLARE_DYNAMIC(CArchiveException)
public:
    enum
    {
        none,
        generic,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };

    CArchiveException(int cause = CArchiveException::none, LPCSTR lpszArchiveName = NULL);
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);

    int m_cause;
    CString m_strFileName;
};

class CFileException : public CException
{
    DECLARE_DYNAMIC(CFileException)
public:
    enum
    {
        none,
        generic,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    CFileException(int cause = CFileException::none, LONG lOsError = -1,
                   LPCSTR lpszArchiveName = NULL);

    static int PASCAL OsErrorToException(LONG lOsError);
    static int PASCAL ErrnoToException(int nErrno);
    static void PASCAL ThrowOsError(LONG lOsError, LPCSTR lpszFileName = NULL);
    static void PASCAL ThrowErrno(int nErrno, LPCSTR lpszFileName = NULL);

    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

#define AFX_NORETURN __attribute__((noreturn))
AFX_NORETURN void AFXAPI AfxThrowMemoryException();
// A resource (a window class, a GDI object, a template) could not be had.
AFX_NORETURN void AFXAPI AfxThrowResourceException();
AFX_NORETURN void AFXAPI AfxThrowNotSupportedException();
AFX_NORETURN void AFXAPI AfxThrowArchiveException(int cause, LPCSTR lpszArchiveName = NULL);
AFX_NORETURN void AFXAPI AfxThrowFileException(int cause, LONG lOsError = -1, LPCSTR lpszFileName = NULL);

// ---------------------------------------------------------------------------
// CArchive: the class library's binary format over a CFile (little-endian
// scalars, length-prefixed strings, tagged object pointers).

class CArchive
{
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

    CArchive(CFile* pFile, UINT nMode, int nBufSize = 4096, void* lpBuf = NULL);
    ~CArchive();

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    BOOL IsStoring() const { return (m_nMode & load) == 0; }
    BOOL IsBufferEmpty() const { return m_lpBufCur == m_lpBufMax; }
    CFile* GetFile() const { return m_pFile; }

    UINT Read(void* lpBuf, UINT nMax);
    void Write(const void* lpBuf, UINT nMax);
    void Flush();
    void Close();
    void Abort();

    // Text lines: ReadString stops after "\n" and drops "\r\n"/"\n".
    BOOL ReadString(CString& rString);
    LPSTR ReadString(LPSTR lpsz, UINT nMax);
    void WriteString(LPCSTR lpsz);

    DWORD ReadCount();
    void WriteCount(DWORD dwCount);

    CObject* ReadObject(const CRuntimeClass* pClass);
    void WriteObject(const CObject* pOb);
    CRuntimeClass* ReadClass(const CRuntimeClass* pClassRefRequested = NULL,
                             UINT* pSchema = NULL, DWORD* pObTag = NULL);
    void WriteClass(const CRuntimeClass* pClassRef);
    UINT GetObjectSchema();
    void SetObjectSchema(UINT nSchema) { m_nObjectSchema = nSchema; }

    CArchive& operator<<(BYTE by);
    CArchive& operator<<(WORD w);
    CArchive& operator<<(LONG l);
    CArchive& operator<<(DWORD dw);
    CArchive& operator<<(int i) { return operator<<((LONG)i); }
    CArchive& operator<<(unsigned int u) { return operator<<((DWORD)u); }
    CArchive& operator<<(short w) { return operator<<((WORD)w); }
    CArchive& operator<<(char ch) { return operator<<((BYTE)ch); }
    CArchive& operator<<(float f);
    CArchive& operator<<(double d);
    CArchive& operator<<(const CString& str);
    CArchive& operator<<(CTime time);
    CArchive& operator<<(CTimeSpan span);
    CArchive& operator<<(const CObject* pOb) { WriteObject(pOb); return *this; }

    CArchive& operator>>(BYTE& by);
    CArchive& operator>>(WORD& w);
    CArchive& operator>>(LONG& l);
    CArchive& operator>>(DWORD& dw);
    CArchive& operator>>(int& i) { return operator>>((LONG&)i); }
    CArchive& operator>>(unsigned int& u) { return operator>>((DWORD&)u); }
    CArchive& operator>>(short& w) { return operator>>((WORD&)w); }
    CArchive& operator>>(char& ch) { return operator>>((BYTE&)ch); }
    CArchive& operator>>(float& f);
    CArchive& operator>>(double& d);
    CArchive& operator>>(CString& str);
    CArchive& operator>>(CTime& time);
    CArchive& operator>>(CTimeSpan& span);
    CArchive& operator>>(CObject*& pOb) { pOb = ReadObject(NULL); return *this; }

    CString m_strFileName;

private:
    CArchive(const CArchive&);
    void operator=(const CArchive&);

    void FillBuffer(UINT nBytesNeeded);
    void ReadExact(void* p, UINT n);
    UINT MapCount() const;

    UINT m_nMode;
    CFile* m_pFile;
    BYTE* m_lpBufStart;
    BYTE* m_lpBufCur;
    BYTE* m_lpBufMax;
    UINT m_nBufSize;
    BOOL m_bUserBuf;
    UINT m_nObjectSchema;

    // Object and class indexes (index 0 is the null pointer).
    struct CMapData;
    CMapData* m_pMap;
};

#include "afxcoll.h"

#if __has_include("afxtime.h")
#include "afxtime.h"
#endif
#if __has_include("afxfile.h")
#include "afxfile.h"
#endif

#endif // VGL_AFX_H
