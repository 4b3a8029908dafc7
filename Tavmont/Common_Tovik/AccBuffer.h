// Growable byte buffer for the bodies of server replies.
#pragma once

#include <afx.h>

class CAccBuffer
{
public:
    enum { DEFAULT_GROW_STEP = 0x8000 };

    CAccBuffer();
    explicit CAccBuffer(int nGrowStep);
    ~CAccBuffer();

    // Appends nCount bytes; the capacity grows to the smallest multiple of the
    // grow step above capacity + nCount. A failed allocation throws the class
    // library's CMemoryException (as CString and CArray do) and leaves the buffer
    // as it was.
    void Append(const void* pvData, int nCount);
    // Zeroes the block and empties the buffer; the block stays.
    void Reset();
    // Appends a whole file; CFileException* on failure.
    void Read(LPCSTR pszPath);
    // Saves the content to a file created anew; does nothing when empty.
    // CFileException* on failure.
    void Write(LPCSTR pszPath);
    // The content up to its first zero byte.
    void GetString(CString& strOut) const;
    // atoi of at most the first nDigits (up to 11) bytes; nDefault when empty.
    int GetReturnCode(int nDefault, int nDigits) const;

    int GetLength() const { return m_nLength; }
    int GetCapacity() const { return m_nCapacity; }
    const BYTE* GetData() const { return m_pData; }

private:
    CAccBuffer(const CAccBuffer&);
    CAccBuffer& operator=(const CAccBuffer&);

    int m_nCapacity;
    int m_nLength;
    int m_nGrowStep;
    BYTE* m_pData;
};
