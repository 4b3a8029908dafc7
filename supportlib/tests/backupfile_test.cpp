#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "BackupFile.h"
#include "GoldenBytes.h"
#include "vxptool_run.h"

using vxptest::Quote;
using vxptest::RunTool;

namespace {

class BackupFileTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_folder = FreshScratchFolder("backup"); }

    // Writes a backup with the tool's options; its path.
    static std::string Make(const char* pszName, const std::string& options)
    {
        std::string path = s_folder + "\\" + pszName;
        EXPECT_EQ(0, RunTool("backup " + Quote(path) + " " + options)) << options;
        return path;
    }

    static std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

    static std::string s_folder;
};

std::string BackupFileTest::s_folder;

const char OPTIONS[] = "--folder C:\\Data --name report.doc --text W97M.Test --value4 7 --value6 9";

} // namespace

TEST_F(BackupFileTest, ReadsPathTextAndValues)
{
    const std::string longText(100, 'T');
    const std::string folder1016 = "C:\\" + std::string(1013, 'f');   // + "\\ab.txt": 1023
    const struct {
        const char* pszFile;
        std::string options;
        int nResult;
        std::string path, text;
    } cases[] = {
        { "plain.bak", OPTIONS, 0, "C:\\Data\\report.doc", "W97M.Test" },
        { "body.bak", std::string(OPTIONS) + " --body " + Quote(s_folder + "\\plain.bak"), 0,
          "C:\\Data\\report.doc", "W97M.Test" },
        { "nofolder.bak", "--folder \"\" --name report.doc --value4 7 --value6 9", 0,
          "report.doc", "" },
        // The further text is cut to its field; the values after it stay intact.
        { "longtext.bak", "--folder C:\\Data --name a.com --value4 7 --value6 9 --text " + longText,
          0, "C:\\Data\\a.com", std::string(31, 'T') },
        { "path1023.bak", "--folder " + folder1016 + " --name ab.txt --value4 7 --value6 9", 0,
          folder1016 + "\\ab.txt", "" },
        { "path1024.bak", "--folder " + folder1016 + " --name abc.txt", -5, "", "" },
        { "magic.bak", std::string(OPTIONS) + " --damage magic", -1, "", "" },
        { "short.bak", std::string(OPTIONS) + " --damage short", -5, "", "" },
    };
    ASSERT_EQ(1023u, cases[4].path.size());
    for (const auto& c : cases) {
        std::string path = Make(c.pszFile, c.options);
        SBackupHeaderInfo info;
        memset(&info, 0x55, sizeof(info));
        ASSERT_EQ(c.nResult, readBackupHeader(path.c_str(), &info)) << c.pszFile;
        if (c.nResult != 0)
            continue;
        EXPECT_EQ(c.path, info.szPath) << c.pszFile;
        EXPECT_EQ(c.text, std::string(info.szText, strnlen(info.szText, sizeof(info.szText))))
            << c.pszFile;
        EXPECT_EQ(7u, info.dwValue4) << c.pszFile;
        EXPECT_EQ(0u, info.dwUnicode) << c.pszFile;
        EXPECT_EQ(9u, info.dwValue6) << c.pszFile;
    }

    SBackupHeaderInfo info;
    EXPECT_EQ(-94, readBackupHeader((s_folder + "\\missing.bak").c_str(), &info));
    EXPECT_EQ(-99, readBackupHeader("", &info));
    EXPECT_EQ(-99, readBackupHeader(NULL, &info));
}

TEST_F(BackupFileTest, WideReaderTakesUtf16OrConvertsEightBitTexts)
{
    const std::string folder1016 = "C:\\" + std::string(1013, 'f');
    const struct {
        const char* pszFile;
        std::string options;
        int nResult;
        std::string path;   // ASCII, compared as UTF-16
        DWORD dwUnicode;
        std::wstring text;
    } cases[] = {
        { "wide.bak", std::string(OPTIONS) + " --utf16", 0, "C:\\Data\\report.doc", 1,
          L"W97M.Test" },
        { "narrow.bak", OPTIONS, 0, "C:\\Data\\report.doc", 0, L"" },
        { "widelong.bak", "--folder C:\\D --name a.com --utf16 --value4 7 --value6 9 --text "
                              "abcdefghijklmnopqrst", 0, "C:\\D\\a.com", 1, L"abcdefghijklmno" },
        { "wide1023.bak", "--folder " + folder1016 + " --name ab.txt --utf16 --value4 7 --value6 9",
          0, folder1016 + "\\ab.txt", 1, L"" },
        { "wide1024.bak", "--folder " + folder1016 + " --name abc.txt --utf16", -5, "", 1, L"" },
        { "widemagic.bak", std::string(OPTIONS) + " --utf16 --damage magic", -1, "", 1, L"" },
        { "wideshort.bak", std::string(OPTIONS) + " --utf16 --damage short", -5, "", 1, L"" },
    };
    for (const auto& c : cases) {
        std::wstring path = Wide(Make(c.pszFile, c.options));
        SBackupHeaderInfoW info;
        memset(&info, 0x55, sizeof(info));
        ASSERT_EQ(c.nResult, readBackupHeaderW(path.c_str(), &info)) << c.pszFile;
        if (c.nResult != 0)
            continue;
        EXPECT_TRUE(Wide(c.path) == info.szPath) << c.pszFile;
        EXPECT_EQ(c.dwUnicode, info.dwUnicode) << c.pszFile;
        EXPECT_EQ(7u, info.dwValue4) << c.pszFile;
        EXPECT_EQ(9u, info.dwValue6) << c.pszFile;
        if (c.dwUnicode) {
            const WCHAR* pszText = reinterpret_cast<const WCHAR*>(info.szText);
            EXPECT_TRUE(c.text == pszText) << c.pszFile;
        } else {
            EXPECT_STREQ("W97M.Test", info.szText) << c.pszFile;
        }
    }

    SBackupHeaderInfoW info;
    EXPECT_EQ(-94, readBackupHeaderW(Wide(s_folder + "\\missing.bak").c_str(), &info));
    EXPECT_EQ(-99, readBackupHeaderW(L"", &info));
}

// A backup as the engine writes it on either target (outside/vxpformat's golden bytes), shown
// before every byte is complemented: "VSBF" | 1 | six items (type | length | data) | body.
TEST_F(BackupFileTest, GoldenBackupBytesAreRead)
{
    std::string bytes = Unhex("56534246 01000000 0600 | 01 0500 433a5c4400 | 02 0600 612e636f6d00 |"
                              " 03 0600 454943415200 | 04 0400 07000000 | 05 0400 00000000 | 06 0400 04030201 | 4d5a");
    for (char& c : bytes)
        c = (char)~c;
    std::string path = s_folder + "\\golden.bak";
    ASSERT_TRUE(WriteWholeFile(path, bytes));

    SBackupHeaderInfo info;
    memset(&info, 0x55, sizeof(info));
    ASSERT_EQ(0, readBackupHeader(path.c_str(), &info));
    EXPECT_STREQ("C:\\D\\a.com", info.szPath);
    EXPECT_STREQ("EICAR", info.szText);
    EXPECT_EQ(7u, info.dwValue4);
    EXPECT_EQ(0u, info.dwUnicode);
    EXPECT_EQ(0x01020304u, info.dwValue6);

    SBackupHeaderInfoW infoW;
    memset(&infoW, 0x55, sizeof(infoW));
    ASSERT_EQ(0, readBackupHeaderW(Wide(path).c_str(), &infoW));
    EXPECT_TRUE(std::wstring(L"C:\\D\\a.com") == infoW.szPath);
    EXPECT_STREQ("EICAR", infoW.szText);
    EXPECT_EQ(0x01020304u, infoW.dwValue6);
}
