// The journal an outside component keeps of its calls: one text line a call, appended
// to a file beside the component's module, or to the file an environment variable names.
#ifndef VGL_OUTSIDE_JOURNAL_H
#define VGL_OUTSIDE_JOURNAL_H

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

class CJournal
{
public:
    enum
    {
        STAMP = 0x1,        // lines begin "hh:mm:ss.mmm " (local time)
        KEEP_OPEN = 0x2,    // the file stays open and buffered between lines
    };

    // pszFileName: the journal beside the module that holds this code.
    // pszPathVariable: an environment variable whose value, when set, is the journal's
    // path instead (NULL: none). Both are read on every line, unless KEEP_OPEN.
    CJournal(const char* pszFileName, const char* pszPathVariable, DWORD dwFlags = 0);
    ~CJournal();

    // Appends one line, written out at once.
    void Write(const char* pszFormat, ...) __attribute__((format(ms_printf, 2, 3)));
    // With KEEP_OPEN: appends a line that stays in the buffer until the next Write or Flush.
    void WriteBuffered(const char* pszFormat, ...) __attribute__((format(ms_printf, 2, 3)));

    // Writes out buffered lines.
    void Flush();
    // Closes a kept-open file; the next line opens it again. A file still open when the
    // process ends is closed by the runtime.
    void Close();
    // Caps the file's size: a line that would take it past cbMax bytes first moves the file
    // to "<name>.old" (replacing an older one) and starts a new file. 0: no cap.
    void SetLimit(DWORD cbMax);

private:
    CJournal(const CJournal&);
    CJournal& operator=(const CJournal&);

    void WriteV(bool fFlush, const char* pszFormat, va_list args);
    bool GetPath(char* pszPath, DWORD cbPath) const;

    const char* m_pszFileName;
    const char* m_pszPathVariable;
    DWORD m_dwFlags;
    CRITICAL_SECTION m_lock;
    FILE* m_pFile;      // KEEP_OPEN only
    bool m_fDirty;      // buffered lines not yet written out
    DWORD m_cbLimit;
    DWORD m_cbFile;     // size of the open file (KEEP_OPEN) as last known
};

#endif
