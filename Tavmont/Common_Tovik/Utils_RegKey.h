// Registry functions: typed value reads and writes, the start-up entries under Run and
// RunServices, recursive key deletion and the removal of an in-process COM class
// (a downloaded ActiveX control).
#ifndef VGL_UTILS_REGKEY_H
#define VGL_UTILS_REGKEY_H

#include "afx.h"

// Start-up keys under HKEY_LOCAL_MACHINE.
#define REGSTR_RUN_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define REGSTR_RUNSERVICES_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"
// Appended to the Run command so that the client starts hidden.
#define RUN_HIDE_WINDOW_SWITCH " -HideWindow"
// Buffer size of a start-up command with its switch.
#define RUN_COMMAND_BUFFER_SIZE 1024

// Values of a key the caller opened. A missing value reads as empty or 0.
CString readRegistryString(HKEY hKey, LPCSTR pszValueName);
DWORD readRegistryDword(HKEY hKey, LPCSTR pszValueName);
BOOL setRegistryString(HKEY hKey, LPCSTR pszValueName, LPCSTR pszText);
BOOL setRegistryDword(HKEY hKey, LPCSTR pszValueName, DWORD dwValue);

// Start-up entries; an empty value name gives FALSE at once.
// Writes the command with " -HideWindow" appended unless it contains "-HideWindow";
// FALSE when the key cannot be opened or the result does not fit 1024 bytes.
BOOL setRegistryRunKey(LPCSTR pszCommand, LPCSTR pszValueName);
// Writes command + " -HideWindow" when the value is missing (result FALSE); appends
// " -HideWindow" to a present value that lacks it (result TRUE). Nothing is written when
// the result would not fit 1024 bytes.
BOOL repairRegistryRunKey(LPCSTR pszCommand, LPCSTR pszValueName);
BOOL isRegistryRunKeyExist(LPCSTR pszValueName);
// TRUE when the key could be opened, whether or not the value existed.
BOOL deleteRegistryRunKey(LPCSTR pszValueName);
// Writes the command unchanged.
BOOL setRegistryRunServicesKey(LPCSTR pszCommand, LPCSTR pszValueName);
BOOL isRegistryRunServicesKeyExist(LPCSTR pszValueName);
BOOL deleteRegistryRunServicesKey(LPCSTR pszValueName);
// Deletes every value of the key but the own one whose data contains the text (compared
// lower-cased). FALSE for a missing argument, a key that cannot be opened, a value whose
// data cannot be read (256 bytes) or an enumeration error.
BOOL removeDuplicateValues(HKEY hRoot, LPCSTR pszSubKey, LPCSTR pszOwnValueName, LPCSTR pszText);
BOOL removeDuplicateRunValues(LPCSTR pszOwnValueName, LPCSTR pszText);
BOOL removeDuplicateRunServicesValues(LPCSTR pszOwnValueName, LPCSTR pszText);

// Deletes the subkey and everything below it. 0 for an empty name, the system's error
// code when the subkey cannot be opened, else TRUE when the subkey was deleted (FALSE
// when it was not).
LONG deleteKeyTree(HKEY hParent, LPCSTR pszSubKey);
// Deletes the last component of a backslash path with everything below it.
void deleteKeyByPath(HKEY hRoot, LPCSTR pszPath);
// FALSE for an empty name or a key that cannot be opened, else TRUE.
BOOL deleteKey(HKEY hRoot, LPCSTR pszSubKey);
// Deletes the subkey only when it opens and has no subkey; TRUE when deleted.
BOOL deleteKeyIfEmpty(HKEY hRoot, LPCSTR pszSubKey);

// The default value of HKCR "CLSID\<clsid>\InprocServer32", "...\ProgID" or
// "...\VersionIndependentProgID" into the buffer of cbBuffer bytes; TRUE when read.
BOOL getInprocServer32Path(LPCSTR pszClsid, LPSTR pszBuffer, DWORD cbBuffer);
BOOL getProgIdOfClass(LPCSTR pszClsid, LPSTR pszBuffer, DWORD cbBuffer);
BOOL getVersionIndependentProgId(LPCSTR pszClsid, LPSTR pszBuffer, DWORD cbBuffer);
// Each deletes its key, with everything below it, when it exists.
void deleteClsidKey(LPCSTR pszClsid);                 // HKCR "CLSID\<clsid>"
void deleteClassesRootKey(LPCSTR pszName);            // HKCR "<name>"
void deleteLocalMachineClsidKey(LPCSTR pszClsid);     // HKLM "Software\CLASSES\CLSID\<clsid>"
void deleteLocalMachineClassesKey(LPCSTR pszName);    // HKLM "Software\CLASSES\<name>"
// Calls the library's "DllUnregisterServer" when it loads and exports one; TRUE when the
// call succeeded.
BOOL unregisterComServer(LPCSTR pszLibraryPath);
// Deletes the file and then the ".inf" file of the same folder and name. TRUE when the
// file was deleted; FALSE for an empty path or a missing file; throws CSystemError for
// any other deletion error.
BOOL deleteFileAndInf(LPCSTR pszPath);
// Deletes HKLM "Software\Microsoft\Code Store Database\Distribution Units\<clsid>".
BOOL deleteDistributionUnit(LPCSTR pszClsid);
// Unregisters and deletes the class's server file, deletes its class and ProgID keys
// under HKCR and HKLM "Software\CLASSES", and returns deleteDistributionUnit's result.
// A CSystemError of deleteFileAndInf passes through, before any key is deleted.
BOOL removeActiveXControl(LPCSTR pszClsid);
// The name under which the uninstall program calls it.
inline BOOL removeControl(LPCSTR pszClsid) { return removeActiveXControl(pszClsid); }

#endif
