// A path-sized text held inside the object, for routines that want a writable array.
#ifndef VGL_FIXEDSTRING_H
#define VGL_FIXEDSTRING_H

#include <windows.h>

class CFixedString
{
public:
    enum { FIXED_SIZE = MAX_PATH };

    // At most 259 bytes of the text, never half a double-byte character; NULL: empty.
    CFixedString(LPCSTR pszText = NULL);
    void Assign(LPCSTR pszText);

    operator LPSTR() { return m_szText; }
    operator LPCSTR() const { return m_szText; }

private:
    char m_szText[FIXED_SIZE];
};

#endif
