// Start-up of the configuration store: the first start in either mode, later starts and
// the migration from an older version's keys.
#include "startup_fixture.h"

#include "Configuration.h"
#include "HostLookup.h"
#include "InstallRepair.h"

using namespace NS_RegistryKey;

TEST_F(StartupTest, FirstStartCreatesTheProductKeyFromTheSettingsFile)
{
    // The saved address list of HTTP mode is this computer's list.
    int nAddresses = 0;
    char** ppList = NULL;
    if (getHostIPList(NULL, &ppList) && ppList != NULL)
    {
        while (ppList[nAddresses] != NULL)
            ++nAddresses;
        freeHostIPList(ppList);
    }
    struct { const char* pszSettings; const char* pszGolden; BOOL fHttp; int nAddresses; } cases[] = {
        {"VglScan_http.ini", "startup_http.reg", TRUE, nAddresses},
        {"VglScan_file.ini", "startup_file.reg", FALSE, 0},
    };
    for (const auto& c : cases)
    {
        CleanUp();
        InstallFile(c.pszSettings, SettingsFilePath());
        Destruct();
        Construct();
        ExpectGolden(ExportProductKey(), c.pszGolden);
        EXPECT_EQ(c.fHttp, g_fHttpBased) << c.pszSettings;
        EXPECT_EQ(c.fHttp, g_fFQDNFirst) << c.pszSettings;
        EXPECT_EQ(c.nAddresses, g_nLocalIPCount) << c.pszSettings;
        EXPECT_TRUE(g_fShowRealTimeVirusFoundDlg);
    }
}

TEST_F(StartupTest, CgiPathsStayAbsoluteWhateverMasterUrlHolds)
{
    const struct { const char* pszMasterUrl; const char* pszPrefix; } cases[] = {
        {"", "/Cgi/"},
        {"/Vigilon", "/Vigilon/Cgi/"},
        {"/Vigilon/", "/Vigilon/Cgi/"},
    };
    for (const auto& c : cases)
    {
        CleanUp();
        InstallFile("VglScan_http.ini", SettingsFilePath());
        WritePrivateProfileStringA("INI_SERVER_SECTION", "Master_URL", c.pszMasterUrl, SettingsFilePath().c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, SettingsFilePath().c_str());
        Destruct();
        Construct();
        SCOPED_TRACE(c.pszMasterUrl);
        EXPECT_EQ(std::string(c.pszPrefix) + "cgiOnStart.exe", ReadValue(KeyPath(NULL), "CgiOnStart"));
        EXPECT_EQ(std::string(c.pszPrefix) + "cgiRqHotFix.exe", ReadValue(KeyPath(NULL), "CgiOnRequestHotFix"));
        EXPECT_EQ(std::string(c.pszPrefix) + "cgiOnUnst.exe", std::string(GetCgiOnUninstall()));
    }
}

TEST_F(StartupTest, NoSettingsFileGivesAFileBasedClientWithDefaults)
{
    Construct();
    ExpectGolden(ExportProductKey(), "startup_nosettings.reg");
    EXPECT_FALSE(g_fHttpBased);
}

TEST_F(StartupTest, LaterStartsRefreshOnlyWhatDescribesThisStart)
{
    InstallFile("VglScan_http.ini", SettingsFilePath());
    Construct();
    std::string strGUID = ReadValue(KeyPath(NULL), "GUID");
    ASSERT_EQ(36u, strGUID.size());
    WriteString(KeyPath(NULL), "Program Version", "9.9");
    WriteDword(NULL, "Mobile", 3);
    WriteDword(NULL, "Allow Unload", 0);
    WriteDword(NULL, "FqdnFirstOnOff", 0);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, KeyPath(NULL).c_str(), "Install Date");
    WriteString(KeyPath("Internet Settings"), "Server", "changed.example");
    WriteDword("Schedule Update", "TimeStamp", 5);
    WriteDword("Real Time Scan Configuration", "ShowVirusFoundDlg", 0);
    WriteString(KeyPath("Manual Scan Configuration"), "ExtList", ".KEEP");

    Construct();
    EXPECT_EQ(strGUID, ReadValue(KeyPath(NULL), "GUID"));
    EXPECT_EQ("5.58", ReadValue(KeyPath(NULL), "Program Version"));
    EXPECT_EQ("<missing>", ReadValue(KeyPath(NULL), "Mobile"));
    EXPECT_EQ(3u, g_dwMobile);
    EXPECT_TRUE(IsMobileMode());
    EXPECT_EQ(8u, ReadValue(KeyPath(NULL), "Install Date").size());
    EXPECT_EQ("dword:0", ReadValue(KeyPath(NULL), "Allow Unload"));
    EXPECT_FALSE(g_fFQDNFirst);
    EXPECT_FALSE(g_fShowRealTimeVirusFoundDlg);
    EXPECT_EQ("changed.example", ReadValue(KeyPath("Internet Settings"), "Server"));
    EXPECT_EQ("dword:5", ReadValue(KeyPath("Schedule Update"), "TimeStamp"));
    EXPECT_EQ(".KEEP", ReadValue(KeyPath("Manual Scan Configuration"), "ExtList"));
}

TEST_F(StartupTest, OlderVersionIsMigratedAndItsUninstallEntryReplaced)
{
    ImportFixture("oldversion.reg");
    InstallFile("VglScan_http.ini", SettingsFilePath());
    InstallFile("scansettings.ini", WindowsFile("Vigilon.ini"));   // settings last fetched from the server
    Construct();
    ExpectGolden(ExportProductKey(), "migrated_http.reg");
    EXPECT_EQ("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", ReadValue(KeyPath(NULL), "GUID"));
    EXPECT_EQ("20020314", ReadValue(KeyPath(NULL), "Install Date"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WindowsFile("Vigilon.ini").c_str()));
    EXPECT_TRUE(g_fHttpBased);
    EXPECT_EQ(1u, g_dwMobile);

    std::string strOld = std::string(UninstallRoot()) + "\\Vigilon 95";
    std::string strNew = std::string(UninstallRoot()) + "\\VglScanTest95";
    EXPECT_FALSE(KeyExists(strOld));
    EXPECT_EQ("\"C:\\Program Files\\Vigilon\\95roraze.exe\"", ReadValue(strNew, "UninstallString"));
    EXPECT_EQ("Vigilon Test Client", ReadValue(strNew, "DisplayName"));
}

TEST_F(StartupTest, MigrationIsNeededWhenAValueOfTheModeOrASubkeyIsMissing)
{
    EXPECT_FALSE(IsMigrationNeeded());   // no key
    InstallFile("VglScan_http.ini", SettingsFilePath());
    Construct();
    EXPECT_FALSE(IsMigrationNeeded());
    struct { const char* pszDelete; bool fSubKey; } cases[] = {
        {"CgiCheckIP", false}, {"AllowStopScheduleScan", false}, {"Server", false},
        {"Prescheduled Scan Configuration", true}, {"Exclusion File Configuration", true}};
    for (const auto& c : cases)
    {
        if (c.fSubKey)
        {
            CRegKey key;
            ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, KeyPath(NULL).c_str()));
            key.RecurseDeleteKey(c.pszDelete);
        }
        else
        {
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, KeyPath(NULL).c_str(), c.pszDelete);
        }
        EXPECT_TRUE(IsMigrationNeeded()) << c.pszDelete;
        Construct();
        // Subkeys come back only from the settings last fetched from the server.
        EXPECT_EQ(c.fSubKey, IsMigrationNeeded()) << c.pszDelete;
        if (c.fSubKey)
        {
            InstallFile("scansettings.ini", WindowsFile("Vigilon.ini"));
            Construct();
            EXPECT_FALSE(IsMigrationNeeded()) << c.pszDelete;
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WindowsFile("Vigilon.ini").c_str()));
        }
    }
    // A file-based client needs only its master folder; HTTP values do not count.
    WriteDword(NULL, "Mode", 0);
    EXPECT_TRUE(IsMigrationNeeded());
    WriteString(KeyPath(NULL), "MasterDirectory", "\\\\m\\x");
    EXPECT_FALSE(IsMigrationNeeded());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, KeyPath(NULL).c_str(), "Mode");
    EXPECT_FALSE(IsMigrationNeeded());
}

TEST_F(StartupTest, ScheduleUpdateIntervalsInSeconds)
{
    struct { const char* pszHours; const char* pszMinutes; DWORD dwCheck, dwInterval; } cases[] = {
        {NULL, NULL, 0, 86400},
        {"1", "1440", 3600, 86400},
        {"8760", "525600", 31536000, 31536000},
        {"8761", "525601", 31536000, 31536000},
        {"-1", "600000", 31536000, 31536000},
    };
    for (const auto& c : cases)
    {
        CleanUp();
        std::string strSettings = "[Global Setting]\r\n";
        if (c.pszHours != NULL)
            strSettings += std::string("ScheduleCheckGlobalSetting=") + c.pszHours + "\r\nScheduleUpdateInterval=" +
                           c.pszMinutes + "\r\n";
        WriteWholeFile(SettingsFilePath(), strSettings);
        CreateScheduleUpdateSettings();
        EXPECT_EQ("dword:" + std::to_string(c.dwCheck), ReadValue(KeyPath("Schedule Update"), "ScheduleCheckGlobalSetting"))
            << (c.pszHours ? c.pszHours : "none");
        EXPECT_EQ("dword:" + std::to_string(c.dwInterval), ReadValue(KeyPath("Schedule Update"), "ScheduleUpdateInterval"))
            << (c.pszMinutes ? c.pszMinutes : "none");
        EXPECT_EQ("dword:0", ReadValue(KeyPath("Schedule Update"), "AllowScheduleUpdate"));
    }
}
