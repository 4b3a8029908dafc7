// Signed program files: a body, an RSA signature (PKCS #1 v1.5, block type 1)
// over the body's MD5 digest, and the signature's length.
//
//   body | signature (N bytes, big-endian) | N (32-bit little-endian signed)
//
// The trailer is acceptable when 0 < N <= 128 and N < file size - 4.
#ifndef VGL_SIGNEDFILE_H
#define VGL_SIGNEDFILE_H

#include <windows.h>

// Longest signature a trailer may announce.
#define SIGNEDFILE_MAX_SIGNATURE 128

// RSA public key record: bit count, then modulus and exponent big-endian,
// zero-filled on the left to 128 bytes each.
struct SRsaPublicKey
{
    WORD wBits;
    BYTE abModulus[128];
    BYTE abExponent[128];
};

// 1: the signature is valid for the built-in key; 0: the file is readable
// and its trailer acceptable but the signature does not verify; -1: the
// file cannot be inspected (missing, unreadable, trailer not acceptable).
int kvAuthMD5(const char* pszPath);
// The same check against a given key.
int verifySignedFile(const char* pszPath, const SRsaPublicKey& key);

// pbOut (cbMod bytes, big-endian) := base ^ exp mod modulus. FALSE when the
// modulus is zero or the base is not below it. Also used by the signer.
BOOL RsaModExp(const BYTE* pbBase, UINT cbBase, const BYTE* pbExp, UINT cbExp,
               const BYTE* pbMod, UINT cbMod, BYTE* pbOut);

// The block that is signed for an MD5 digest: 0x00 0x01, 0xFF bytes, 0x00,
// the MD5 DigestInfo, cbBlock bytes in all (the modulus length). FALSE when
// cbBlock leaves room for fewer than eight 0xFF bytes.
BOOL BuildMD5SignatureBlock(const BYTE* pbDigest, BYTE* pbBlock, UINT cbBlock);

#endif
