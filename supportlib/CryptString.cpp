// "!CRYPT!" scrambling: DES-enciphered chunks with a check value each.
#include "CryptString.h"
#include "Des.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const char g_szCryptKey1[] = "Comet8402915Plank";
const char g_szCryptKey2[] = "Harbors5093846QX";
const unsigned char g_abCryptStartKey[8] = {0x5B, 0x1E, 0xC7, 0x82, 0x39, 0xF4, 0x6D, 0xA0};

namespace {

const unsigned short c_wKeySeed = 0x3C5A;
const unsigned short c_wKeyMix = 0x9E37;
const unsigned long c_dwCheckStart = 0x4F627A3B;

unsigned long checkValue(const unsigned char* p, size_t nLen)
{
    unsigned long dw = c_dwCheckStart;
    for (size_t i = 0; i + 4 <= nLen; i += 4)
        dw ^= (unsigned long)p[i] | ((unsigned long)p[i + 1] << 8) |
              ((unsigned long)p[i + 2] << 16) | ((unsigned long)p[i + 3] << 24);
    return dw;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

size_t chunkLen(size_t nPiece)
{
    return 3 + 16 * ((nPiece + 7) / 8) + 8;
}

// Length of the chunk text of a plaintext of nPlain characters.
size_t cryptTextLen(size_t nPlain)
{
    size_t nFull = nPlain / CRYPT_PIECE_LEN, nRest = nPlain % CRYPT_PIECE_LEN;
    size_t n = nFull * (chunkLen(CRYPT_PIECE_LEN) + 1);
    if (nRest)
        n += chunkLen(nRest);
    else if (nFull)
        n -= 1;   // no separator after the last chunk
    return n;
}

// Copies at most cbOut - 1 of the nLen bytes and terminates.
void copyBounded(char* pszOut, size_t cbOut, const char* p, size_t nLen)
{
    if (!cbOut)
        return;
    if (nLen > cbOut - 1)
        nLen = cbOut - 1;
    memcpy(pszOut, p, nLen);
    pszOut[nLen] = '\0';
}

} // namespace

void deriveCryptKey(unsigned char key[8], const char* pszSecondKey, const char* pszFirstKey)
{
    static const int order[4] = {0, 2, 1, 3};
    unsigned short k[4];
    for (int i = 0; i < 4; ++i)
        k[i] = (unsigned short)(key[2 * i] | (key[2 * i + 1] << 8));

    const unsigned char* s = (const unsigned char*)(pszSecondKey ? pszSecondKey : "");
    const unsigned char* f = (const unsigned char*)(pszFirstKey ? pszFirstKey : "");
    unsigned short state = c_wKeySeed;
    for (int i = 0; i < 4 && (*s || *f); ++i) {
        unsigned short v = (unsigned short)(*s + 256 * *f);
        state = (unsigned short)(state ^ v ^ c_wKeyMix);
        k[order[i]] ^= state;
        if (*s) ++s;
        if (*f) ++f;
    }

    for (int i = 0; i < 4; ++i) {
        key[2 * i] = (unsigned char)k[i];
        key[2 * i + 1] = (unsigned char)(k[i] >> 8);
    }
}

void encryptCryptChunk(char* pszOut, const char* pszPiece, const unsigned char key[8])
{
    unsigned char plain[CRYPT_PIECE_LEN] = {0};
    size_t nLen = strnlen(pszPiece, CRYPT_PIECE_LEN);
    memcpy(plain, pszPiece, nLen);
    int nBlocks = (int)(nLen + 7) / 8;

    char* p = pszOut;
    *p++ = (char)('0' + nBlocks);
    p += sprintf(p, "%02X", (unsigned)nLen);

    SDesSubkeys sk;
    DesComputeSubkeys(key, &sk);
    for (int b = 0; b < nBlocks; ++b) {
        unsigned char block[8];
        DesEncryptBlock(sk, plain + 8 * b, block);
        for (int i = 0; i < 8; ++i)
            p += sprintf(p, "%02X", block[i]);
    }
    sprintf(p, "%08lX", checkValue(plain, nLen));
}

void decryptCryptChunk(char* pszOut, size_t cbOut, const char* pszToken, const unsigned char key[8])
{
    size_t nToken = strnlen(pszToken, CRYPT_MAX_TOKEN_LEN + 1);

    int nBlocks = -1;
    unsigned nLen = 0;
    if (nToken >= 3 && nToken <= CRYPT_MAX_TOKEN_LEN) {
        char hex[3] = {pszToken[1], pszToken[2], '\0'};
        if (sscanf(hex, "%x", &nLen) == 1)
            nBlocks = pszToken[0] - '0';
    }
    // The header's lengths are trusted only when the token really holds the blocks
    // and the check value they announce.
    if (nBlocks < 0 || nBlocks > 8 || nLen > CRYPT_PIECE_LEN || nBlocks != (int)(nLen + 7) / 8 ||
        nToken < 3 + 16 * (size_t)nBlocks + 8) {
        copyBounded(pszOut, cbOut, pszToken, nToken);
        return;
    }

    SDesSubkeys sk;
    DesComputeSubkeys(key, &sk);
    unsigned char plain[CRYPT_PIECE_LEN];
    for (int b = 0; b < nBlocks; ++b) {
        const char* digits = pszToken + 3 + 16 * b;
        unsigned char block[8];
        for (int i = 0; i < 8; ++i)
            block[i] = (unsigned char)(hexDigit(digits[2 * i]) * 16 + hexDigit(digits[2 * i + 1]));
        DesDecryptBlock(sk, block, plain + 8 * b);
    }

    char check[9];
    sprintf(check, "%08lX", checkValue(plain, nLen));
    if (strncmp(check, pszToken + 3 + 16 * nBlocks, 8) == 0)
        copyBounded(pszOut, cbOut, (const char*)plain, strnlen((const char*)plain, nLen));
    else
        copyBounded(pszOut, cbOut, pszToken, nLen);
}

int encryptCryptText(char* pszOut, size_t cbOut, const char* pszFirstKey,
                     const char* pszSecondKey, const char* pszPlain)
{
    size_t nPlain = strlen(pszPlain);
    if (cryptTextLen(nPlain) + 1 > cbOut) {
        if (cbOut)
            pszOut[0] = '\0';
        return -1;
    }

    unsigned char key[8];
    memcpy(key, g_abCryptStartKey, sizeof(key));
    deriveCryptKey(key, pszSecondKey, pszFirstKey);

    char* p = pszOut;
    *p = '\0';
    for (size_t pos = 0; pos < nPlain; pos += CRYPT_PIECE_LEN) {
        char piece[CRYPT_PIECE_LEN + 1];
        size_t n = nPlain - pos < CRYPT_PIECE_LEN ? nPlain - pos : CRYPT_PIECE_LEN;
        memcpy(piece, pszPlain + pos, n);
        piece[n] = '\0';
        encryptCryptChunk(p, piece, key);
        p += strlen(p);
        if (pos + CRYPT_PIECE_LEN < nPlain)
            *p++ = '!';
    }
    *p = '\0';
    return (int)(p - pszOut);
}

int decryptCryptText(const char* pszText, const char* pszFirstKey, const char* pszSecondKey,
                     char* pszOut, size_t cbOut)
{
    if (!cbOut)
        return 0;
    unsigned char key[8];
    memcpy(key, g_abCryptStartKey, sizeof(key));
    deriveCryptKey(key, pszSecondKey, pszFirstKey);

    size_t nOut = 0;
    pszOut[0] = '\0';
    const char* p = pszText;
    while (*p && nOut < cbOut - 1) {
        const char* end = strchr(p, '!');
        size_t nToken = end ? (size_t)(end - p) : strlen(p);
        if (nToken > CRYPT_MAX_TOKEN_LEN) {
            copyBounded(pszOut + nOut, cbOut - nOut, p, nToken);
        } else if (nToken) {
            char token[CRYPT_MAX_TOKEN_LEN + 1];
            memcpy(token, p, nToken);
            token[nToken] = '\0';
            decryptCryptChunk(pszOut + nOut, cbOut - nOut, token, key);
        }
        nOut += strlen(pszOut + nOut);
        p += nToken;
        if (*p == '!')
            ++p;
    }
    return (int)nOut;
}

size_t NewEncryptStrSize(size_t nValueLen)
{
    return CRYPT_MARKER_LEN + CRYPT_CHUNK_SIZE * ((nValueLen + CRYPT_PREFIX_LEN + CRYPT_PIECE_LEN - 1) / CRYPT_PIECE_LEN);
}

int NewEncryptStr(const char* pszValue, char* pszOut, size_t cbOut)
{
    if (cbOut)
        pszOut[0] = '\0';
    size_t nValue = strnlen(pszValue, CRYPT_MAX_VALUE_LEN + 1);
    if (nValue > CRYPT_MAX_VALUE_LEN)
        return 0;

    char plain[CRYPT_WORK_AREA];
    char text[CRYPT_WORK_AREA];
    srand(GetTickCount());
    sprintf(plain, "%03d", rand() % 1000);
    memcpy(plain + CRYPT_PREFIX_LEN, pszValue, nValue + 1);

    int nText = encryptCryptText(text, sizeof(text), g_szCryptKey1, g_szCryptKey2, plain);
    if (nText < 0 || CRYPT_MARKER_LEN + (size_t)nText + 1 > cbOut)
        return 0;
    memcpy(pszOut, CRYPT_MARKER, CRYPT_MARKER_LEN);
    memcpy(pszOut + CRYPT_MARKER_LEN, text, nText + 1);
    return 1;
}

int NewEncryptStr(const char* pszValue, char* pszOut)
{
    return NewEncryptStr(pszValue, pszOut, NewEncryptStrSize(strnlen(pszValue, CRYPT_MAX_VALUE_LEN + 1)));
}

int NewDecryptStr(char* pszText)
{
    if (!*pszText)
        return 1;
    size_t nText = strnlen(pszText, CRYPT_MARKER_LEN + CRYPT_WORK_AREA);
    if (nText - (nText < CRYPT_MARKER_LEN ? nText : CRYPT_MARKER_LEN) >= CRYPT_WORK_AREA)
        return 0;
    const char* pszRest = nText > CRYPT_MARKER_LEN ? pszText + CRYPT_MARKER_LEN : "";

    // The result is never longer than the text, so it can go back in place.
    char plain[CRYPT_WORK_AREA];
    int nPlain = decryptCryptText(pszRest, g_szCryptKey1, g_szCryptKey2, plain, sizeof(plain));
    if (nPlain > CRYPT_PREFIX_LEN)
        memmove(pszText, plain + CRYPT_PREFIX_LEN, nPlain - CRYPT_PREFIX_LEN + 1);
    else
        pszText[0] = '\0';
    return 1;
}
