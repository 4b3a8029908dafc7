// WM_DROPFILES within one process, and the carried drop list as a receiver reads it.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "DroppedFiles.h"
#include "GoldenBytes.h"

#include <string>
#include <vector>

namespace
{
// A DROPFILES block of the names, ANSI or wide.
std::string DropBlock(const std::vector<std::string>& names, bool fWide)
{
    DROPFILES header = {};
    header.pFiles = sizeof(header);
    header.fWide = fWide;
    std::string strBlock((const char*)&header, sizeof(header));
    for (const std::string& strName : names)
        for (char ch : strName + '\0')
            strBlock += fWide ? std::string(1, ch) + '\0' : std::string(1, ch);
    strBlock += fWide ? std::string(2, '\0') : std::string(1, '\0');
    return strBlock;
}

HGLOBAL DropHandle(const std::string& strBlock)
{
    HGLOBAL hDrop = GlobalAlloc(GMEM_MOVEABLE, strBlock.size());
    memcpy(GlobalLock(hDrop), strBlock.data(), strBlock.size());
    GlobalUnlock(hDrop);
    return hDrop;
}

// A WM_COPYDATA block as a sender in another process sends it.
COPYDATASTRUCT Carried(const std::string& strBlock, ULONG_PTR dwData = DROP_CARRIED)
{
    COPYDATASTRUCT cds;
    cds.dwData = dwData;
    cds.cbData = (DWORD)strBlock.size();
    cds.lpData = strBlock.empty() ? NULL : (void*)strBlock.data();
    return cds;
}

std::vector<std::string> Names(HDROP hDrop)
{
    std::vector<std::string> names;
    UINT nCount = DragQueryFileA(hDrop, 0xFFFFFFFF, NULL, 0);
    for (UINT i = 0; i < nCount; ++i)
    {
        char szName[MAX_PATH] = "";
        DragQueryFileA(hDrop, i, szName, sizeof(szName));
        names.push_back(szName);
    }
    return names;
}

bool HandleIsOpen(HANDLE h)
{
    DWORD dwFlags;
    return GetHandleInformation(h, &dwFlags) != FALSE;
}
} // namespace

TEST(DroppedFilesTest, CarriedListBecomesADropHandleOfTheReceiver)
{
    const std::vector<std::string> names = {"C:\\WINDOWS\\a file.txt", "D:\\", "C:\\sub folder"};
    for (bool fWide : {false, true})
    {
        std::string strBlock = DropBlock(names, fWide);
        COPYDATASTRUCT cds = Carried(strBlock);
        HDROP hDrop = copyCarriedDropList(&cds);
        ASSERT_TRUE(hDrop != NULL);
        EXPECT_EQ(hDrop, receiveDroppedFiles((WPARAM)hDrop, 0));    // a drop list of this process
        EXPECT_EQ(names, Names(hDrop)) << (fWide ? "wide" : "ANSI");
        DragFinish(hDrop);
    }
}

// The carried block's bytes, as a 32-bit or 64-bit sender sends them and either reads them:
// names' offset | drop point x, y | non-client flag | wide flag | names.
TEST(DroppedFilesTest, CarriedBytesReadTheSameOnBothTargets)
{
    struct
    {
        const char* pszWhat;
        const char* pszGolden;
    } cases[] = {
        {"ANSI", "14000000 | 10000000 20000000 | 00000000 | 00000000 | 433a5c612e747874 00 00"},
        {"wide", "14000000 | 10000000 20000000 | 00000000 | 01000000 | 43003a005c0061002e00740078007400 0000 0000"},
    };
    for (const auto& c : cases)
    {
        std::string strGolden = Unhex(c.pszGolden);
        COPYDATASTRUCT cds = Carried(strGolden);
        HDROP hReceived = copyCarriedDropList(&cds);
        ASSERT_TRUE(hReceived != NULL) << c.pszWhat;
        EXPECT_EQ(std::vector<std::string>{"C:\\a.txt"}, Names(hReceived)) << c.pszWhat;
        POINT pt = {};
        EXPECT_TRUE(DragQueryPoint(hReceived, &pt)) << c.pszWhat;     // in the client area
        EXPECT_EQ(0x10, pt.x) << c.pszWhat;
        EXPECT_EQ(0x20, pt.y) << c.pszWhat;
        DragFinish(hReceived);
    }
}

TEST(DroppedFilesTest, DamagedCarriedListsReadSafely)
{
    const std::string strBlock = DropBlock({"C:\\a.txt"}, false);
    const std::string strShort = strBlock.substr(0, sizeof(DROPFILES) - 1);
    const std::string strUnended = strBlock.substr(0, strBlock.size() - 2);
    const std::string strFar = std::string("\xff\xff\0\0", 4) + strBlock.substr(4);
    const std::string strInHeader = std::string("\x04\0\0\0", 4) + strBlock.substr(4);
    struct
    {
        const char* pszWhat;
        COPYDATASTRUCT cds;
        std::vector<std::string> names;
        bool fList;
    } cases[] = {
        {"another record", Carried(strBlock, 2004), {}, false},
        {"shorter than the header", Carried(strShort), {}, false},
        {"no data", {DROP_CARRIED, (DWORD)strBlock.size(), NULL}, {}, false},
        {"the last name lacks its end", Carried(strUnended), {"C:\\a.txt"}, true},
        {"the names' offset outside the block", Carried(strFar), {}, false},
        {"the names' offset inside the header", Carried(strInHeader), {}, false},
    };
    for (const auto& c : cases)
    {
        HDROP hDrop = copyCarriedDropList(&c.cds);
        EXPECT_EQ(c.fList, hDrop != NULL) << c.pszWhat;
        if (hDrop == NULL)
            continue;
        EXPECT_EQ(c.names, Names(hDrop)) << c.pszWhat;
        DragFinish(hDrop);
    }
}

// Any program may post WM_DROPFILES with any numbers: what is not a drop list of this
// process's memory is neither read nor freed nor closed.
TEST(DroppedFilesTest, PostedNumbersThatAreNoDropListAreLeftAlone)
{
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096, NULL);
    HANDLE hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    HGLOBAL hOther = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);     // no drop list in it
    HGLOBAL hDrop = DropHandle(DropBlock({"C:\\a.txt"}, false));
    ASSERT_TRUE(hMapping != NULL && hEvent != NULL && hOther != NULL && hDrop != NULL);
    for (LPARAM lParam : {(LPARAM)0, (LPARAM)DROP_CARRIED})
    {
        for (HANDLE h : {hMapping, hEvent, (HANDLE)hOther, (HANDLE)NULL})
            EXPECT_EQ(NULL, receiveDroppedFiles((WPARAM)h, lParam)) << h << " " << lParam;
    }
    EXPECT_EQ(NULL, receiveDroppedFiles((WPARAM)hDrop, DROP_CARRIED));
    EXPECT_TRUE(HandleIsOpen(hMapping));
    EXPECT_TRUE(HandleIsOpen(hEvent));
    EXPECT_EQ(64u, GlobalSize(hOther));
    EXPECT_EQ(std::vector<std::string>{"C:\\a.txt"}, Names((HDROP)hDrop));
    CloseHandle(hMapping);
    CloseHandle(hEvent);
    GlobalFree(hOther);
    GlobalFree(hDrop);
}

TEST(DroppedFilesTest, TakenCopyIsPostedToTheWindow)
{
    HWND hWnd = CreateWindowA("STATIC", "drop target", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(hWnd != NULL);
    std::string strBlock = DropBlock({"C:\\a.txt", "C:\\b"}, true);
    COPYDATASTRUCT cds = Carried(strBlock);
    EXPECT_TRUE(takeCarriedDropList(hWnd, &cds));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_DROPFILES, WM_DROPFILES, PM_REMOVE));
    HDROP hReceived = receiveDroppedFiles(msg.wParam, msg.lParam);
    ASSERT_TRUE(hReceived != NULL);
    EXPECT_EQ((std::vector<std::string>{"C:\\a.txt", "C:\\b"}), Names(hReceived));
    DragFinish(hReceived);
    cds.dwData = 2004;
    EXPECT_FALSE(takeCarriedDropList(hWnd, &cds));
    EXPECT_FALSE(PeekMessageA(&msg, hWnd, WM_DROPFILES, WM_DROPFILES, PM_REMOVE));
    DestroyWindow(hWnd);
}

TEST(DroppedFilesTest, WindowOfThisProcessGetsTheHandleItself)
{
    HWND hWnd = CreateWindowA("STATIC", "drop target", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(hWnd != NULL);
    HGLOBAL hDrop = DropHandle(DropBlock({"C:\\a.txt"}, false));
    EXPECT_EQ(DROP_POSTED_HANDLE, postDroppedFiles(hWnd, hDrop));

    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_DROPFILES, WM_DROPFILES, PM_REMOVE));
    EXPECT_EQ(0, msg.lParam);
    HDROP hReceived = receiveDroppedFiles(msg.wParam, msg.lParam);
    EXPECT_EQ((HDROP)hDrop, hReceived);
    EXPECT_EQ(std::vector<std::string>{"C:\\a.txt"}, Names(hReceived));
    DragFinish(hReceived);

    // A window that is gone gets nothing; the caller keeps its list.
    DestroyWindow(hWnd);
    hDrop = DropHandle(DropBlock({"C:\\a.txt"}, false));
    EXPECT_EQ(DROP_NOT_POSTED, postDroppedFiles(hWnd, hDrop));
    GlobalFree(hDrop);
}
