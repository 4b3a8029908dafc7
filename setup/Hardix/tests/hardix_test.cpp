// Machine type and boot drive: the answers of the exports on each platform, from the
// registry, the Windows folder and the interrupt vector table that the tests supply.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "Hardix.h"
#include "VglTestSupport.h"

#include <map>
#include <string>

namespace
{
const char TEST_MACHINE_KEY[] = "Software\\VigilonTests\\HardixMachine";

int s_nPlatform;
std::string s_strWindows;
std::string s_vectorTable;          // 1 KB: offset, then segment, of each interrupt
bool s_fVectorsReadable;
int s_nVectorReads;

int FakePlatform()
{
    return s_nPlatform;
}

UINT WINAPI FakeWindowsDirectory(LPSTR pszBuffer, UINT cchBuffer)
{
    if (s_strWindows.empty() || s_strWindows.size() >= cchBuffer)
        return 0;
    strcpy(pszBuffer, s_strWindows.c_str());
    return (UINT)s_strWindows.size();
}

BOOL FakeVector(BYTE nInterrupt, DWORD* pdwVector)
{
    ++s_nVectorReads;
    if (!s_fVectorsReadable || s_vectorTable.size() != 1024)
        return FALSE;
    WORD wOffset, wSegment;
    memcpy(&wOffset, &s_vectorTable[nInterrupt * 4], 2);
    memcpy(&wSegment, &s_vectorTable[nInterrupt * 4 + 2], 2);
    *pdwVector = ((DWORD)wSegment << 16) | wOffset;
    return TRUE;
}

class HardixTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SHDeleteKeyA(HKEY_CURRENT_USER, TEST_MACHINE_KEY);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, TEST_MACHINE_KEY, &m_hkeyMachine));
        g_hardixHost.pfnPlatformId = FakePlatform;
        g_hardixHost.hkeyMachine = m_hkeyMachine;
        g_hardixHost.pfnWindowsDirectory = FakeWindowsDirectory;
        g_hardixHost.pfnRealModeVector = FakeVector;
        s_nPlatform = HW_PLATFORM_9X;
        s_strWindows = "C:\\WINDOWS";
        s_vectorTable = ReadWholeFile(TestDataFile("vectors_at.bin"));
        s_fVectorsReadable = true;
        s_nVectorReads = 0;
    }
    void TearDown() override
    {
        g_hardixHost = g_hardixSystem;
        RegCloseKey(m_hkeyMachine);
        SHDeleteKeyA(HKEY_CURRENT_USER, TEST_MACHINE_KEY);
    }

    // Sets a text value below the machine's key; NULL removes the whole key.
    void SetValue(const char* pszKey, const char* pszName, const char* pszText)
    {
        if (pszText == NULL)
        {
            SHDeleteKeyA(m_hkeyMachine, pszKey);
            return;
        }
        HKEY hKey;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(m_hkeyMachine, pszKey, &hKey));
        RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszText, (DWORD)strlen(pszText) + 1);
        RegCloseKey(hKey);
    }

    void SetVector(BYTE nInterrupt, BYTE nLike)
    {
        memcpy(&s_vectorTable[nInterrupt * 4], &s_vectorTable[nLike * 4], 4);
    }

    HKEY m_hkeyMachine = NULL;
};

const char KEY_9X_MACHINE[] = "Enum\\Root\\*PNP0C01\\0000";
const char KEY_NT_SYSTEM[] = "HARDWARE\\DESCRIPTION\\System";
const char KEY_9X_SETUP[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";
} // namespace

TEST_F(HardixTest, BootDrive)
{
    const struct
    {
        int nPlatform;
        const char* pszBootDir;     // NULL: no Setup key
        const char* pszWindows;     // "": cannot be had
        int nDrive;
    } cases[] = {
        {HW_PLATFORM_9X, "C:\\", "D:\\WINDOWS", 2},
        {HW_PLATFORM_9X, "c:\\", "D:\\WINDOWS", 2},     // either case
        {HW_PLATFORM_9X, "A:\\", "C:\\WINDOWS", 0},
        {HW_PLATFORM_9X, NULL, "E:\\WIN98", 4},
        {HW_PLATFORM_9X, NULL, "e:\\win98", 4},
        {HW_PLATFORM_9X, "", "D:\\WINDOWS", 3},         // an empty value counts as none
        {HW_PLATFORM_9X, NULL, "", 0},
        {HW_PLATFORM_NT, "C:\\", "D:\\WINNT", 3},       // NT ignores the Setup key
        {3, "C:\\", "C:\\WINDOWS", -1},
        {-1, "C:\\", "C:\\WINDOWS", -1},
    };
    for (const auto& c : cases)
    {
        s_nPlatform = c.nPlatform;
        s_strWindows = c.pszWindows;
        SetValue(KEY_9X_SETUP, "BootDir", c.pszBootDir);
        EXPECT_EQ(c.nDrive, HWGetBootDrive())
            << "platform " << c.nPlatform << ", BootDir " << (c.pszBootDir ? c.pszBootDir : "(none)")
            << ", Windows " << c.pszWindows;
    }
}

TEST_F(HardixTest, MachineTypeFromTheRegistry)
{
    const std::string strLong(200, 'N');
    const struct
    {
        int nPlatform;
        const char* pszComputerName;    // 95/98 values; NULL: missing
        const char* pszMachineType;
        const char* pszIdentifier;      // NT value
        const char* pszWindows;
        int nNec, nIbm, nType, nTypeW;
    } cases[] = {
        {HW_PLATFORM_9X, "NEC PC-9801/9821", NULL, NULL, "C:\\WINDOWS", 1, 0, 1, 3},
        {HW_PLATFORM_9X, "nec pc-9821 ", NULL, NULL, "C:\\WINDOWS", 1, 0, 1, 3},
        {HW_PLATFORM_9X, "NECX", NULL, NULL, "C:\\WINDOWS", 0, 0, 0, 3},
        {HW_PLATFORM_9X, "NEC ", "IBM PC/AT", NULL, "C:\\WINDOWS", 1, 1, 1, 3},  // NEC first
        {HW_PLATFORM_9X, NULL, "ibm pc/at", NULL, "C:\\WINDOWS", 0, 1, 3, 3},
        {HW_PLATFORM_9X, NULL, "IBM-PC", NULL, "C:\\WINDOWS", 0, 0, 0, 3},
        {HW_PLATFORM_9X, strLong.c_str(), NULL, NULL, "C:\\WINDOWS", 0, 0, 0, 3},  // over 128 bytes
        {HW_PLATFORM_9X, NULL, NULL, "NEC PC-98", "A:\\WINDOWS", 0, 0, 0, 1},    // W answers the NT way
        {HW_PLATFORM_NT, NULL, NULL, "NEC PC-98", "A:\\WINNT", 1, 0, 1, 1},
        {HW_PLATFORM_NT, NULL, NULL, "nec pc-98", "b:\\WINNT", 1, 0, 1, 1},
        {HW_PLATFORM_NT, NULL, NULL, "NEC PC-98", "C:\\WINNT", 0, 0, 3, 3},
        {HW_PLATFORM_NT, "NEC ", "IBM PC/AT", NULL, "C:\\WINNT", 0, 0, 3, 3},
        {HW_PLATFORM_NT, NULL, NULL, "AT/AT COMPATIBLE", "C:\\WINNT", 0, 1, 3, 3},
        {HW_PLATFORM_NT, NULL, NULL, "at/aX", "C:\\WINNT", 0, 1, 3, 3},
        {HW_PLATFORM_NT, NULL, NULL, "AT compatible", "C:\\WINNT", 0, 0, 3, 3},
        {3, "NEC ", "IBM PC/AT", "NEC PC-98", "A:\\WINDOWS", 0, 0, 0, 1},
    };
    for (const auto& c : cases)
    {
        SHDeleteKeyA(m_hkeyMachine, "Enum");
        SHDeleteKeyA(m_hkeyMachine, "HARDWARE");
        if (c.pszComputerName != NULL)
            SetValue(KEY_9X_MACHINE, "ComputerName", c.pszComputerName);
        if (c.pszMachineType != NULL)
            SetValue(KEY_9X_MACHINE, "MachineType", c.pszMachineType);
        if (c.pszIdentifier != NULL)
            SetValue(KEY_NT_SYSTEM, "Identifier", c.pszIdentifier);
        s_nPlatform = c.nPlatform;
        s_strWindows = c.pszWindows;
        std::string strCase = std::string("platform ") + std::to_string(c.nPlatform) + ", " +
                              (c.pszComputerName ? c.pszComputerName : "-") + " / " +
                              (c.pszMachineType ? c.pszMachineType : "-") + " / " +
                              (c.pszIdentifier ? c.pszIdentifier : "-") + ", " + c.pszWindows;
        EXPECT_EQ(c.nNec, HardixNEC98()) << strCase;
        EXPECT_EQ(c.nIbm, HardixIBMPC()) << strCase;
        EXPECT_EQ(c.nType, HWGetMachineType()) << strCase;
        EXPECT_EQ(c.nTypeW, HWGetMachineTypeW()) << strCase;
        EXPECT_EQ(0, HardixFMR()) << strCase;      // a PC/AT's vectors
    }
}

TEST_F(HardixTest, FmrByTheVectorPairs)
{
    const std::string strAt = s_vectorTable;
    const std::string strFmr = ReadWholeFile(TestDataFile("vectors_fmr.bin"));
    ASSERT_EQ(1024u, strFmr.size());
    const struct
    {
        const char* pszName;
        const std::string* pTable;
        BYTE nSame, nLike;          // make one vector equal another (0, 0: none)
        bool fReadable;
        int nFmr, nReads;
    } cases[] = {
        {"PC/AT", &strAt, 0, 0, true, 0, 2},
        {"FMR", &strFmr, 0, 0, true, 1, 20},
        {"FMR, 91h like 90h", &strFmr, 0x91, 0x90, true, 0, 2},
        {"FMR, 98h like 97h", &strFmr, 0x98, 0x97, true, 0, 12},
        {"FMR, AFh like 00h", &strFmr, 0xAF, 0x00, true, 0, 20},
        {"FMR, 92h like 90h", &strFmr, 0x92, 0x90, true, 1, 20},   // not a pair
        {"no table", &strFmr, 0, 0, false, 0, 2},
    };
    for (const auto& c : cases)
    {
        s_vectorTable = *c.pTable;
        if (c.nSame != c.nLike)
            SetVector(c.nSame, c.nLike);
        s_fVectorsReadable = c.fReadable;

        s_nPlatform = HW_PLATFORM_9X;
        s_nVectorReads = 0;
        EXPECT_EQ(c.nFmr, HardixFMR()) << c.pszName;
        EXPECT_EQ(c.nReads, s_nVectorReads) << c.pszName;
        EXPECT_EQ(c.nFmr ? HW_MACHINE_FMR : HW_MACHINE_UNKNOWN, HWGetMachineType()) << c.pszName;

        s_nPlatform = HW_PLATFORM_NT;
        s_nVectorReads = 0;
        EXPECT_EQ(0, HardixFMR()) << c.pszName;
        EXPECT_EQ(0, s_nVectorReads) << c.pszName;
    }
}

TEST(HardixLibraryTest, ExportsAnswerUnderThisSystem)
{
    HMODULE hLibrary = LoadLibraryA(BinFile("Hardix.dll").c_str());
    ASSERT_TRUE(hLibrary != NULL);
    typedef int(WINAPI * PFN_QUERY)();
    std::map<std::string, int> answers;
    for (const char* pszName : {"HWGetBootDrive", "HardixFMR", "HardixNEC98", "HardixIBMPC",
                                "HWGetMachineType", "HWGetMachineTypeW"})
    {
        PFN_QUERY pfn = (PFN_QUERY)GetProcAddress(hLibrary, pszName);
        ASSERT_TRUE(pfn != NULL) << pszName;
        answers[pszName] = pfn();
    }
    FreeLibrary(hLibrary);

    // Windows 98 as this prefix reports it; its Windows folder is on C:. Where the real
    // vector table cannot be read (or every vector reads alike) the PC is no FMR.
    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    HKEY hKey = NULL;
    bool fBootDir = RegOpenKeyExA(HKEY_LOCAL_MACHINE, KEY_9X_SETUP, 0, KEY_READ, &hKey) == ERROR_SUCCESS &&
                    RegQueryValueExA(hKey, "BootDir", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    if (hKey != NULL)
        RegCloseKey(hKey);
    if (!fBootDir)
    {
        EXPECT_EQ(toupper(szWindows[0]) - 'A', answers["HWGetBootDrive"]);
    }
    EXPECT_EQ(0, answers["HardixFMR"]);
    EXPECT_EQ(3, answers["HWGetMachineTypeW"]);
}
