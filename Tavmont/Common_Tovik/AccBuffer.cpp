#include "AccBuffer.h"

#include <afxfile.h>
#include <stdlib.h>
#include <string.h>
#include <new>

CAccBuffer::CAccBuffer()
    : m_nCapacity(0), m_nLength(0), m_nGrowStep(DEFAULT_GROW_STEP), m_pData(NULL)
{
}

CAccBuffer::CAccBuffer(int nGrowStep)
    : m_nCapacity(0), m_nLength(0), m_nGrowStep(nGrowStep > 0 ? nGrowStep : DEFAULT_GROW_STEP),
      m_pData(NULL)
{
}

CAccBuffer::~CAccBuffer()
{
    delete[] m_pData;
}

void CAccBuffer::Append(const void* pvData, int nCount)
{
    if (nCount <= 0)
        return;
    const unsigned int cbFree = (unsigned int)m_nCapacity - (unsigned int)m_nLength;
    if (cbFree >= (unsigned int)nCount)
    {
        memcpy(m_pData + m_nLength, pvData, nCount);
        m_nLength += nCount;
        return;
    }

    // Computed wide so that a huge count cannot wrap into a small block.
    const unsigned long long cbStep = (unsigned int)m_nGrowStep;
    const unsigned long long cbNew =
        cbStep * (((unsigned long long)(unsigned int)m_nCapacity + (unsigned int)nCount) / cbStep + 1);
    BYTE* pNew = cbNew > 0x7FFFFFFFULL ? NULL : new (std::nothrow) BYTE[(size_t)cbNew];
    if (pNew == NULL)
        AfxThrowMemoryException();
    if (m_nLength > 0)
        memcpy(pNew, m_pData, m_nLength);
    memcpy(pNew + m_nLength, pvData, nCount);
    delete[] m_pData;
    m_pData = pNew;
    m_nCapacity = (int)cbNew;
    m_nLength += nCount;
}

void CAccBuffer::Reset()
{
    if (m_pData != NULL)
        memset(m_pData, 0, m_nCapacity);
    m_nLength = 0;
}

void CAccBuffer::Read(LPCSTR pszPath)
{
    CFile file(pszPath, CFile::modeRead | CFile::typeBinary | CFile::shareDenyNone);
    BYTE chunk[0x8000];
    for (;;)
    {
        UINT cbRead = file.Read(chunk, 0x7FFF);
        if (cbRead == 0)
            break;
        Append(chunk, (int)cbRead);
    }
    file.Close();
}

void CAccBuffer::Write(LPCSTR pszPath)
{
    if (m_nLength <= 0)
        return;
    CFile file(pszPath, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary |
                            CFile::shareDenyNone);
    file.Write(m_pData, (UINT)m_nLength);
    file.Close();
}

void CAccBuffer::GetString(CString& strOut) const
{
    if (m_pData == NULL || m_nLength <= 0)
    {
        strOut.Empty();
        return;
    }
    const void* pvZero = memchr(m_pData, 0, m_nLength);
    int cch = pvZero != NULL ? (int)((const BYTE*)pvZero - m_pData) : m_nLength;
    strOut = CString((LPCSTR)m_pData, cch);
}

int CAccBuffer::GetReturnCode(int nDefault, int nDigits) const
{
    if (m_nLength <= 0 || m_pData == NULL)
        return nDefault;
    char szCode[12];
    int cch = m_nLength < nDigits ? m_nLength : nDigits;
    if (cch < 0)
        cch = 0;
    if (cch > (int)sizeof(szCode) - 1)
        cch = (int)sizeof(szCode) - 1;
    memcpy(szCode, m_pData, cch);
    szCode[cch] = '\0';
    return atoi(szCode);
}
