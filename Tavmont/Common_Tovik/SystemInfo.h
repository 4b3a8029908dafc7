// Small stateless queries about the PC: computer, workgroup and domain names, the
// shell's special folders, file versions, GUID text, the display's colour depth and
// checks on host names and IP address texts. Values that cannot be read give empty
// texts or FALSE; nothing is shown and nothing is thrown.
#ifndef VGL_SYSTEMINFO_H
#define VGL_SYSTEMINFO_H

#include "afx.h"
#include <winnetwk.h>

// The system's computer name, else "ComputerName" of the registry's ComputerName key.
CString getLocalComputerName();
// VER_PLATFORM_WIN32_WINDOWS (1) on Windows 95/98, VER_PLATFORM_WIN32_NT (2) on NT.
DWORD getPlatformId();
// The configured workgroup (Windows 95/98) or cached primary domain (NT).
CString getWorkgroupName();
// The workgroup, or the network parent of this computer when the workgroup is empty
// (always asked on NT).
CString getDomainName();

// The network parent (workgroup or domain) of \\pszName into pszParent when one is
// found; *pcbParent is the buffer size in bytes and, when the name does not fit, is set
// to the size needed (error 234). FALSE only when a network call failed (*pdwError).
// Nothing found: TRUE and the buffer unchanged. mpr.dll is loaded for the call.
BOOL getNetResourceParent(LPCSTR pszName, LPSTR pszParent, LPDWORD pcbParent, LPDWORD pdwError);

typedef DWORD (WINAPI *PFN_WNETGETRESOURCEINFORMATION)(LPNETRESOURCEA, LPVOID, LPDWORD, LPSTR*);
typedef DWORD (WINAPI *PFN_WNETGETRESOURCEPARENT)(LPNETRESOURCEA, LPVOID, LPDWORD);
// The same over the given network entry points (NULL ones: nothing found).
BOOL getNetResourceParentWith(PFN_WNETGETRESOURCEINFORMATION pfnGetInformation,
                              PFN_WNETGETRESOURCEPARENT pfnGetParent, LPCSTR pszName,
                              LPSTR pszParent, LPDWORD pcbParent, LPDWORD pdwError);

// Shell folders of the current user ("Programs", "Desktop") and of all users
// ("Common Programs"); empty when absent.
CString getProgramsFolder();
CString getDesktopFolder();
CString getCommonProgramsFolder();

// The browser program of the "htmlfile" open command (without its quotes and arguments).
CString getHtmlFileOpenCommand();
// The local server program of the other browser class.
CString getComClassLocalServer();

// The fixed part of the file's version resource; FALSE without one.
BOOL getFixedFileVersion(LPCSTR pszFile, VS_FIXEDFILEINFO* pInfo);
// Major and minor: the high and low words of the file version's most significant
// double word; build: the high word of its least significant one. FALSE without a
// version resource.
BOOL getFileVersionNumbers(LPCSTR pszFile, int& nMajor, int& nMinor, int& nBuild);
// The "FileVersion" text of the file's version resource, cut to cbOut bytes with its
// terminator; FALSE and pszOut untouched when there is none. The callers' buffers hold
// 128 bytes.
BOOL getFileVersionString(LPCSTR pszFile, LPSTR pszOut, int cbOut = 128);

// "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x".
CString formatGuid(const GUID& guid);
// TRUE when the screen shows fewer than 256 colours.
BOOL isLowColorDisplay();
// Four dot-separated decimal parts, each 0 to 255 (empty parts are dropped).
BOOL isIPAddress(LPCSTR pszText);
// The part before the first '.' of a server name that is not empty and does not begin
// with a digit.
BOOL getComputerNameInServerName(LPCSTR pszServer, CString& strComputerName);

#endif
