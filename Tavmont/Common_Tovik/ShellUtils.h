// Thin wrappers over the shell and the window manager: the tray icon, Start-menu
// shortcuts, the uninstall entry's display name, the Windows 95/98 task list and the
// folder tree's names, icons and item id lists. COM objects created here are released
// before the functions return.
#ifndef VGL_SHELLUTILS_H
#define VGL_SHELLUTILS_H

#include "afx.h"
#include <shlobj.h>

// Record size of the tray icon data the shell of Windows 95/98 knows.
#define TRAY_ICON_DATA_SIZE 88
// Longest tip text of the tray icon.
#define TRAY_TIP_MAX_LENGTH 63

// Kinds of renameStartMenuItem.
enum
{
    START_MENU_GROUP = 0,     // a program group (folder) under Programs
    START_MENU_SHORTCUT = 1   // a shortcut inside a program group
};

// Adds, modifies or deletes (dwMessage) the tray icon; its messages arrive as
// WM_COMMAND. The tip is cut to 63 characters; NULL gives no tip.
BOOL notifyTrayIcon(HWND hWnd, DWORD dwMessage, UINT uID, HICON hIcon, LPCSTR pszTip);

// Saves a shell link to pszTarget as pszLinkFile. A failed COM call throws _com_error,
// as does a link path that does not fit 260 characters.
HRESULT createLink(LPCSTR pszTarget, LPCSTR pszLinkFile, LPCSTR pszDescription);

// Renames the first of the old names (separated by ';', CR or LF) that exists to the
// new name: a program group (START_MENU_GROUP, pszGroup unused) or a shortcut in the
// group pszGroup (START_MENU_SHORTCUT). Nothing is done when the new one exists.
// TRUE when an item was renamed.
BOOL renameStartMenuItem(LPCSTR pszNewName, LPCSTR pszOldNames, int nKind, LPCSTR pszGroup);
// The current user's Programs folder into a buffer of MAX_PATH bytes; empty when absent.
BOOL getProgramsFolderPath(LPSTR pszBuffer);
// Writes "DisplayName" of the uninstall entry when it exists and differs; TRUE when
// written.
BOOL updateUninstallDisplayName(LPCSTR pszKeyName, LPCSTR pszDisplayName);

// Registers (fHide) or unregisters this process as a service, which takes it off the
// Windows 95/98 task list. FALSE when the system has no such function; throws
// CSystemError when the kernel library cannot be loaded.
BOOL hideUnderTaskManager(BOOL fHide);
void switchToThisWindow(HWND hWnd);

// The folder's display name of the item.
CString getShellDisplayName(IShellFolder* pFolder, LPCITEMIDLIST pidl, DWORD dwFlags);
// Bytes of the list with its 2-byte terminator; 0 for NULL.
UINT itemIdListSize(LPCITEMIDLIST pidl);
// A new list from the allocator: the first list (may be NULL) followed by the second.
LPITEMIDLIST concatItemIdList(IMalloc* pMalloc, LPCITEMIDLIST pidlFirst, LPCITEMIDLIST pidlSecond);
// A new one-item list from the allocator holding the first item id of the list.
LPITEMIDLIST copyItemId(IMalloc* pMalloc, LPCITEMIDLIST pidl);
// The icon index the shell reports (SHGetFileInfo) for the path or, with SHGFI_PIDL,
// the item id list.
int getFileIconIndex(LPCSTR pszPath, UINT uFlags);

// Position of the colon of a "(X:" drive suffix in a folder-tree caption, or -1.
int findDriveSuffix(LPCSTR pszCaption);
CString getVolumeLabel(char chDrive);
// The window text as a decimal number; 0 when it is not one.
int getWindowTextInt(HWND hWnd);

#endif
