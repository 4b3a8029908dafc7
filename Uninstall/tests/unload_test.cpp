// Stopping the client: what is published decides how the program waits, the waits are taken
// a hundred times shorter through the test seam, and a client that does not stop stops the
// removal.
#include "UninstallDlg.h"
#include "UninstallWaits.h"
#include "Utils_MemMappedFile.h"
#include "uninstall_fixture.h"

#include <process.h>

#include <string>
#include <vector>

namespace
{
// Before the first wait of the program.
const bool s_fShortWaits = ::SetEnvironmentVariableA("VGL_TEST_WAIT_DIVISOR", "100") != FALSE;

const char MAINWND[] = "VigilonCorp_MemoryMappedFile_MainWnd";
const char PROCESSID[] = "VigilonCorp_MemoryMappedFile_ProcessID";

// The client's main window, on a thread of its own: it records what it is sent.
class CFakeClientWindow
{
public:
    CFakeClientWindow() : m_hWnd(NULL)
    {
        m_hReady = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_hThread = (HANDLE)_beginthreadex(NULL, 0, Run, this, 0, NULL);
        WaitForSingleObject(m_hReady, 10000);
    }
    ~CFakeClientWindow()
    {
        if (IsWindow(m_hWnd))
            PostMessageA(m_hWnd, WM_QUIT, 0, 0);
        WaitForSingleObject(m_hThread, 10000);
        CloseHandle(m_hThread);
        CloseHandle(m_hReady);
    }
    HWND m_hWnd;
    std::vector<std::string> m_messages;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        CFakeClientWindow* pThis = (CFakeClientWindow*)GetWindowLongPtrA(hWnd, GWLP_USERDATA);
        if (uMsg == WM_UNLOAD && pThis != NULL)
            pThis->m_messages.push_back("WM_UNLOAD");
        return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    }
    static unsigned __stdcall Run(void* pv)
    {
        CFakeClientWindow* pThis = (CFakeClientWindow*)pv;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "FakeVigilonMain";
        RegisterClassA(&wc);
        pThis->m_hWnd = CreateWindowA("FakeVigilonMain", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
        SetWindowLongPtrA(pThis->m_hWnd, GWLP_USERDATA, (LONG_PTR)pThis);
        SetEvent(pThis->m_hReady);
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0)
            DispatchMessageA(&msg);
        pThis->m_messages.push_back("WM_QUIT");
        DestroyWindow(pThis->m_hWnd);
        return 0;
    }
    HANDLE m_hReady;
    HANDLE m_hThread;
};

// A process that ends by itself after the given time.
PROCESS_INFORMATION StartShortLivedProcess(DWORD dwMs)
{
    SetEnvironmentVariableA("VGL_TOOL_UNINST_MS", std::to_string(dwMs).c_str());
    SetEnvironmentVariableA("VGL_TOOL_UNINST_JOURNAL", ScratchFile("short-lived.log").c_str());
    std::string strCommand = "\"" + BinFile("VglToolUninst.exe") + "\"";
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessA(NULL, &strCommand[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    SetEnvironmentVariableA("VGL_TOOL_UNINST_MS", NULL);
    return pi;
}

// The client's window goes after 300 ms.
unsigned __stdcall CloseLater(void* pvMapping)
{
    Sleep(300);
    CloseHandle((HANDLE)pvMapping);
    return 0;
}

class CThrowingUnload : public CUninstallDlg
{
public:
    CThrowingUnload() : CUninstallDlg(TRUE, FALSE, NULL) {}
    virtual BOOL UnloadMainProgram() { throw 1; }
};

class UnloadTest : public UninstallTest
{
protected:
    void TearDown() override
    {
        for (HANDLE h : m_mappings)
            CloseHandle(h);
        UninstallTest::TearDown();
    }
    void Publish(HWND hWnd, DWORD dwProcessId)
    {
        if (hWnd != NULL)
            m_mappings.push_back(createMemoryMappedHwnd(MAINWND, hWnd));
        if (dwProcessId != 0)
            m_mappings.push_back(createMemoryMappedDword(PROCESSID, dwProcessId));
    }
    BOOL Unload(DWORD* pdwMs)
    {
        CUninstallDlg dlg(TRUE, FALSE, NULL);
        DWORD dwStart = GetTickCount();
        BOOL fResult = dlg.UnloadMainProgram();
        *pdwMs = GetTickCount() - dwStart;
        return fResult;
    }
    std::vector<HANDLE> m_mappings;
};
}

TEST_F(UnloadTest, TheWaitsAreShortenedThroughTheSeam)
{
    ASSERT_TRUE(s_fShortWaits);
    EXPECT_EQ(100u, NS_UninstallWait::GetDivisor());
    EXPECT_EQ(20u, NS_UninstallWait::Scaled(2000));
    EXPECT_EQ(1u, NS_UninstallWait::Scaled(50));
    EXPECT_EQ(INFINITE, NS_UninstallWait::Scaled(INFINITE));
}

TEST_F(UnloadTest, NothingPublishedMeansNotRunning)
{
    DWORD dwMs = 0;
    EXPECT_TRUE(Unload(&dwMs));
    EXPECT_LT(dwMs, 500u);
}

TEST_F(UnloadTest, OnlyTheProcessIdPublishedGivesUpAfterTenTries)
{
    Publish(NULL, GetCurrentProcessId());
    DWORD dwMs = 0;
    EXPECT_FALSE(Unload(&dwMs));
    EXPECT_GE(dwMs, 10u * 20u - 20u);
}

TEST_F(UnloadTest, TheClientIsAskedToUnloadAndWaitedFor)
{
    CFakeClientWindow window;
    PROCESS_INFORMATION pi = StartShortLivedProcess(600);
    Publish(window.m_hWnd, pi.dwProcessId);
    DWORD dwMs = 0;
    EXPECT_TRUE(Unload(&dwMs));
    // Done once the process has ended, although its window stays published.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 0));
    EXPECT_LT(dwMs, 5000u);
    Sleep(100);
    EXPECT_EQ((std::vector<std::string>{"WM_UNLOAD", "WM_QUIT"}), window.m_messages);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

TEST_F(UnloadTest, AProcessThatCannotBeOpenedIsWatchedThroughItsWindow)
{
    CFakeClientWindow window;
    Publish(window.m_hWnd, 0x7FFFFFF0);
    HANDLE hWindowMapping = m_mappings[0];
    m_mappings.erase(m_mappings.begin());
    HANDLE hCloser = (HANDLE)_beginthreadex(NULL, 0, CloseLater, hWindowMapping, 0, NULL);
    DWORD dwMs = 0;
    EXPECT_TRUE(Unload(&dwMs));
    EXPECT_GE(dwMs, 300u);
    WaitForSingleObject(hCloser, 5000);
    CloseHandle(hCloser);
}

TEST_F(UnloadTest, AClientThatDoesNotEndIsNotStopped)
{
    CFakeClientWindow window;
    Publish(window.m_hWnd, GetCurrentProcessId());
    DWORD dwMs = 0;
    EXPECT_FALSE(Unload(&dwMs));
    // 360 waits for the process, then 360 looks at the window: twelve minutes a hundred
    // times shorter.
    EXPECT_GE(dwMs, 720u * 10u - 100u);
}

TEST_F(UnloadTest, AnExceptionWhileUnloadingMeansTheClientMayStillRun)
{
    CThrowingUnload dlg;
    EXPECT_FALSE(dlg.UnloadMainProgramGuarded());
}
