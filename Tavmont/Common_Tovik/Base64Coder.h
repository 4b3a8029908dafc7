// Standard Base64 (alphabet A-Z a-z 0-9 + /, '=' filling the last group to
// four characters, no line breaks).
#ifndef VGL_BASE64CODER_H
#define VGL_BASE64CODER_H

#include <windows.h>

class Base64Coder
{
public:
    Base64Coder();
    virtual ~Base64Coder();

    // Encode a zero-terminated text / bytes. FALSE only when the result
    // would not fit in memory.
    virtual BOOL Encode(const char* pszText);
    virtual BOOL Encode(const BYTE* pbData, UINT cbData);
    // Decode a zero-terminated text / characters. Codes 7 to 13 and the
    // blank are skipped; FALSE (and an empty result) when what remains is
    // not whole groups of the alphabet with '=' only filling the last one.
    virtual BOOL Decode(const char* pszText);
    virtual BOOL Decode(const char* pchText, UINT cchText);
    // The results, each followed by a zero byte.
    virtual const BYTE* GetDecoded() const;
    virtual const char* GetEncoded() const;

    UINT GetDecodedLength() const { return m_cbBytes; }
    UINT GetEncodedLength() const { return m_cchText; }

protected:
    // Make room for at least nSize bytes, zero-filled; buffers grow in
    // whole multiples of 4096 bytes.
    virtual BOOL ReserveText(UINT nSize);
    virtual BOOL ReserveBytes(UINT nSize);
    // Take the characters to decode, dropping those decoding skips.
    virtual BOOL TakeText(const char* pch, UINT cch);
    // Take the bytes to encode.
    virtual BOOL TakeBytes(const BYTE* pb, UINT cb);
    // Up to three bytes into four characters, '=' filling the missing ones.
    virtual void EncodeGroup(const BYTE* pbIn, UINT cbIn, char* pchOut);
    // Four characters into up to three bytes: the byte count, or -1 when
    // the group is not valid (fLast: the group may end in '=').
    virtual int DecodeGroup(const char* pchIn, BOOL fLast, BYTE* pbOut);
    // Three bytes into four six-bit values, and back.
    virtual void SplitGroup(const BYTE* pbIn, BYTE* pbOut);
    virtual void JoinGroup(const BYTE* pbIn, BYTE* pbOut);
    // Codes 7 to 13 and the blank.
    virtual BOOL IsSkipped(char ch);

    char* m_pszText;        // encoded text
    UINT m_cbTextBuffer;
    UINT m_cchText;
    BYTE* m_pbBytes;        // decoded bytes
    UINT m_cbByteBuffer;
    UINT m_cbBytes;

private:
    Base64Coder(const Base64Coder&);
    Base64Coder& operator=(const Base64Coder&);
};

#endif
