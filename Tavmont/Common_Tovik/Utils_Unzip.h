// Unpacking a downloaded zip file through the outside library "Unzip.dll" of the program
// folder.
#ifndef VGL_UTILS_UNZIP_H
#define VGL_UTILS_UNZIP_H

#include <windows.h>

// The library's entries (cdecl). do_extract returns 0 when every entry was written under
// the target folder; the client passes 0 for the three other arguments.
typedef void* (__cdecl *PFN_UNZOPEN)(const char* pszZipFile);
typedef int (__cdecl *PFN_DO_EXTRACT)(void* hZip, int nOption, const char* pszTarget,
                                      int nReserved, void* pvReserved);
typedef int (__cdecl *PFN_UNZCLOSE)(void* hZip);

// TRUE when every entry of the zip file was extracted under the target folder. FALSE when
// an entry point is missing, the file does not open as a zip archive or an entry cannot be
// extracted. Throws CSystemError when the library cannot be loaded.
BOOL decompress(LPCSTR pszZipFile, LPCSTR pszTargetFolder);

#endif
