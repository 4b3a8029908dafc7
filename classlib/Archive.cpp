// CArchive: buffered binary serialisation over a CFile.
//
// Format: scalars little-endian; strings as a length prefix (BYTE below 0xFF,
// else 0xFF + WORD below 0xFFFE, else 0xFF 0xFFFF + DWORD) and the bytes;
// counts as a WORD below 0xFFFF, else 0xFFFF + DWORD. Object pointers:
//   0x0000                      null
//   0xFFFF schema len name      new class, then the object's body
//   0x8000 | class index        known class, then the object's body
//   index                       back-reference to an object already written
//   0x7FFF + DWORD              the same for indexes from 0x7FFF on (a class
//                               index carries 0x80000000)
// Classes and objects share one index space starting at 1.
#include "afx.h"
#include "afxfile.h"
#include <map>
#include <vector>

namespace
{
const WORD wNullTag = 0;
const WORD wNewClassTag = 0xFFFF;
const WORD wClassTag = 0x8000;
const DWORD dwBigClassTag = 0x80000000;
const WORD wBigObjectTag = 0x7FFF;
const DWORD nMaxMapCount = 0x3FFFFFFE;
}

struct CArchive::CMapData
{
    // Storing: object or class address -> index.
    std::map<const void*, DWORD> storeMap;
    DWORD nStoreCount;

    // Loading: index -> object or class (index 0 is the null object).
    struct LoadEntry
    {
        void* p;
        bool bClass;
        UINT nSchema;
    };
    std::vector<LoadEntry> loadArray;

    CMapData() : nStoreCount(1)
    {
        LoadEntry nullEntry = { NULL, false, 0 };
        loadArray.push_back(nullEntry);
    }
};

CArchive::CArchive(CFile* pFile, UINT nMode, int nBufSize, void* lpBuf)
    : m_nMode(nMode), m_pFile(pFile), m_nObjectSchema((UINT)-1), m_pMap(new CMapData)
{
    if (nBufSize < 128)
        nBufSize = 128;
    m_nBufSize = (UINT)nBufSize;
    m_bUserBuf = lpBuf != NULL;
    m_lpBufStart = m_bUserBuf ? (BYTE*)lpBuf : new BYTE[m_nBufSize];
    m_lpBufCur = m_lpBufStart;
    m_lpBufMax = IsLoading() ? m_lpBufStart : m_lpBufStart + m_nBufSize;
    if (m_pFile != NULL)
        m_strFileName = m_pFile->GetFilePath();
}

CArchive::~CArchive()
{
    if (m_pFile != NULL && !(m_nMode & bNoFlushOnDelete))
    {
        try
        {
            Close();
        }
        catch (CException* e)
        {
            e->Delete();
        }
    }
    if (!m_bUserBuf)
        delete[] m_lpBufStart;
    delete m_pMap;
}

void CArchive::Close()
{
    Flush();
    m_pFile = NULL;
}

void CArchive::Abort()
{
    m_pFile = NULL;
}

void CArchive::Flush()
{
    if (m_pFile == NULL)
        return;
    if (IsLoading())
    {
        m_lpBufCur = m_lpBufMax = m_lpBufStart;
        return;
    }
    if (m_lpBufCur != m_lpBufStart)
    {
        UINT nBytes = (UINT)(m_lpBufCur - m_lpBufStart);
        m_lpBufCur = m_lpBufStart;
        m_pFile->Write(m_lpBufStart, nBytes);
    }
    m_pFile->Flush();
}

// ---------------------------------------------------------------------------
// Raw bytes

void CArchive::Write(const void* lpBuf, UINT nMax)
{
    if (nMax == 0)
        return;
    if (IsLoading())
        AfxThrowArchiveException(CArchiveException::readOnly, m_strFileName);
    if (m_pFile == NULL)
        AfxThrowArchiveException(CArchiveException::generic, m_strFileName);
    const BYTE* p = (const BYTE*)lpBuf;
    while (nMax > 0)
    {
        UINT nRoom = (UINT)(m_lpBufMax - m_lpBufCur);
        if (nRoom == 0)
        {
            m_pFile->Write(m_lpBufStart, (UINT)(m_lpBufCur - m_lpBufStart));
            m_lpBufCur = m_lpBufStart;
            continue;
        }
        UINT n = nMax < nRoom ? nMax : nRoom;
        memcpy(m_lpBufCur, p, n);
        m_lpBufCur += n;
        p += n;
        nMax -= n;
    }
}

UINT CArchive::Read(void* lpBuf, UINT nMax)
{
    if (nMax == 0)
        return 0;
    if (IsStoring())
        AfxThrowArchiveException(CArchiveException::writeOnly, m_strFileName);
    if (m_pFile == NULL)
        AfxThrowArchiveException(CArchiveException::generic, m_strFileName);
    BYTE* p = (BYTE*)lpBuf;
    UINT nRead = 0;
    while (nRead < nMax)
    {
        UINT nHave = (UINT)(m_lpBufMax - m_lpBufCur);
        if (nHave == 0)
        {
            UINT nGot = m_pFile->Read(m_lpBufStart, m_nBufSize);
            m_lpBufCur = m_lpBufStart;
            m_lpBufMax = m_lpBufStart + nGot;
            if (nGot == 0)
                break;
            continue;
        }
        UINT n = (nMax - nRead) < nHave ? (nMax - nRead) : nHave;
        memcpy(p + nRead, m_lpBufCur, n);
        m_lpBufCur += n;
        nRead += n;
    }
    return nRead;
}

void CArchive::ReadExact(void* p, UINT n)
{
    if (Read(p, n) != n)
        AfxThrowArchiveException(CArchiveException::endOfFile, m_strFileName);
}

// ---------------------------------------------------------------------------
// Scalars

CArchive& CArchive::operator<<(BYTE by)
{
    Write(&by, 1);
    return *this;
}

CArchive& CArchive::operator<<(WORD w)
{
    BYTE b[2] = { (BYTE)w, (BYTE)(w >> 8) };
    Write(b, 2);
    return *this;
}

CArchive& CArchive::operator<<(DWORD dw)
{
    BYTE b[4] = { (BYTE)dw, (BYTE)(dw >> 8), (BYTE)(dw >> 16), (BYTE)(dw >> 24) };
    Write(b, 4);
    return *this;
}

CArchive& CArchive::operator<<(LONG l)
{
    return *this << (DWORD)l;
}

CArchive& CArchive::operator<<(float f)
{
    Write(&f, sizeof(f));
    return *this;
}

CArchive& CArchive::operator<<(double d)
{
    Write(&d, sizeof(d));
    return *this;
}

CArchive& CArchive::operator>>(BYTE& by)
{
    ReadExact(&by, 1);
    return *this;
}

CArchive& CArchive::operator>>(WORD& w)
{
    BYTE b[2];
    ReadExact(b, 2);
    w = (WORD)(b[0] | (b[1] << 8));
    return *this;
}

CArchive& CArchive::operator>>(DWORD& dw)
{
    BYTE b[4];
    ReadExact(b, 4);
    dw = (DWORD)b[0] | ((DWORD)b[1] << 8) | ((DWORD)b[2] << 16) | ((DWORD)b[3] << 24);
    return *this;
}

CArchive& CArchive::operator>>(LONG& l)
{
    DWORD dw;
    *this >> dw;
    l = (LONG)dw;
    return *this;
}

CArchive& CArchive::operator>>(float& f)
{
    ReadExact(&f, sizeof(f));
    return *this;
}

CArchive& CArchive::operator>>(double& d)
{
    ReadExact(&d, sizeof(d));
    return *this;
}

CArchive& CArchive::operator<<(CTime time)
{
    return *this << (DWORD)time.GetTime();
}

CArchive& CArchive::operator>>(CTime& time)
{
    DWORD dw;
    *this >> dw;
    time = CTime((time_t)dw);
    return *this;
}

CArchive& CArchive::operator<<(CTimeSpan span)
{
    return *this << (DWORD)span.GetTotalSeconds();
}

CArchive& CArchive::operator>>(CTimeSpan& span)
{
    DWORD dw;
    *this >> dw;
    span = CTimeSpan((time_t)(LONG)dw);
    return *this;
}

// ---------------------------------------------------------------------------
// Strings and counts

CArchive& CArchive::operator<<(const CString& str)
{
    DWORD nLen = (DWORD)str.GetLength();
    if (nLen < 0xFF)
        *this << (BYTE)nLen;
    else if (nLen < 0xFFFE)
        *this << (BYTE)0xFF << (WORD)nLen;
    else
        *this << (BYTE)0xFF << (WORD)0xFFFF << nLen;
    Write((LPCSTR)str, nLen);
    return *this;
}

CArchive& CArchive::operator>>(CString& str)
{
    BYTE bLen;
    *this >> bLen;
    DWORD nLen = bLen;
    if (bLen == 0xFF)
    {
        WORD wLen;
        *this >> wLen;
        nLen = wLen;
        if (wLen == 0xFFFF)
            *this >> nLen;
    }
    if (nLen > 0x7FFFFFF0)
        AfxThrowArchiveException(CArchiveException::generic, m_strFileName);
    if (nLen == 0)
    {
        str.Empty();
        return *this;
    }
    // Read in pieces, so that a damaged length ends in endOfFile rather
    // than in one huge allocation.
    str.Empty();
    DWORD nDone = 0;
    while (nDone < nLen)
    {
        DWORD nPiece = nLen - nDone < 0x10000 ? nLen - nDone : 0x10000;
        LPSTR p = str.GetBufferSetLength((int)(nDone + nPiece));
        if (Read(p + nDone, nPiece) != nPiece)
        {
            str.Empty();
            AfxThrowArchiveException(CArchiveException::endOfFile, m_strFileName);
        }
        nDone += nPiece;
    }
    return *this;
}

void CArchive::WriteCount(DWORD dwCount)
{
    if (dwCount < 0xFFFF)
        *this << (WORD)dwCount;
    else
        *this << (WORD)0xFFFF << dwCount;
}

DWORD CArchive::ReadCount()
{
    WORD wCount;
    *this >> wCount;
    if (wCount != 0xFFFF)
        return wCount;
    DWORD dwCount;
    *this >> dwCount;
    return dwCount;
}

// ---------------------------------------------------------------------------
// Text lines

void CArchive::WriteString(LPCSTR lpsz)
{
    if (lpsz != NULL)
        Write(lpsz, lstrlenA(lpsz));
}

BOOL CArchive::ReadString(CString& rString)
{
    rString.Empty();
    char ch;
    BOOL bAny = FALSE;
    while (Read(&ch, 1) == 1)
    {
        bAny = TRUE;
        if (ch == '\n')
            break;
        rString += ch;
    }
    int nLen = rString.GetLength();
    if (nLen > 0 && rString[nLen - 1] == '\r')
        rString.GetBufferSetLength(nLen - 1);
    return bAny;
}

LPSTR CArchive::ReadString(LPSTR lpsz, UINT nMax)
{
    if (lpsz == NULL || nMax == 0)
        return NULL;
    UINT nRead = 0;
    char ch;
    while (nRead + 1 < nMax && Read(&ch, 1) == 1)
    {
        if (ch == '\n' && nRead > 0 && lpsz[nRead - 1] == '\r')
            nRead--;
        lpsz[nRead++] = ch;
        if (ch == '\n')
            break;
    }
    lpsz[nRead] = '\0';
    return nRead == 0 ? NULL : lpsz;
}

// ---------------------------------------------------------------------------
// Objects

UINT CArchive::MapCount() const
{
    return IsStoring() ? m_pMap->nStoreCount : (UINT)m_pMap->loadArray.size();
}

UINT CArchive::GetObjectSchema()
{
    UINT nResult = m_nObjectSchema;
    m_nObjectSchema = (UINT)-1;
    return nResult;
}

void CArchive::WriteClass(const CRuntimeClass* pClassRef)
{
    if (pClassRef == NULL || pClassRef->m_wSchema == 0xFFFF)
        AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);

    std::map<const void*, DWORD>::const_iterator it = m_pMap->storeMap.find(pClassRef);
    if (it != m_pMap->storeMap.end())
    {
        DWORD nClassIndex = it->second;
        if (nClassIndex < wBigObjectTag)
            *this << (WORD)(wClassTag | nClassIndex);
        else
            *this << wBigObjectTag << (DWORD)(dwBigClassTag | nClassIndex);
        return;
    }
    *this << wNewClassTag;
    pClassRef->Store(*this);
    if (m_pMap->nStoreCount >= nMaxMapCount)
        AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
    m_pMap->storeMap[pClassRef] = m_pMap->nStoreCount++;
}

void CArchive::WriteObject(const CObject* pOb)
{
    if (pOb == NULL)
    {
        *this << wNullTag;
        return;
    }
    std::map<const void*, DWORD>::const_iterator it = m_pMap->storeMap.find(pOb);
    if (it != m_pMap->storeMap.end())
    {
        DWORD nObIndex = it->second;
        if (nObIndex < wBigObjectTag)
            *this << (WORD)nObIndex;
        else
            *this << wBigObjectTag << nObIndex;
        return;
    }
    WriteClass(pOb->GetRuntimeClass());
    if (m_pMap->nStoreCount >= nMaxMapCount)
        AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
    m_pMap->storeMap[pOb] = m_pMap->nStoreCount++;
    const_cast<CObject*>(pOb)->Serialize(*this);
}

CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRefRequested,
                                   UINT* pSchema, DWORD* pObTag)
{
    WORD wTag;
    *this >> wTag;
    DWORD obTag;
    if (wTag == wBigObjectTag)
        *this >> obTag;
    else
        obTag = ((DWORD)(wTag & wClassTag) << 16) | (wTag & ~wClassTag);

    CRuntimeClass* pClassRef;
    UINT nSchema;
    if (wTag == wNewClassTag)
    {
        pClassRef = CRuntimeClass::Load(*this, &nSchema);
        if (pClassRef == NULL)
            AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
        if ((pClassRef->m_wSchema & ~VERSIONABLE_SCHEMA) != nSchema &&
            !(pClassRef->m_wSchema & VERSIONABLE_SCHEMA))
            AfxThrowArchiveException(CArchiveException::badSchema, m_strFileName);
        if (m_pMap->loadArray.size() >= nMaxMapCount)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        CMapData::LoadEntry entry = { pClassRef, true, nSchema };
        m_pMap->loadArray.push_back(entry);
    }
    else if (!(obTag & dwBigClassTag))
    {
        // An object tag: null or a back-reference.
        if (pObTag == NULL)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        *pObTag = obTag;
        return NULL;
    }
    else
    {
        DWORD nClassIndex = obTag & ~dwBigClassTag;
        if (nClassIndex == 0 || nClassIndex >= m_pMap->loadArray.size() ||
            !m_pMap->loadArray[nClassIndex].bClass)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        pClassRef = (CRuntimeClass*)m_pMap->loadArray[nClassIndex].p;
        nSchema = m_pMap->loadArray[nClassIndex].nSchema;
    }

    if (pClassRefRequested != NULL && !pClassRef->IsDerivedFrom(pClassRefRequested))
        AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
    if (pSchema != NULL)
        *pSchema = nSchema;
    if (pObTag != NULL)
        *pObTag = 0;
    return pClassRef;
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested)
{
    UINT nSchema;
    DWORD obTag;
    CRuntimeClass* pClassRef = ReadClass(pClassRefRequested, &nSchema, &obTag);

    if (pClassRef == NULL)
    {
        if (obTag >= m_pMap->loadArray.size() || m_pMap->loadArray[obTag].bClass)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        CObject* pOb = (CObject*)m_pMap->loadArray[obTag].p;
        if (pOb != NULL && pClassRefRequested != NULL && !pOb->IsKindOf(pClassRefRequested))
            AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
        return pOb;
    }

    CObject* pOb = pClassRef->CreateObject();
    if (pOb == NULL)
        AfxThrowMemoryException();
    // Registered before its body is read, so that the body may refer to it.
    size_t nIndex = m_pMap->loadArray.size();
    CMapData::LoadEntry entry = { pOb, false, 0 };
    m_pMap->loadArray.push_back(entry);

    UINT nSchemaSave = m_nObjectSchema;
    m_nObjectSchema = nSchema;
    try
    {
        pOb->Serialize(*this);
    }
    catch (...)
    {
        // The half-read object belongs to no one: free it.
        m_pMap->loadArray[nIndex].p = NULL;
        m_nObjectSchema = nSchemaSave;
        delete pOb;
        throw;
    }
    m_nObjectSchema = nSchemaSave;
    return pOb;
}
