// Signed-file check: RSA over MD5, with the public key built into the program.
#include "SignedFile.h"
#include "MessageDigest5.h"
#include <string.h>
#include <vector>

namespace {

// The built-in key: the public half of the build's signing key, 520 bits, public
// exponent 65537 (generated: cmake/SigningKey.cmake).
const SRsaPublicKey s_keySignedFile =
#include "SignedFileKey.inc"
;

// DER DigestInfo prefix for MD5; the 16 digest bytes follow.
const BYTE s_abMD5DigestInfo[18] = {
    0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00,
    0x04, 0x10,
};
const UINT DIGESTINFO_LEN = sizeof(s_abMD5DigestInfo) + 16;

const UINT BODY_PIECE = 1000;

// Unsigned big numbers: 32-bit limbs, least significant first, all numbers
// of one operation the same size.
typedef std::vector<DWORD> Limbs;

Limbs LimbsFromBytes(const BYTE* pb, UINT cb, size_t nLimbs)
{
    Limbs r(nLimbs, 0);
    for (UINT i = 0; i < cb; i++) {
        UINT nPos = cb - 1 - i;     // byte position from the least significant end
        if (nPos / 4 < nLimbs)
            r[nPos / 4] |= (DWORD)pb[i] << ((nPos % 4) * 8);
    }
    return r;
}

void LimbsToBytes(const Limbs& a, BYTE* pb, UINT cb)
{
    for (UINT i = 0; i < cb; i++) {
        UINT nPos = cb - 1 - i;
        pb[i] = nPos / 4 < a.size() ? (BYTE)(a[nPos / 4] >> ((nPos % 4) * 8)) : 0;
    }
}

int Compare(const Limbs& a, const Limbs& b)
{
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

bool IsZero(const Limbs& a)
{
    for (size_t i = 0; i < a.size(); i++)
        if (a[i])
            return false;
    return true;
}

void Subtract(Limbs& a, const Limbs& b)
{
    unsigned long long borrow = 0;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned long long d = (unsigned long long)a[i] - b[i] - borrow;
        a[i] = (DWORD)d;
        borrow = (d >> 32) & 1;
    }
}

// a * b mod m; a and b below m, all n limbs.
Limbs MulMod(const Limbs& a, const Limbs& b, const Limbs& m)
{
    size_t n = m.size();
    Limbs p(2 * n, 0);
    for (size_t i = 0; i < n; i++) {
        unsigned long long carry = 0;
        for (size_t j = 0; j < n; j++) {
            unsigned long long t = (unsigned long long)a[i] * b[j] + p[i + j] + carry;
            p[i + j] = (DWORD)t;
            carry = t >> 32;
        }
        p[i + n] = (DWORD)carry;
    }

    // Shift the product in bit by bit, subtracting m whenever it fits.
    Limbs r(n + 1, 0);
    Limbs mm(m);
    mm.push_back(0);
    for (size_t bit = 2 * n * 32; bit-- > 0;) {
        DWORD dwIn = (p[bit / 32] >> (bit % 32)) & 1;
        for (size_t i = n + 1; i-- > 1;)
            r[i] = (r[i] << 1) | (r[i - 1] >> 31);
        r[0] = (r[0] << 1) | dwIn;
        if (Compare(r, mm) >= 0)
            Subtract(r, mm);
    }
    r.pop_back();
    return r;
}

} // namespace

BOOL RsaModExp(const BYTE* pbBase, UINT cbBase, const BYTE* pbExp, UINT cbExp,
               const BYTE* pbMod, UINT cbMod, BYTE* pbOut)
{
    UINT cbMax = cbBase > cbMod ? cbBase : cbMod;
    size_t n = (cbMax + 3) / 4;
    Limbs m = LimbsFromBytes(pbMod, cbMod, n);
    Limbs base = LimbsFromBytes(pbBase, cbBase, n);
    if (IsZero(m) || Compare(base, m) >= 0)
        return FALSE;

    Limbs r(n, 0);
    r[0] = 1;
    if (m.size() == 1 && m[0] == 1)
        r[0] = 0;
    for (UINT i = 0; i < cbExp; i++) {
        for (int bit = 7; bit >= 0; bit--) {
            r = MulMod(r, r, m);
            if ((pbExp[i] >> bit) & 1)
                r = MulMod(r, base, m);
        }
    }
    LimbsToBytes(r, pbOut, cbMod);
    return TRUE;
}

BOOL BuildMD5SignatureBlock(const BYTE* pbDigest, BYTE* pbBlock, UINT cbBlock)
{
    if (cbBlock < 3 + 8 + DIGESTINFO_LEN)
        return FALSE;
    UINT nPad = cbBlock - 3 - DIGESTINFO_LEN;
    pbBlock[0] = 0x00;
    pbBlock[1] = 0x01;
    memset(pbBlock + 2, 0xFF, nPad);
    pbBlock[2 + nPad] = 0x00;
    memcpy(pbBlock + 3 + nPad, s_abMD5DigestInfo, sizeof(s_abMD5DigestInfo));
    memcpy(pbBlock + 3 + nPad + sizeof(s_abMD5DigestInfo), pbDigest, 16);
    return TRUE;
}

namespace {

// Checks a signature over an MD5 digest against the built-in key.
bool VerifyMD5Signature(const SRsaPublicKey& key, const BYTE* pbDigest, const BYTE* pbSignature,
                        UINT cbSignature)
{
    const UINT cbMod = (key.wBits + 7) / 8;
    if (cbSignature > cbMod)
        return false;

    BYTE abBlock[sizeof(key.abModulus)];
    if (!RsaModExp(pbSignature, cbSignature, key.abExponent, sizeof(key.abExponent),
                   key.abModulus + sizeof(key.abModulus) - cbMod, cbMod, abBlock))
        return false;

    // 0x00 0x01, at least eight 0xFF, 0x00, then exactly the DigestInfo.
    bool fOk = abBlock[0] == 0x00 && abBlock[1] == 0x01;
    UINT i = 2;
    while (fOk && i < cbMod && abBlock[i] == 0xFF)
        i++;
    fOk = fOk && i - 2 >= 8 && i < cbMod && abBlock[i] == 0x00;
    i++;
    if (fOk) {
        BYTE abInfo[DIGESTINFO_LEN];
        memcpy(abInfo, s_abMD5DigestInfo, sizeof(s_abMD5DigestInfo));
        memcpy(abInfo + sizeof(s_abMD5DigestInfo), pbDigest, 16);
        fOk = cbMod - i == DIGESTINFO_LEN && memcmp(abBlock + i, abInfo, DIGESTINFO_LEN) == 0;
        SecureZeroMemory(abInfo, sizeof(abInfo));
    }
    SecureZeroMemory(abBlock, sizeof(abBlock));
    return fOk;
}

bool SeekTo(HANDLE hFile, LONGLONG llPos)
{
    LONG lHigh = (LONG)(llPos >> 32);
    SetLastError(NO_ERROR);
    DWORD dw = SetFilePointer(hFile, (LONG)(DWORD)llPos, &lHigh, FILE_BEGIN);
    return !(dw == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool ReadExact(HANDLE hFile, void* pv, DWORD cb)
{
    DWORD cbRead = 0;
    return ReadFile(hFile, pv, cb, &cbRead, NULL) && cbRead == cb;
}

} // namespace

int kvAuthMD5(const char* pszPath)
{
    return verifySignedFile(pszPath, s_keySignedFile);
}

int verifySignedFile(const char* pszPath, const SRsaPublicKey& key)
{
    if (!pszPath)
        return -1;
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return -1;

    int nResult = -1;
    BYTE abSignature[SIGNEDFILE_MAX_SIGNATURE];
    BYTE abPiece[BODY_PIECE];
    BYTE abDigest[16];
    CMessageDigest5 md5;

    DWORD dwHigh = 0;
    SetLastError(NO_ERROR);
    DWORD dwLow = GetFileSize(hFile, &dwHigh);
    LONGLONG llSize = ((LONGLONG)dwHigh << 32) | dwLow;
    LONG nSig = 0;

    if (!(dwLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && llSize >= 4 &&
        SeekTo(hFile, llSize - 4) && ReadExact(hFile, &nSig, 4) &&
        nSig > 0 && nSig <= SIGNEDFILE_MAX_SIGNATURE && nSig < llSize - 4 &&
        SeekTo(hFile, llSize - 4 - nSig) && ReadExact(hFile, abSignature, (DWORD)nSig) &&
        SeekTo(hFile, 0)) {
        // The body, up to the file's end should it have shrunk meanwhile.
        LONGLONG llLeft = llSize - 4 - nSig;
        bool fReadError = false;
        while (llLeft > 0) {
            DWORD cbWant = llLeft < (LONGLONG)BODY_PIECE ? (DWORD)llLeft : BODY_PIECE;
            DWORD cbRead = 0;
            if (!ReadFile(hFile, abPiece, cbWant, &cbRead, NULL)) {
                fReadError = true;
                break;
            }
            if (cbRead == 0)
                break;
            md5.Update(abPiece, cbRead);
            llLeft -= cbRead;
        }
        if (!fReadError) {
            md5.Final(abDigest, sizeof(abDigest));
            nResult = VerifyMD5Signature(key, abDigest, abSignature, (UINT)nSig) ? 1 : 0;
        }
    }

    CloseHandle(hFile);
    md5.Init();
    SecureZeroMemory(abDigest, sizeof(abDigest));
    SecureZeroMemory(abPiece, sizeof(abPiece));
    SecureZeroMemory(abSignature, sizeof(abSignature));
    return nResult;
}
