#include <gtest/gtest.h>

#include "SystemInfo.h"
#include "VglTestSupport.h"

#include <stdlib.h>
#include <string.h>
#include <string>

namespace
{
// Sets a string value for the test and puts back what was there before.
class CRegValueOverride
{
public:
    CRegValueOverride(HKEY hRoot, LPCSTR pszKey, LPCSTR pszValue)
        : m_hKey(NULL), m_strValue(pszValue ? pszValue : ""), m_fHadValue(false), m_dwType(0)
    {
        RegCreateKeyExA(hRoot, pszKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &m_hKey, NULL);
        DWORD cb = sizeof(m_abOld);
        m_fHadValue = RegQueryValueExA(m_hKey, value(), NULL, &m_dwType, m_abOld, &cb) == ERROR_SUCCESS;
        m_cbOld = cb;
    }
    ~CRegValueOverride()
    {
        if (m_fHadValue)
            RegSetValueExA(m_hKey, value(), 0, m_dwType, m_abOld, m_cbOld);
        else
            RegDeleteValueA(m_hKey, value());
        RegCloseKey(m_hKey);
    }
    void Set(const std::string& strText)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_hKey, value(), 0, REG_SZ, (const BYTE*)strText.c_str(),
                                                (DWORD)strText.size() + 1));
    }
    void Delete() { RegDeleteValueA(m_hKey, value()); }

private:
    LPCSTR value() const { return m_strValue.empty() ? NULL : m_strValue.c_str(); }
    HKEY m_hKey;
    std::string m_strValue;
    bool m_fHadValue;
    DWORD m_dwType;
    BYTE m_abOld[2048];
    DWORD m_cbOld;
};

TEST(SystemInfo, IPAddressTexts)
{
    const struct { const char* pszText; BOOL fExpected; } cases[] = {
        { "10.0.0.1", TRUE }, { "255.255.255.255", TRUE }, { "0.0.0.0", TRUE },
        { "1..2.3.4", TRUE },     // the empty part is dropped
        { "256.1.1.1", FALSE }, { "1.2.3", FALSE }, { "1.2.3.4.5", FALSE }, { "1234", FALSE },
        { "1.a.2.3", FALSE }, { "", FALSE }, { "1.2.3.-4", FALSE }, { "1.2.3.99999999999", FALSE },
        { "server.corp.local", FALSE },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fExpected, isIPAddress(c.pszText)) << c.pszText;
    EXPECT_FALSE(isIPAddress(NULL));
}

TEST(SystemInfo, ComputerNameInServerName)
{
    const struct { const char* pszServer; BOOL fExpected; const char* pszName; } cases[] = {
        { "avserver.corp.example", TRUE, "avserver" },
        { "avserver", TRUE, "avserver" },
        { "10.1.2.3", FALSE, "" },
        { "1host.corp", FALSE, "" },
        { "", FALSE, "" },
    };
    for (const auto& c : cases)
    {
        CString strName("unchanged");
        EXPECT_EQ(c.fExpected, getComputerNameInServerName(c.pszServer, strName)) << c.pszServer;
        EXPECT_STREQ(c.fExpected ? c.pszName : "unchanged", (LPCSTR)strName) << c.pszServer;
    }
}

TEST(SystemInfo, GuidTextIsLowerCaseWithDataFourSplitTwoAndSix)
{
    const GUID guid = { 0x0A1B2C3D, 0xABCD, 0x00EF, { 0x01, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x08 } };
    EXPECT_STREQ("0a1b2c3d-abcd-00ef-01a2-b3c4d5e6f708", (LPCSTR)formatGuid(guid));
}

TEST(SystemInfo, PlatformIsWindows98)
{
    EXPECT_EQ((DWORD)VER_PLATFORM_WIN32_WINDOWS, getPlatformId());
    CString strName = getLocalComputerName();
    EXPECT_FALSE(strName.IsEmpty());
    EXPECT_LT(strName.GetLength(), 100);
}

TEST(SystemInfo, ColourDepthOfTheTrueColourScreen)
{
    // The test display runs with 24-bit colour: no palette, more than 256 colours.
    EXPECT_FALSE(isLowColorDisplay());
}

TEST(SystemInfo, WorkgroupAnswersTheDomainWithoutTheNetwork)
{
    CRegValueOverride workgroup(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP",
                                "Workgroup");
    workgroup.Set("ACCOUNTING");
    EXPECT_STREQ("ACCOUNTING", (LPCSTR)getWorkgroupName());
    EXPECT_STREQ("ACCOUNTING", (LPCSTR)getDomainName());

    // Longer than the 100-byte buffer: not read at all.
    workgroup.Set(std::string(120, 'W'));
    EXPECT_STREQ("", (LPCSTR)getWorkgroupName());

    // No workgroup: the network is asked, and this one knows no parent.
    workgroup.Delete();
    EXPECT_STREQ("", (LPCSTR)getWorkgroupName());
    EXPECT_STREQ("", (LPCSTR)getDomainName());
}

TEST(SystemInfo, NetworkParentWithoutANetworkFindsNothing)
{
    char szParent[128] = "unchanged";
    DWORD cb = sizeof(szParent);
    DWORD dwError = 99;
    EXPECT_TRUE(getNetResourceParent("NOSUCHPC", szParent, &cb, &dwError));
    EXPECT_EQ(0u, dwError);
    EXPECT_STREQ("unchanged", szParent);
}

// A network provider driven by the test.
struct SNetScenario
{
    DWORD dwInfoSize;        // reported by the first information call
    DWORD dwInfoFirst;       // answer of the first information call
    DWORD dwInfoSecond;      // answer of the second
    const char* pszProvider;
    DWORD dwParentFirst;
    DWORD dwParentSecond;
    const char* pszParent;
    std::string strAskedName;
};
SNetScenario g_net;

DWORD WINAPI fakeGetInformation(LPNETRESOURCEA pResource, LPVOID pBuffer, LPDWORD pcb, LPSTR* ppszSystem)
{
    g_net.strAskedName = pResource->lpRemoteName ? pResource->lpRemoteName : "";
    if (!pBuffer)
    {
        *pcb = g_net.dwInfoSize;
        return g_net.dwInfoFirst;
    }
    if (g_net.dwInfoSecond != NO_ERROR)
        return g_net.dwInfoSecond;
    NETRESOURCEA* pOut = (NETRESOURCEA*)pBuffer;
    char* pszText = (char*)(pOut + 1);
    strcpy(pszText, g_net.pszProvider);
    pOut->dwScope = RESOURCE_GLOBALNET;
    pOut->lpProvider = pszText;
    pOut->lpRemoteName = (char*)"\\\\PC";
    *ppszSystem = NULL;
    return NO_ERROR;
}

DWORD WINAPI fakeGetParent(LPNETRESOURCEA, LPVOID pBuffer, LPDWORD pcb)
{
    if (!pBuffer)
    {
        *pcb = sizeof(NETRESOURCEA) + 256;
        return g_net.dwParentFirst;
    }
    if (g_net.dwParentSecond != NO_ERROR)
        return g_net.dwParentSecond;
    NETRESOURCEA* pOut = (NETRESOURCEA*)pBuffer;
    memset(pOut, 0, sizeof(*pOut));
    pOut->lpRemoteName = strcpy((char*)(pOut + 1), g_net.pszParent);
    return NO_ERROR;
}

TEST(SystemInfo, NetworkParentAnswers)
{
    const DWORD cbInfo = sizeof(NETRESOURCEA) + 64;
    const struct
    {
        const char* pszCase;
        DWORD dwInfoFirst, dwInfoSecond;
        const char* pszProvider;
        DWORD dwParentFirst, dwParentSecond;
        const char* pszParent;
        DWORD cbBuffer;
        BOOL fResult;
        DWORD dwError;
        const char* pszBuffer;
        DWORD cbAfter;
    } cases[] = {
        { "found", 234, 0, "Microsoft Network", 234, 0, "SALES", 16, TRUE, 0, "SALES", 16 },
        { "fills the buffer", 234, 0, "Microsoft Network", 234, 0, "SALES12", 8, TRUE, 0, "SALES12", 8 },
        { "too long", 234, 0, "Microsoft Network", 234, 0, "SALES123", 8, FALSE, 234, "old", 9 },
        { "no network", 1222, 0, "", 0, 0, "", 16, TRUE, 0, "old", 16 },
        { "information fails", 234, 5, "", 0, 0, "", 16, FALSE, 5, "old", 16 },
        { "netware", 234, 0, "Netware Services", 234, 0, "NWTREE", 16, TRUE, 0, "old", 16 },
        { "parent refused", 234, 0, "Microsoft Network", 1222, 0, "", 16, FALSE, 1222, "old", 16 },
        { "parent fails", 234, 0, "Microsoft Network", 234, 487, "", 16, FALSE, 487, "old", 16 },
    };
    for (const auto& c : cases)
    {
        g_net = SNetScenario{ cbInfo, c.dwInfoFirst, c.dwInfoSecond, c.pszProvider, c.dwParentFirst,
                              c.dwParentSecond, c.pszParent, "" };
        char szBuffer[32] = "old";
        DWORD cb = c.cbBuffer;
        DWORD dwError = 99;
        EXPECT_EQ(c.fResult, getNetResourceParentWith(fakeGetInformation, fakeGetParent, "PC", szBuffer, &cb,
                                                      &dwError)) << c.pszCase;
        EXPECT_EQ(c.dwError, dwError) << c.pszCase;
        EXPECT_STREQ(c.pszBuffer, szBuffer) << c.pszCase;
        EXPECT_EQ(c.cbAfter, cb) << c.pszCase;
        EXPECT_EQ("\\\\PC", g_net.strAskedName) << c.pszCase;
    }

    // A name given with its backslashes keeps them once; missing entry points find nothing.
    g_net = SNetScenario{ cbInfo, 1222, 0, "", 0, 0, "", "" };
    char szBuffer[16] = "old";
    DWORD cb = sizeof(szBuffer);
    DWORD dwError = 99;
    EXPECT_TRUE(getNetResourceParentWith(fakeGetInformation, fakeGetParent, "\\\\PC", szBuffer, &cb, &dwError));
    EXPECT_EQ("\\\\PC", g_net.strAskedName);
    EXPECT_TRUE(getNetResourceParentWith(NULL, fakeGetParent, "PC", szBuffer, &cb, &dwError));
    EXPECT_EQ(0u, dwError);
    EXPECT_STREQ("old", szBuffer);
}

TEST(SystemInfo, HtmlFileOpenCommandNamesTheProgram)
{
    CRegValueOverride command(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command", NULL);
    const struct { const char* pszValue; const char* pszProgram; } cases[] = {
        { "\"C:\\Program Files\\Web\\browse.exe\" -nohome", "C:\\Program Files\\Web\\browse.exe" },
        { "\"C:\\Web\\browse.exe\" \"%1\"", "C:\\Web\\browse.exe\" \"%1" },
        { "C:\\WEB\\BROWSE.EXE %1", "C:\\WEB\\BROWSE.EXE %1" },
        { "\"", "\"" },
        { "", "" },
    };
    for (const auto& c : cases)
    {
        command.Set(c.pszValue);
        EXPECT_STREQ(c.pszProgram, (LPCSTR)getHtmlFileOpenCommand()) << c.pszValue;
    }
    command.Delete();
    EXPECT_STREQ("", (LPCSTR)getHtmlFileOpenCommand());
}

TEST(SystemInfo, VersionOfBuiltEngineFiles)
{
    const struct { const char* pszName; const char* pszVersion; int nMajor, nMinor, nBuild; } cases[] = {
        { "VEXOR32.DLL", "6.150", 6, 150, 0 },
        { "vexor32.vxd", "6.150", 6, 150, 0 },
    };
    for (const auto& c : cases)
        if (!FileExists(BinFile(c.pszName)))
            GTEST_SKIP() << c.pszName << " not built";
    for (const auto& c : cases)
    {
        std::string strPath = BinFile(c.pszName);
        char szVersion[128] = "";
        EXPECT_TRUE(getFileVersionString(strPath.c_str(), szVersion, sizeof(szVersion))) << c.pszName;
        EXPECT_STREQ(c.pszVersion, szVersion);
        int nMajor = -1, nMinor = -1, nBuild = -1;
        EXPECT_TRUE(getFileVersionNumbers(strPath.c_str(), nMajor, nMinor, nBuild)) << c.pszName;
        EXPECT_EQ(c.nMajor, nMajor);
        EXPECT_EQ(c.nMinor, nMinor);
        EXPECT_EQ(c.nBuild, nBuild);
    }
}

TEST(SystemInfo, VersionTextIsCutToTheCallersBuffer)
{
    std::string strPath = BinFile("VEXOR32.DLL");
    if (!FileExists(strPath))
        GTEST_SKIP() << "VEXOR32.DLL not built";
    char abBuffer[8];
    memset(abBuffer, '#', sizeof(abBuffer));
    EXPECT_TRUE(getFileVersionString(strPath.c_str(), abBuffer, 4));
    EXPECT_STREQ("6.1", abBuffer);
    EXPECT_EQ(std::string(4, '#'), std::string(abBuffer + 4, 4));
}

TEST(SystemInfo, NoVersionLeavesTheBufferAlone)
{
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, sizeof(szSelf));
    const char* files[] = { szSelf, "C:\\no such folder\\none.dll", "" };
    for (const char* pszFile : files)
    {
        char szVersion[16] = "untouched";
        int nMajor = -1, nMinor = -1, nBuild = -1;
        EXPECT_FALSE(getFileVersionString(pszFile, szVersion, sizeof(szVersion))) << pszFile;
        EXPECT_STREQ("untouched", szVersion);
        EXPECT_FALSE(getFileVersionNumbers(pszFile, nMajor, nMinor, nBuild)) << pszFile;
        EXPECT_EQ(-1, nMajor);
    }
}
}
