// The window tree of a window, for window tests: every window below it (itself first, then
// its children depth-first) with its class, control id, text, visibility, enabled state and
// rectangle (in the coordinates of the root's client area; the root's own in screen
// coordinates). Tests assert on these rather than on pictures. Also the tests' message pump.
#ifndef VGL_TESTS_WINDOWTREE_H
#define VGL_TESTS_WINDOWTREE_H

#include <windows.h>

#include <stdio.h>
#include <string>
#include <vector>

struct SWindowInfo
{
    HWND hWnd;
    int nDepth;             // 0: the root
    std::string strClass;
    int nId;                // GetDlgCtrlID
    std::string strText;
    bool fVisible;          // IsWindowVisible: the window and all its parents
    bool fEnabled;
    RECT rc;

    // "Button #1 'OK' visible enabled (10,20 75x23)"
    std::string Describe() const
    {
        char sz[64];
        sprintf(sz, " (%ld,%ld %ldx%ld)", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
        return std::string(nDepth * 2, ' ') + strClass + " #" + std::to_string(nId) + " '" + strText + "'" +
               (fVisible ? " visible" : " hidden") + (fEnabled ? " enabled" : " disabled") + sz;
    }
};

// Dispatches this thread's messages for dwMs milliseconds.
inline void PumpMessages(DWORD dwMs)
{
    DWORD dwStart = GetTickCount();
    do
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - dwStart < dwMs);
}

// Waits for the object while dispatching this thread's messages; FALSE after dwMs.
inline bool WaitPumping(HANDLE hObject, DWORD dwMs)
{
    DWORD dwStart = GetTickCount();
    for (;;)
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD dwSpent = GetTickCount() - dwStart;
        if (WaitForSingleObject(hObject, 0) == WAIT_OBJECT_0)
            return true;
        if (dwSpent >= dwMs)
            return false;
        MsgWaitForMultipleObjects(1, &hObject, FALSE, dwMs - dwSpent, QS_ALLINPUT | QS_SENDMESSAGE);
    }
}

namespace NS_WindowTree
{
inline SWindowInfo Info(HWND hWnd, HWND hRoot, int nDepth)
{
    SWindowInfo info;
    info.hWnd = hWnd;
    info.nDepth = nDepth;
    char sz[512] = "";
    GetClassNameA(hWnd, sz, sizeof(sz));
    info.strClass = sz;
    info.nId = (GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD) ? GetDlgCtrlID(hWnd) : 0;
    sz[0] = '\0';
    // Through the window's own message: the text of a window of another thread too.
    SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof(sz), (LPARAM)sz, SMTO_ABORTIFHUNG, 2000, NULL);
    sz[sizeof(sz) - 1] = '\0';
    info.strText = sz;
    info.fVisible = IsWindowVisible(hWnd) != FALSE;
    info.fEnabled = IsWindowEnabled(hWnd) != FALSE;
    GetWindowRect(hWnd, &info.rc);
    if (hWnd != hRoot)
        MapWindowPoints(NULL, hRoot, (LPPOINT)&info.rc, 2);
    return info;
}

inline void Collect(HWND hWnd, HWND hRoot, int nDepth, std::vector<SWindowInfo>& out)
{
    out.push_back(Info(hWnd, hRoot, nDepth));
    for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild != NULL; hChild = GetWindow(hChild, GW_HWNDNEXT))
        Collect(hChild, hRoot, nDepth + 1, out);
}
}

inline std::vector<SWindowInfo> WindowTree(HWND hRoot)
{
    std::vector<SWindowInfo> tree;
    if (IsWindow(hRoot))
        NS_WindowTree::Collect(hRoot, hRoot, 0, tree);
    return tree;
}

// The whole tree as text, one window a line (for failure messages).
inline std::string DescribeWindowTree(HWND hRoot)
{
    std::string str;
    for (const SWindowInfo& info : WindowTree(hRoot))
        str += info.Describe() + "\n";
    return str;
}

// The first window of the tree of this class (and id, unless nId is -1); NULL when none.
inline const SWindowInfo* FindInTree(const std::vector<SWindowInfo>& tree, const char* pszClass, int nId = -1)
{
    for (const SWindowInfo& info : tree)
        if (lstrcmpiA(info.strClass.c_str(), pszClass) == 0 && (nId == -1 || info.nId == nId))
            return &info;
    return NULL;
}

// The texts of the visible windows of this class, in tree order (a message box's text is
// its one visible static with text).
inline std::vector<std::string> VisibleTexts(const std::vector<SWindowInfo>& tree, const char* pszClass)
{
    std::vector<std::string> texts;
    for (const SWindowInfo& info : tree)
        if (info.fVisible && !info.strText.empty() && lstrcmpiA(info.strClass.c_str(), pszClass) == 0)
            texts.push_back(info.strText);
    return texts;
}

#endif
