// Waiting for worker threads (never killed), and waiting while window messages flow.
#include <gtest/gtest.h>

#include "threadutils.h"

namespace
{
// Waits for its event, then ends with exit code 7.
DWORD WINAPI WaitingThread(LPVOID pv)
{
    WaitForSingleObject((HANDLE)pv, INFINITE);
    return 7;
}

struct SThread
{
    HANDLE hRelease;   // ends the thread
    HANDLE hThread;    // passed to the code under test
    HANDLE hWatch;     // our own duplicate, to see the thread after that

    explicit SThread(BOOL fReleased)
    {
        hRelease = CreateEventA(NULL, TRUE, fReleased, NULL);
        DWORD dwId;
        hThread = CreateThread(NULL, 0, WaitingThread, hRelease, 0, &dwId);
        DuplicateHandle(GetCurrentProcess(), hThread, GetCurrentProcess(), &hWatch, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
    ~SThread()
    {
        SetEvent(hRelease);
        WaitForSingleObject(hWatch, 5000);
        CloseHandle(hWatch);
        CloseHandle(hRelease);
    }
    DWORD ExitCode() const
    {
        DWORD dw = 0;
        GetExitCodeThread(hWatch, &dw);
        return dw;
    }
};

BOOL IsHandleOpen(HANDLE h)
{
    DWORD dwFlags;
    return GetHandleInformation(h, &dwFlags);
}
} // namespace

TEST(WaitForThread, NeverKillsAThreadThatOutlivesTheWait)
{
    struct SCase
    {
        BOOL fReleased;
        DWORD dwTimeout;
        BOOL fExpected;
    } cases[] = {
        {TRUE, 2000, TRUE},
        {FALSE, 100, FALSE},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "released " << c.fReleased);
        SThread thread(c.fReleased);
        EXPECT_EQ(c.fExpected, waitForThread(thread.hThread, c.dwTimeout));
        EXPECT_FALSE(IsHandleOpen(thread.hThread));
        if (!c.fReleased)
        {
            // Given up on, not killed: it is still there and ends its own way once let go.
            EXPECT_EQ((DWORD)STILL_ACTIVE, thread.ExitCode());
            SetEvent(thread.hRelease);
        }
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.hWatch, 2000));
        EXPECT_EQ(7u, thread.ExitCode());
    }
    EXPECT_FALSE(waitForThread(NULL, 100));
}

namespace
{
LONG g_nDispatched = 0;

LRESULT CALLBACK CountingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_USER + 5)
    {
        ++g_nDispatched;
        return 0;
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

DWORD WINAPI SetLater(LPVOID pv)
{
    Sleep(300);
    SetEvent((HANDLE)pv);
    return 0;
}
} // namespace

TEST(WaitForObjectPumpingMessages, DispatchesWhileWaitingUntilSignalled)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "VglPumpTest";
    RegisterClassA(&wc);
    HWND hWnd = CreateWindowA("VglPumpTest", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, wc.hInstance, NULL);
    ASSERT_TRUE(hWnd != NULL);
    HANDLE hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_nDispatched = 0;
    for (int i = 0; i < 25; ++i)
        PostMessageA(hWnd, WM_USER + 5, 0, 0);

    DWORD dwId;
    HANDLE hSetter = CreateThread(NULL, 0, SetLater, hEvent, 0, &dwId);
    DWORD dwStart = GetTickCount();
    // Ten messages a cycle: all 25 are gone long before the event arrives.
    EXPECT_TRUE(waitForObjectPumpingMessages(hEvent, 10, 5000));
    DWORD dwElapsed = GetTickCount() - dwStart;
    EXPECT_EQ(25, g_nDispatched);
    EXPECT_GE(dwElapsed, 250u);
    EXPECT_LT(dwElapsed, 3000u);

    WaitForSingleObject(hSetter, 2000);
    CloseHandle(hSetter);
    CloseHandle(hEvent);
    DestroyWindow(hWnd);
}

TEST(WaitForObjectPumpingMessages, TimeOutAndTooShortATimeOut)
{
    HANDLE hNever = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE hSignalled = CreateEventA(NULL, TRUE, TRUE, NULL);

    DWORD dwStart = GetTickCount();
    EXPECT_FALSE(waitForObjectPumpingMessages(hNever, 10, 300));
    DWORD dwElapsed = GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 250u);
    EXPECT_LT(dwElapsed, 2500u);

    EXPECT_TRUE(waitForObjectPumpingMessages(hSignalled, 10, 10));
    // Less than one 10 ms cycle: no wait at all, even for a signalled handle.
    EXPECT_FALSE(waitForObjectPumpingMessages(hSignalled, 10, 9));

    CloseHandle(hNever);
    CloseHandle(hSignalled);
}
