#include <gtest/gtest.h>

#include "ShellUtils.h"
#include "SystemInfo.h"
#include "VglTestSupport.h"

#include <comdef.h>
#include <string.h>
#include <string>

namespace
{
const char SHELL_FOLDERS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class ComTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL))); }
    void TearDown() override { CoUninitialize(); }
};

TEST(Shell, DriveSuffixOfTreeCaptions)
{
    const struct { const char* pszCaption; int nExpected; } cases[] = {
        { " Local Disk (C:)", 14 },
        { " (D:)", 3 },
        { "(C:", 2 },
        { "C:", -1 },                 // colon in the first two positions
        { ":", -1 },
        { " Printers", -1 },
        { " Disk (1:)", -1 },         // not a letter
        { " Disk [C:]", -1 },
        { " Disk (C:) x:", -1 },      // the last colon counts
        { "", -1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nExpected, findDriveSuffix(c.pszCaption)) << c.pszCaption;
}

TEST_F(ComTest, LinkIsCreatedAndResolves)
{
    std::string strTarget = CurrentFolder() + "\\link target.txt";
    std::string strLink = CurrentFolder() + "\\Vigilon readme.lnk";
    WriteWholeFile(strTarget, "");
    DeleteFileA(strLink.c_str());

    EXPECT_EQ(S_OK, createLink(strTarget.c_str(), strLink.c_str(), "Read me first"));
    ASSERT_TRUE(FileExists(strLink));

    IShellLinkA* pLink = NULL;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&pLink));
    IPersistFile* pFile = NULL;
    ASSERT_EQ(S_OK, pLink->QueryInterface(IID_IPersistFile, (void**)&pFile));
    WCHAR wszLink[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, strLink.c_str(), -1, wszLink, MAX_PATH);
    EXPECT_EQ(S_OK, pFile->Load(wszLink, STGM_READ));
    char szPath[MAX_PATH] = "";
    char szDescription[MAX_PATH] = "";
    EXPECT_EQ(S_OK, pLink->GetPath(szPath, sizeof(szPath), NULL, 0));
    pLink->GetDescription(szDescription, sizeof(szDescription));
    EXPECT_STRCASEEQ(strTarget.c_str(), szPath);
    EXPECT_STREQ("Read me first", szDescription);
    pFile->Release();
    pLink->Release();

    DeleteFileA(strLink.c_str());
    DeleteFileA(strTarget.c_str());
}

TEST_F(ComTest, LinkFailuresThrowComErrors)
{
    std::string strTarget = CurrentFolder() + "\\link target.txt";
    std::string strLong = CurrentFolder() + "\\" + std::string(300, 'L') + ".lnk";
    const std::string links[] = {
        CurrentFolder() + "\\no such folder\\x.lnk",
        strLong,   // longer than a path
    };
    for (const std::string& strLink : links)
    {
        HRESULT hr = S_OK;
        try
        {
            createLink(strTarget.c_str(), strLink.c_str(), "x");
        }
        catch (_com_error& e)
        {
            hr = e.Error();
        }
        EXPECT_TRUE(FAILED(hr)) << strLink;
        EXPECT_FALSE(FileExists(strLink));
    }
    EXPECT_FALSE(FileExists(strLong.substr(0, MAX_PATH - 1)));
}

DWORD WINAPI createLinkWithoutCom(LPVOID pv)
{
    try
    {
        createLink("C:\\x.txt", "C:\\x.lnk", "x");
    }
    catch (_com_error& e)
    {
        *(HRESULT*)pv = e.Error();
    }
    return 0;
}

TEST(Shell, LinkWithoutComThrows)
{
    // A thread of its own, which has not initialised COM.
    HRESULT hr = S_OK;
    HANDLE hThread = CreateThread(NULL, 0, createLinkWithoutCom, &hr, 0, NULL);
    ASSERT_TRUE(hThread != NULL);
    WaitForSingleObject(hThread, 10000);
    CloseHandle(hThread);
    EXPECT_EQ(CO_E_NOTINITIALIZED, hr);
}

// The user's Programs folder points at a scratch folder during each test.
class StartMenu : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strPrograms = CurrentFolder() + "\\Programs";
        RemoveTree(m_strPrograms);
        ASSERT_TRUE(CreateDirectoryA(m_strPrograms.c_str(), NULL));
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, 0, NULL, 0, KEY_ALL_ACCESS,
                                                 NULL, &m_hKey, NULL));
        DWORD cb = sizeof(m_szOld);
        m_fHadOld = RegQueryValueExA(m_hKey, "Programs", NULL, NULL, (LPBYTE)m_szOld, &cb) == ERROR_SUCCESS;
        RegSetValueExA(m_hKey, "Programs", 0, REG_SZ, (const BYTE*)m_strPrograms.c_str(),
                       (DWORD)m_strPrograms.size() + 1);
    }
    void TearDown() override
    {
        if (m_fHadOld)
            RegSetValueExA(m_hKey, "Programs", 0, REG_SZ, (const BYTE*)m_szOld, (DWORD)strlen(m_szOld) + 1);
        else
            RegDeleteValueA(m_hKey, "Programs");
        RegCloseKey(m_hKey);
        RemoveTree(m_strPrograms);
    }
    std::string item(const std::string& strName) { return m_strPrograms + "\\" + strName; }

    std::string m_strPrograms;
    HKEY m_hKey = NULL;
    char m_szOld[MAX_PATH] = "";
    bool m_fHadOld = false;
};

TEST_F(StartMenu, ProgramsFolderIsReadFromTheShellFolders)
{
    char szBuffer[MAX_PATH];
    EXPECT_TRUE(getProgramsFolderPath(szBuffer));
    EXPECT_EQ(m_strPrograms, szBuffer);
    EXPECT_EQ(m_strPrograms, (LPCSTR)getProgramsFolder());
}

TEST_F(StartMenu, GroupIsRenamedFromTheFirstOldNameThatExists)
{
    ASSERT_TRUE(CreateDirectoryA(item("Vigilon 2").c_str(), NULL));
    WriteWholeFile(item("Vigilon 2\\Client.lnk"), "");
    EXPECT_TRUE(renameStartMenuItem("Vigilon Corporate", "Vigilon 1;Vigilon 2", START_MENU_GROUP, NULL));
    EXPECT_TRUE(FileExists(item("Vigilon Corporate\\Client.lnk")));
    EXPECT_FALSE(FileExists(item("Vigilon 2")));
}

TEST_F(StartMenu, ShortcutInAGroupIsRenamed)
{
    ASSERT_TRUE(CreateDirectoryA(item("Vigilon").c_str(), NULL));
    WriteWholeFile(item("Vigilon\\Old Client.lnk"), "");
    WriteWholeFile(item("Vigilon\\Older Client.lnk"), "");
    EXPECT_TRUE(renameStartMenuItem("Client", "Gone\r\nOld Client\nOlder Client", START_MENU_SHORTCUT, "Vigilon"));
    EXPECT_TRUE(FileExists(item("Vigilon\\Client.lnk")));
    EXPECT_FALSE(FileExists(item("Vigilon\\Old Client.lnk")));
    // The target exists once the first rename succeeded.
    EXPECT_TRUE(FileExists(item("Vigilon\\Older Client.lnk")));
}

TEST_F(StartMenu, NothingIsRenamedWhenTheTargetExistsOrNoOldNameDoes)
{
    ASSERT_TRUE(CreateDirectoryA(item("New").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(item("Old").c_str(), NULL));
    EXPECT_FALSE(renameStartMenuItem("New", "Old", START_MENU_GROUP, NULL));
    EXPECT_TRUE(FileExists(item("Old")));
    EXPECT_FALSE(renameStartMenuItem("Newer", "Missing;Absent", START_MENU_GROUP, NULL));
    EXPECT_FALSE(FileExists(item("Newer")));
    // A name that makes the path too long is passed over.
    EXPECT_FALSE(renameStartMenuItem(std::string(300, 'N').c_str(), "Old", START_MENU_GROUP, NULL));
    EXPECT_TRUE(FileExists(item("Old")));
}

TEST(Shell, UninstallDisplayNameIsWrittenOnlyWhenItDiffers)
{
    const char szKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VglShellTest";
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL));
    RegSetValueExA(hKey, "DisplayName", 0, REG_SZ, (const BYTE*)"Vigilon", 8);

    EXPECT_TRUE(updateUninstallDisplayName("VglShellTest", "Vigilon Corporate"));
    char szValue[MAX_PATH] = "";
    DWORD cb = sizeof(szValue);
    RegQueryValueExA(hKey, "DisplayName", NULL, NULL, (LPBYTE)szValue, &cb);
    EXPECT_STREQ("Vigilon Corporate", szValue);
    EXPECT_FALSE(updateUninstallDisplayName("VglShellTest", "Vigilon Corporate"));

    RegDeleteValueA(hKey, "DisplayName");
    EXPECT_FALSE(updateUninstallDisplayName("VglShellTest", "Vigilon"));
    EXPECT_NE(ERROR_SUCCESS, RegQueryValueExA(hKey, "DisplayName", NULL, NULL, NULL, NULL));
    RegCloseKey(hKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, szKey);

    EXPECT_FALSE(updateUninstallDisplayName("VglShellTest", "Vigilon"));
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, &hKey));
}

TEST(Shell, ProcessHidesFromTheTaskList)
{
    EXPECT_TRUE(hideUnderTaskManager(TRUE));
    EXPECT_TRUE(hideUnderTaskManager(FALSE));
}

class ShellWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_hWnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_TRUE(m_hWnd != NULL);
    }
    void TearDown() override { DestroyWindow(m_hWnd); }
    HWND m_hWnd = NULL;
};

TEST_F(ShellWindow, WindowTextAsNumber)
{
    const struct { const char* pszText; int nExpected; } cases[] = {
        { "1234", 1234 }, { "-5", -5 }, { "abc", 0 }, { "", 0 }, { "12 MB", 12 },
    };
    for (const auto& c : cases)
    {
        SetWindowTextA(m_hWnd, c.pszText);
        EXPECT_EQ(c.nExpected, getWindowTextInt(m_hWnd)) << c.pszText;
    }
}

TEST_F(ShellWindow, TrayIconIsAddedChangedAndRemoved)
{
    HICON hIcon = LoadIcon(NULL, IDI_APPLICATION);
    EXPECT_TRUE(notifyTrayIcon(m_hWnd, NIM_ADD, 7, hIcon, std::string(100, 'T').c_str()));
    EXPECT_TRUE(notifyTrayIcon(m_hWnd, NIM_MODIFY, 7, hIcon, NULL));
    EXPECT_TRUE(notifyTrayIcon(m_hWnd, NIM_DELETE, 7, hIcon, NULL));
    EXPECT_FALSE(notifyTrayIcon(m_hWnd, NIM_DELETE, 7, hIcon, NULL));
}

// A folder with one subfolder, reached through the shell's name space.
class ItemIdLists : public ComTest
{
protected:
    void SetUp() override
    {
        ComTest::SetUp();
        m_strTree = CurrentFolder() + "\\tree";
        RemoveTree(m_strTree);
        ASSERT_TRUE(CreateDirectoryA(m_strTree.c_str(), NULL));
        ASSERT_TRUE(CreateDirectoryA((m_strTree + "\\sub").c_str(), NULL));
        ASSERT_EQ(S_OK, SHGetMalloc(&m_pMalloc));
        ASSERT_EQ(S_OK, SHGetDesktopFolder(&m_pDesktop));
        m_pidlTree = parse(m_pDesktop, m_strTree);
        ASSERT_TRUE(m_pidlTree != NULL);
        ASSERT_EQ(S_OK, m_pDesktop->BindToObject(m_pidlTree, NULL, IID_IShellFolder, (void**)&m_pTree));
        m_pidlSub = parse(m_pTree, "sub");
        ASSERT_TRUE(m_pidlSub != NULL);
    }
    void TearDown() override
    {
        if (m_pidlSub) m_pMalloc->Free(m_pidlSub);
        if (m_pidlTree) m_pMalloc->Free(m_pidlTree);
        if (m_pTree) m_pTree->Release();
        if (m_pDesktop) m_pDesktop->Release();
        if (m_pMalloc) m_pMalloc->Release();
        RemoveTree(m_strTree);
        ComTest::TearDown();
    }
    static LPITEMIDLIST parse(IShellFolder* pFolder, const std::string& strName)
    {
        WCHAR wsz[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, strName.c_str(), -1, wsz, MAX_PATH);
        LPITEMIDLIST pidl = NULL;
        ULONG cchEaten = 0;
        return SUCCEEDED(pFolder->ParseDisplayName(NULL, NULL, wsz, &cchEaten, &pidl, NULL)) ? pidl : NULL;
    }

    std::string m_strTree;
    IMalloc* m_pMalloc = NULL;
    IShellFolder* m_pDesktop = NULL;
    IShellFolder* m_pTree = NULL;
    LPITEMIDLIST m_pidlTree = NULL;
    LPITEMIDLIST m_pidlSub = NULL;
};

TEST_F(ItemIdLists, DisplayNames)
{
    EXPECT_STREQ("sub", (LPCSTR)getShellDisplayName(m_pTree, m_pidlSub, SHGDN_INFOLDER));
    EXPECT_STRCASEEQ(m_strTree.c_str(), (LPCSTR)getShellDisplayName(m_pDesktop, m_pidlTree, SHGDN_FORPARSING));
    EXPECT_STREQ("", (LPCSTR)getShellDisplayName(NULL, m_pidlSub, SHGDN_INFOLDER));
}

TEST_F(ItemIdLists, ConcatenatedListNamesTheSubfolder)
{
    UINT cbTree = itemIdListSize(m_pidlTree);
    UINT cbSub = itemIdListSize(m_pidlSub);
    EXPECT_EQ(0u, itemIdListSize(NULL));
    EXPECT_EQ(m_pidlSub->mkid.cb + 2u, cbSub);

    LPITEMIDLIST pidlFull = concatItemIdList(m_pMalloc, m_pidlTree, m_pidlSub);
    ASSERT_TRUE(pidlFull != NULL);
    EXPECT_EQ(cbTree + cbSub - 2, itemIdListSize(pidlFull));
    char szPath[MAX_PATH] = "";
    EXPECT_TRUE(SHGetPathFromIDListA(pidlFull, szPath));
    EXPECT_STRCASEEQ((m_strTree + "\\sub").c_str(), szPath);
    EXPECT_EQ(getFileIconIndex((LPCSTR)pidlFull, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON),
              getFileIconIndex(szPath, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    m_pMalloc->Free(pidlFull);

    LPITEMIDLIST pidlAlone = concatItemIdList(m_pMalloc, NULL, m_pidlSub);
    ASSERT_TRUE(pidlAlone != NULL);
    EXPECT_EQ(0, memcmp(pidlAlone, m_pidlSub, cbSub));
    m_pMalloc->Free(pidlAlone);

    LPITEMIDLIST pidlCopy = copyItemId(m_pMalloc, m_pidlSub);
    ASSERT_TRUE(pidlCopy != NULL);
    EXPECT_EQ(cbSub, itemIdListSize(pidlCopy));
    EXPECT_EQ(0, memcmp(pidlCopy, m_pidlSub, cbSub));
    m_pMalloc->Free(pidlCopy);
}

TEST(Shell, VolumeLabelOfAMissingDriveIsEmpty)
{
    EXPECT_STREQ("", (LPCSTR)getVolumeLabel('Q'));
}
}
