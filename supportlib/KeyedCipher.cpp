// Keyed hex cipher.
#include "KeyedCipher.h"

#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char g_szKeyedCipherKey[] = "583016274";

namespace {
const unsigned c_nKeyMultiplier = 13;
}

CByteCycle::CByteCycle() : m_pBytes(NULL), m_nLength(0), m_nPos(0)
{
}

CByteCycle::~CByteCycle()
{
    delete[] m_pBytes;
}

BOOL CByteCycle::SetSequence(const BYTE* pBytes, int nLength)
{
    if (m_pBytes || nLength <= 0)
        return FALSE;
    m_pBytes = new (std::nothrow) BYTE[nLength];
    if (!m_pBytes)
        return FALSE;
    memcpy(m_pBytes, pBytes, nLength);
    m_nLength = nLength;
    m_nPos = 0;
    return TRUE;
}

BYTE CByteCycle::Step()
{
    if (!m_pBytes)
        return 0;
    BYTE b = m_pBytes[m_nPos];
    if (++m_nPos == m_nLength)
        m_nPos = 0;
    return b;
}

CKeyedStreamCipher::CKeyedStreamCipher(int nDirection)
    : m_nGenerators(GENERATORS), m_nDirection(nDirection), m_nFeedback(0)
{
}

void expandCipherKey(const char* pszKey, int nKeyLen, BYTE* pOut)
{
    const BYTE* key = (const BYTE*)pszKey;
    BYTE a = 0;
    for (int i = 0; i < KEYED_CIPHER_KEY_BYTES; ++i) {
        BYTE c = key[i % nKeyLen];
        a = (BYTE)(a + (BYTE)(c + i) * c_nKeyMultiplier);
        pOut[i] = (BYTE)(c * a + key[(i + 1) % nKeyLen]);
    }
}

BOOL CKeyedStreamCipher::SetKey(LPCSTR pszKey)
{
    for (int i = 0; i < m_nGenerators; ++i)
        if (m_generators[i].HasSequence())
            return FALSE;
    int nKeyLen = pszKey ? (int)strlen(pszKey) : 0;
    if (nKeyLen == 0)
        return FALSE;

    BYTE expanded[KEYED_CIPHER_KEY_BYTES];
    expandCipherKey(pszKey, nKeyLen, expanded);
    // Generator i takes (72 - (1 + 2)) / 3 + i bytes: 23, 24 and 25.
    int nPos = 0;
    for (int i = 0; i < m_nGenerators; ++i) {
        int nLen = (KEYED_CIPHER_KEY_BYTES - (m_nGenerators * (m_nGenerators - 1) / 2)) / m_nGenerators + i;
        if (!m_generators[i].SetSequence(expanded + nPos, nLen))
            return FALSE;
        nPos += nLen;
    }
    return TRUE;
}

void CKeyedStreamCipher::Process(BYTE* pBytes, int nCount)
{
    const BYTE f = 0;   // feedback stays off
    for (int i = 0; i < nCount; ++i) {
        BYTE k = 0;
        for (int g = 0; g < m_nGenerators; ++g)
            k ^= m_generators[g].Step();
        pBytes[i] = (BYTE)(pBytes[i] ^ k ^ f);
    }
}

int PWDEncrypt(char* pszOut, LPCSTR pszText, int* pnOutSize)
{
    int n = (int)strlen(pszText);
    if (*pnOutSize < 2 * n + 1)
        return KEYED_ERR_SMALL_BUFFER;

    BYTE* pBytes = new (std::nothrow) BYTE[n + 1];
    char* pszHex = new (std::nothrow) char[2 * n + 1];
    int nResult = KEYED_ERR_KEY;
    CKeyedStreamCipher cipher(0);
    if (pBytes && pszHex && cipher.SetKey(g_szKeyedCipherKey)) {
        memcpy(pBytes, pszText, n);
        cipher.Process(pBytes, n);
        for (int i = 0; i < n; ++i)
            sprintf(pszHex + 2 * i, "%02X", pBytes[i]);
        pszHex[2 * n] = '\0';
        memcpy(pszOut, pszHex, 2 * n + 1);
        *pnOutSize = 2 * n + 1;
        nResult = 0;
    }
    delete[] pBytes;
    delete[] pszHex;
    return nResult;
}

int PWDDecrypt(char* pszOut, LPCSTR pszIn, int* pnOutSize)
{
    int m = (int)strlen(pszIn);
    int nBytes = (m + 1) / 2;
    if (*pnOutSize < nBytes + 1)
        return KEYED_ERR_SMALL_BUFFER;

    BYTE* pBytes = new (std::nothrow) BYTE[nBytes + 1];
    if (!pBytes)
        return KEYED_ERR_KEY;
    for (int i = 0; i < nBytes; ++i) {
        char pair[3] = {pszIn[2 * i], (2 * i + 1 < m) ? pszIn[2 * i + 1] : '\0', '\0'};
        pBytes[i] = (BYTE)strtol(pair, NULL, 16);
    }
    pBytes[nBytes] = 0;

    CKeyedStreamCipher cipher(1);
    if (!cipher.SetKey(g_szKeyedCipherKey)) {
        delete[] pBytes;
        return KEYED_ERR_KEY;
    }
    // A last byte read from a single digit stays as it was read.
    cipher.Process(pBytes, m / 2);

    size_t nLen = strlen((const char*)pBytes);
    memcpy(pszOut, pBytes, nLen + 1);
    *pnOutSize = m / 2 + 1;
    delete[] pBytes;
    return 0;
}
