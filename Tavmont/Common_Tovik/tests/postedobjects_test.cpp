// Objects handed to a window with a posted message: only those posted here are taken, each once.
#include <gtest/gtest.h>

#include "PostedObjects.h"

TEST(PostedObjectsTest, OnlyPostedObjectsAreTakenOnce)
{
    HWND hWnd = CreateWindowA("STATIC", "receiver", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(hWnd != NULL);
    CPostedObjects posted;
    int nObject = 0;
    ASSERT_TRUE(posted.Post(hWnd, WM_USER + 5, 0, &nObject));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_USER + 5, WM_USER + 5, PM_REMOVE));
    EXPECT_FALSE(posted.Take(msg.lParam + 4));        // a number another program could post
    EXPECT_FALSE(posted.Take(0));
    EXPECT_TRUE(posted.Take(msg.lParam));
    EXPECT_FALSE(posted.Take(msg.lParam));            // the same message posted again
    // A post that fails leaves nothing recorded: the caller keeps the object.
    DestroyWindow(hWnd);
    EXPECT_FALSE(posted.Post(hWnd, WM_USER + 5, 0, &nObject));
    EXPECT_FALSE(posted.Take((LPARAM)&nObject));
}
