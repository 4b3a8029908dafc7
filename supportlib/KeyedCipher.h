// Keyed hex cipher: a byte-wise stream cipher keyed by a built-in key string,
// its output written as upper-case hexadecimal digit pairs ("%02X" a byte, no
// separators, no length or check field).
//
//     char hex[2 * MAX + 1]; int n = sizeof(hex);
//     if (PWDEncrypt(hex, pszText, &n) == 0) ...        // n = 2 * length + 1
//     char text[MAX + 1]; int m = sizeof(text);
//     if (PWDDecrypt(text, hex, &m) == 0) ...           // m = hex length / 2 + 1
#ifndef VGL_KEYEDCIPHER_H
#define VGL_KEYEDCIPHER_H

#include <windows.h>

enum {
    KEYED_CIPHER_KEY_BYTES = 72,
    KEYED_ERR_SMALL_BUFFER = -1000,
    KEYED_ERR_KEY = -1
};

extern const char g_szKeyedCipherKey[];

// One generator of the keystream: a byte sequence returned round and round.
class CByteCycle
{
public:
    CByteCycle();
    ~CByteCycle();
    BOOL SetSequence(const BYTE* pBytes, int nLength);   // FALSE when it already has one
    BOOL HasSequence() const { return m_pBytes != NULL; }
    BYTE Step();

private:
    CByteCycle(const CByteCycle&);
    CByteCycle& operator=(const CByteCycle&);

    BYTE* m_pBytes;
    int m_nLength;
    int m_nPos;
};

// Three generators XORed together; enciphering and deciphering are the same operation.
class CKeyedStreamCipher
{
public:
    enum { GENERATORS = 3 };
    explicit CKeyedStreamCipher(int nDirection);   // 0 enciphers, non-zero deciphers

    // Builds the generators from the key: FALSE when they are already built or
    // the key yields no bytes.
    BOOL SetKey(LPCSTR pszKey);
    void Process(BYTE* pBytes, int nCount);

private:
    int m_nGenerators;
    CByteCycle m_generators[GENERATORS];
    int m_nDirection;
    int m_nFeedback;   // never switched on
};

// Expands a key of nKeyLen characters into KEYED_CIPHER_KEY_BYTES bytes.
void expandCipherKey(const char* pszKey, int nKeyLen, BYTE* pOut);

// Enciphers pszText into hex digits. *pnOutSize: in, the size of pszOut; out,
// 2 * length + 1. Returns 0, KEYED_ERR_SMALL_BUFFER (pszOut untouched) or KEYED_ERR_KEY.
int PWDEncrypt(char* pszOut, LPCSTR pszText, int* pnOutSize);

// Deciphers hex digits back to text; needs *pnOutSize >= (length + 1) / 2 + 1.
// *pnOutSize becomes length / 2 + 1. Returns 0, KEYED_ERR_SMALL_BUFFER
// (pszOut untouched) or KEYED_ERR_KEY (out of memory or no key).
int PWDDecrypt(char* pszOut, LPCSTR pszIn, int* pnOutSize);

#endif
