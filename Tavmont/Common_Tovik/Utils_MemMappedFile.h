// Named shared-memory mappings in the paging file: a window handle, a 32-bit value or a
// zero-terminated text that one program publishes and others read.
//
// Their bytes are the same for 32-bit and 64-bit programs: a window handle or value mapping
// is 4 bytes, the value little-endian (a window handle as its low 32 bits); a text mapping is
// the text and its zero.
//
// The creator keeps the returned handle open for as long as the value must be visible.
// A mapping that already exists is reused unchanged (its value is not overwritten); the
// last error is then ERROR_ALREADY_EXISTS when the creator returns.
#ifndef VGL_UTILS_MEMMAPPEDFILE_H
#define VGL_UTILS_MEMMAPPEDFILE_H

#include <windows.h>

// Each returns the mapping handle; throws CSystemError when it cannot be created.
HANDLE createMemoryMappedHwnd(LPCSTR pszName, HWND hWnd);
HANDLE createMemoryMappedDword(LPCSTR pszName, DWORD dwValue);
HANDLE createMemoryMappedString(LPCSTR pszName, LPCSTR pszText);   // length + 1 bytes

// NULL when there is no such mapping or it cannot be viewed.
HWND getMemoryMappedHwnd(LPCSTR pszName);
// 0 when absent.
DWORD getMemoryMappedDword(LPCSTR pszName);
// TRUE and the text with its zero when it fits cbBuffer. FALSE when the mapping is
// absent; FALSE with dwNeeded = length + 1 when the buffer is too small.
BOOL getMemoryMappedString(LPCSTR pszName, LPSTR pszBuffer, DWORD cbBuffer, DWORD& dwNeeded);

#endif
