// CString: 8-bit text in the system code page. Positions and lengths are in
// bytes; searching, case mapping and trimming step over double-byte
// characters whole, using the C library's multibyte functions.
#include "afx.h"
#include <stdio.h>
#include <stdlib.h>
#include <oleauto.h>

namespace
{
struct EmptyString
{
    int nDataLength;
    int nAllocLength;
    char chNul;
};
EmptyString g_emptyString = { 0, 0, '\0' };

inline const unsigned char* U(LPCSTR p)
{
    return (const unsigned char*)p;
}

inline int SafeLen(LPCSTR p)
{
    return p == NULL ? 0 : lstrlenA(p);
}

// Next character: two bytes for a lead byte that has its trail byte.
inline LPCSTR NextChar(LPCSTR p)
{
    if (_ismbblead((unsigned char)*p) && p[1] != '\0')
        return p + 2;
    return p + 1;
}

inline bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// First occurrence of lpszSub that starts on a character boundary, or NULL.
LPCSTR FindSub(LPCSTR lpsz, LPCSTR lpszSub)
{
    size_t nSub = strlen(lpszSub);
    if (nSub == 0)
        return lpsz;
    for (; *lpsz != '\0'; lpsz = NextChar(lpsz))
        if (strncmp(lpsz, lpszSub, nSub) == 0)
            return lpsz;
    return NULL;
}

// Bytes at the start of lpsz made of whole characters that are (bInSet) or
// are not in lpszSet.
int SpanOf(LPCSTR lpsz, LPCSTR lpszSet, bool bInSet);

// A buffer for nAlloc bytes plus terminator, behind its header; returns the
// text pointer, with length nLen.
char* NewBlock(int nAlloc, int nLen)
{
    char* pBlock = (char*)malloc(2 * sizeof(int) + nAlloc + 1);
    if (pBlock == NULL)
        AfxThrowMemoryException();
    ((int*)pBlock)[0] = nLen;
    ((int*)pBlock)[1] = nAlloc;
    char* pText = pBlock + 2 * sizeof(int);
    pText[nLen] = '\0';
    return pText;
}

// Whether the character at p occurs (as a whole character) in lpszSet.
bool CharInSet(LPCSTR p, LPCSTR lpszSet)
{
    if (lpszSet == NULL)
        return false;
    size_t nChar = NextChar(p) - p;
    for (LPCSTR q = lpszSet; *q != '\0'; q = NextChar(q))
        if ((size_t)(NextChar(q) - q) == nChar && strncmp(p, q, nChar) == 0)
            return true;
    return false;
}

int SpanOf(LPCSTR lpsz, LPCSTR lpszSet, bool bInSet)
{
    LPCSTR p = lpsz;
    while (*p != '\0' && CharInSet(p, lpszSet) == bInSet)
        p = NextChar(p);
    return (int)(p - lpsz);
}
}

// ---------------------------------------------------------------------------
// Buffer management

void CString::Init()
{
    m_pchData = &g_emptyString.chNul;
}

CString::CString()
{
    Init();
}

CString::CString(const CString& stringSrc)
{
    Init();
    AssignCopy(stringSrc.GetLength(), stringSrc.m_pchData);
}

CString::CString(char ch, int nRepeat)
{
    Init();
    if (nRepeat > 0)
    {
        AllocBuffer(nRepeat);
        memset(m_pchData, ch, nRepeat);
    }
}

CString::CString(LPCSTR lpsz)
{
    Init();
    // A resource id (MAKEINTRESOURCE) has no bit above the low 16; a text's address has some,
    // perhaps only above the low 32.
    if (lpsz != NULL && IS_INTRESOURCE(lpsz))
        LoadString(LOWORD((DWORD_PTR)lpsz));
    else
        AssignCopy(SafeLen(lpsz), lpsz);
}

CString::CString(LPCSTR lpch, int nLength)
{
    Init();
    if (lpch != NULL && nLength > 0)
        AssignCopy(nLength, lpch);
}

CString::CString(const unsigned char* psz)
{
    Init();
    AssignCopy(SafeLen((LPCSTR)psz), (LPCSTR)psz);
}

CString::CString(LPCWSTR lpsz)
{
    Init();
    *this = lpsz;
}

CString::~CString()
{
    Release();
}

void CString::AllocBuffer(int nLen)
{
    if (nLen <= 0)
    {
        Init();
        return;
    }
    m_pchData = NewBlock(nLen, nLen);
}

void CString::Release()
{
    if (m_pchData != &g_emptyString.chNul)
        free(GetData());
    Init();
}

void CString::Empty()
{
    Release();
}

// Makes room for nNewLength bytes keeping the current text; the length
// becomes nNewLength.
void CString::SetLength(int nNewLength)
{
    if (nNewLength <= 0)
    {
        if (m_pchData != &g_emptyString.chNul)
        {
            GetData()->nDataLength = 0;
            m_pchData[0] = '\0';
        }
        return;
    }
    CStringData* pOld = GetData();
    if (m_pchData == &g_emptyString.chNul || nNewLength > pOld->nAllocLength)
    {
        int nOldLen = pOld->nDataLength;
        LPSTR pOldData = m_pchData;
        char* pNew = NewBlock(nNewLength, nNewLength);
        memcpy(pNew, pOldData, nOldLen < nNewLength ? nOldLen : nNewLength);
        m_pchData = pNew;
        if (pOldData != &g_emptyString.chNul)
            free(pOld);
    }
    GetData()->nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
}

void CString::AssignCopy(int nSrcLen, LPCSTR lpszSrcData)
{
    if (nSrcLen <= 0)
    {
        if (m_pchData != &g_emptyString.chNul)
        {
            GetData()->nDataLength = 0;
            m_pchData[0] = '\0';
        }
        return;
    }
    if (m_pchData == &g_emptyString.chNul || nSrcLen > GetData()->nAllocLength)
    {
        // The source may lie in the old buffer: copy before freeing it.
        LPSTR pOldData = m_pchData;
        char* pNew = NewBlock(nSrcLen, nSrcLen);
        memcpy(pNew, lpszSrcData, nSrcLen);
        m_pchData = pNew;
        if (pOldData != &g_emptyString.chNul)
            free(((CStringData*)pOldData) - 1);
        return;
    }
    memmove(m_pchData, lpszSrcData, nSrcLen);
    GetData()->nDataLength = nSrcLen;
    m_pchData[nSrcLen] = '\0';
}

void CString::ConcatInPlace(int nSrcLen, LPCSTR lpszSrcData)
{
    if (nSrcLen <= 0)
        return;
    int nOldLen = GetLength();
    int nNewLen = nOldLen + nSrcLen;
    if (m_pchData == &g_emptyString.chNul || nNewLen > GetData()->nAllocLength)
    {
        int nAlloc = nNewLen + nNewLen / 2;
        LPSTR pOldData = m_pchData;
        char* pNew = NewBlock(nAlloc, nNewLen);
        memcpy(pNew, pOldData, nOldLen);
        memcpy(pNew + nOldLen, lpszSrcData, nSrcLen);
        m_pchData = pNew;
        if (pOldData != &g_emptyString.chNul)
            free(((CStringData*)pOldData) - 1);
    }
    else
    {
        memmove(m_pchData + nOldLen, lpszSrcData, nSrcLen);
    }
    GetData()->nDataLength = nNewLen;
    m_pchData[nNewLen] = '\0';
}

LPSTR CString::GetBuffer(int nMinBufLength)
{
    if (nMinBufLength < 0)
        nMinBufLength = 0;
    if (m_pchData == &g_emptyString.chNul || nMinBufLength > GetData()->nAllocLength)
    {
        int nOldLen = GetLength();
        int nAlloc = nMinBufLength > nOldLen ? nMinBufLength : nOldLen;
        char* pNew = NewBlock(nAlloc, nOldLen);
        memcpy(pNew, m_pchData, nOldLen);
        Release();
        m_pchData = pNew;
    }
    return m_pchData;
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (m_pchData == &g_emptyString.chNul)
        return;
    if (nNewLength == -1)
        nNewLength = lstrlenA(m_pchData);
    if (nNewLength > GetData()->nAllocLength)
        nNewLength = GetData()->nAllocLength;
    if (nNewLength < 0)
        nNewLength = 0;
    GetData()->nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
}

LPSTR CString::GetBufferSetLength(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = 0;
    GetBuffer(nNewLength);
    GetData()->nDataLength = nNewLength;
    m_pchData[nNewLength] = '\0';
    return m_pchData;
}

void CString::FreeExtra()
{
    if (m_pchData == &g_emptyString.chNul || GetData()->nDataLength == GetData()->nAllocLength)
        return;
    CString strCopy(*this);
    Release();
    AssignCopy(strCopy.GetLength(), strCopy.m_pchData);
}

LPSTR CString::LockBuffer()
{
    return GetBuffer(0);
}

void CString::UnlockBuffer()
{
}

void CString::SetAt(int nIndex, char ch)
{
    if (nIndex >= 0 && nIndex < GetLength())
        m_pchData[nIndex] = ch;
}

// ---------------------------------------------------------------------------
// Assignment and concatenation

const CString& CString::operator=(const CString& stringSrc)
{
    if (this != &stringSrc)
        AssignCopy(stringSrc.GetLength(), stringSrc.m_pchData);
    return *this;
}

const CString& CString::operator=(char ch)
{
    AssignCopy(1, &ch);
    return *this;
}

const CString& CString::operator=(LPCSTR lpsz)
{
    AssignCopy(SafeLen(lpsz), lpsz);
    return *this;
}

const CString& CString::operator=(const unsigned char* psz)
{
    return *this = (LPCSTR)psz;
}

const CString& CString::operator=(LPCWSTR lpsz)
{
    if (lpsz == NULL || *lpsz == 0)
    {
        Empty();
        return *this;
    }
    int nLen = WideCharToMultiByte(CP_ACP, 0, lpsz, -1, NULL, 0, NULL, NULL);
    if (nLen <= 1)
    {
        Empty();
        return *this;
    }
    LPSTR p = GetBuffer(nLen);
    WideCharToMultiByte(CP_ACP, 0, lpsz, -1, p, nLen, NULL, NULL);
    ReleaseBuffer();
    return *this;
}

const CString& CString::operator+=(const CString& string)
{
    ConcatInPlace(string.GetLength(), string.m_pchData);
    return *this;
}

const CString& CString::operator+=(char ch)
{
    ConcatInPlace(1, &ch);
    return *this;
}

const CString& CString::operator+=(LPCSTR lpsz)
{
    ConcatInPlace(SafeLen(lpsz), lpsz);
    return *this;
}

CString AFXAPI operator+(const CString& string1, const CString& string2)
{
    CString s(string1);
    s += string2;
    return s;
}

CString AFXAPI operator+(const CString& string, char ch)
{
    CString s(string);
    s += ch;
    return s;
}

CString AFXAPI operator+(char ch, const CString& string)
{
    CString s(ch);
    s += string;
    return s;
}

CString AFXAPI operator+(const CString& string, LPCSTR lpsz)
{
    CString s(string);
    s += lpsz;
    return s;
}

CString AFXAPI operator+(LPCSTR lpsz, const CString& string)
{
    CString s(lpsz);
    s += string;
    return s;
}

// ---------------------------------------------------------------------------
// Comparison

int CString::Compare(LPCSTR lpsz) const
{
    return _mbscmp(U(m_pchData), U(lpsz ? lpsz : ""));
}

int CString::CompareNoCase(LPCSTR lpsz) const
{
    return _mbsicmp(U(m_pchData), U(lpsz ? lpsz : ""));
}

int CString::Collate(LPCSTR lpsz) const
{
    return _mbscoll(U(m_pchData), U(lpsz ? lpsz : ""));
}

int CString::CollateNoCase(LPCSTR lpsz) const
{
    return _mbsicoll(U(m_pchData), U(lpsz ? lpsz : ""));
}

bool AFXAPI operator==(const CString& s1, const CString& s2) { return s1.Compare(s2) == 0; }
bool AFXAPI operator==(const CString& s1, LPCSTR s2) { return s1.Compare(s2) == 0; }
bool AFXAPI operator==(LPCSTR s1, const CString& s2) { return s2.Compare(s1) == 0; }
bool AFXAPI operator!=(const CString& s1, const CString& s2) { return s1.Compare(s2) != 0; }
bool AFXAPI operator!=(const CString& s1, LPCSTR s2) { return s1.Compare(s2) != 0; }
bool AFXAPI operator!=(LPCSTR s1, const CString& s2) { return s2.Compare(s1) != 0; }
bool AFXAPI operator<(const CString& s1, const CString& s2) { return s1.Compare(s2) < 0; }
bool AFXAPI operator<(const CString& s1, LPCSTR s2) { return s1.Compare(s2) < 0; }
bool AFXAPI operator<(LPCSTR s1, const CString& s2) { return s2.Compare(s1) > 0; }
bool AFXAPI operator>(const CString& s1, const CString& s2) { return s1.Compare(s2) > 0; }
bool AFXAPI operator>(const CString& s1, LPCSTR s2) { return s1.Compare(s2) > 0; }
bool AFXAPI operator>(LPCSTR s1, const CString& s2) { return s2.Compare(s1) < 0; }
bool AFXAPI operator<=(const CString& s1, const CString& s2) { return s1.Compare(s2) <= 0; }
bool AFXAPI operator<=(const CString& s1, LPCSTR s2) { return s1.Compare(s2) <= 0; }
bool AFXAPI operator<=(LPCSTR s1, const CString& s2) { return s2.Compare(s1) >= 0; }
bool AFXAPI operator>=(const CString& s1, const CString& s2) { return s1.Compare(s2) >= 0; }
bool AFXAPI operator>=(const CString& s1, LPCSTR s2) { return s1.Compare(s2) >= 0; }
bool AFXAPI operator>=(LPCSTR s1, const CString& s2) { return s2.Compare(s1) <= 0; }

// ---------------------------------------------------------------------------
// Extraction

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    int nLen = GetLength();
    if (nFirst < 0)
        nFirst = 0;
    if (nCount < 0)
        nCount = 0;
    if (nFirst > nLen)
        nFirst = nLen;
    if (nCount > nLen - nFirst)
        nCount = nLen - nFirst;
    return CString(m_pchData + nFirst, nCount);
}

CString CString::Left(int nCount) const
{
    return Mid(0, nCount);
}

CString CString::Right(int nCount) const
{
    int nLen = GetLength();
    if (nCount < 0)
        nCount = 0;
    if (nCount > nLen)
        nCount = nLen;
    return CString(m_pchData + nLen - nCount, nCount);
}

CString CString::SpanIncluding(LPCSTR lpszCharSet) const
{
    return Left(SpanOf(m_pchData, lpszCharSet, true));
}

CString CString::SpanExcluding(LPCSTR lpszCharSet) const
{
    return Left(SpanOf(m_pchData, lpszCharSet, false));
}

// ---------------------------------------------------------------------------
// Case and order

void CString::MakeUpper()
{
    if (!IsEmpty())
        _mbsupr((unsigned char*)m_pchData);
}

void CString::MakeLower()
{
    if (!IsEmpty())
        _mbslwr((unsigned char*)m_pchData);
}

void CString::MakeReverse()
{
    if (!IsEmpty())
        _mbsrev((unsigned char*)m_pchData);
}

// ---------------------------------------------------------------------------
// Trimming

void CString::TrimRight()
{
    LPCSTR lpsz = m_pchData;
    LPCSTR lpszLast = NULL;
    while (*lpsz != '\0')
    {
        if (IsSpace(*lpsz))
        {
            if (lpszLast == NULL)
                lpszLast = lpsz;
        }
        else
            lpszLast = NULL;
        lpsz = NextChar(lpsz);
    }
    if (lpszLast != NULL)
        SetLength((int)(lpszLast - m_pchData));
}

void CString::TrimRight(char chTarget)
{
    char sz[2] = { chTarget, '\0' };
    TrimRight(sz);
}

void CString::TrimRight(LPCSTR lpszTargets)
{
    LPCSTR lpsz = m_pchData;
    LPCSTR lpszLast = NULL;
    while (*lpsz != '\0')
    {
        if (CharInSet(lpsz, lpszTargets))
        {
            if (lpszLast == NULL)
                lpszLast = lpsz;
        }
        else
            lpszLast = NULL;
        lpsz = NextChar(lpsz);
    }
    if (lpszLast != NULL)
        SetLength((int)(lpszLast - m_pchData));
}

void CString::TrimLeft()
{
    LPCSTR lpsz = m_pchData;
    while (IsSpace(*lpsz))
        lpsz = NextChar(lpsz);
    if (lpsz != m_pchData)
        AssignCopy(GetLength() - (int)(lpsz - m_pchData), lpsz);
}

void CString::TrimLeft(char chTarget)
{
    char sz[2] = { chTarget, '\0' };
    TrimLeft(sz);
}

void CString::TrimLeft(LPCSTR lpszTargets)
{
    LPCSTR lpsz = m_pchData;
    while (*lpsz != '\0' && CharInSet(lpsz, lpszTargets))
        lpsz = NextChar(lpsz);
    if (lpsz != m_pchData)
        AssignCopy(GetLength() - (int)(lpsz - m_pchData), lpsz);
}

// ---------------------------------------------------------------------------
// Editing

int CString::Replace(char chOld, char chNew)
{
    if (chOld == chNew || IsEmpty())
        return 0;
    int nCount = 0;
    for (LPSTR p = m_pchData; *p != '\0'; p = (LPSTR)NextChar(p))
    {
        if (*p == chOld && !(_ismbblead((unsigned char)*p) && p[1] != '\0'))
        {
            *p = chNew;
            nCount++;
        }
    }
    return nCount;
}

int CString::Replace(LPCSTR lpszOld, LPCSTR lpszNew)
{
    int nOldLen = SafeLen(lpszOld);
    if (nOldLen == 0 || IsEmpty())
        return 0;
    int nNewLen = SafeLen(lpszNew);

    int nCount = 0;
    CString strResult;
    LPCSTR pStart = m_pchData;
    LPCSTR pMatch;
    while ((pMatch = FindSub(pStart, lpszOld)) != NULL)
    {
        strResult.ConcatInPlace((int)(pMatch - pStart), pStart);
        strResult.ConcatInPlace(nNewLen, lpszNew);
        pStart = pMatch + nOldLen;
        nCount++;
    }
    if (nCount > 0)
    {
        strResult += pStart;
        *this = strResult;
    }
    return nCount;
}

int CString::Remove(char chRemove)
{
    if (IsEmpty())
        return 0;
    LPSTR pDest = m_pchData;
    LPCSTR pSrc = m_pchData;
    while (*pSrc != '\0')
    {
        LPCSTR pNext = NextChar(pSrc);
        if (pNext - pSrc == 1 && *pSrc == chRemove)
        {
            pSrc = pNext;
            continue;
        }
        while (pSrc < pNext)
            *pDest++ = *pSrc++;
    }
    *pDest = '\0';
    int nCount = GetLength() - (int)(pDest - m_pchData);
    GetData()->nDataLength = (int)(pDest - m_pchData);
    return nCount;
}

int CString::Insert(int nIndex, char ch)
{
    char sz[2] = { ch, '\0' };
    if (ch == '\0')
        return GetLength();
    return Insert(nIndex, sz);
}

int CString::Insert(int nIndex, LPCSTR pstr)
{
    int nInsertLength = SafeLen(pstr);
    int nLen = GetLength();
    if (nInsertLength == 0)
        return nLen;
    if (nIndex < 0)
        nIndex = 0;
    if (nIndex > nLen)
        nIndex = nLen;
    CString strInsert(pstr);    // pstr may point into this string
    SetLength(nLen + nInsertLength);
    memmove(m_pchData + nIndex + nInsertLength, m_pchData + nIndex, nLen - nIndex);
    memcpy(m_pchData + nIndex, strInsert.m_pchData, nInsertLength);
    return GetLength();
}

int CString::Delete(int nIndex, int nCount)
{
    int nLen = GetLength();
    if (nIndex < 0)
        nIndex = 0;
    if (nCount > nLen - nIndex)
        nCount = nLen - nIndex;
    if (nCount > 0)
    {
        memmove(m_pchData + nIndex, m_pchData + nIndex + nCount, nLen - nIndex - nCount);
        SetLength(nLen - nCount);
    }
    return GetLength();
}

// ---------------------------------------------------------------------------
// Searching

int CString::Find(char ch) const
{
    return Find(ch, 0);
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0)
        nStart = 0;
    if (nStart >= GetLength())
        return -1;
    const unsigned char* p = _mbschr(U(m_pchData + nStart), (unsigned char)ch);
    return p == NULL ? -1 : (int)((LPCSTR)p - m_pchData);
}

int CString::Find(LPCSTR lpszSub) const
{
    return Find(lpszSub, 0);
}

int CString::Find(LPCSTR lpszSub, int nStart) const
{
    if (lpszSub == NULL)
        return -1;
    if (nStart < 0)
        nStart = 0;
    if (nStart > GetLength())
        return -1;
    LPCSTR p = FindSub(m_pchData + nStart, lpszSub);
    return p == NULL ? -1 : (int)(p - m_pchData);
}

int CString::ReverseFind(char ch) const
{
    const unsigned char* p = _mbsrchr(U(m_pchData), (unsigned char)ch);
    return p == NULL ? -1 : (int)((LPCSTR)p - m_pchData);
}

int CString::FindOneOf(LPCSTR lpszCharSet) const
{
    if (lpszCharSet == NULL)
        return -1;
    int n = SpanOf(m_pchData, lpszCharSet, false);
    return m_pchData[n] == '\0' ? -1 : n;
}

// ---------------------------------------------------------------------------
// Formatting

void CString::FormatV(LPCSTR lpszFormat, va_list argList)
{
    if (lpszFormat == NULL)
    {
        Empty();
        return;
    }
    // The C library's own rules (msvcrt), into a growing buffer.
    CString strResult;
    int nSize = 256;
    for (;;)
    {
        LPSTR p = strResult.GetBuffer(nSize);
        va_list args;
        va_copy(args, argList);
        int n = _vsnprintf(p, nSize, lpszFormat, args);
        va_end(args);
        if (n >= 0 && n < nSize)
        {
            strResult.ReleaseBuffer(n);
            break;
        }
        if (nSize >= 0x4000000)
        {
            strResult.ReleaseBuffer(nSize);
            break;
        }
        nSize *= 2;
    }
    *this = strResult;
}

void AFX_CDECL CString::Format(LPCSTR lpszFormat, ...)
{
    va_list argList;
    va_start(argList, lpszFormat);
    FormatV(lpszFormat, argList);
    va_end(argList);
}

void AFX_CDECL CString::Format(UINT nFormatID, ...)
{
    CString strFormat;
    strFormat.LoadString(nFormatID);
    va_list argList;
    va_start(argList, nFormatID);
    FormatV(strFormat, argList);
    va_end(argList);
}

void AFX_CDECL CString::FormatMessage(LPCSTR lpszFormat, ...)
{
    va_list argList;
    va_start(argList, lpszFormat);
    LPSTR lpszTemp = NULL;
    if (::FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                         lpszFormat, 0, 0, (LPSTR)&lpszTemp, 0, &argList) == 0 ||
        lpszTemp == NULL)
    {
        va_end(argList);
        AfxThrowMemoryException();
    }
    *this = lpszTemp;
    LocalFree(lpszTemp);
    va_end(argList);
}

void AFX_CDECL CString::FormatMessage(UINT nFormatID, ...)
{
    CString strFormat;
    strFormat.LoadString(nFormatID);
    va_list argList;
    va_start(argList, nFormatID);
    LPSTR lpszTemp = NULL;
    if (::FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                         (LPCSTR)strFormat, 0, 0, (LPSTR)&lpszTemp, 0, &argList) == 0 ||
        lpszTemp == NULL)
    {
        va_end(argList);
        AfxThrowMemoryException();
    }
    *this = lpszTemp;
    LocalFree(lpszTemp);
    va_end(argList);
}

// ---------------------------------------------------------------------------
// Resources and conversions

BOOL CString::LoadString(UINT nID)
{
    int nSize = 256;
    for (;;)
    {
        LPSTR p = GetBuffer(nSize);
        int nLen = ::LoadStringA(AfxGetResourceHandle(), nID, p, nSize + 1);
        if (nLen < nSize || nSize >= 0x10000)
        {
            ReleaseBuffer(nLen > 0 ? nLen : 0);
            return nLen > 0;
        }
        nSize *= 2;
    }
}

BSTR CString::AllocSysString() const
{
    int nLen = MultiByteToWideChar(CP_ACP, 0, m_pchData, GetLength(), NULL, 0);
    BSTR bstr = ::SysAllocStringLen(NULL, nLen);
    if (bstr == NULL)
        AfxThrowMemoryException();
    if (nLen > 0)
        MultiByteToWideChar(CP_ACP, 0, m_pchData, GetLength(), bstr, nLen);
    return bstr;
}

BSTR CString::SetSysString(BSTR* pbstr) const
{
    int nLen = MultiByteToWideChar(CP_ACP, 0, m_pchData, GetLength(), NULL, 0);
    if (!::SysReAllocStringLen(pbstr, NULL, nLen))
        AfxThrowMemoryException();
    if (nLen > 0)
        MultiByteToWideChar(CP_ACP, 0, m_pchData, GetLength(), *pbstr, nLen);
    return *pbstr;
}

void CString::AnsiToOem()
{
    if (!IsEmpty())
        ::CharToOemA(m_pchData, m_pchData);
}

void CString::OemToAnsi()
{
    if (!IsEmpty())
        ::OemToCharA(m_pchData, m_pchData);
}
