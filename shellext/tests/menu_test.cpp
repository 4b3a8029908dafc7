// The context menu: which flags get the command, where it goes, and its texts.
#include "shellext_harness.h"

using namespace shelltest;

namespace
{
struct SItem
{
    UINT nType;
    UINT nId;
    std::string strText;
};

std::vector<SItem> Items(HMENU hMenu)
{
    std::vector<SItem> items;
    for (int i = 0; i < GetMenuItemCount(hMenu); ++i)
    {
        char szText[128] = "";
        MENUITEMINFOA mii = {sizeof(mii)};
        mii.fMask = MIIM_TYPE | MIIM_ID;
        mii.dwTypeData = szText;
        mii.cch = sizeof(szText);
        GetMenuItemInfoA(hMenu, i, TRUE, &mii);
        items.push_back({mii.fType, mii.wID, mii.fType & MFT_SEPARATOR ? "" : szText});
    }
    return items;
}

// A menu of three items 1, 2, 3.
HMENU ThreeItems()
{
    HMENU hMenu = CreatePopupMenu();
    AppendMenuA(hMenu, MF_STRING, 1, "One");
    AppendMenuA(hMenu, MF_STRING, 2, "Two");
    AppendMenuA(hMenu, MF_STRING, 3, "Three");
    return hMenu;
}

class MenuTest : public ShellExtTest
{
protected:
    CShellLibrary m_library;
};
} // namespace

TEST_F(MenuTest, FlagsDecideWhetherTheCommandIsInserted)
{
    CClientFolder client("menuclient");
    SetProductValue("Application Path", client.Folder());
    char szText[64] = "";
    HMODULE hLanguage = LoadLibraryExA((client.Folder() + "\\Ksxwin97.dll").c_str(), NULL,
                                       LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_GT(LoadStringA(hLanguage, IDS_SHELLEXT_MENU, szText, sizeof(szText)), 0);
    FreeLibrary(hLanguage);

    const struct
    {
        UINT uFlags;
        bool fInserted;
    } cases[] = {
        {CMF_NORMAL, true},
        {CMF_VERBSONLY, true},
        {CMF_EXPLORE, true},
        {CMF_DEFAULTONLY | CMF_EXPLORE, true},
        {CMF_VERBSONLY | CMF_EXPLORE, true},
        {CMF_CANRENAME, true},                  // higher bits are not looked at
        {CMF_EXPLORE | CMF_CANRENAME, true},
        {CMF_DEFAULTONLY, false},
        {CMF_NOVERBS, false},
        {CMF_NOVERBS | CMF_DEFAULTONLY, false},
        {CMF_NOVERBS | CMF_CANRENAME, false},
    };
    IContextMenu* pMenu = m_library.CreateMenu();
    ASSERT_TRUE(pMenu != NULL);
    for (const auto& c : cases)
    {
        HMENU hMenu = ThreeItems();
        HRESULT hr = pMenu->QueryContextMenu(hMenu, 1, 100, 200, c.uFlags);
        std::vector<SItem> items = Items(hMenu);
        if (c.fInserted)
        {
            EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1), hr) << "flags " << c.uFlags;
            ASSERT_EQ(5u, items.size()) << "flags " << c.uFlags;
            EXPECT_EQ(1u, items[0].nId);
            EXPECT_TRUE(items[1].nType & MFT_SEPARATOR);
            EXPECT_EQ(100u, items[2].nId);
            EXPECT_EQ(szText, items[2].strText);
            EXPECT_EQ(2u, items[3].nId);
        }
        else
        {
            EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), hr) << "flags " << c.uFlags;
            EXPECT_EQ(3u, items.size()) << "flags " << c.uFlags;
        }
        DestroyMenu(hMenu);
    }
    pMenu->Release();
}

TEST_F(MenuTest, TextsComeFromTheLibraryBesideTheClient)
{
    CClientFolder client("textclient");
    ASSERT_TRUE(ReplaceStrings(client.Folder() + "\\Ksxwin97.dll",
                               {{IDS_SHELLEXT_MENU, "Menu of Ksxwin97"}, {IDS_SHELLEXT_HELP, "Help of Ksxwin97"}}));
    std::string strOther = client.Folder() + "\\Other.dll";
    ASSERT_TRUE(CopyFileA(BinFile("Ksxwin97.dll").c_str(), strOther.c_str(), FALSE));
    ASSERT_TRUE(ReplaceStrings(strOther, {{IDS_SHELLEXT_MENU, "Menu of Other"}, {IDS_SHELLEXT_HELP, "Help of Other"}}));
    std::string strEmpty = FreshScratchFolder("nolibrary");

    const struct
    {
        std::string strFolder;
        const char* pszFilename;    // NULL: not in the product key
        const char* pszMenu;
        const char* pszHelp;
    } cases[] = {
        {client.Folder(), NULL, "Menu of Ksxwin97", "Help of Ksxwin97"},
        {client.Folder() + "\\", "Other.exe", "Menu of Other", "Help of Other"},
        {strEmpty, NULL, "Scan with &Vigilon", "Scans the selected files and folders with Vigilon."},
    };
    for (const auto& c : cases)
    {
        DeleteProductKey();
        SetProductValue("Application Path", c.strFolder);
        if (c.pszFilename != NULL)
            SetProductValue("Application Filename", c.pszFilename);
        IContextMenu* pMenu = m_library.CreateMenu();
        ASSERT_TRUE(pMenu != NULL);

        HMENU hMenu = CreatePopupMenu();
        pMenu->QueryContextMenu(hMenu, 0, 7, 7, CMF_NORMAL);
        std::vector<SItem> items = Items(hMenu);
        ASSERT_EQ(2u, items.size());
        EXPECT_EQ(c.pszMenu, items[1].strText) << c.strFolder;
        DestroyMenu(hMenu);

        // The same text answers any request; it is cut to the buffer; other offsets leave
        // the buffer alone.
        char szBuffer[80];
        for (UINT uFlags : {GCS_HELPTEXTA, GCS_VERBA, GCS_VALIDATEA})
        {
            strcpy(szBuffer, "untouched");
            EXPECT_EQ(S_OK, pMenu->GetCommandString(0, uFlags, NULL, szBuffer, sizeof(szBuffer)));
            EXPECT_STREQ(c.pszHelp, szBuffer);
        }
        EXPECT_EQ(S_OK, pMenu->GetCommandString(0, GCS_HELPTEXTA, NULL, szBuffer, 5));
        EXPECT_EQ(std::string(c.pszHelp, 4), szBuffer);
        strcpy(szBuffer, "untouched");
        EXPECT_EQ(S_OK, pMenu->GetCommandString(1, GCS_HELPTEXTA, NULL, szBuffer, sizeof(szBuffer)));
        EXPECT_STREQ("untouched", szBuffer);
        pMenu->Release();
    }
}
