// Carrying out the command: the selection reaches the client's main window, started
// first when the client is not running.
#include "shellext_harness.h"

using namespace shelltest;

namespace
{
class InvokeTest : public ShellExtTest
{
protected:
    static void SetUpTestSuite()
    {
        s_strSelection = FreshScratchFolder("selection");
        WriteWholeFile(s_strSelection + "\\a file.txt", "text");
        WriteWholeFile(s_strSelection + "\\B.COM", "program");
        CreateDirectoryA((s_strSelection + "\\sub folder").c_str(), NULL);
    }

    void SetUp() override
    {
        ShellExtTest::SetUp();
        ASSERT_EQ(0u, ReadMappedDword(CLIENT_MAINWND_MAPPING)) << "a client window is still published";
    }

    static std::vector<std::string> Names() { return {"a file.txt", "B.COM", "sub folder"}; }
    static std::vector<std::string> Paths()
    {
        std::vector<std::string> paths;
        for (const std::string& strName : Names())
            paths.push_back(s_strSelection + "\\" + strName);
        return paths;
    }

    // The paths of the receiver's drops in order, each drop as "drop N" and its paths.
    static std::vector<std::string> Drops(const CClientFolder& client)
    {
        std::vector<std::string> drops;
        for (const std::string& strLine : client.Log())
            if (strLine.compare(0, 5, "drop ") == 0 || strLine.compare(0, 5, "path ") == 0)
                drops.push_back(strLine);
        return drops;
    }

    static std::vector<std::string> DropOf(const std::vector<std::string>& paths)
    {
        std::vector<std::string> lines = {"drop " + std::to_string(paths.size())};
        for (const std::string& strPath : paths)
            lines.push_back("path " + strPath);
        return lines;
    }

    // Upper-cased, for paths whose case the shell may change.
    static std::vector<std::string> Upper(std::vector<std::string> lines)
    {
        for (std::string& strLine : lines)
            CharUpperA(&strLine[0]);
        return lines;
    }

    // Invokes the command of a fresh object on the data object; its result and duration.
    static HRESULT Invoke(IContextMenu* pMenu, IDataObject* pDataObject, DWORD* pdwElapsed = NULL)
    {
        HMENU hMenu = CreatePopupMenu();
        pMenu->QueryContextMenu(hMenu, 0, 1, 1, CMF_NORMAL);
        DestroyMenu(hMenu);
        EXPECT_EQ(S_OK, InitializeMenu(pMenu, pDataObject));
        DWORD dwStart = GetTickCount();
        HRESULT hr = InvokeOffset(pMenu, 0);
        if (pdwElapsed != NULL)
            *pdwElapsed = GetTickCount() - dwStart;
        return hr;
    }

    static std::string s_strSelection;
    CShellLibrary m_library;
};

std::string InvokeTest::s_strSelection;

int s_nWaits;
DWORD s_dwWaited;
void WINAPI CountWait(DWORD dwMilliseconds)
{
    ++s_nWaits;
    s_dwWaited += dwMilliseconds;
}
} // namespace

TEST_F(InvokeTest, RunningClientGetsEachSelectionOnceAtOnce)
{
    CClientFolder client("running");
    ASSERT_TRUE(client.Start());
    SetProductValue("Application Path", client.Folder());
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);

    // Neither a verb text nor another offset reaches the client.
    CMINVOKECOMMANDINFO ici = {sizeof(ici)};
    ici.lpVerb = "open";
    EXPECT_EQ(E_INVALIDARG, pMenu->InvokeCommand(&ici));
    EXPECT_EQ(E_INVALIDARG, InvokeOffset(pMenu, 1));
#ifdef _WIN64
    // A text above 4 GB whose low 32 bits are zero is no offset either.
    ici.lpVerb = (LPCSTR)0x100000000ull;
    EXPECT_EQ(E_INVALIDARG, pMenu->InvokeCommand(&ici));
#endif

    // The shell's own data object.
    IDataObject* pShellData = ShellDataObject(s_strSelection, Names());
    ASSERT_TRUE(pShellData != NULL);
    DWORD dwElapsed = 0;
    EXPECT_EQ(S_OK, Invoke(pMenu, pShellData, &dwElapsed));
    EXPECT_LT(dwElapsed, 1000u);
    pShellData->Release();
    ASSERT_TRUE(client.WaitFor("drop ", 1, 10000));

    // A data object that tells when its drop list is freed: once, the client has a copy.
    CCountingDataObject counting({"C:\\WINDOWS\\Ein Test.txt", "D:\\"});
    EXPECT_EQ(S_OK, Invoke(pMenu, &counting));
    EXPECT_EQ(1, counting.MediumReleases());
    ASSERT_TRUE(client.WaitFor("drop ", 2, 10000));
    pMenu->Release();

    client.StopReceivers();
    std::vector<std::string> expected = Upper(DropOf(Paths()));
    std::vector<std::string> second = DropOf({"C:\\WINDOWS\\Ein Test.txt", "D:\\"});
    expected.insert(expected.end(), second.begin(), second.end());
    std::vector<std::string> drops = Drops(client);
    for (size_t i = 0; i < 4 && i < drops.size(); ++i)
        CharUpperA(&drops[i][0]);
    EXPECT_EQ(expected, drops);
    EXPECT_EQ(1u, client.Lines("start ").size());
}

TEST_F(InvokeTest, AbsentClientIsStartedOnceAndGetsTheSelectionWhenItsWindowAppears)
{
    CClientFolder client("absent");
    SetProductValue("Application Path", client.Folder());
    CClientFolder::SetDelay(1500);
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);
    CCountingDataObject counting(Paths());

    DWORD dwElapsed = 0;
    EXPECT_EQ(S_OK, Invoke(pMenu, &counting, &dwElapsed));
    EXPECT_GE(dwElapsed, 1000u);
    EXPECT_LT(dwElapsed, 10000u);
    pMenu->Release();
    ASSERT_TRUE(client.WaitFor("drop ", 1, 10000));
    client.StopReceivers();

    std::vector<std::string> log = client.Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(0u, log[0].find("start "));
    EXPECT_EQ("ready", log[1]);
    std::vector<std::string> expected = {log[0], "ready"};
    for (const std::string& strLine : DropOf(Paths()))
        expected.push_back(strLine);
    EXPECT_EQ(expected, log);
    EXPECT_EQ(1, counting.MediumReleases());
}

TEST_F(InvokeTest, WindowThatNeverAppearsGivesUnexpectedAfterTwentyChecks)
{
    // The library's own code in this process, its wait counted instead of slept.
    g_pfnClientWait = CountWait;
    CClientFolder silent("silent");                 // starts, never publishes
    std::string strEmpty = FreshScratchFolder("noprogram");

    const struct
    {
        std::string strFolder;
        bool fZeroMapping;      // a mapping that exists but holds 0
        size_t nStarts;
    } cases[] = {
        {silent.Folder(), false, 1},
        {strEmpty, true, 0},
    };
    for (const auto& c : cases)
    {
        DeleteProductKey();
        SetProductValue("Application Path", c.strFolder);
        CClientFolder::SetDelay(-1);
        HANDLE hZero = c.fZeroMapping ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                                           sizeof(DWORD), CLIENT_MAINWND_MAPPING)
                                      : NULL;
        IClassFactory* pFactory = NULL;
        ASSERT_EQ(S_OK, DllGetClassObject(CLSID_VigilonShellExt, IID_IClassFactory, (void**)&pFactory));
        IContextMenu* pMenu = NULL;
        ASSERT_EQ(S_OK, pFactory->CreateInstance(NULL, IID_IContextMenu, (void**)&pMenu));
        pFactory->Release();
        CCountingDataObject counting(Paths());

        s_nWaits = 0;
        s_dwWaited = 0;
        EXPECT_EQ(E_UNEXPECTED, Invoke(pMenu, &counting)) << c.strFolder;
        EXPECT_EQ(20, s_nWaits);
        EXPECT_EQ(20000u, s_dwWaited);
        EXPECT_EQ(1, counting.MediumReleases());
        pMenu->Release();
        if (hZero != NULL)
            CloseHandle(hZero);
        EXPECT_EQ(S_OK, DllCanUnloadNow());
    }
    EXPECT_TRUE(silent.WaitFor("start ", 1, 5000));
    silent.StopReceivers();
    EXPECT_EQ(1u, silent.Lines("start ").size());
    EXPECT_TRUE(silent.Lines("drop ").empty());
}

TEST_F(InvokeTest, NothingHappensWithoutADropList)
{
    CClientFolder client("idle");
    SetProductValue("Application Path", client.Folder());
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);

    EXPECT_EQ(S_OK, InvokeOffset(pMenu, 0));            // never initialised
    CCountingDataObject noDrop({}, false);
    EXPECT_EQ(S_OK, Invoke(pMenu, &noDrop));
    pMenu->Release();
    Sleep(300);
    EXPECT_TRUE(client.Log().empty());                  // the client was not started
}

TEST_F(InvokeTest, UnreachableWindowFreesTheDropList)
{
    // The mapping names a window that is gone.
    HWND hWnd = CreateWindowA("STATIC", "gone", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    DestroyWindow(hWnd);
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(DWORD),
                                         CLIENT_MAINWND_MAPPING);
    DWORD* pdw = (DWORD*)MapViewOfFile(hMapping, FILE_MAP_WRITE, 0, 0, 0);
    *pdw = (DWORD)HandleToLong(hWnd);   // window handles are 32-bit values, as the client keeps them
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);
    CCountingDataObject counting(Paths());

    EXPECT_EQ(S_OK, Invoke(pMenu, &counting));
    EXPECT_EQ(1, counting.MediumReleases());
    pMenu->Release();
    UnmapViewOfFile(pdw);
    CloseHandle(hMapping);
}
