// The product key's values: defaults without the key, defaults of missing values (some
// written back), stored values, setters, and the "Internet Settings" subkey.
#include "productkey_fixture.h"

#include "Configuration.h"

#include <string>
#include <vector>

using namespace NS_RegistryKey;

namespace
{
#define NUMBER(f) []() -> DWORD { return (DWORD)NS_RegistryKey::f(); }
#define ALLOWCFG(k) []() -> DWORD { return (DWORD)NS_RegistryKey::GetAllowCfg(k); }

struct NumberCase
{
    const char* pszSubKey;    // NULL: the product key
    const char* pszName;
    DWORD (*pfnGet)();
    DWORD dwMissing;          // value missing
    DWORD dwNoKey;            // key missing
    bool fWrittenBack;
    DWORD dwStored;           // stored, and what the getter then returns
    DWORD dwRead;
};

const char* const RTSC = "Real Time Scan Configuration";

const NumberCase g_numberCases[] = {
    {NULL, "Mode", NUMBER(IsHttpBasedEx), FALSE, TRUE, false, 1, TRUE},
    {NULL, "EndSessionTimeout", NUMBER(GetEndSessionTimeout), 12000, 12000, true, 5000, 5000},
    {NULL, "ServerPort", NUMBER(GetServerPort), 80, 80, false, 8080, 8080},
    {NULL, "UseProxy", NUMBER(GetUseProxy), FALSE, FALSE, false, 2, TRUE},
    {NULL, "ProxyPort", NUMBER(GetProxyPort), 80, 80, false, 3128, 3128},
    {NULL, "LocalServerPort", NUMBER(GetLocalServerPort), 12345, 12345, false, 23456, 23456},
    {NULL, "Check IP Change Interval", NUMBER(GetCheckIPChangeInterval), 0, 180, false, 60, 60},
    {NULL, "Encrypt_Notification_Msg", NUMBER(GetEncryptNotificationMsg), TRUE, TRUE, false, 0, FALSE},
    {NULL, "RefreshAllSetting", NUMBER(GetRefreshAllSetting), 0, 0, false, 1, 1},
    {NULL, "FindNewServer", NUMBER(GetFindNewServer), 0, 0, false, 1, 1},
    {NULL, "Filebase Skip First Update", NUMBER(GetFilebaseSkipFirstUpdate), 0, 0, false, 1, 1},
    {NULL, "Allow Unload", NUMBER(GetAllowUnload), FALSE, FALSE, false, 2, TRUE},
    {NULL, "Allow Uninstall", NUMBER(GetAllowUninstall), FALSE, FALSE, false, 2, TRUE},
    {NULL, "Allow Mobile", NUMBER(IsAllowedMobile), FALSE, FALSE, false, 2, TRUE},
    {NULL, "ForceMobile", NUMBER(IsForceMobileEx), FALSE, FALSE, false, 2, TRUE},
    {NULL, "AllowStopScheduleScan", NUMBER(GetAllowStopScheduleScan), FALSE, FALSE, false, 2, TRUE},
    {NULL, "AllowUpdateFromKVNF", NUMBER(GetAllowUpdateFromKVNF), FALSE, FALSE, false, 2, TRUE},
    {NULL, "AllowUpdateFromOtherNF", NUMBER(GetAllowUpdateFromOtherNF), FALSE, FALSE, false, 2, TRUE},
    {NULL, "DiskReserved", NUMBER(GetDiskReserved), 20, 20, false, 50, 50},
    {NULL, "PatternTooOldDays", NUMBER(GetPatternTooOldDays), 13, 13, false, 30, 30},
    {NULL, "PatternTooOldWarningOnOff", NUMBER(GetPatternTooOldWarningOnOff), FALSE, FALSE, false, 2, TRUE},
    {NULL, "WatchDogOnOff", NUMBER(GetWatchDogOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "NFCacheOnOff", NUMBER(GetNFCacheOnOff), 0, 0, false, 1, 1},
    {NULL, "MailScanPageOnOff", NUMBER(GetMailScanPageOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "ToolPageOnOff", NUMBER(GetToolPageOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "QuelmailOnOff", NUMBER(GetQuelmailOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "OutlookScanOnOff", NUMBER(GetOutlookScanOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "AerlumeOnOff", NUMBER(GetAerlumeOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "CheckPointSecureClientOnOff", NUMBER(GetCheckPointSecureClientOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "ProxySettingOnOff", NUMBER(GetProxySettingOnOff), TRUE, TRUE, false, 0, FALSE},
    {NULL, "Log Remaining Days", NUMBER(GetLogRemainingDays), 15, 15, false, 30, 30},
    {NULL, "ProgramUpdate Pending", NUMBER(GetProgramUpdatePending), FALSE, FALSE, true, 1, TRUE},
    {NULL, "Update Pending", NUMBER(GetHotFixPendingFlag), 0, 0, false, 2, 2},
    {NULL, "Show In Task Manager", NUMBER(GetShowInTaskManager), FALSE, FALSE, false, 2, TRUE},
    {NULL, "ShowSplash", NUMBER(GetShowSplash), TRUE, TRUE, false, 0, FALSE},
    {NULL, "Show Window On Multiple Instances", NUMBER(GetShowWindowOnMultipleInstances), FALSE, TRUE, false, 2, TRUE},
    {NULL, "Debug", NUMBER(GetDebug), FALSE, FALSE, false, 2, TRUE},
    {NULL, "DebugEnable", NUMBER(GetDebugEnable), TRUE, TRUE, false, 0, FALSE},
    {"Manual Scan Configuration", "AllowCfg", ALLOWCFG(0), FALSE, FALSE, false, 2, TRUE},
    {RTSC, "AllowCfg", ALLOWCFG(1), FALSE, FALSE, false, 2, TRUE},
    {"Prescheduled Scan Configuration", "AllowCfg", ALLOWCFG(2), FALSE, FALSE, false, 2, TRUE},
    {"Exclusion File Configuration", "AllowCfg", ALLOWCFG(3), FALSE, FALSE, false, 2, TRUE},
    {"Schedule Update", "AllowScheduleUpdate", NUMBER(GetAllowScheduleUpdate), FALSE, FALSE, false, 2, TRUE},
};

#define TEXT_GETTER(f) []() -> std::string { return (LPCSTR)NS_RegistryKey::f(); }

struct TextCase
{
    const char* pszSubKey;
    const char* pszName;
    std::string (*pfnGet)();
    BOOL (*pfnSet)(const char*);   // NULL: no setter
};

const TextCase g_textCases[] = {
    {NULL, "Application Path", TEXT_GETTER(GetApplicationPath), NULL},
    {NULL, "Application Filename", TEXT_GETTER(GetApplicationFilename), NULL},
    {NULL, "Domain", TEXT_GETTER(GetDomain), NULL},
    {NULL, "Install Date", TEXT_GETTER(GetInstallDate), NULL},
    {NULL, "Install Time", TEXT_GETTER(GetInstallTime), NULL},
    {NULL, "FolderName", TEXT_GETTER(GetFolderName), NULL},
    {NULL, "DesktopShortcutFile", TEXT_GETTER(GetDesktopShortcutFile), NULL},
    {NULL, "HotFix DateTime", TEXT_GETTER(GetHotFixDateTime), SetHotFixDateTime},
    {NULL, "Program Version", TEXT_GETTER(GetProgramVersion),
     [](const char* psz) -> BOOL { return SetProgramVersion(psz) == ERROR_SUCCESS; }},
    {NULL, "ServerIP", TEXT_GETTER(GetServerIP), NULL},
    {NULL, "ProxyServer", TEXT_GETTER(GetProxyServer), NULL},
    {NULL, "ProxyServerIP", TEXT_GETTER(GetProxyServerIP), NULL},
    {NULL, "ProxyLogin", TEXT_GETTER(GetProxyLogin), NULL},
    {NULL, "ClientString", TEXT_GETTER(GetClientString), SetClientString},
    {NULL, "MasterDirectory", TEXT_GETTER(GetMasterDirectory), NULL},
    {RTSC, "MoveDir", TEXT_GETTER(GetMoveDir), NULL},
};

// Longer than any fixed buffer of the store: the getters ask for the size first.
std::string LongText(const char* pszName)
{
    return std::string(pszName) + ":" + std::string(700, 'x');
}

struct NumberSetterCase
{
    const char* pszName;
    BOOL (*pfnSet)(DWORD);
    bool fHasResult;
};

const NumberSetterCase g_numberSetterCases[] = {
    {"LocalServerPort", SetLocalServerPort, true},
    {"Filebase Skip First Update", SetFilebaseSkipFirstUpdate, true},
    {"ProgramUpdate Pending", [](DWORD dw) -> BOOL { return SetProgramUpdatePending(dw); }, true},
    {"Update Pending", [](DWORD dw) -> BOOL { return SetHotFixPendingFlag(dw); }, true},
    {"ForceMobile", [](DWORD dw) -> BOOL { return SetForceMobile(dw); }, true},
    {"RefreshAllSetting", [](DWORD dw) -> BOOL { SetRefreshAllSetting(dw); return TRUE; }, false},
    {"FindNewServer", [](DWORD dw) -> BOOL { SetFindNewServer(dw); return TRUE; }, false},
    {"Log Remaining Days", [](DWORD dw) -> BOOL { SetLogRemainingDays(dw); return TRUE; }, false},
};
}

class RegistryKeyTest : public ProductKeyTest
{
};

TEST_F(RegistryKeyTest, WithoutTheProductKeyEveryGetterGivesItsDefaultAndCreatesNothing)
{
    for (const NumberCase& c : g_numberCases)
        EXPECT_EQ(c.dwNoKey, c.pfnGet()) << c.pszName;
    for (const TextCase& c : g_textCases)
        EXPECT_EQ("", c.pfnGet()) << c.pszName;
    EXPECT_EQ("", std::string(GetGUID()));
    EXPECT_FALSE(KeyExists());
}

TEST_F(RegistryKeyTest, MissingValuesGiveDefaultsAndOnlyMarkedOnesAreWrittenBack)
{
    CreateKey();
    for (const NumberCase& c : g_numberCases)
    {
        if (c.pszSubKey != NULL)
            CreateKey(c.pszSubKey);
        EXPECT_EQ(c.dwMissing, c.pfnGet()) << c.pszName;
        EXPECT_EQ(c.fWrittenBack, HasValue(c.pszSubKey, c.pszName)) << c.pszName;
        if (c.fWrittenBack)
        {
            EXPECT_EQ(c.dwMissing, ReadDword(c.pszSubKey, c.pszName)) << c.pszName;
        }
    }
    for (const TextCase& c : g_textCases)
        EXPECT_EQ("", c.pfnGet()) << c.pszName;
}

TEST_F(RegistryKeyTest, StoredValuesAreReadBack)
{
    for (const NumberCase& c : g_numberCases)
    {
        WriteDword(c.pszSubKey, c.pszName, c.dwStored);
        EXPECT_EQ(c.dwRead, c.pfnGet()) << c.pszName;
    }
    for (const TextCase& c : g_textCases)
    {
        WriteString(c.pszSubKey, c.pszName, LongText(c.pszName).c_str());
        EXPECT_EQ(LongText(c.pszName), c.pfnGet()) << c.pszName;
    }
}

TEST_F(RegistryKeyTest, SettersWriteOnlyIntoAnExistingKey)
{
    for (const TextCase& c : g_textCases)
    {
        if (c.pfnSet != NULL)
        {
            EXPECT_FALSE(c.pfnSet("x")) << c.pszName;
        }
    }
    for (const NumberSetterCase& c : g_numberSetterCases)
    {
        BOOL fResult = c.pfnSet(1);
        if (c.fHasResult)
        {
            EXPECT_FALSE(fResult) << c.pszName;
        }
    }
    EXPECT_FALSE(KeyExists());

    CreateKey();
    for (const TextCase& c : g_textCases)
    {
        if (c.pfnSet == NULL)
            continue;
        EXPECT_TRUE(c.pfnSet("20261210 1200")) << c.pszName;
        EXPECT_EQ("20261210 1200", ReadString(NULL, c.pszName)) << c.pszName;
    }
    for (const NumberSetterCase& c : g_numberSetterCases)
    {
        EXPECT_TRUE(c.pfnSet(1)) << c.pszName;
        EXPECT_EQ(1u, ReadDword(NULL, c.pszName)) << c.pszName;
    }
}

TEST_F(RegistryKeyTest, ForceMobileFlagFollowsOnlyASuccessfulWrite)
{
    EXPECT_FALSE(SetForceMobile(TRUE));
    EXPECT_FALSE(IsForceMobile());

    CreateKey();
    EXPECT_TRUE(SetForceMobile(TRUE));
    EXPECT_TRUE(IsForceMobile());
    EXPECT_TRUE(IsForceMobileEx());
    EXPECT_TRUE(SetForceMobile(FALSE));
    EXPECT_FALSE(IsForceMobile());
}

TEST_F(RegistryKeyTest, AllowUpdateNowTouchesItsOutputOnlyWhenStored)
{
    DWORD dwAllow = 7;
    EXPECT_FALSE(GetAllowUpdateNow(&dwAllow));
    EXPECT_EQ(7u, dwAllow);

    CreateKey();
    EXPECT_TRUE(GetAllowUpdateNow(&dwAllow));
    EXPECT_EQ(7u, dwAllow);
    EXPECT_FALSE(HasValue(NULL, "AllowUpdateNow"));

    WriteDword(NULL, "AllowUpdateNow", 0);
    EXPECT_TRUE(GetAllowUpdateNow(&dwAllow));
    EXPECT_EQ(0u, dwAllow);
}

TEST_F(RegistryKeyTest, ProgramVersionNumbers)
{
    struct { const char* pszVersion; DWORD dwMajor, dwMinor; } cases[] = {
        {"5.58", 5, 58}, {"5.5", 5, 50}, {"6", 6, 0}, {"5.07", 5, 7},
    };
    CreateKey();
    for (const auto& c : cases)
    {
        ASSERT_EQ(ERROR_SUCCESS, SetProgramVersion(c.pszVersion));
        DWORD dwMajor = 99, dwMinor = 99;
        EXPECT_TRUE(GetProgramVersionNumbers(&dwMajor, &dwMinor)) << c.pszVersion;
        EXPECT_EQ(c.dwMajor, dwMajor) << c.pszVersion;
        EXPECT_EQ(c.dwMinor, dwMinor) << c.pszVersion;
    }

    WriteString(NULL, "Program Version", "");
    DWORD dwMajor = 99, dwMinor = 99;
    EXPECT_FALSE(GetProgramVersionNumbers(&dwMajor, &dwMinor));
    EXPECT_EQ(99u, dwMajor);
    EXPECT_EQ(99u, dwMinor);
}

TEST_F(RegistryKeyTest, GuidAndItsDigitSum)
{
    EXPECT_EQ(0u, GetGUIDDigitSum());

    // '0'..'9', 'A'..'F', 'a'..'f' count; braces, hyphens and 'g' do not.
    WriteString(NULL, "GUID", "{09-AF-af-g}");
    EXPECT_EQ("{09-AF-af-g}", std::string(GetGUID()));
    EXPECT_EQ(DWORD('0' + '9' + 'A' + 'F' + 'a' + 'f'), GetGUIDDigitSum());

    // At most 100 bytes are read.
    std::string strLong(100, 'A');
    WriteString(NULL, "GUID", strLong.c_str());
    EXPECT_EQ("", std::string(GetGUID()));
    EXPECT_EQ(0u, GetGUIDDigitSum());
    WriteString(NULL, "GUID", strLong.substr(1).c_str());
    EXPECT_EQ(strLong.substr(1), std::string(GetGUID()));
    // The update and uninstall programs' form reads the value whole.
    WriteString(NULL, "GUID", strLong.c_str());
    EXPECT_EQ(strLong, std::string(GetApplicationGUIDString()));
}

TEST_F(RegistryKeyTest, InstallationValuesInTheCallersText)
{
    CString strPath("stale"), strName("stale");
    GetApplicationPath(strPath);
    GetApplicationFilename(strName);
    EXPECT_EQ("", std::string(strPath));
    EXPECT_EQ("", std::string(strName));
    WriteString(NULL, "Application Path", "C:\\Program Files\\Vigilon\\");
    WriteString(NULL, "Application Filename", "Ksxwin97.exe");
    GetApplicationPath(strPath);
    GetApplicationFilename(strName);
    EXPECT_EQ("C:\\Program Files\\Vigilon\\", std::string(strPath));
    EXPECT_EQ("Ksxwin97.exe", std::string(strName));

    // The FQDN-first flag: read, stored and returned; kept without the key.
    g_fFQDNFirst = FALSE;
    WriteDword(NULL, "FqdnFirstOnOff", 1);
    EXPECT_TRUE(ReadFQDNFirst());
    EXPECT_TRUE(g_fFQDNFirst);
    DeleteProductKey();
    EXPECT_TRUE(ReadFQDNFirst());
    CreateKey();
    EXPECT_FALSE(ReadFQDNFirst());
    g_fFQDNFirst = FALSE;
}

TEST_F(RegistryKeyTest, ProxyServerAndPortReadTogetherOnlyWhenAsked)
{
    WriteString(NULL, "ProxyServer", "proxy.example");
    CString strServer("unchanged");
    WORD wPort = 1;
    GetProxyServerAndPort(strServer, &wPort, FALSE);
    EXPECT_EQ("unchanged", std::string(strServer));
    EXPECT_EQ(1, wPort);

    GetProxyServerAndPort(strServer, &wPort, TRUE);
    EXPECT_EQ("proxy.example", std::string(strServer));
    EXPECT_EQ(0, wPort);

    WriteDword(NULL, "ProxyPort", 8080);
    GetProxyServerAndPort(strServer, &wPort, TRUE);
    EXPECT_EQ(8080, wPort);
}

TEST_F(RegistryKeyTest, AllowCfgOfAnUnknownKindIsFalse)
{
    for (int iKind = 0; iKind < 4; ++iKind)
    {
        static const char* const apszKeys[] = {"Manual Scan Configuration", RTSC,
                                               "Prescheduled Scan Configuration",
                                               "Exclusion File Configuration"};
        WriteDword(apszKeys[iKind], "AllowCfg", 1);
    }
    WriteDword(NULL, "AllowCfg", 1);
    EXPECT_FALSE(GetAllowCfg(-1));
    EXPECT_FALSE(GetAllowCfg(4));
    EXPECT_TRUE(GetAllowCfg(3));
}

TEST_F(RegistryKeyTest, DebugLogBySwitchValueOrSwitchFile)
{
    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, MAX_PATH);
    std::string strSwitch = std::string(szWindows, 2) + "\\vgl95dbg.ini";
    DeleteFileA(strSwitch.c_str());

    EXPECT_FALSE(IsDebugLogEnabled());
    WriteDword(NULL, "DebugLog", 0);
    EXPECT_FALSE(IsDebugLogEnabled());
    WriteDword(NULL, "DebugLog", 1);
    EXPECT_TRUE(IsDebugLogEnabled());

    WriteDword(NULL, "DebugLog", 0);
    HANDLE h = CreateFileA(strSwitch.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_TRUE(IsDebugLogEnabled());
    DeleteFileA(strSwitch.c_str());
}

TEST_F(RegistryKeyTest, InternetSettingsValuesRoundTrip)
{
    EXPECT_EQ("Software\\Kavrel\\VigilonCorp\\CurrentVersion\\Internet Settings",
              std::string(GetInternetSettingsKeyName()));

    struct TextPair { const char* pszName; BOOL (*pfnSet)(const char*); std::string (*pfnGet)(); };
    const TextPair texts[] = {
        {"Server", SetInternetServer, TEXT_GETTER(GetInternetServer)},
        {"User name", SetInternetUserName, TEXT_GETTER(GetInternetUserName)},
        {"ProxyServer", SetInternetProxyServer, TEXT_GETTER(GetInternetProxyServer)},
        {"ProxyLogin", SetInternetProxyLogin, TEXT_GETTER(GetInternetProxyLogin)},
    };
    struct NumberPair { const char* pszName; BOOL (*pfnSet)(DWORD); DWORD (*pfnGet)(); DWORD dwValue; };
    const NumberPair numbers[] = {
        {"ServerPort", SetInternetServerPort, NUMBER(GetInternetServerPort), 8080},
        {"ProxyPort", SetInternetProxyPort, NUMBER(GetInternetProxyPort), 3128},
        {"Use Anonymous", [](DWORD dw) -> BOOL { return SetInternetUseAnonymous(dw); },
         NUMBER(GetInternetUseAnonymous), TRUE},
        {"UseProxy", [](DWORD dw) -> BOOL { return SetInternetUseProxy(dw); },
         NUMBER(GetInternetUseProxy), TRUE},
    };

    // No subkey: nothing is written, getters give empty texts and 0.
    CreateKey();
    for (const TextPair& t : texts)
    {
        EXPECT_FALSE(t.pfnSet("x")) << t.pszName;
        EXPECT_EQ("", t.pfnGet()) << t.pszName;
    }
    for (const NumberPair& n : numbers)
    {
        EXPECT_FALSE(n.pfnSet(n.dwValue)) << n.pszName;
        EXPECT_EQ(0u, n.pfnGet()) << n.pszName;
    }
    EXPECT_FALSE(KeyExists("Internet Settings"));

    CreateKey("Internet Settings");
    for (const TextPair& t : texts)
    {
        std::string strValue = std::string(t.pszName) + ".example";
        EXPECT_TRUE(t.pfnSet(strValue.c_str())) << t.pszName;
        EXPECT_EQ(strValue, ReadString("Internet Settings", t.pszName));
        EXPECT_EQ(strValue, t.pfnGet()) << t.pszName;
    }
    for (const NumberPair& n : numbers)
    {
        EXPECT_TRUE(n.pfnSet(n.dwValue)) << n.pszName;
        EXPECT_EQ(n.dwValue, ReadDword("Internet Settings", n.pszName));
        EXPECT_EQ(n.dwValue, n.pfnGet()) << n.pszName;
    }
}

TEST_F(RegistryKeyTest, InternetSettingsTextsLongerThan127CharactersReadEmpty)
{
    std::string str127(127, 's');
    WriteString("Internet Settings", "Server", str127.c_str());
    EXPECT_EQ(str127, std::string(GetInternetServer()));
    WriteString("Internet Settings", "Server", (str127 + "s").c_str());
    EXPECT_EQ("", std::string(GetInternetServer()));
}
