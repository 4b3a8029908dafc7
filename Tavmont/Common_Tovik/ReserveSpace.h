// A hidden placeholder file that holds disk space until the client needs it.
#ifndef VGL_RESERVESPACE_H
#define VGL_RESERVESPACE_H

#include <windows.h>

// Makes pszPath a hidden file of dwSize bytes (less when the disk has less free, or after
// cuts by 0.9 while the disk reports itself full), really allocated with zeros.
// *pdwReserved receives the size reached. Returns 0, or the system error code with the
// failing step's name in pszError (cut to cchError; empty on success).
DWORD ReserveSpace(LPCSTR pszPath, DWORD dwSize, DWORD* pdwReserved, LPSTR pszError, int cchError);
// ReserveSpace with size 0: leaves a hidden empty file.
DWORD RemoveSpace(LPCSTR pszPath, LPSTR pszError, int cchError);

#endif
