// The class library's registry key with a BOOL read and value copies from another key.
#ifndef VGL_REGKEYEX_H
#define VGL_REGKEYEX_H

#include "atlbase.h"

class CRegKeyEx : public CRegKey
{
public:
    enum { COPY_BUFFER_SIZE = 128 };

    // Reads up to 4 bytes of the value: bOut is TRUE when they are not all zero and FALSE
    // otherwise (also when the value is missing or cannot be read). Returns the read's
    // registry error code.
    LONG QueryBoolValue(BOOL& bOut, LPCSTR pszValueName);
    // Copies a text (at most 127 characters) or a 4-byte value of the source key into this
    // key, under pszTargetName or, when it is NULL, under the same name. Nothing is written
    // when the read fails. Returns the registry error code of the read or the write.
    LONG CopyStringValue(HKEY hSourceKey, LPCSTR pszValueName, LPCSTR pszTargetName = NULL);
    LONG CopyDwordValue(HKEY hSourceKey, LPCSTR pszValueName, LPCSTR pszTargetName = NULL);
};

#endif
