// MD5 message digest (RFC 1321).
#include "MessageDigest5.h"
#include <string.h>

namespace {

// floor(|sin(i + 1)| * 2^32)
const DWORD s_adwSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
const int s_anShift[4][4] = {
    { 7, 12, 17, 22 }, { 5, 9, 14, 20 }, { 4, 11, 16, 23 }, { 6, 10, 15, 21 },
};

inline DWORD RotateLeft(DWORD x, int n)
{
    return (x << n) | (x >> (32 - n));
}

} // namespace

CMessageDigest5::CMessageDigest5()
{
    Init();
}

CMessageDigest5::~CMessageDigest5()
{
}

void CMessageDigest5::Init()
{
    m_dwState[0] = 0x67452301;
    m_dwState[1] = 0xEFCDAB89;
    m_dwState[2] = 0x98BADCFE;
    m_dwState[3] = 0x10325476;
    m_dwBits[0] = m_dwBits[1] = 0;
    memset(m_abBlock, 0, sizeof(m_abBlock));
}

void CMessageDigest5::Transform(const BYTE* pbBlock)
{
    DWORD x[16];
    for (int i = 0; i < 16; i++)
        x[i] = (DWORD)pbBlock[i * 4] | ((DWORD)pbBlock[i * 4 + 1] << 8) |
               ((DWORD)pbBlock[i * 4 + 2] << 16) | ((DWORD)pbBlock[i * 4 + 3] << 24);

    DWORD a = m_dwState[0], b = m_dwState[1], c = m_dwState[2], d = m_dwState[3];
    for (int i = 0; i < 64; i++) {
        int round = i / 16;
        DWORD f;
        int k;
        switch (round) {
        case 0:  f = (b & c) | (~b & d); k = i; break;
        case 1:  f = (b & d) | (c & ~d); k = (5 * i + 1) & 15; break;
        case 2:  f = b ^ c ^ d;          k = (3 * i + 5) & 15; break;
        default: f = c ^ (b | ~d);       k = (7 * i) & 15; break;
        }
        DWORD t = d;
        d = c;
        c = b;
        b = b + RotateLeft(a + f + x[k] + s_adwSine[i], s_anShift[round][i & 3]);
        a = t;
    }
    m_dwState[0] += a;
    m_dwState[1] += b;
    m_dwState[2] += c;
    m_dwState[3] += d;
    memset(x, 0, sizeof(x));
}

void CMessageDigest5::Update(const void* pData, UINT cbData)
{
    const BYTE* pb = static_cast<const BYTE*>(pData);
    UINT nUsed = (m_dwBits[0] >> 3) & 63;

    DWORD dwLow = m_dwBits[0] + ((DWORD)cbData << 3);
    if (dwLow < m_dwBits[0])
        m_dwBits[1]++;
    m_dwBits[1] += (DWORD)cbData >> 29;
    m_dwBits[0] = dwLow;

    if (nUsed) {
        UINT nFree = 64 - nUsed;
        if (cbData < nFree) {
            memcpy(m_abBlock + nUsed, pb, cbData);
            return;
        }
        memcpy(m_abBlock + nUsed, pb, nFree);
        Transform(m_abBlock);
        pb += nFree;
        cbData -= nFree;
    }
    for (; cbData >= 64; pb += 64, cbData -= 64)
        Transform(pb);
    memcpy(m_abBlock, pb, cbData);
}

BOOL CMessageDigest5::Final(BYTE* pbOut, UINT cbOut)
{
    if (cbOut < 16)
        return FALSE;

    BYTE abLength[8];
    for (int i = 0; i < 8; i++)
        abLength[i] = (BYTE)(m_dwBits[i / 4] >> ((i % 4) * 8));

    // 0x80, zeros up to 56 mod 64, then the bit length.
    static const BYTE s_abPad[64] = { 0x80 };
    UINT nUsed = (m_dwBits[0] >> 3) & 63;
    Update(s_abPad, nUsed < 56 ? 56 - nUsed : 120 - nUsed);
    Update(abLength, 8);

    for (int i = 0; i < 16; i++)
        pbOut[i] = (BYTE)(m_dwState[i / 4] >> ((i % 4) * 8));

    memset(m_dwState, 0, sizeof(m_dwState));
    memset(m_dwBits, 0, sizeof(m_dwBits));
    memset(m_abBlock, 0, sizeof(m_abBlock));
    return TRUE;
}

BOOL CMessageDigest5::GetHexDigest(const void* pData, UINT cbData, char* pszOut, UINT cbOut)
{
    if (cbOut <= 32)
        return FALSE;
    BYTE abDigest[16];
    Update(pData, cbData);
    Final(abDigest, sizeof(abDigest));
    static const char s_szHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; i++) {
        pszOut[i * 2] = s_szHex[abDigest[i] >> 4];
        pszOut[i * 2 + 1] = s_szHex[abDigest[i] & 15];
    }
    pszOut[32] = '\0';
    return TRUE;
}
