// MD5 message digest (RFC 1321).
#ifndef VGL_MESSAGEDIGEST5_H
#define VGL_MESSAGEDIGEST5_H

#include <windows.h>

class CMessageDigest5
{
public:
    CMessageDigest5();
    virtual ~CMessageDigest5();

    // State to the initial words, length 0.
    void Init();
    // Adds bytes; complete 64-byte blocks are transformed at once.
    void Update(const void* pData, UINT cbData);
    // Writes the 16-byte digest and clears the whole state; FALSE (nothing
    // touched) when cbOut is below 16. A further digest needs Init().
    BOOL Final(BYTE* pbOut, UINT cbOut);
    // Update + Final, the digest as 32 lower-case hex characters and a zero.
    // FALSE when cbOut is 32 or less.
    BOOL GetHexDigest(const void* pData, UINT cbData, char* pszOut, UINT cbOut);

private:
    CMessageDigest5(const CMessageDigest5&);
    CMessageDigest5& operator=(const CMessageDigest5&);
    void Transform(const BYTE* pbBlock);

    DWORD m_dwState[4];     // A, B, C, D
    DWORD m_dwBits[2];      // message length in bits: low, high
    BYTE m_abBlock[64];     // pending input
};

#endif
