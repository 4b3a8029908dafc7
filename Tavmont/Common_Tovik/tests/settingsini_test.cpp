// The settings file "Vglscan.ini" of the Windows folder: the values it seeds and the
// settings read from it directly.
#include "productkey_fixture.h"

#include <string>

using namespace NS_RegistryKey;

class SettingsIniTest : public ProductKeyTest
{
};

TEST_F(SettingsIniTest, PathIsInTheWindowsFolder)
{
    std::string strPath = (LPCSTR)GetVglscanIniPath();
    EXPECT_EQ(0, lstrcmpiA(SettingsFilePath().c_str(), strPath.c_str())) << strPath;
}

TEST_F(SettingsIniTest, PollingRangeIsSeededFromTheFileWhenMissing)
{
    EXPECT_EQ(360u, GetFilebasePollingRange(FALSE));   // no key
    EXPECT_EQ(360u, GetFilebasePollingRange(TRUE));
    EXPECT_FALSE(ResetFilebasePollingRange());
    EXPECT_FALSE(KeyExists());

    CreateKey();
    EXPECT_EQ(360u, GetFilebasePollingRange(FALSE));   // no file: its default, stored
    EXPECT_EQ(360u, ReadDword(NULL, "Filebase Polling Range"));

    InstallSettingsFile("VglScan.ini");
    EXPECT_EQ(360u, GetFilebasePollingRange(FALSE));   // a stored value wins
    EXPECT_EQ(45u, GetFilebasePollingRange(TRUE));     // unless the file is asked for
    EXPECT_EQ(45u, ReadDword(NULL, "Filebase Polling Range"));

    WriteDword(NULL, "Filebase Polling Range", 100);
    EXPECT_TRUE(ResetFilebasePollingRange());
    EXPECT_EQ(45u, ReadDword(NULL, "Filebase Polling Range"));
}

TEST_F(SettingsIniTest, IPTemplateIsSeededFromTheFileOnlyWhenItHasOne)
{
    InstallSettingsFile("VglScan.ini");
    EXPECT_EQ("", std::string(GetIPTemplate()));      // no key
    EXPECT_FALSE(KeyExists());

    CreateKey();
    EXPECT_EQ("10.1.*.*", std::string(GetIPTemplate()));
    EXPECT_EQ("10.1.*.*", ReadString(NULL, "IP Template"));
    WriteString(NULL, "IP Template", "192.168.*.*");
    EXPECT_EQ("192.168.*.*", std::string(GetIPTemplate()));

    DeleteProductKey();
    RemoveSettingsFile();
    CreateKey();
    EXPECT_EQ("", std::string(GetIPTemplate()));
    EXPECT_FALSE(HasValue(NULL, "IP Template"));
}

TEST_F(SettingsIniTest, SettingsReadFromTheFileEachTime)
{
    EXPECT_EQ(0, GetClientUseCgiOnScanResult());
    EXPECT_EQ("", std::string(GetIniMasterDomainName()));

    InstallSettingsFile("VglScan.ini");
    EXPECT_EQ(1, GetClientUseCgiOnScanResult());
    EXPECT_EQ("vglserver.example", std::string(GetIniMasterDomainName()));
    SetIniMasterDomainName("other.example");
    EXPECT_EQ("other.example", std::string(GetIniMasterDomainName()));
    // The rest of the file is kept.
    EXPECT_EQ(1, GetClientUseCgiOnScanResult());
}

TEST_F(SettingsIniTest, WatchDogFallsBackToTheFileOnlyWithoutTheKey)
{
    EXPECT_TRUE(GetWatchDogOnOff());                  // neither key nor file
    InstallSettingsFile("VglScan.ini");
    EXPECT_FALSE(GetWatchDogOnOff());                 // the file's 0
    CreateKey();
    EXPECT_TRUE(GetWatchDogOnOff());                  // key without the value
}
