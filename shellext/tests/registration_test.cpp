// Registration and unregistration of the library in the classes root.
#include "shellext_harness.h"

using namespace shelltest;

namespace
{
const char CLASS_KEY[] = "CLSID\\" SHELLEXT_CLSID_TEXT;
const char SERVER_KEY[] = "CLSID\\" SHELLEXT_CLSID_TEXT "\\InprocServer32";
const char* const HANDLER_PARENTS[] = {"*\\shellex\\ContextMenuHandlers",
                                      "directory\\shellex\\ContextMenuHandlers",
                                      "drive\\shellex\\ContextMenuHandlers"};

bool KeyExists(const std::string& strKey)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// Every value of the key as name=data (REG_SZ only; another type shows as "?"), and its
// subkeys as "[name]".
std::map<std::string, std::string> Contents(const std::string& strKey)
{
    std::map<std::string, std::string> contents;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return contents;
    for (DWORD i = 0;; ++i)
    {
        char szName[256], szData[1024];
        DWORD cchName = sizeof(szName), cbData = sizeof(szData), dwType = 0;
        if (RegEnumValueA(hKey, i, szName, &cchName, NULL, &dwType, (BYTE*)szData, &cbData) != ERROR_SUCCESS)
            break;
        contents[szName] = dwType == REG_SZ ? std::string(szData) : "?";
    }
    for (DWORD i = 0;; ++i)
    {
        char szName[256];
        if (RegEnumKeyA(hKey, i, szName, sizeof(szName)) != ERROR_SUCCESS)
            break;
        contents[std::string("[") + szName + "]"] = "";
    }
    RegCloseKey(hKey);
    return contents;
}

class RegistrationTest : public ShellExtTest
{
protected:
    void SetUp() override
    {
        ShellExtTest::SetUp();
        ASSERT_TRUE(m_library.Module() != NULL);
        m_library.Unregister();
    }
    void TearDown() override
    {
        // Leave the parents as a registration leaves them, then remove the entries.
        m_library.Register();
        m_library.Unregister();
        ShellExtTest::TearDown();
    }

    std::string LibraryPath() const
    {
        char szPath[MAX_PATH] = "";
        GetModuleFileNameA(m_library.Module(), szPath, sizeof(szPath));
        return szPath;
    }

    CShellLibrary m_library;
};
} // namespace

TEST_F(RegistrationTest, WritesExactlyTheClassAndThreeHandlers)
{
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        ASSERT_EQ(S_OK, m_library.Register()) << "round " << nRound;

        EXPECT_EQ((std::map<std::string, std::string>{{"[InprocServer32]", ""}}), Contents(CLASS_KEY));
        std::map<std::string, std::string> server = Contents(SERVER_KEY);
        EXPECT_EQ(2u, server.size());
        EXPECT_EQ(0, lstrcmpiA(LibraryPath().c_str(), server[""].c_str())) << server[""];
        EXPECT_EQ("Apartment", server["ThreadingModel"]);
        for (const char* pszParent : HANDLER_PARENTS)
            EXPECT_EQ((std::map<std::string, std::string>{{"", SHELLEXT_CLSID_TEXT}}),
                      Contents(std::string(pszParent) + "\\Vigilon Corp"))
                << pszParent;
    }
}

TEST_F(RegistrationTest, UnregisteringTwiceSucceedsAndLeavesNothing)
{
    ASSERT_EQ(S_OK, m_library.Register());
    EXPECT_EQ(S_OK, m_library.Unregister());
    EXPECT_EQ(S_OK, m_library.Unregister());

    EXPECT_FALSE(KeyExists(CLASS_KEY));
    for (const char* pszParent : HANDLER_PARENTS)
    {
        EXPECT_FALSE(KeyExists(std::string(pszParent) + "\\Vigilon Corp")) << pszParent;
        EXPECT_TRUE(KeyExists(pszParent)) << pszParent;
    }
}

TEST_F(RegistrationTest, MissingDriveHandlersGiveFalseAfterTheOthersAreGone)
{
    ASSERT_EQ(S_OK, m_library.Register());
    // Only our handler may be below the drives' parent in the test prefix.
    ASSERT_EQ((std::map<std::string, std::string>{{"[Vigilon Corp]", ""}}), Contents(HANDLER_PARENTS[2]));
    ASSERT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CLASSES_ROOT, HANDLER_PARENTS[2]));

    EXPECT_EQ(S_FALSE, m_library.Unregister());
    EXPECT_FALSE(KeyExists(CLASS_KEY));
    EXPECT_FALSE(KeyExists(std::string(HANDLER_PARENTS[0]) + "\\Vigilon Corp"));
    EXPECT_FALSE(KeyExists(std::string(HANDLER_PARENTS[1]) + "\\Vigilon Corp"));
}
