// CFile over the Win32 file handle, CStdioFile with text-mode lines, CFileStatus.
// afx.h includes this file at its end: include it first, outside the guard.
#include "afx.h"

#ifndef VGL_AFXFILE_H
#define VGL_AFXFILE_H

#include "afxtime.h"
#include <windows.h>

struct CFileStatus
{
    CTime m_ctime;          // creation
    CTime m_mtime;          // last write
    CTime m_atime;          // last access
    LONG m_size;            // low 32 bits of the size
    BYTE m_attribute;
    BYTE m_padding;
    char m_szFullName[MAX_PATH];
};

class CFile : public CObject
{
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = (int)0x8000
    };
    enum Attribute {
        normal = 0x00,
        readOnly = 0x01,
        hidden = 0x02,
        system = 0x04,
        volume = 0x08,
        directory = 0x10,
        archive = 0x20
    };
    enum SeekPosition { begin = 0x0, current = 0x1, end = 0x2 };
    static const HANDLE hFileNull; // INVALID_HANDLE_VALUE: no file open

    CFile();
    explicit CFile(HANDLE hFile);
    CFile(LPCSTR lpszFileName, UINT nOpenFlags); // throws CFileException*
    virtual ~CFile();

    operator HANDLE() const { return m_hFile; }

    // FALSE on failure, with pError (when given) filled from the OS error.
    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = NULL);

    virtual DWORD GetPosition() const;
    virtual LONG Seek(LONG lOff, UINT nFrom);
    DWORD SeekToEnd();
    void SeekToBegin();
    virtual void SetLength(DWORD dwNewLen);
    virtual DWORD GetLength() const;
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual void Flush();
    virtual void Close();
    virtual void Abort(); // closes, never throws

    virtual CString GetFileName() const;  // name with extension, no folder
    virtual CString GetFileTitle() const; // name without extension
    virtual CString GetFilePath() const;  // full path as opened
    virtual void SetFilePath(LPCSTR lpszNewName);

    static void PASCAL Rename(LPCSTR lpszOldName, LPCSTR lpszNewName);
    static void PASCAL Remove(LPCSTR lpszFileName);
    static BOOL PASCAL GetStatus(LPCSTR lpszFileName, CFileStatus& rStatus);
    static void PASCAL SetStatus(LPCSTR lpszFileName, const CFileStatus& status);

    HANDLE m_hFile;
    BOOL m_bCloseOnDelete;
    CString m_strFileName;

protected:
    void ThrowOsError(DWORD dwError) const;

private:
    CFile(const CFile&);
    void operator=(const CFile&);
};

// Line-oriented file. Text mode (the default; typeBinary turns it off) reads "\r\n" as "\n"
// and writes "\n" as "\r\n".
class CStdioFile : public CFile
{
    DECLARE_DYNAMIC(CStdioFile)
public:
    CStdioFile();
    CStdioFile(LPCSTR lpszFileName, UINT nOpenFlags); // throws CFileException*
    virtual ~CStdioFile();

    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError = NULL);

    // The line without its "\n"; FALSE at the end of the file when nothing was read.
    virtual BOOL ReadString(CString& rString);
    // Up to nMax - 1 characters, ending after a "\n" (kept); NULL at the end of the file.
    virtual LPSTR ReadString(LPSTR lpsz, UINT nMax);
    virtual void WriteString(LPCSTR lpsz);

    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual DWORD GetPosition() const;
    virtual LONG Seek(LONG lOff, UINT nFrom);
    virtual void SetLength(DWORD dwNewLen);
    virtual DWORD GetLength() const;
    virtual void Flush();
    virtual void Close();
    virtual void Abort();

private:
    int GetByte();  // next raw byte or -1
    int GetChar();  // next character after text translation or -1
    void DropReadAhead();

    BOOL m_bText;
    BYTE m_buf[512];
    UINT m_nBufPos;
    UINT m_nBufLen;
};

#endif
