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

// A mapping as a sender hands it over: the size field, then the block.
HANDLE CarriedMapping(const std::string& strBlock, DWORD dwSizeField)
{
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                         (DWORD)(4 + strBlock.size()), NULL);
    BYTE* pb = (BYTE*)MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, 0);
    memcpy(pb, &dwSizeField, 4);
    memcpy(pb + 4, strBlock.data(), strBlock.size());
    UnmapViewOfFile(pb);
    return hMapping;
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
        HANDLE hMapping = CarriedMapping(strBlock, (DWORD)strBlock.size());
        HDROP hDrop = receiveDroppedFiles((WPARAM)hMapping, DROP_CARRIED);
        ASSERT_TRUE(hDrop != NULL);
        EXPECT_EQ(names, Names(hDrop)) << (fWide ? "wide" : "ANSI");
        DragFinish(hDrop);
        EXPECT_FALSE(HandleIsOpen(hMapping));      // the receiver's handle is used up
    }
}

// The carried mapping's bytes, as a 32-bit or 64-bit sender writes them and either reads them:
// size field | names' offset | drop point x, y | non-client flag | wide flag | names.
TEST(DroppedFilesTest, CarriedMappingBytesAreTheSameOnBothTargets)
{
    struct
    {
        const char* pszWhat;
        const char* pszGolden;
        bool fWide;
    } cases[] = {
        {"ANSI", "1e000000 | 14000000 | 10000000 20000000 | 00000000 | 00000000 | 433a5c612e747874 00 00", false},
        {"wide", "28000000 | 14000000 | 10000000 20000000 | 00000000 | 01000000 |"
                 " 43003a005c0061002e00740078007400 0000 0000", true},
    };
    for (const auto& c : cases)
    {
        std::string strGolden = Unhex(c.pszGolden);
        HGLOBAL hDrop = DropHandle(strGolden.substr(4));
        HANDLE hMapping = copyDropListToMapping(hDrop);
        GlobalFree(hDrop);
        ASSERT_TRUE(hMapping != NULL) << c.pszWhat;
        const BYTE* pbView = (const BYTE*)MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, strGolden.size());
        ASSERT_TRUE(pbView != NULL) << c.pszWhat;
        EXPECT_EQ(Hex(strGolden), Hex(pbView, strGolden.size())) << c.pszWhat;
        UnmapViewOfFile(pbView);

        // The receiver reads the names and the point from the same bytes.
        HDROP hReceived = receiveDroppedFiles((WPARAM)hMapping, DROP_CARRIED);
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
    std::string strBlock = DropBlock({"C:\\a.txt"}, false);
    // The size field claims more than the mapping holds.
    HANDLE hMapping = CarriedMapping(strBlock, 1u << 20);
    EXPECT_EQ(NULL, receiveDroppedFiles((WPARAM)hMapping, DROP_CARRIED));
    EXPECT_FALSE(HandleIsOpen(hMapping));

    // The last name lacks its end.
    std::string strCut = strBlock.substr(0, strBlock.size() - 2);
    hMapping = CarriedMapping(strCut, (DWORD)strCut.size());
    HDROP hDrop = receiveDroppedFiles((WPARAM)hMapping, DROP_CARRIED);
    ASSERT_TRUE(hDrop != NULL);
    EXPECT_EQ(std::vector<std::string>{"C:\\a.txt"}, Names(hDrop));
    DragFinish(hDrop);

    // Not a mapping at all.
    EXPECT_EQ(NULL, receiveDroppedFiles((WPARAM)0, DROP_CARRIED));
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
