// Header of the engine's backup files ("VSBF"). Every byte of the header and
// of its items is stored complemented. After complementing:
//
//   "VSBF" (4) | not interpreted (4) | item count (2) | items
//   item: type (1) | length (2) | data (length)
//
// Types: 1 original folder, 2 original file name, 3 a further text, 4 a
// 32-bit value, 5 non-zero when the texts are UTF-16, 6 a 32-bit value.
// Results: 0, or -1 bad magic, -5 unreadable header or path too long,
// -94 cannot open, -98 out of memory, -99 bad argument.
#ifndef VGL_BACKUPFILE_H
#define VGL_BACKUPFILE_H

#include <windows.h>

#define BACKUP_PATH_MAX 1024    // characters of the path, with its terminator
#define BACKUP_TEXT_MAX 32      // bytes of the further text, with its terminator

struct SBackupHeaderInfo
{
    char szPath[BACKUP_PATH_MAX];   // folder '\' name
    char szText[BACKUP_TEXT_MAX];
    DWORD dwValue4;
    DWORD dwUnicode;
    DWORD dwValue6;
};

struct SBackupHeaderInfoW
{
    WCHAR szPath[BACKUP_PATH_MAX];
    char szText[BACKUP_TEXT_MAX];   // the item's bytes as stored
    DWORD dwValue4;
    DWORD dwUnicode;
    DWORD dwValue6;
};

int readBackupHeader(const char* pszPath, SBackupHeaderInfo* pInfo);
int readBackupHeaderW(const WCHAR* pszPath, SBackupHeaderInfoW* pInfo);

#endif
