// File and path utilities: the program's folders, file tests, walking, copying, moving
// and deleting files and folder trees, folder chains and deletion at the next start of
// Windows. Paths are 8-bit text in the system code page; every walk over a path keeps a
// lead byte and the byte after it together (a trail byte 0x5C is not a backslash).
// The functions hold no state and may be called from any thread.
#ifndef VGL_MISUTILS_H
#define VGL_MISUTILS_H

#include "afx.h"
#include "afxcoll.h"
#include "afxfile.h"

// Move flags; moveFileEx always replaces and copies, whatever is passed.
#ifndef MOVEFILE_REPLACE_EXISTING
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#endif
#ifndef MOVEFILE_COPY_ALLOWED
#define MOVEFILE_COPY_ALLOWED 0x00000002
#endif

// Called by deleteTree after each entry it tried to delete.
typedef void (*PFN_DELETE_NOTIFY)(LPCSTR pszPath, BOOL fDeleted, LPVOID pvContext);
// Called by writeFileWithProgress with the percentage written and the text "Writing".
typedef BOOL (*PFN_WRITE_PROGRESS)(int nPercent, LPCSTR pszText);

// Program and system folders.
CString getModulePath();                 // program folder, with a trailing backslash
CString getModuleBaseName();             // program file name without extension
CString getModuleName();                 // program file name with extension
CString getFileName(LPCSTR pszPath);     // name and extension of a path
// A path of two or more characters that neither starts with "\\" nor contains ':' is
// joined to the program's drive and folder; any other path is returned unchanged.
CString makeAbsolutePath(LPCSTR pszPath);
CString getWindowsDirectoryPath();       // no trailing backslash
CString getSystemDirectoryPath();        // "SYSTEM32" on Windows NT, "SYSTEM" elsewhere
CString getTempDirectory();              // with its trailing backslash
void getTempDirectory(CString& strOut);
CString getSuspectFolder();              // program folder + "SUSPECT", created when missing

// Tests and status: TRUE when the path's attributes can be read (file or folder alike).
BOOL isFileExist(LPCSTR pszPath);
BOOL isDirectoryExist(LPCSTR pszPath);
BOOL isPathExist(LPCSTR pszPath);
// From the first directory entry matching the path; a zero creation or last-access time
// is replaced by the last-write time. FALSE when nothing matches.
BOOL getFileStatus(LPCSTR pszPath, CFileStatus& status);
// Raw times of the first matching entry; NULL pointers are skipped.
BOOL getFileTimes(LPCSTR pszPath, FILETIME* pftCreation, FILETIME* pftLastAccess,
                  FILETIME* pftLastWrite);
// TRUE when both exist and the second was written strictly later than the first.
BOOL isFileNewer(LPCSTR pszFirst, LPCSTR pszSecond);
// Name of the file matching folder\spec written last (the first found on a tie); empty
// when nothing matches.
CString findLatestFile(LPCSTR pszFolder, LPCSTR pszSpec);
// Clears the read-only attribute, then deletes.
BOOL deleteFileForce(LPCSTR pszPath);

// Appends the full path of every file (not folder) of folder matching spec; with
// fRecurse the subfolders' files come first. Returns the number added.
int collectFiles(CStringArray& arrOut, LPCSTR pszFolder, LPCSTR pszSpec, BOOL fRecurse);
// The same; the attribute mask and the two last arguments are not consulted.
int collectFiles(CStringArray& arrOut, LPCSTR pszFolder, LPCSTR pszSpec, DWORD dwAttributes,
                 BOOL fRecurse, int nReserved, LPCSTR pszReserved);
// Files matching spec whose extension (with its dot) does not occur in the extension list;
// a file without extension never counts. *pCounter, when given, is incremented with an
// interlocked increment per file. An invalid search name throws CFileException*.
long countFiles(LPCSTR pszFolder, LPCSTR pszSpec, int nIgnored, LONG* pCounter, BOOL fRecurse,
                const CString& strExtensionList);
// Deletes the entries of folder matching spec (attributes made normal first), descending
// into subfolders with fRecurse, and removes the folder itself with fRemoveFolder.
void deleteTree(LPCSTR pszFolder, PFN_DELETE_NOTIFY pfnNotify, LPVOID pvContext,
                BOOL fRemoveFolder, BOOL fRecurse, LPCSTR pszSpec);
// Moves every file below folder into target; returns the number moved.
int collapseSubFolders(LPCSTR pszTarget, LPCSTR pszFolder, DWORD dwFlags);
// Replaces target with source, then deletes source. The old target is given up only
// once a complete copy lies beside it.
BOOL moveFileEx(LPCSTR pszSource, LPCSTR pszTarget, DWORD dwFlags);
// Replaces target with a copy of source carrying the source's times and attributes.
// The old target is given up only once a complete copy lies beside it.
BOOL copyFileEx(LPCSTR pszSource, LPCSTR pszTarget);
// Puts a completely written new file in the target's place: in one step where the system
// can, else the old target is deleted first. FALSE (the error left for GetLastError) when
// the new file is still where it was written.
BOOL replaceFileWithNew(LPCSTR pszNew, LPCSTR pszTarget);
// TRUE when the folder exists at the end; every missing level is created.
BOOL createDirectory(LPCSTR pszPath, BOOL fPathIncludesFileName);
// The drive joined with every folder piece but the last.
CString getParentDirectory(LPCSTR pszPath);
// Deletes the files at the next start of Windows ("NUL=" lines in the "Rename" section of
// wininit.ini on Windows 95/98).
void deleteFilesAtRestart(const CStringArray& arrPaths);
inline void deleteFilesAtNextBoot(const CStringArray& arrPaths) { deleteFilesAtRestart(arrPaths); }
// Writes data to the open file, in pieces of 0x7FFF bytes with progress reports when it
// is 0x8000 bytes or longer. Stops at the first failed or short write.
BOOL writeFileWithProgress(CFile& file, const void* pData, DWORD dwLength,
                           PFN_WRITE_PROGRESS pfnProgress);

#endif
