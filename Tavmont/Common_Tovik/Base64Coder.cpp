#include "Base64Coder.h"
#include <string.h>
#include <new>
#include <vector>

namespace {

const char s_szAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const UINT BUFFER_STEP = 4096;
const BYTE NOT_BASE64 = 0xFF;

// Character code to six-bit value, built on first use.
const BYTE* DecodeTable()
{
    struct Table
    {
        BYTE ab[256];
        Table()
        {
            memset(ab, NOT_BASE64, sizeof(ab));
            for (int i = 0; i < 64; i++)
                ab[(BYTE)s_szAlphabet[i]] = (BYTE)i;
        }
    };
    static const Table s_table;
    return s_table.ab;
}

bool Grow(void*& pv, UINT& cbBuffer, UINT nSize)
{
    if (nSize > cbBuffer) {
        UINT cbNew = (nSize + BUFFER_STEP - 1) / BUFFER_STEP * BUFFER_STEP;
        if (cbNew < nSize)
            return false;
        void* pvNew = new (std::nothrow) BYTE[cbNew];
        if (!pvNew)
            return false;
        delete[] static_cast<BYTE*>(pv);
        pv = pvNew;
        cbBuffer = cbNew;
    }
    memset(pv, 0, cbBuffer);
    return true;
}

bool Overlaps(const void* pv, UINT cb, const void* pvBuffer, UINT cbBuffer)
{
    const BYTE* p = static_cast<const BYTE*>(pv);
    const BYTE* q = static_cast<const BYTE*>(pvBuffer);
    return q && cb && p < q + cbBuffer && q < p + cb;
}

} // namespace

Base64Coder::Base64Coder()
    : m_pszText(NULL), m_cbTextBuffer(0), m_cchText(0),
      m_pbBytes(NULL), m_cbByteBuffer(0), m_cbBytes(0)
{
}

Base64Coder::~Base64Coder()
{
    delete[] m_pszText;
    delete[] m_pbBytes;
}

BOOL Base64Coder::ReserveText(UINT nSize)
{
    void* pv = m_pszText;
    bool fOk = Grow(pv, m_cbTextBuffer, nSize);
    m_pszText = static_cast<char*>(pv);
    return fOk;
}

BOOL Base64Coder::ReserveBytes(UINT nSize)
{
    void* pv = m_pbBytes;
    bool fOk = Grow(pv, m_cbByteBuffer, nSize);
    m_pbBytes = static_cast<BYTE*>(pv);
    return fOk;
}

BOOL Base64Coder::IsSkipped(char ch)
{
    return (ch >= 7 && ch <= 13) || ch == ' ';
}

BOOL Base64Coder::TakeText(const char* pch, UINT cch)
{
    m_cchText = 0;
    if (cch == 0xFFFFFFFF || !ReserveText(cch + 1))
        return FALSE;
    for (UINT i = 0; i < cch; i++) {
        if (!IsSkipped(pch[i]))
            m_pszText[m_cchText++] = pch[i];
    }
    return TRUE;
}

BOOL Base64Coder::TakeBytes(const BYTE* pb, UINT cb)
{
    m_cbBytes = 0;
    if (cb == 0xFFFFFFFF || !ReserveBytes(cb + 1))
        return FALSE;
    if (cb)
        memcpy(m_pbBytes, pb, cb);
    m_cbBytes = cb;
    return TRUE;
}

void Base64Coder::SplitGroup(const BYTE* pbIn, BYTE* pbOut)
{
    pbOut[0] = pbIn[0] >> 2;
    pbOut[1] = (BYTE)(((pbIn[0] & 0x03) << 4) | (pbIn[1] >> 4));
    pbOut[2] = (BYTE)(((pbIn[1] & 0x0F) << 2) | (pbIn[2] >> 6));
    pbOut[3] = pbIn[2] & 0x3F;
}

void Base64Coder::JoinGroup(const BYTE* pbIn, BYTE* pbOut)
{
    pbOut[0] = (BYTE)((pbIn[0] << 2) | (pbIn[1] >> 4));
    pbOut[1] = (BYTE)((pbIn[1] << 4) | (pbIn[2] >> 2));
    pbOut[2] = (BYTE)((pbIn[2] << 6) | pbIn[3]);
}

void Base64Coder::EncodeGroup(const BYTE* pbIn, UINT cbIn, char* pchOut)
{
    BYTE abIn[3] = { 0, 0, 0 };
    BYTE abSix[4];
    memcpy(abIn, pbIn, cbIn < 3 ? cbIn : 3);
    SplitGroup(abIn, abSix);
    for (UINT i = 0; i < 4; i++)
        pchOut[i] = i <= cbIn ? s_szAlphabet[abSix[i]] : '=';
}

int Base64Coder::DecodeGroup(const char* pchIn, BOOL fLast, BYTE* pbOut)
{
    const BYTE* pTable = DecodeTable();
    int nFill = 0;
    if (fLast && pchIn[3] == '=')
        nFill = pchIn[2] == '=' ? 2 : 1;
    BYTE abSix[4] = { 0, 0, 0, 0 };
    for (int i = 0; i < 4 - nFill; i++) {
        abSix[i] = pTable[(BYTE)pchIn[i]];
        if (abSix[i] == NOT_BASE64)
            return -1;
    }
    BYTE abOut[3];
    JoinGroup(abSix, abOut);
    memcpy(pbOut, abOut, 3 - nFill);
    return 3 - nFill;
}

BOOL Base64Coder::Encode(const char* pszText)
{
    return Encode(reinterpret_cast<const BYTE*>(pszText), pszText ? (UINT)strlen(pszText) : 0);
}

BOOL Base64Coder::Encode(const BYTE* pbData, UINT cbData)
{
    // Input that lies in this coder's own buffers is copied first.
    std::vector<BYTE> copy;
    if (Overlaps(pbData, cbData, m_pszText, m_cbTextBuffer) ||
        Overlaps(pbData, cbData, m_pbBytes, m_cbByteBuffer)) {
        copy.assign(pbData, pbData + cbData);
        pbData = copy.data();
    }

    m_cchText = 0;
    UINT nGroups = cbData / 3 + (cbData % 3 ? 1 : 0);
    if (nGroups > (0xFFFFFFFF - 1) / 4 || !TakeBytes(pbData, cbData) ||
        !ReserveText(nGroups * 4 + 1))
        return FALSE;
    for (UINT i = 0; i < nGroups; i++) {
        UINT nPos = i * 3;
        EncodeGroup(m_pbBytes + nPos, cbData - nPos < 3 ? cbData - nPos : 3, m_pszText + i * 4);
    }
    m_cchText = nGroups * 4;
    return TRUE;
}

BOOL Base64Coder::Decode(const char* pszText)
{
    return Decode(pszText, pszText ? (UINT)strlen(pszText) : 0);
}

BOOL Base64Coder::Decode(const char* pchText, UINT cchText)
{
    std::vector<char> copy;
    if (Overlaps(pchText, cchText, m_pszText, m_cbTextBuffer) ||
        Overlaps(pchText, cchText, m_pbBytes, m_cbByteBuffer)) {
        copy.assign(pchText, pchText + cchText);
        pchText = copy.data();
    }

    m_cbBytes = 0;
    if (!TakeText(pchText, cchText))
        return FALSE;
    UINT nGroups = m_cchText / 4;
    if (!ReserveBytes(nGroups * 3 + 1))
        return FALSE;
    if (m_cchText % 4 != 0)
        return FALSE;
    for (UINT i = 0; i < nGroups; i++) {
        int n = DecodeGroup(m_pszText + i * 4, i + 1 == nGroups, m_pbBytes + m_cbBytes);
        if (n < 0) {
            memset(m_pbBytes, 0, m_cbByteBuffer);
            m_cbBytes = 0;
            return FALSE;
        }
        m_cbBytes += n;
    }
    return TRUE;
}

const BYTE* Base64Coder::GetDecoded() const
{
    static const BYTE s_bEmpty = 0;
    return m_pbBytes ? m_pbBytes : &s_bEmpty;
}

const char* Base64Coder::GetEncoded() const
{
    return m_pszText ? m_pszText : "";
}
