// Installation repair: values of older versions, the uninstall entry and the program copies.
#include "startup_fixture.h"

#include "Configuration.h"
#include "InstallRepair.h"

using namespace NS_RegistryKey;

namespace
{
std::string EntryPath(const char* pszName)
{
    return std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + pszName;
}

void CreateConfigurationSubKeys()
{
    for (const char* pszSubKey : {"Exclusion File Configuration", "Real Time Scan Configuration",
                                  "Manual Scan Configuration", "Prescheduled Scan Configuration"})
    {
        CRegKey key;
        key.Create(HKEY_LOCAL_MACHINE, (std::string(GetCurrentVersionKeyName()) + "\\" + pszSubKey).c_str());
    }
}
}

TEST_F(StartupTest, RepairOfAnOlderVersionsValues)
{
    struct
    {
        DWORD dwMode;
        bool fAllSubKeys;
        const char* pszProxyPort;    // NULL: stored as the DWORD 3128
        const char *pszProxyAfter, *pszVirtualPath, *pszMaster, *pszServer;
    } cases[] = {
        {1, false, "8080", "dword:8080", "<missing>", "<missing>", "s.example"},
        {1, false, NULL, "dword:3128", "<missing>", "<missing>", "s.example"},
        {1, false, " 81x", "dword:81", "<missing>", "<missing>", "s.example"},
        {0, false, NULL, "<missing>", "<missing>", "\\\\m\\x", "<missing>"},
        {1, true, "8080", "8080", "/Vigilon", "\\\\m\\x", "s.example"},   // nothing to repair
    };
    for (const auto& c : cases)
    {
        CleanUp();
        WriteDword(NULL, "Mode", c.dwMode);
        WriteString(KeyPath(NULL), "Server", "s.example");
        WriteString(KeyPath(NULL), "VirtualPath", "/Vigilon");
        WriteString(KeyPath(NULL), "MasterDirectory", "\\\\m\\x");
        if (c.pszProxyPort != NULL)
            WriteString(KeyPath(NULL), "ProxyPort", c.pszProxyPort);
        else
            WriteDword(NULL, "ProxyPort", 3128);
        if (c.fAllSubKeys)
            CreateConfigurationSubKeys();
        RecoverOldRegistry();
        std::string strCase = std::to_string(c.dwMode) + "," + (c.pszProxyPort ? c.pszProxyPort : "dword");
        EXPECT_EQ(c.pszProxyAfter, ReadValue(KeyPath(NULL), "ProxyPort")) << strCase;
        EXPECT_EQ(c.pszVirtualPath, ReadValue(KeyPath(NULL), "VirtualPath")) << strCase;
        EXPECT_EQ(c.pszMaster, ReadValue(KeyPath(NULL), "MasterDirectory")) << strCase;
        EXPECT_EQ(c.pszServer, ReadValue(KeyPath(NULL), "Server")) << strCase;
        // The entry is created; its command needs the program folder, which this key lacks.
        EXPECT_EQ(c.fAllSubKeys ? "<no key>" : "<missing>", ReadValue(EntryPath("Vigilon95"), "UninstallString"))
            << strCase;
    }
}

TEST_F(StartupTest, UninstallEntryIsCreatedOnceAndRenamedOnlyByTheShortcutCheck)
{
    WriteString(KeyPath(NULL), "Application Path", "C:\\Vgl\\");
    WriteString(EntryPath("Vigilon 95"), "DisplayName", "old");

    // An empty uninstall program name: neither the old entry goes nor a new one comes.
    WriteWholeFile(SettingsFilePath(), "[INI_CLIENT_SETUP_SECTION]\r\n95_UNINSTALL_FILENAME=\r\n");
    RecoverOldRegistry();
    EXPECT_TRUE(KeyExists(EntryPath("Vigilon 95")));
    EXPECT_FALSE(KeyExists(EntryPath("Vigilon95")));

    // Defaults of the settings file.
    RemoveSettingsFile();
    RecoverOldRegistry();
    EXPECT_FALSE(KeyExists(EntryPath("Vigilon 95")));
    EXPECT_EQ("\"C:\\Vgl\\95roraze.exe\"", ReadValue(EntryPath("Vigilon95"), "UninstallString"));
    EXPECT_EQ("Kavrel Vigilon Win95", ReadValue(EntryPath("Vigilon95"), "DisplayName"));

    // An existing entry is left as it is, whatever the settings file now says.
    WriteWholeFile(SettingsFilePath(), "[INI_CLIENT_SETUP_SECTION]\r\n95_UNINSTALL_DISPLAY_NAME=Renamed\r\n"
                                      "95_UNINSTALL_FILENAME=other.exe\r\n");
    RecoverOldRegistry();
    EXPECT_EQ("Kavrel Vigilon Win95", ReadValue(EntryPath("Vigilon95"), "DisplayName"));
    EXPECT_EQ("\"C:\\Vgl\\95roraze.exe\"", ReadValue(EntryPath("Vigilon95"), "UninstallString"));

    WriteWholeFile(SettingsFilePath(), "[INI_CLIENT_SETUP_SECTION]\r\n95_UNINSTALL_KEY_NAME=Vigilon95\r\n"
                                      "95_UNINSTALL_DISPLAY_NAME=Renamed\r\n");
    CheckShortCutChange();
    EXPECT_EQ("Renamed", ReadValue(EntryPath("Vigilon95"), "DisplayName"));

    // Without a key name the uninstall root itself is not touched.
    WriteWholeFile(SettingsFilePath(), "[INI_CLIENT_SETUP_SECTION]\r\n95_UNINSTALL_DISPLAY_NAME=Stray\r\n");
    CheckShortCutChange();
    EXPECT_EQ("<missing>", ReadValue(UninstallRoot(), "DisplayName"));
}

TEST_F(StartupTest, ProgramCopiesFollowTheShortNames)
{
    std::string strRoot = ScratchFile("programcopies");
    std::string strSub = strRoot + "\\Lang";
    CreateDirectoryA(strRoot.c_str(), NULL);
    CreateDirectoryA(strSub.c_str(), NULL);
    struct { std::string strFile; const char* pszBefore; const char* pszAfter; } files[] = {
        {strRoot + "\\95did.exe", "update 2", "update 2"},
        {strRoot + "\\VigilonUpdate.exe", "update 1", "update 2"},
        {strRoot + "\\VigilonUpdate.dll", "res 1", "res 1"},   // no 95did.dll: kept
        {strRoot + "\\95roraze.exe", "uninstall 2", "uninstall 2"},
        {strRoot + "\\VigilonUninstall.exe", "uninstall 1", "uninstall 2"},
        {strSub + "\\95roraze.dll", "lang 2", "lang 2"},
        {strSub + "\\VigilonUninstall.dll", "lang 1", "lang 2"},
    };
    for (const auto& f : files)
        WriteWholeFile(f.strFile, f.pszBefore);
    WriteString(KeyPath(NULL), "Application Path", (strRoot + "\\").c_str());

    PrepareProgramCopies();
    for (const auto& f : files)
        EXPECT_EQ(f.pszAfter, ReadWholeFile(f.strFile)) << f.strFile;
}
