#include "ShellUtils.h"

#include "LogTracker.h"
#include "StringUtils.h"
#include "SystemError.h"

#include <comdef.h>
#include <mbstring.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{
    const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

    // Releases the interface when the scope ends.
    template <class T>
    class CInterfaceHolder
    {
    public:
        CInterfaceHolder() : m_p(NULL) {}
        ~CInterfaceHolder() { if (m_p) m_p->Release(); }
        T** operator&() { return &m_p; }
        T* operator->() const { return m_p; }
    private:
        CInterfaceHolder(const CInterfaceHolder&);
        CInterfaceHolder& operator=(const CInterfaceHolder&);
        T* m_p;
    };

    void checkComResult(HRESULT hr)
    {
        if (FAILED(hr))
            throw _com_error(hr);
    }

    // "%s\%s" or "%s\%s\%s.lnk" into a MAX_PATH buffer; FALSE when it does not fit.
    BOOL formatStartMenuPath(LPSTR pszOut, LPCSTR pszPrograms, int nKind, LPCSTR pszGroup, LPCSTR pszName)
    {
        int n = (nKind == START_MENU_GROUP)
                    ? snprintf(pszOut, MAX_PATH, "%s\\%s", pszPrograms, pszName)
                    : snprintf(pszOut, MAX_PATH, "%s\\%s\\%s.lnk", pszPrograms, pszGroup ? pszGroup : "", pszName);
        if (n < 0 || n >= MAX_PATH)
        {
            pszOut[0] = '\0';
            return FALSE;
        }
        return TRUE;
    }

    // Copies a text of at most cch bytes and its terminator, cut to the MAX_PATH buffer.
    void copyBounded(LPSTR pszOut, LPCSTR pszText, size_t cch)
    {
        size_t n = strnlen(pszText, cch);
        if (n > MAX_PATH - 1)
            n = MAX_PATH - 1;
        memcpy(pszOut, pszText, n);
        pszOut[n] = '\0';
    }
}

BOOL notifyTrayIcon(HWND hWnd, DWORD dwMessage, UINT uID, HICON hIcon, LPCSTR pszTip)
{
    NOTIFYICONDATAA data;
    memset(&data, 0, sizeof(data));
    data.cbSize = TRAY_ICON_DATA_SIZE;
    data.hWnd = hWnd;
    data.uID = uID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_COMMAND;
    data.hIcon = hIcon;
    if (pszTip)
        lstrcpynA(data.szTip, pszTip, TRAY_TIP_MAX_LENGTH + 1);
    return Shell_NotifyIconA(dwMessage, &data);
}

HRESULT createLink(LPCSTR pszTarget, LPCSTR pszLinkFile, LPCSTR pszDescription)
{
    VGLTRACE(1, "-->::createLink(pszTarget = %s, pszLinkFile = %s, pszDescription = %s)", pszTarget,
             pszLinkFile, pszDescription);
    CInterfaceHolder<IShellLinkA> pLink;
    checkComResult(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    (void**)&pLink));
    checkComResult(pLink->SetPath(pszTarget));
    checkComResult(pLink->SetDescription(pszDescription ? pszDescription : ""));

    CInterfaceHolder<IPersistFile> pFile;
    checkComResult(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile));
    WCHAR wszLink[MAX_PATH];
    if (!pszLinkFile || !MultiByteToWideChar(CP_ACP, 0, pszLinkFile, -1, wszLink, MAX_PATH))
        throw _com_error(E_INVALIDARG);
    checkComResult(pFile->Save(wszLink, TRUE));
    VGLTRACE(2, "<--::createLink()");
    return S_OK;
}

BOOL getProgramsFolderPath(LPSTR pszBuffer)
{
    pszBuffer[0] = '\0';
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return FALSE;
    DWORD dwType = 0;
    DWORD cb = MAX_PATH - 1;
    LONG lResult = RegQueryValueExA(hKey, "Programs", NULL, &dwType, (LPBYTE)pszBuffer, &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
    {
        pszBuffer[0] = '\0';
        return FALSE;
    }
    pszBuffer[cb < MAX_PATH ? cb : MAX_PATH - 1] = '\0';
    return pszBuffer[0] != '\0';
}

BOOL renameStartMenuItem(LPCSTR pszNewName, LPCSTR pszOldNames, int nKind, LPCSTR pszGroup)
{
    VGLTRACE(1, "-->::renameStartMenuItem(pszNewName = %s, pszOldNames = %s, nKind = %d, pszGroup = %s)",
             pszNewName ? pszNewName : "", pszOldNames ? pszOldNames : "", nKind, pszGroup ? pszGroup : "");
    char szPrograms[MAX_PATH];
    char szTarget[MAX_PATH];
    // Without a Programs folder the paths would point at the root of the drive.
    if (!pszNewName || !pszOldNames || !getProgramsFolderPath(szPrograms) ||
        !formatStartMenuPath(szTarget, szPrograms, nKind, pszGroup, pszNewName) ||
        GetFileAttributesA(szTarget) != INVALID_FILE_ATTRIBUTES)
    {
        VGLTRACE(2, "<--::renameStartMenuItem(), nothing to do");
        return FALSE;
    }

    char szOldNames[1024];
    lstrcpynA(szOldNames, pszOldNames, sizeof(szOldNames));
    BOOL fRenamed = FALSE;
    char* pszContext = NULL;
    for (char* pszName = strtok_r(szOldNames, ";\r\n", &pszContext); pszName;
         pszName = strtok_r(NULL, ";\r\n", &pszContext))
    {
        char szCandidate[MAX_PATH];
        if (!formatStartMenuPath(szCandidate, szPrograms, nKind, pszGroup, pszName) ||
            GetFileAttributesA(szCandidate) == INVALID_FILE_ATTRIBUTES)
            continue;
        BOOL fMoved = MoveFileA(szCandidate, szTarget);
        VGLTRACE(3, "fMoved(%d) = MoveFile(%s, %s)", fMoved, szCandidate, szTarget);
        if (fMoved)
        {
            fRenamed = TRUE;
            SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHA, szTarget, NULL);
        }
    }
    VGLTRACE(2, "<--::renameStartMenuItem() = %d", fRenamed);
    return fRenamed;
}

BOOL updateUninstallDisplayName(LPCSTR pszKeyName, LPCSTR pszDisplayName)
{
    if (!pszKeyName || !pszDisplayName)
        return FALSE;
    CString strKey = joinPath(UNINSTALL_KEY, pszKeyName);
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szCurrent[MAX_PATH + 1];
    memset(szCurrent, 0, sizeof(szCurrent));
    DWORD cb = MAX_PATH;
    DWORD dwType = 0;
    BOOL fWritten = FALSE;
    if (RegQueryValueExA(hKey, "DisplayName", NULL, &dwType, (LPBYTE)szCurrent, &cb) == ERROR_SUCCESS &&
        strcmp(szCurrent, pszDisplayName) != 0)
    {
        fWritten = RegSetValueExA(hKey, "DisplayName", 0, REG_SZ, (const BYTE*)pszDisplayName,
                                  (DWORD)strlen(pszDisplayName) + 1) == ERROR_SUCCESS;
        VGLTRACE(3, "::updateUninstallDisplayName(%s), \"%s\" -> \"%s\", fWritten(%d)", pszKeyName, szCurrent,
                 pszDisplayName, fWritten);
    }
    RegCloseKey(hKey);
    return fWritten;
}

typedef DWORD (WINAPI *PFN_REGISTERSERVICEPROCESS)(DWORD dwProcessId, DWORD dwType);

BOOL hideUnderTaskManager(BOOL fHide)
{
    // The system folder as the system reports it (SYSTEM on Windows 95/98).
    char szSystem[MAX_PATH] = "";
    GetSystemDirectoryA(szSystem, sizeof(szSystem));
    CString strKernel = joinPath(szSystem, "KERNEL32.DLL");
    HMODULE hKernel = LoadLibraryExA(strKernel, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!hKernel)
        THROW_SYSTEM_ERROR(GetLastError());
    BOOL fResult = FALSE;
    PFN_REGISTERSERVICEPROCESS pfnRegister =
        (PFN_REGISTERSERVICEPROCESS)GetProcAddress(hKernel, "RegisterServiceProcess");
    if (pfnRegister)
        fResult = pfnRegister(GetCurrentProcessId(), fHide ? 1 : 0) == 1;
    FreeLibrary(hKernel);
    return fResult;
}

typedef void (WINAPI *PFN_SWITCHTOTHISWINDOW)(HWND hWnd, BOOL fAltTab);

void switchToThisWindow(HWND hWnd)
{
    HMODULE hUser = GetModuleHandleA("USER32.DLL");
    PFN_SWITCHTOTHISWINDOW pfnSwitch =
        hUser ? (PFN_SWITCHTOTHISWINDOW)GetProcAddress(hUser, "SwitchToThisWindow") : NULL;
    if (pfnSwitch)
        pfnSwitch(hWnd, TRUE);
}

CString getShellDisplayName(IShellFolder* pFolder, LPCITEMIDLIST pidl, DWORD dwFlags)
{
    char szName[MAX_PATH] = "";
    STRRET name;
    memset(&name, 0, sizeof(name));
    if (!pFolder || FAILED(pFolder->GetDisplayNameOf(pidl, dwFlags, &name)))
        return CString();
    switch (name.uType)
    {
    case STRRET_WSTR:
        if (name.pOleStr)
        {
            if (!WideCharToMultiByte(CP_ACP, 0, name.pOleStr, -1, szName, sizeof(szName), NULL, NULL))
                szName[sizeof(szName) - 1] = '\0';
            CoTaskMemFree(name.pOleStr);
        }
        break;
    case STRRET_OFFSET:
        copyBounded(szName, (LPCSTR)pidl + name.uOffset, MAX_PATH);
        break;
    case STRRET_CSTR:
        copyBounded(szName, name.cStr, sizeof(name.cStr));
        break;
    }
    return CString(szName);
}

UINT itemIdListSize(LPCITEMIDLIST pidl)
{
    if (!pidl)
        return 0;
    UINT cb = 0;
    for (const BYTE* p = (const BYTE*)pidl; ((LPCITEMIDLIST)p)->mkid.cb; p += ((LPCITEMIDLIST)p)->mkid.cb)
        cb += ((LPCITEMIDLIST)p)->mkid.cb;
    return cb + sizeof(USHORT);
}

LPITEMIDLIST concatItemIdList(IMalloc* pMalloc, LPCITEMIDLIST pidlFirst, LPCITEMIDLIST pidlSecond)
{
    UINT cbFirst = pidlFirst ? itemIdListSize(pidlFirst) - sizeof(USHORT) : 0;
    UINT cbSecond = itemIdListSize(pidlSecond);
    LPITEMIDLIST pidlNew = (LPITEMIDLIST)pMalloc->Alloc(cbFirst + cbSecond);
    if (!pidlNew)
        return NULL;
    if (cbFirst)
        memcpy(pidlNew, pidlFirst, cbFirst);
    memcpy((BYTE*)pidlNew + cbFirst, pidlSecond, cbSecond);
    return pidlNew;
}

LPITEMIDLIST copyItemId(IMalloc* pMalloc, LPCITEMIDLIST pidl)
{
    UINT cb = pidl->mkid.cb + sizeof(USHORT);
    LPITEMIDLIST pidlNew = (LPITEMIDLIST)pMalloc->Alloc(cb);
    if (pidlNew)
        memcpy(pidlNew, pidl, cb);
    return pidlNew;
}

int getFileIconIndex(LPCSTR pszPath, UINT uFlags)
{
    SHFILEINFOA info;
    memset(&info, 0, sizeof(info));
    SHGetFileInfoA(pszPath, 0, &info, sizeof(info), uFlags);
    return info.iIcon;
}

int findDriveSuffix(LPCSTR pszCaption)
{
    if (!pszCaption)
        return -1;
    const unsigned char* pColon = _mbsrchr((const unsigned char*)pszCaption, ':');
    if (!pColon)
        return -1;
    int nPos = (int)(pColon - (const unsigned char*)pszCaption);
    if (nPos < 2 || !isalpha((unsigned char)pszCaption[nPos - 1]) || pszCaption[nPos - 2] != '(')
        return -1;
    return nPos;
}

CString getVolumeLabel(char chDrive)
{
    char szRoot[4] = { chDrive, ':', '\\', '\0' };
    char szLabel[MAX_PATH] = "";
    if (!GetVolumeInformationA(szRoot, szLabel, sizeof(szLabel), NULL, NULL, NULL, NULL, 0))
        return CString();
    szLabel[sizeof(szLabel) - 1] = '\0';
    return CString(szLabel);
}

int getWindowTextInt(HWND hWnd)
{
    char szText[64] = "";
    GetWindowTextA(hWnd, szText, sizeof(szText));
    return atoi(szText);
}
