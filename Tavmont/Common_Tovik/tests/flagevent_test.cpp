#include <gtest/gtest.h>
#include <windows.h>
#include "FlagEvent.h"

TEST(CFlagEvent, HoldsInitialAndLastStoredValue)
{
    CFlagEvent flagDefault;
    EXPECT_FALSE(flagDefault.IsSignaled());
    CFlagEvent flagOn(TRUE);
    EXPECT_TRUE(flagOn.IsSignaled());

    static const BOOL sequence[] = { TRUE, TRUE, FALSE, TRUE, FALSE, FALSE };
    for (BOOL f : sequence) {
        flagDefault.SetSignaled(f);
        EXPECT_EQ(f, flagDefault.IsSignaled());
    }
}

namespace {

struct SToggle
{
    CFlagEvent* pFlag;
    CFlagEvent* pStop;
};

DWORD WINAPI ToggleUntilStopped(LPVOID pv)
{
    SToggle* p = static_cast<SToggle*>(pv);
    for (int i = 0; !p->pStop->IsSignaled(); i++)
        p->pFlag->SetSignaled(i & 1);
    p->pFlag->SetSignaled(TRUE);
    return 0;
}

} // namespace

// Writers on several threads do not block each other for good, a reader
// on another thread sees the last value stored.
TEST(CFlagEvent, WritersOnSeveralThreads)
{
    CFlagEvent flag, stop;
    SToggle toggle = { &flag, &stop };
    HANDLE ah[4];
    for (HANDLE& h : ah) {
        h = CreateThread(NULL, 0, ToggleUntilStopped, &toggle, 0, NULL);
        ASSERT_TRUE(h != NULL);
    }
    Sleep(50);
    stop.SetSignaled(TRUE);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForMultipleObjects(4, ah, TRUE, 5000));
    for (HANDLE h : ah)
        CloseHandle(h);
    EXPECT_TRUE(flag.IsSignaled());
}
