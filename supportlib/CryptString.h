// "!CRYPT!" scrambling of stored and transmitted texts.
//
// Scrambled form: "!CRYPT!" followed by chunks separated by "!". The value is
// given a random 3-digit prefix, cut into pieces of 64 characters, and every
// piece becomes one chunk:
//     '0' + n       n = number of 8-byte DES blocks (1 to 8)
//     "%02X"        piece length L (1 to 64)
//     16 x n        the enciphered blocks, "%02X" per byte
//     "%08lX"       check value: 0x4F627A3B XOR every complete little-endian
//                   32-bit word of the piece
// The DES key is derived from the two built-in key strings.
//
// Typical use:
//     char buf[1024];
//     if (NewEncryptStr(pszPassword, buf, sizeof(buf))) ... store buf ...
//     if (strncmp(text, CRYPT_MARKER, CRYPT_MARKER_LEN) == 0) NewDecryptStr(text);
#ifndef VGL_CRYPTSTRING_H
#define VGL_CRYPTSTRING_H

#include <stddef.h>

#define CRYPT_MARKER "!CRYPT!"
enum {
    CRYPT_MARKER_LEN = 7,
    CRYPT_PREFIX_LEN = 3,          // random digits in front of the value
    CRYPT_PIECE_LEN = 64,          // plaintext characters per chunk
    CRYPT_CHUNK_SIZE = 140,        // longest chunk (139) and its terminating zero
    CRYPT_MAX_TOKEN_LEN = 511,     // longer tokens are never chunks
    CRYPT_WORK_AREA = 40960,       // work area for the plaintext and the chunk text
    CRYPT_MAX_VALUE_LEN = 18717    // longest value whose chunks fit the work area
};

// The built-in key strings and the key that derivation starts from.
extern const char g_szCryptKey1[];
extern const char g_szCryptKey2[];
extern const unsigned char g_abCryptStartKey[8];

// Out size that always holds NewEncryptStr's result for a value of this length
// (7 + 140 bytes a piece).
size_t NewEncryptStrSize(size_t nValueLen);

// Writes "!CRYPT!" and the chunks of the prefixed value to pszOut, which has
// room for cbOut bytes. Returns 1; 0 (pszOut empty) when the value is longer
// than CRYPT_MAX_VALUE_LEN or the result does not fit cbOut.
int NewEncryptStr(const char* pszValue, char* pszOut, size_t cbOut);
// The same into a buffer the caller sized for the result (NewEncryptStrSize of the
// value's length always suffices).
int NewEncryptStr(const char* pszValue, char* pszOut);

// Unscrambles a "!CRYPT!" text in place (the caller checks the marker; the
// first 7 characters are skipped unseen) and drops the 3-digit prefix. An empty
// text is left alone. Returns 1; 0 (text unchanged) when the text is longer
// than the work area.
int NewDecryptStr(char* pszText);

// Chunks of pszPlain joined by "!" into pszOut (cbOut bytes). Returns the
// length written, or -1 (pszOut empty) when it does not fit.
int encryptCryptText(char* pszOut, size_t cbOut, const char* pszFirstKey,
                     const char* pszSecondKey, const char* pszPlain);

// Deciphers every "!"-separated token of pszText and writes the pieces, one
// after another, to pszOut (cbOut bytes; the result is cut to fit). Tokens that
// are not chunks are copied unchanged. Returns the length written.
int decryptCryptText(const char* pszText, const char* pszFirstKey, const char* pszSecondKey,
                     char* pszOut, size_t cbOut);

// One chunk of the first 64 characters of pszPiece; pszOut holds CRYPT_CHUNK_SIZE bytes.
void encryptCryptChunk(char* pszOut, const char* pszPiece, const unsigned char key[8]);

// The piece of one chunk into pszOut (cbOut bytes, the result cut to fit).
// A token that is not a chunk (bad header, shorter than its header promises,
// or longer than CRYPT_MAX_TOKEN_LEN) is copied unchanged; when the check value
// differs, the result is the token's first L characters.
void decryptCryptChunk(char* pszOut, size_t cbOut, const char* pszToken, const unsigned char key[8]);

// Mixes the first four characters of both key strings into key (in/out).
void deriveCryptKey(unsigned char key[8], const char* pszSecondKey, const char* pszFirstKey);

#endif
