#include "MisutilsString.h"

#include <mbctype.h>

std::string getModuleDirectory(HMODULE hModule)
{
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(hModule, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    // Cut after the last separator; a trail byte 0x5C is not one.
    DWORD dwEnd = 0;
    for (DWORD i = 0; i < n; ++i)
    {
        if (_ismbblead((unsigned char)szPath[i]) && i + 1 < n)
            ++i;
        else if (szPath[i] == '\\' || szPath[i] == '/' || (i == 1 && szPath[i] == ':'))
            dwEnd = i + 1;
    }
    return std::string(szPath, dwEnd);
}
