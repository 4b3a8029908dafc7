// CGI paths of the product key and the stored passwords in both scrambled forms.
#include "productkey_fixture.h"

#include "CryptString.h"
#include "KeyedCipher.h"

#include <string>
#include <vector>

using namespace NS_RegistryKey;

namespace
{
#define CGI(f) []() -> std::string { return (LPCSTR)NS_RegistryKey::f(); }

std::string CryptForm(const std::string& strPlain)
{
    std::vector<char> buffer(NewEncryptStrSize(strPlain.size()));
    EXPECT_EQ(1, NewEncryptStr(strPlain.c_str(), &buffer[0], buffer.size()));
    return &buffer[0];
}

std::string KeyedHexForm(const std::string& strPlain)
{
    int nSize = 2 * (int)strPlain.size() + 1;
    std::vector<char> buffer(nSize);
    EXPECT_EQ(0, PWDEncrypt(&buffer[0], strPlain.c_str(), &nSize));
    return &buffer[0];
}

std::string KeyedHexToPlain(const std::string& strHex)
{
    int nSize = (int)strHex.size() / 2 + 2;
    std::vector<char> buffer(nSize);
    EXPECT_EQ(0, PWDDecrypt(&buffer[0], strHex.c_str(), &nSize));
    return &buffer[0];
}

std::string Password(size_t nLength)
{
    std::string str;
    for (size_t i = 0; i < nLength; ++i)
        str += (char)('a' + i % 26);
    return str;
}

const char SECRET_MD5[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";   // MD5 of "secret"
const char INTERNET[] = "Internet Settings";
}

class CgiPasswordsTest : public ProductKeyTest
{
};

TEST_F(CgiPasswordsTest, PlainCgiPathsAreReadAsStored)
{
    struct { const char* pszName; std::string (*pfnGet)(); } cases[] = {
        {"CgiCheckIP", CGI(GetCgiCheckIP)},
        {"CgiOnStart", CGI(GetCgiOnStart)},
        {"CgiOnClose", CGI(GetCgiOnClose)},
        {"CgiOnScan", CGI(GetCgiOnScan)},
        {"CgiOnUpdate", CGI(GetCgiOnUpdate)},
        {"CgiOnUninstall", CGI(GetCgiOnUninstall)},
        {"CgiOnLog", CGI(GetCgiOnLog)},
        {"CgiOnRequestIni", CGI(GetCgiOnRequestIni)},
        {"CgiOnRequestUpdate", CGI(GetCgiOnRequestUpdate)},
        {"CgiOnRequestAlertMessage", CGI(GetCgiOnRequestAlertMessage)},
        {"CgiOnRequestConfiguration", CGI(GetCgiOnRequestConfiguration)},
        {"CgiOnExclusionFileConfiguration", CGI(GetCgiOnExclusionFileConfiguration)},
        {"CgiOnManualScanConfiguration", CGI(GetCgiOnManualScanConfiguration)},
        {"CgiOnRealtimeScanConfiguration", CGI(GetCgiOnRealtimeScanConfiguration)},
        {"CgiOnScheduleScanConfiguration", CGI(GetCgiOnScheduleScanConfiguration)},
    };
    for (const auto& c : cases)
        EXPECT_EQ("", c.pfnGet()) << c.pszName;
    CreateKey();
    for (const auto& c : cases)
    {
        EXPECT_EQ("", c.pfnGet()) << c.pszName;
        EXPECT_FALSE(HasValue(NULL, c.pszName)) << c.pszName;
        std::string strPath = std::string("/Vigilon/Cgi/") + c.pszName + ".exe";
        WriteString(NULL, c.pszName, strPath.c_str());
        EXPECT_EQ(strPath, c.pfnGet()) << c.pszName;
    }
}

TEST_F(CgiPasswordsTest, FileBasedModeGivesRecordNamesForScanConfigurations)
{
    struct { const char* pszName; std::string (*pfnGet)(); const char* pszRecord; } cases[] = {
        {"CgiOnExclusionFileConfiguration", CGI(GetCgiOnExclusionFileConfiguration), "ExclusiveFile"},
        {"CgiOnManualScanConfiguration", CGI(GetCgiOnManualScanConfiguration), "ManualScan"},
        {"CgiOnRealtimeScanConfiguration", CGI(GetCgiOnRealtimeScanConfiguration), "RealtimeScan"},
        {"CgiOnScheduleScanConfiguration", CGI(GetCgiOnScheduleScanConfiguration), "ScheduleScan"},
    };
    g_fHttpBased = FALSE;
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.pszRecord, c.pfnGet()) << c.pszName;   // even without the key
        WriteString(NULL, c.pszName, "/Vigilon/Cgi/stored.exe");
        EXPECT_EQ(c.pszRecord, c.pfnGet()) << c.pszName;
    }
}

TEST_F(CgiPasswordsTest, MissingOrEmptyCgiPathsGetTheirDefaultStored)
{
    struct { const char* pszName; std::string (*pfnGet)(); const char* pszDefault; } cases[] = {
        {"CgiOnScanResult", CGI(GetCgiOnScanResult), "/Vigilon/Cgi/CgiOnScanResult.dll"},
        {"CgiOnZavuzResult", CGI(GetCgiOnZavuzResult), "/Vigilon/Cgi/cgiRqOpp.exe"},
        {"cgiOnQueryClientBindPort", CGI(GetCgiOnQueryClientBindPort),
         "/Vigilon/Cgi/cgiOnQueryClientBindPort.exe"},
        {"CgiOnSpecialLog", CGI(GetCgiOnSpecialLog), "/Vigilon/Cgi/cgiOnSpecialLog.exe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ("", c.pfnGet()) << c.pszName;              // no key: empty, nothing created
    EXPECT_FALSE(KeyExists());

    CreateKey();
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.pszDefault, c.pfnGet()) << c.pszName;
        EXPECT_EQ(c.pszDefault, ReadString(NULL, c.pszName));
        WriteString(NULL, c.pszName, "");
        EXPECT_EQ(c.pszDefault, c.pfnGet()) << c.pszName;
        EXPECT_EQ(c.pszDefault, ReadString(NULL, c.pszName));
        WriteString(NULL, c.pszName, "/Other/cgi.exe");
        EXPECT_EQ("/Other/cgi.exe", c.pfnGet()) << c.pszName;
    }
}

TEST_F(CgiPasswordsTest, HotFixPathDefaultIsNotStored)
{
    EXPECT_EQ("/Vigilon/Cgi/cgiRqHotFix.exe", std::string(GetCgiOnRequestHotFix()));
    CreateKey();
    EXPECT_EQ("/Vigilon/Cgi/cgiRqHotFix.exe", std::string(GetCgiOnRequestHotFix()));
    EXPECT_FALSE(HasValue(NULL, "CgiOnRequestHotFix"));
    WriteString(NULL, "CgiOnRequestHotFix", "/x/hf.exe");
    EXPECT_EQ("/x/hf.exe", std::string(GetCgiOnRequestHotFix()));
}

TEST_F(CgiPasswordsTest, ProxyPasswordIsReadFromEitherStoredForm)
{
    // Long forms overran the fixed buffer of the reader.
    std::string strLong = Password(462), strVeryLong = Password(2000);
    struct { std::string strStored; std::string strPlain; } cases[] = {
        {KeyedHexForm("proxy-pw"), "proxy-pw"},
        {CryptForm("proxy-pw"), "proxy-pw"},
        {CryptForm("null"), ""},
        {"", ""},
        {CryptForm(strLong), strLong},
        {CryptForm(strVeryLong), strVeryLong},
        {KeyedHexForm(strLong), strLong},
    };
    EXPECT_EQ("", std::string(GetProxyPassword()));
    for (const auto& c : cases)
    {
        WriteString(NULL, "ProxyPassword", c.strStored.c_str());
        EXPECT_EQ(c.strPlain, std::string(GetProxyPassword())) << c.strStored;
    }
}

TEST_F(CgiPasswordsTest, InternetProxyPasswordIsStoredScrambledAndReadBack)
{
    EXPECT_FALSE(SetInternetProxyPassword("pw"));   // no subkey
    CreateKey(INTERNET);
    for (size_t nLength : {0u, 1u, 20u, 45u})
    {
        std::string strPlain = Password(nLength);
        EXPECT_TRUE(SetInternetProxyPassword(strPlain.c_str())) << nLength;
        std::string strStored = ReadString(INTERNET, "ProxyPassword");
        EXPECT_EQ(0u, strStored.find("!CRYPT!")) << strStored;
        EXPECT_EQ(strPlain, std::string(GetInternetProxyPassword())) << nLength;
    }
}

TEST_F(CgiPasswordsTest, InternetProxyPasswordThatWouldNotReadBackIsRefused)
{
    CreateKey(INTERNET);
    ASSERT_TRUE(SetInternetProxyPassword("kept"));
    std::string strKept = ReadString(INTERNET, "ProxyPassword");
    for (size_t nLength : {46u, 462u, 5000u})
    {
        EXPECT_FALSE(SetInternetProxyPassword(Password(nLength).c_str())) << nLength;
        EXPECT_EQ(strKept, ReadString(INTERNET, "ProxyPassword")) << nLength;
    }
    EXPECT_EQ("kept", std::string(GetInternetProxyPassword()));
}

TEST_F(CgiPasswordsTest, InternetProxyPasswordStoredFormsFromElsewhere)
{
    struct { std::string strStored; std::string strPlain; } cases[] = {
        {KeyedHexForm("old-pw"), "old-pw"},          // older keyed hex form
        {CryptForm("null"), ""},
        {CryptForm(Password(46)), ""},               // 130 characters: not read
    };
    for (const auto& c : cases)
    {
        WriteString(INTERNET, "ProxyPassword", c.strStored.c_str());
        EXPECT_EQ(c.strPlain, std::string(GetInternetProxyPassword())) << c.strStored;
    }
}

TEST_F(CgiPasswordsTest, InternetPasswordIsStoredAsKeyedHex)
{
    EXPECT_FALSE(SetInternetPassword("pw"));   // no subkey
    CreateKey(INTERNET);
    for (size_t nLength : {0u, 8u, 63u})
    {
        std::string strPlain = Password(nLength);
        EXPECT_TRUE(SetInternetPassword(strPlain.c_str())) << nLength;
        std::string strStored = ReadString(INTERNET, "Password");
        EXPECT_EQ(2 * nLength, strStored.size());
        EXPECT_EQ(strPlain, KeyedHexToPlain(strStored));
        EXPECT_EQ(strPlain, std::string(GetInternetPassword())) << nLength;
    }
    // 64 characters give 128 hex digits, more than can be read back.
    EXPECT_FALSE(SetInternetPassword(Password(64).c_str()));
    EXPECT_EQ(Password(63), std::string(GetInternetPassword()));
}

TEST_F(CgiPasswordsTest, UnloadAndUninstallPasswordDigests)
{
    struct { const char* pszName; std::string (*pfnGet)(); } values[] = {
        {"Unload_Pwd", CGI(GetUnloadPasswordDigest)},
        {"Uninstall_Pwd", CGI(GetUninstallPasswordDigest)},
    };
    struct { std::string strStored; std::string strDigest; } cases[] = {
        {KeyedHexForm("secret"), SECRET_MD5},     // the password: digested here
        {CryptForm(SECRET_MD5), SECRET_MD5},      // the digest itself: unwrapped only
        {"", ""},                                 // no password set
    };
    for (const auto& v : values)
    {
        EXPECT_EQ("", v.pfnGet()) << v.pszName;
        for (const auto& c : cases)
        {
            WriteString(NULL, v.pszName, c.strStored.c_str());
            EXPECT_EQ(c.strDigest, v.pfnGet()) << v.pszName << " " << c.strStored;
        }
    }
}
