// wintest: looks at and drives the windows of running programs, reads the named mappings and
// edits the registry, for the whole-program tests.
//
//   wintest find CLASS|- TITLE|- [PID]         top-level windows: "0xHWND PID visible"
//   wintest wait CLASS|- TITLE|- MS [PID]      the same, waiting up to MS ms ("timeout")
//   wintest waitshown CLASS ID MS              waits up to MS ms for a visible top-level window
//                                              of CLASS with a child ID; prints its tree
//                                              ("timeout"): catches a window shown only briefly
//   wintest tree HWND|pid:PID                  JSON line per window (the given ones and below);
//                                              list and combo boxes add a line with their rows,
//                                              report list views one with their rows' cells
//                                              joined by " | "
//   wintest send|post HWND MSG WPARAM LPARAM   MSG a number or "reg:NAME"; send prints the result
//   wintest copydata HWND DWDATA HEXBYTES      WM_COPYDATA sent; prints the result
//   wintest settext HWND TEXT                  WM_SETTEXT
//   wintest click HWND ID                      WM_COMMAND (ID, BN_CLICKED) posted to HWND
//   wintest mapping NAME                       "0xVALUE window=0|1 pid=P", or "absent"
//   wintest waitexit PID MS                    "exited CODE" or "timeout"
//   wintest kill PID
//   wintest regset KEY NAME dword:N|sz:TEXT    KEY "HKLM\..." or "HKCU\..."
//   wintest regget KEY NAME                    "dword:N", "sz:TEXT" or "absent"
//   wintest regdel KEY [NAME]                  the value, or the key with its subkeys
//   wintest regvalues KEY                      "NAME=dword:N" / "NAME=sz:TEXT" lines
//   wintest workingset PID                     the process's working set in bytes
//   wintest drop HWND FILE...                  the files dropped on the window (WM_DROPFILES
//                                              with the list carried across processes)
// Numbers may be decimal or 0x hexadecimal. Exit code 0, or 1 on failure, 2 on a usage error.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shlobj.h>

#include "DroppedFiles.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
DWORD Number(const char* psz) { return strtoul(psz, NULL, 0); }
// A handle or a message parameter: as wide as a pointer.
UINT_PTR PtrNumber(const char* psz) { return (UINT_PTR)strtoull(psz, NULL, 0); }

std::string Escape(const char* psz)
{
    std::string out;
    for (const unsigned char* p = (const unsigned char*)psz; *p; ++p)
    {
        if (*p == '"' || *p == '\\')
        {
            out += '\\';
            out += (char)*p;
        }
        else if (*p < 0x20 || *p >= 0x7F)
        {
            char sz[8];
            sprintf(sz, "\\u%04x", *p);
            out += sz;
        }
        else
        {
            out += (char)*p;
        }
    }
    return out;
}

UINT Message(const char* psz)
{
    if (strncmp(psz, "reg:", 4) == 0)
        return RegisterWindowMessageA(psz + 4);
    return (UINT)Number(psz);
}

struct FindArgs
{
    const char* pszClass;
    const char* pszTitle;
    DWORD dwPid;
    std::vector<HWND> found;
};

BOOL CALLBACK FindTop(HWND hWnd, LPARAM lParam)
{
    FindArgs* pArgs = (FindArgs*)lParam;
    char szClass[256] = "", szTitle[512] = "";
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    if ((strcmp(pArgs->pszClass, "-") == 0 || lstrcmpiA(pArgs->pszClass, szClass) == 0) &&
        (strcmp(pArgs->pszTitle, "-") == 0 || strcmp(pArgs->pszTitle, szTitle) == 0) &&
        (pArgs->dwPid == 0 || pArgs->dwPid == dwPid))
        pArgs->found.push_back(hWnd);
    return TRUE;
}

void PrintWindow(HWND hWnd)
{
    char szClass[256] = "", szText[1024] = "";
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    GetWindowTextA(hWnd, szText, sizeof(szText));
    // An edit keeps its text itself: GetWindowText of another process's edit reads nothing.
    if (lstrcmpiA(szClass, "Edit") == 0)
        SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof(szText), (LPARAM)szText, SMTO_ABORTIFHUNG, 2000, NULL);
    RECT rc;
    GetWindowRect(hWnd, &rc);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    LONG lStyle = GetWindowLongA(hWnd, GWL_STYLE);
    LONG lExStyle = GetWindowLongA(hWnd, GWL_EXSTYLE);
    printf("{\"hwnd\": %" PRIuPTR ", \"parent\": %" PRIuPTR ", \"owner\": %" PRIuPTR ", \"pid\": %lu, "
           "\"class\": \"%s\", \"id\": %d, "
           "\"text\": \"%s\", \"visible\": %s, \"enabled\": %s, \"iconic\": %s, \"style\": %lu, "
           "\"exstyle\": %lu, \"rect\": [%ld, %ld, %ld, %ld]}\n",
           (UINT_PTR)hWnd, (UINT_PTR)GetParent(hWnd), (UINT_PTR)GetWindow(hWnd, GW_OWNER), dwPid,
           Escape(szClass).c_str(),
           (lStyle & WS_CHILD) ? GetDlgCtrlID(hWnd) : 0, Escape(szText).c_str(),
           IsWindowVisible(hWnd) ? "true" : "false", IsWindowEnabled(hWnd) ? "true" : "false",
           IsIconic(hWnd) ? "true" : "false", (unsigned long)lStyle, (unsigned long)lExStyle, rc.left,
           rc.top, rc.right, rc.bottom);
}

// The cells of a report list view, read through memory in its process (a list view's
// messages carry their pointers unchanged to the other process).
void PrintListViewRows(HWND hWnd)
{
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    HANDLE hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwPid);
    if (hProcess == NULL)
        return;
    const SIZE_T cbText = 1024;
    BYTE* pRemote = (BYTE*)VirtualAllocEx(hProcess, NULL, sizeof(LVITEMA) + cbText, MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR dwCount = 0, dwHeader = 0, dwColumns = 0;
    if (pRemote != NULL && SendMessageTimeoutA(hWnd, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &dwCount) &&
        SendMessageTimeoutA(hWnd, LVM_GETHEADER, 0, 0, SMTO_ABORTIFHUNG, 2000, &dwHeader) && dwHeader != 0)
        SendMessageTimeoutA((HWND)dwHeader, HDM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &dwColumns);
    std::string strRows;
    for (int i = 0; pRemote != NULL && i < (int)dwCount && i < 1000; i++)
    {
        std::string strRow;
        for (int nColumn = 0; nColumn < (int)dwColumns; nColumn++)
        {
            LVITEMA lvi = {};
            lvi.iSubItem = nColumn;
            lvi.pszText = (LPSTR)(pRemote + sizeof(LVITEMA));
            lvi.cchTextMax = (int)cbText;
            char sz[1024] = "";
            SIZE_T cb = 0;
            if (WriteProcessMemory(hProcess, pRemote, &lvi, sizeof lvi, &cb) &&
                SendMessageTimeoutA(hWnd, LVM_GETITEMTEXTA, i, (LPARAM)pRemote, SMTO_ABORTIFHUNG, 2000, NULL))
                ReadProcessMemory(hProcess, pRemote + sizeof(LVITEMA), sz, sizeof sz, &cb);
            sz[sizeof sz - 1] = '\0';
            strRow += std::string(nColumn ? " | " : "") + sz;
        }
        strRows += std::string(i ? ", " : "") + "\"" + Escape(strRow.c_str()) + "\"";
    }
    if (pRemote != NULL)
        VirtualFreeEx(hProcess, pRemote, 0, MEM_RELEASE);
    CloseHandle(hProcess);
    printf("{\"hwnd\": %" PRIuPTR ", \"rows\": [%s]}\n", (UINT_PTR)hWnd, strRows.c_str());
}

// The rows of a list box or combo box, asked in UTF-16 (the ANSI form loses all but the
// first character between processes): a line {"rows": [...]} after the window's own line.
void PrintRows(HWND hWnd)
{
    char szClass[64] = "";
    GetClassNameA(hWnd, szClass, sizeof(szClass));
    UINT nCount = 0, nText = 0;
    if (lstrcmpiA(szClass, "ListBox") == 0)
        nCount = LB_GETCOUNT, nText = LB_GETTEXT;
    else if (lstrcmpiA(szClass, "ComboBox") == 0)
        nCount = CB_GETCOUNT, nText = CB_GETLBTEXT;
    else if (lstrcmpiA(szClass, "SysListView32") == 0 &&
             (GetWindowLongA(hWnd, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT)
        return PrintListViewRows(hWnd);
    else
        return;
    DWORD_PTR dwCount = 0;
    if (!SendMessageTimeoutW(hWnd, nCount, 0, 0, SMTO_ABORTIFHUNG, 2000, &dwCount))
        return;
    std::string strRows;
    for (int i = 0; i < (int)dwCount && i < 1000; i++)
    {
        WCHAR wsz[1024] = L"";
        SendMessageTimeoutW(hWnd, nText, i, (LPARAM)wsz, SMTO_ABORTIFHUNG, 2000, NULL);
        wsz[1023] = L'\0';
        char sz[2048] = "";
        WideCharToMultiByte(CP_ACP, 0, wsz, -1, sz, sizeof(sz), NULL, NULL);
        strRows += std::string(i ? ", " : "") + "\"" + Escape(sz) + "\"";
    }
    printf("{\"hwnd\": %" PRIuPTR ", \"rows\": [%s]}\n", (UINT_PTR)hWnd, strRows.c_str());
}

BOOL CALLBACK PrintChild(HWND hWnd, LPARAM)
{
    PrintWindow(hWnd);
    PrintRows(hWnd);
    return TRUE;
}

void PrintTree(HWND hWnd)
{
    PrintWindow(hWnd);
    PrintRows(hWnd);
    EnumChildWindows(hWnd, PrintChild, 0);
}

bool SplitKey(const char* pszKey, HKEY* phRoot, std::string& strPath)
{
    if (_strnicmp(pszKey, "HKLM\\", 5) == 0)
        *phRoot = HKEY_LOCAL_MACHINE;
    else if (_strnicmp(pszKey, "HKCU\\", 5) == 0)
        *phRoot = HKEY_CURRENT_USER;
    else
        return false;
    strPath = pszKey + 5;
    return true;
}

LONG DeleteTree(HKEY hRoot, const char* pszPath)
{
    HKEY hKey;
    LONG lResult = RegOpenKeyExA(hRoot, pszPath, 0, KEY_ALL_ACCESS, &hKey);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    char szName[512];
    for (;;)
    {
        DWORD cch = sizeof(szName);
        if (RegEnumKeyExA(hKey, 0, szName, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        std::string strSub = std::string(pszPath) + "\\" + szName;
        if (DeleteTree(hRoot, strSub.c_str()) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(hKey);
    return RegDeleteKeyA(hRoot, pszPath);
}

void PrintValue(const char* pszPrefix, DWORD dwType, const BYTE* pData, DWORD cb)
{
    if (dwType == REG_DWORD && cb == 4)
        printf("%sdword:%lu\n", pszPrefix, *(const DWORD*)pData);
    else if (dwType == REG_SZ || dwType == REG_EXPAND_SZ)
        printf("%ssz:%.*s\n", pszPrefix, (int)strnlen((const char*)pData, cb), (const char*)pData);
    else
        printf("%stype%lu:%lu bytes\n", pszPrefix, dwType, cb);
}

int Usage()
{
    fprintf(stderr, "wintest: bad arguments (see the source's header)\n");
    return 2;
}
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];

    if ((cmd == "find" && argc >= 4) || (cmd == "wait" && argc >= 5))
    {
        FindArgs args = { argv[2], argv[3], 0, {} };
        DWORD dwTimeout = cmd == "wait" ? Number(argv[4]) : 0;
        int nPidArg = cmd == "wait" ? 5 : 4;
        if (argc > nPidArg)
            args.dwPid = Number(argv[nPidArg]);
        DWORD dwStart = GetTickCount();
        for (;;)
        {
            args.found.clear();
            EnumWindows(FindTop, (LPARAM)&args);
            if (!args.found.empty() || GetTickCount() - dwStart >= dwTimeout)
                break;
            Sleep(20);
        }
        if (args.found.empty())
        {
            printf(cmd == "wait" ? "timeout\n" : "none\n");
            return 1;
        }
        for (HWND hWnd : args.found)
        {
            DWORD dwPid = 0;
            GetWindowThreadProcessId(hWnd, &dwPid);
            printf("0x%" PRIXPTR " %lu %d\n", (UINT_PTR)hWnd, dwPid, IsWindowVisible(hWnd) ? 1 : 0);
        }
        return 0;
    }
    if (cmd == "waitshown" && argc >= 5)
    {
        const int nChild = (int)Number(argv[3]);
        DWORD dwTimeout = Number(argv[4]), dwStart = GetTickCount();
        for (;;)
        {
            FindArgs args = { argv[2], "-", 0, {} };
            EnumWindows(FindTop, (LPARAM)&args);
            for (HWND hWnd : args.found)
            {
                if (IsWindowVisible(hWnd) && GetDlgItem(hWnd, nChild) != NULL)
                {
                    PrintTree(hWnd);
                    return 0;
                }
            }
            if (GetTickCount() - dwStart >= dwTimeout)
                break;
            Sleep(10);
        }
        printf("timeout\n");
        return 1;
    }
    if (cmd == "tree" && argc >= 3)
    {
        if (strncmp(argv[2], "pid:", 4) == 0)
        {
            FindArgs args = { "-", "-", Number(argv[2] + 4), {} };
            EnumWindows(FindTop, (LPARAM)&args);
            for (HWND hWnd : args.found)
                PrintTree(hWnd);
            return 0;
        }
        HWND hWnd = (HWND)PtrNumber(argv[2]);
        if (!IsWindow(hWnd))
            return 1;
        PrintTree(hWnd);
        return 0;
    }
    if ((cmd == "send" || cmd == "post") && argc >= 6)
    {
        HWND hWnd = (HWND)PtrNumber(argv[2]);
        UINT uMsg = Message(argv[3]);
        WPARAM wParam = (WPARAM)PtrNumber(argv[4]);
        LPARAM lParam = (LPARAM)PtrNumber(argv[5]);
        if (cmd == "post")
            return PostMessageA(hWnd, uMsg, wParam, lParam) ? 0 : 1;
        DWORD_PTR dwResult = 0;
        if (!SendMessageTimeoutA(hWnd, uMsg, wParam, lParam, SMTO_NORMAL, 60000, &dwResult))
        {
            printf("failed %lu\n", GetLastError());
            return 1;
        }
        printf("%" PRIdPTR "\n", (INT_PTR)dwResult);
        return 0;
    }
    if (cmd == "copydata" && argc >= 5)
    {
        HWND hWnd = (HWND)PtrNumber(argv[2]);
        std::vector<BYTE> data;
        const char* pszHex = argv[4];
        for (size_t i = 0; pszHex[i] && pszHex[i + 1]; i += 2)
        {
            char sz[3] = { pszHex[i], pszHex[i + 1], 0 };
            data.push_back((BYTE)strtoul(sz, NULL, 16));
        }
        COPYDATASTRUCT cds;
        cds.dwData = PtrNumber(argv[3]);
        cds.cbData = (DWORD)data.size();
        cds.lpData = data.empty() ? NULL : &data[0];
        DWORD_PTR dwResult = 0;
        if (!SendMessageTimeoutA(hWnd, WM_COPYDATA, 0, (LPARAM)&cds, SMTO_NORMAL, 60000, &dwResult))
            return 1;
        printf("%" PRIdPTR "\n", (INT_PTR)dwResult);
        return 0;
    }
    if (cmd == "settext" && argc >= 4)
    {
        HWND hWnd = (HWND)PtrNumber(argv[2]);
        DWORD_PTR dwResult = 0;
        return SendMessageTimeoutA(hWnd, WM_SETTEXT, 0, (LPARAM)argv[3], SMTO_NORMAL, 60000, &dwResult) ? 0 : 1;
    }
    if (cmd == "click" && argc >= 4)
    {
        HWND hWnd = (HWND)PtrNumber(argv[2]);
        int nId = (int)Number(argv[3]);
        HWND hControl = GetDlgItem(hWnd, nId);
        return PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), (LPARAM)hControl) ? 0 : 1;
    }
    if (cmd == "mapping" && argc >= 3)
    {
        HANDLE hMap = OpenFileMappingA(FILE_MAP_READ, FALSE, argv[2]);
        if (hMap == NULL)
        {
            printf("absent\n");
            return 0;
        }
        DWORD* pValue = (DWORD*)MapViewOfFile(hMap, FILE_MAP_READ, 0, 0, 4);
        DWORD dwValue = pValue ? *pValue : 0;
        if (pValue)
            UnmapViewOfFile(pValue);
        CloseHandle(hMap);
        HWND hWnd = (HWND)LongToHandle((LONG)dwValue);   // a window's low 32 bits, sign-extended
        DWORD dwPid = 0;
        BOOL fWindow = IsWindow(hWnd);
        if (fWindow)
            GetWindowThreadProcessId(hWnd, &dwPid);
        printf("0x%lX window=%d pid=%lu\n", dwValue, fWindow ? 1 : 0, dwPid);
        return 0;
    }
    if (cmd == "waitexit" && argc >= 4)
    {
        HANDLE hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, Number(argv[2]));
        if (hProcess == NULL)
        {
            printf("exited ?\n");
            return 0;
        }
        DWORD dwRet = WaitForSingleObject(hProcess, Number(argv[3]));
        DWORD dwCode = 0;
        GetExitCodeProcess(hProcess, &dwCode);
        CloseHandle(hProcess);
        if (dwRet == WAIT_TIMEOUT)
        {
            printf("timeout\n");
            return 1;
        }
        printf("exited %lu\n", dwCode);
        return 0;
    }
    if (cmd == "kill" && argc >= 3)
    {
        HANDLE hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, Number(argv[2]));
        if (hProcess == NULL)
            return 1;
        BOOL f = TerminateProcess(hProcess, 9);
        CloseHandle(hProcess);
        return f ? 0 : 1;
    }
    if (cmd == "workingset" && argc >= 3)
    {
        HANDLE hProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, Number(argv[2]));
        PROCESS_MEMORY_COUNTERS pmc = {};
        pmc.cb = sizeof(pmc);
        if (hProcess == NULL || !GetProcessMemoryInfo(hProcess, &pmc, sizeof(pmc)))
            return 1;
        CloseHandle(hProcess);
        printf("%" PRIuPTR " %" PRIuPTR "\n", (UINT_PTR)pmc.WorkingSetSize, (UINT_PTR)pmc.PeakWorkingSetSize);
        return 0;
    }
    if (cmd == "drop" && argc >= 4)
    {
        std::string strNames;
        for (int i = 3; i < argc; i++)
        {
            strNames += argv[i];
            strNames += '\0';
        }
        strNames += '\0';
        HGLOBAL hDrop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + strNames.size());
        DROPFILES* pDrop = (DROPFILES*)GlobalLock(hDrop);
        pDrop->pFiles = sizeof(DROPFILES);
        memcpy((char*)pDrop + sizeof(DROPFILES), strNames.data(), strNames.size());
        GlobalUnlock(hDrop);
        EDropPost post = postDroppedFiles((HWND)PtrNumber(argv[2]), hDrop);
        if (post != DROP_POSTED_HANDLE)
            GlobalFree(hDrop);
        printf("%d\n", (int)post);
        return post == DROP_NOT_POSTED ? 1 : 0;
    }
    if (cmd.compare(0, 3, "reg") == 0 && argc >= 3)
    {
        HKEY hRoot;
        std::string strPath;
        if (!SplitKey(argv[2], &hRoot, strPath))
            return Usage();
        if (cmd == "regset" && argc >= 5)
        {
            HKEY hKey;
            if (RegCreateKeyA(hRoot, strPath.c_str(), &hKey) != ERROR_SUCCESS)
                return 1;
            LONG lResult;
            if (strncmp(argv[4], "dword:", 6) == 0)
            {
                DWORD dw = Number(argv[4] + 6);
                lResult = RegSetValueExA(hKey, argv[3], 0, REG_DWORD, (const BYTE*)&dw, 4);
            }
            else if (strncmp(argv[4], "sz:", 3) == 0)
            {
                lResult = RegSetValueExA(hKey, argv[3], 0, REG_SZ, (const BYTE*)(argv[4] + 3),
                                         (DWORD)strlen(argv[4] + 3) + 1);
            }
            else
            {
                RegCloseKey(hKey);
                return Usage();
            }
            RegCloseKey(hKey);
            return lResult == ERROR_SUCCESS ? 0 : 1;
        }
        if (cmd == "regget" && argc >= 4)
        {
            HKEY hKey;
            BYTE data[4096];
            DWORD cb = sizeof(data), dwType = 0;
            if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            {
                printf("absent\n");
                return 0;
            }
            LONG lResult = RegQueryValueExA(hKey, argv[3], NULL, &dwType, data, &cb);
            RegCloseKey(hKey);
            if (lResult != ERROR_SUCCESS)
                printf("absent\n");
            else
                PrintValue("", dwType, data, cb);
            return 0;
        }
        if (cmd == "regdel")
        {
            if (argc >= 4)
            {
                HKEY hKey;
                if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
                    return 0;
                RegDeleteValueA(hKey, argv[3]);
                RegCloseKey(hKey);
                return 0;
            }
            DeleteTree(hRoot, strPath.c_str());
            return 0;
        }
        if (cmd == "regvalues")
        {
            HKEY hKey;
            if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
                return 0;
            for (DWORD i = 0;; i++)
            {
                char szName[512];
                BYTE data[4096];
                DWORD cchName = sizeof(szName), cb = sizeof(data), dwType = 0;
                if (RegEnumValueA(hKey, i, szName, &cchName, NULL, &dwType, data, &cb) != ERROR_SUCCESS)
                    break;
                std::string strPrefix = std::string(szName) + "=";
                PrintValue(strPrefix.c_str(), dwType, data, cb);
            }
            RegCloseKey(hKey);
            return 0;
        }
    }
    return Usage();
}
