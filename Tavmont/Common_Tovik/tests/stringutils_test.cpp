#include <gtest/gtest.h>

#include "StringUtils.h"

#include <limits.h>
#include <mbctype.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace
{
// Double-byte cases run with the Japanese code page's lead-byte table: 0x95 0x5C is one
// character whose trail byte is a backslash, 0x83 0x41 one whose trail byte is 'A'.
class DoubleByte : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(0, _setmbcp(932)); }
    void TearDown() override { _setmbcp(_MB_CP_ANSI); }
};

std::string joined(const CStringArray& arr)
{
    std::string s;
    for (int i = 0; i < arr.GetSize(); ++i)
        s += (i ? "|" : "") + std::string((LPCSTR)arr.GetAt(i));
    return s;
}

std::string splitPairs(const char* pszText, const char* pszSeparators)
{
    std::vector<char> text(pszText, pszText + strlen(pszText) + 1);
    char** pp = splitKeyValuePairs(&text[0], pszSeparators);
    if (!pp)
        return "<null>";
    std::string s;
    for (char** p = pp; *p; p += 2)
    {
        s += (p == pp ? "" : "|") + std::string(p[0]) + "=" + p[1];
        free(p[0]);
        free(p[1]);
    }
    free(pp);
    return s;
}

struct JoinCase
{
    const char* left;
    const char* right;
    const char* expected;
};
}

TEST(StringUtilsJoin, PathHasOneBackslashAtTheSeam)
{
    const JoinCase cases[] = {
        {"C:\\dir\\", "\\file", "C:\\dir\\file"},
        {"C:\\dir", "file", "C:\\dir\\file"},
        {"C:\\dir\\", "file", "C:\\dir\\file"},
        {"C:\\dir", "\\file", "C:\\dir\\file"},
        {"C:\\dir", "", "C:\\dir"},
        {"C:\\dir\\", "", "C:\\dir\\"},
        {"", "x", "x"},
        {"", "", ""},
        {"C:\\dir\\", "\\\\x", "C:\\dir\\\\x"},
    };
    for (const JoinCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.left) + " + " + c.right);
        EXPECT_STREQ(c.expected, (LPCSTR)joinPath(c.left, c.right));
        EXPECT_EQ(c.expected, joinPathString(c.left, c.right));
        CString strOut("stale");
        concatPath(strOut, c.left, c.right);
        EXPECT_STREQ(c.expected, (LPCSTR)strOut);
        char buf[MAX_PATH];
        EXPECT_TRUE(appendPathPart(c.left, c.right, buf, '\\'));
        EXPECT_STREQ(c.expected, buf);
    }
}

TEST(StringUtilsJoin, UrlEndsWithSlashWhenRightIsEmpty)
{
    const JoinCase cases[] = {
        {"/a/b", "", "/a/b/"},
        {"/a/b/", "", "/a/b/"},
        {"/a/b/", "/c", "/a/b/c"},
        {"http://host", "Vigilon/Cgi/x.exe", "http://host/Vigilon/Cgi/x.exe"},
        {"", "x", "x"},
    };
    for (const JoinCase& c : cases)
        EXPECT_STREQ(c.expected, (LPCSTR)joinUrlPath(c.left, c.right)) << c.left << " + " << c.right;
}

TEST(StringUtilsJoin, AppendPathPartStaysInsideTheBuffer)
{
    char buf[9];
    memset(buf, 'z', sizeof(buf));
    EXPECT_FALSE(appendPathPart("abc", "defg", buf, '/', 8));
    EXPECT_STREQ("", buf);
    EXPECT_EQ('z', buf[1]);
    EXPECT_TRUE(appendPathPart("abc", "defg", buf, '/', 9));
    EXPECT_STREQ("abc/defg", buf);

    char path[MAX_PATH] = "C:\\a";
    EXPECT_TRUE(appendPathPart(path, "b", path, '\\'));
    EXPECT_STREQ("C:\\a\\b", path);
}

TEST_F(DoubleByte, TrailBackslashIsNotASeparator)
{
    const JoinCase cases[] = {
        {"C:\\\x95\x5C", "file", "C:\\\x95\x5C\\file"},
        {"C:\\\x95\x5C", "\\file", "C:\\\x95\x5C\\file"},
        {"C:\\\x95\x5C", "", "C:\\\x95\x5C"},
        {"C:\\\x95\x5C", "\x95\x5C", "C:\\\x95\x5C\\\x95\x5C"},
        {"C:\\dir", "\x95\x5C", "C:\\dir\\\x95\x5C"},
        {"C:\\", "\x95\x5C", "C:\\\x95\x5C"},
    };
    for (const JoinCase& c : cases)
        EXPECT_STREQ(c.expected, (LPCSTR)joinPath(c.left, c.right)) << c.left << " + " << c.right;
    EXPECT_STREQ("/a/\x95\x5C", (LPCSTR)joinUrlPath("/a", "\x95\x5C"));

    const char* text = "ab\x95\x5C";
    EXPECT_EQ(text + 2, findLastCharacter(text));
    const char* dangling = "ab\x95";  // lead byte without a trail byte
    EXPECT_EQ(dangling + 2, findLastCharacter(dangling));
    const char* empty = "";
    EXPECT_EQ(empty, findLastCharacter(empty));

    CStringArray arr;
    splitString('\\', "C:\\\x95\x5C\\x", arr, SCharAdapter());
    EXPECT_EQ("C:|\x95\x5C|x", joined(arr));
}

TEST(StringUtilsJoin, SingleByteCodePageTakesEveryBackslash)
{
    EXPECT_STREQ("C:\\\x95\x5C" "file", (LPCSTR)joinPath("C:\\\x95\x5C", "file"));
}

TEST(StringUtilsSplit, DropsEmptyPiecesAndAdaptsWords)
{
    const SCharAdapter plain;
    const SFileExtensionAdapter extension;
    struct Case
    {
        char separator;
        const char* text;
        const SWordsAdapter* adapter;
        const char* expected;
    } cases[] = {
        {',', ",a,,b,", &plain, "a|b"},
        {',', " .exe, .com", &extension, "exe|com"},
        {'.', ".BIN,.BAT,. ,.EXE\t", &extension, "BIN|BAT|EXE"},
        {'.', ".a\\b/c:d\"e<f>g|h", &extension, "abcdefgh"},
        {',', "", &plain, ""},
        {',', ",,,", &plain, ""},
    };
    for (const Case& c : cases)
    {
        CStringArray arr;
        splitString(c.separator, c.text, arr, *c.adapter);
        EXPECT_EQ(c.expected, joined(arr)) << c.text;
    }

    CStringArray arr;
    arr.Add("kept");
    splitString(',', "x", arr, plain);
    EXPECT_EQ("kept|x", joined(arr));

    std::vector<std::string> words;
    NS_StringUtils::splitString(',', ",a,,b,", words, NS_StringUtils::SCharAdapter());
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), words);
}

TEST(StringUtilsSplit, FileNameCharacterTests)
{
    // The two families differ: '"' is refused by the first, '#' and '?' by the second.
    struct Case
    {
        char ch;
        BOOL allowed;
        BOOL allowedStd;
    } cases[] = {
        {'\\', FALSE, FALSE}, {'/', FALSE, FALSE}, {':', FALSE, FALSE}, {'"', FALSE, TRUE},
        {'<', FALSE, FALSE},  {'>', FALSE, FALSE}, {'|', FALSE, FALSE}, {',', FALSE, FALSE},
        {'.', FALSE, FALSE},  {'#', TRUE, FALSE},  {'?', TRUE, FALSE},  {'\0', FALSE, FALSE},
        {'a', TRUE, TRUE},    {' ', TRUE, TRUE},   {'*', TRUE, TRUE},   {'\xE9', TRUE, TRUE},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.allowed, SFilenameIndentifier().IsAllowed(c.ch)) << (int)(unsigned char)c.ch;
        EXPECT_EQ(c.allowedStd, NS_StringUtils::SFilenameIndentifier().IsAllowed(c.ch)) << (int)(unsigned char)c.ch;
    }

    CString str("a#b?c\"d.e");
    filterCharacters(str, SFilenameIndentifier());
    EXPECT_STREQ("a#b?cde", (LPCSTR)str);
    std::string s("a#b?c\"d.e");
    NS_StringUtils::filterCharacters(s, NS_StringUtils::SFilenameIndentifier());
    EXPECT_EQ("abc\"de", s);

    CString spaces(" a\tb\r\nc\v\fd ");
    removeSpaces(spaces);
    EXPECT_STREQ("abcd", (LPCSTR)spaces);
}

TEST_F(DoubleByte, FiltersKeepDoubleByteCharacters)
{
    EXPECT_STREQ("\x95\x5C" "exe", (LPCSTR)SFileExtensionAdapter().Adapt(" .\x95\x5C.exe"));
    std::string s("\x95\x5C/\x83\x41");
    NS_StringUtils::filterCharacters(s, NS_StringUtils::SFilenameIndentifier());
    EXPECT_EQ("\x95\x5C\x83\x41", s);
}

TEST(StringUtilsEncode, EscapeSets)
{
    const char* printable =
        " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
    EXPECT_STREQ("%20%21%22%23%24%25&%27()%2a+%2c-./0123456789:%3b%3c=%3e?%40ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                 "[\\]%5e_%60abcdefghijklmnopqrstuvwxyz{|}%7e",
                 (LPCSTR)urlEncode(printable));
    EXPECT_STREQ("%20%21%22%23%24%%26%27%28%29%2a%2b%2c%2d%2e%2f0123456789%3a%3b%3c%3d%3e%3f%40"
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZ%5b%5c%5d%5e%5f%60abcdefghijklmnopqrstuvwxyz%7b%7c%7d%7e",
                 (LPCSTR)urlEncodeStrict(printable));

    struct Case
    {
        const char* text;
        const char* encoded;
        const char* strict;
    } cases[] = {
        {"a b&c", "a%20b&c", "a%20b%26c"},
        {"\xE9\x80\xFF", "%e9%80%ff", "%e9%80%ff"},
        {"\t\n", "\t\n", "\t\n"},
        {"", "", ""},
    };
    for (const Case& c : cases)
    {
        EXPECT_STREQ(c.encoded, (LPCSTR)urlEncode(c.text)) << c.text;
        EXPECT_STREQ(c.strict, (LPCSTR)urlEncodeStrict(c.text)) << c.text;
    }
}

TEST(StringUtilsEncode, Utf8)
{
    struct Case
    {
        const wchar_t* text;
        const char* utf8;
    } cases[] = {
        {L"A~", "A~"},
        {L"\x00E9", "\xC3\xA9"},
        {L"\x07FF", "\xDF\xBF"},
        {L"\x0800", "\xE0\xA0\x80"},
        {L"\x20AC", "\xE2\x82\xAC"},
        {L"\xFFFF", "\xEF\xBF\xBF"},
        {L"\xD83D\xDE00", "\xED\xA0\xBD\xED\xB8\x80"},  // each surrogate half on its own
    };
    for (const Case& c : cases)
    {
        char* psz = toUtf8(c.text);
        ASSERT_NE(nullptr, psz);
        EXPECT_STREQ(c.utf8, psz);
        free(psz);
    }
    EXPECT_EQ(nullptr, toUtf8(L""));

    ASSERT_EQ(1252u, GetACP());
    EXPECT_STREQ("caf%c3%a9%20a%26b%2f%e2%82%ac", (LPCSTR)urlEncodeUtf8("caf\xE9 a&b/\x80"));
    EXPECT_STREQ("", (LPCSTR)urlEncodeUtf8(""));
}

TEST(StringUtilsDecode, EscapesAndShortEscapes)
{
    struct Case
    {
        const char* text;
        const char* decoded;
    } cases[] = {
        {"%%", "%"},
        {"%%41", "%41"},
        {"%41%62", "Ab"},
        {"a%2fb%2F", "a/b/"},
        {"a+b", "a+b"},
        {"%", "%"},
        {"ab%", "ab%"},
        {"%4", "%4"},
        {"%zz1", "%zz1"},
        {"%4g", "%4g"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.decoded, (LPCSTR)urlDecode(c.text)) << c.text;

    // Hex digits behind the terminator must not be read.
    const char cut1[] = "ab%\0" "41";
    const char cut2[] = "ab%4\0" "1";
    EXPECT_STREQ("ab%", (LPCSTR)urlDecode(cut1));
    EXPECT_STREQ("ab%4", (LPCSTR)urlDecode(cut2));
}

TEST(StringUtilsDecode, KeyValuePairs)
{
    struct Case
    {
        const char* text;
        const char* separators;
        const char* pairs;
    } cases[] = {
        {"A=1&B&C=%41", "&", "A=1|B=|C=A"},
        {"&&A=1&&", "&", "A=1"},
        {"", "&", ""},
        {"K%3d=v%3D1=2", "&", "K==v=1=2"},
        {"HotFix1=20240102\r\nHotFix2=%32\n", "\r\n", "HotFix1=20240102|HotFix2=2"},
        {"T=ab%", "&", "T=ab%"},
        {"T=%4&U=%", "&", "T=%4|U=%"},
        {"T=%G1%%41", "&", "T=%G1%A"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.pairs, splitPairs(c.text, c.separators)) << c.text;

    char text[] = "A=1&B=2";
    char** pp = splitKeyValuePairs(text, "&");
    ASSERT_NE(nullptr, pp);
    EXPECT_STREQ("A=1", text);  // cut in place
    for (char** p = pp; *p; ++p)
        free(*p);
    free(pp);
}

TEST_F(DoubleByte, EscapesAndSeparatorsInsideDoubleByteCharacters)
{
    EXPECT_STREQ("\x81%41" "A", (LPCSTR)urlDecode("\x81%41%41"));
    EXPECT_STREQ("x\x81", (LPCSTR)urlDecode("x\x81"));
    EXPECT_EQ("\x95|A=1|B=\x81%41", splitPairs("\x95|A=1|B=\x81%41", "|"));
}

TEST(StringUtilsParse, RequestLine)
{
    struct Case
    {
        const char* line;
        BOOL ok;
        const char* method;
        const char* url;
    } cases[] = {
        {"GET /?CAVIT HTTP/1.0", TRUE, "GET", "/?CAVIT"},
        {"GET /x", FALSE, "GET", "/x"},
        {"GET", FALSE, "GET", nullptr},
        {"", FALSE, "", nullptr},
    };
    for (const Case& c : cases)
    {
        std::vector<char> buf(c.line, c.line + strlen(c.line) + 1);
        char* method = nullptr;
        char* url = nullptr;
        EXPECT_EQ(c.ok, parseRequestLine(&buf[0], &method, &url)) << c.line;
        EXPECT_STREQ(c.method, method);
        if (c.url)
            EXPECT_STREQ(c.url, url);
        else
            EXPECT_EQ(nullptr, url);
    }
}

TEST(StringUtilsShape, AbbreviateWithEllipsis)
{
    const std::string text50 = "0123456789abcdefghijABCDEFGHIJklmnopqrstKLMNOPQRST";
    struct Case
    {
        int max;
        int parts;
        std::string expected;
    } cases[] = {
        {40, 2, text50.substr(0, 21) + "..." + text50.substr(31)},
        {30, 3, text50.substr(0, 11) + "..." + text50.substr(31)},
        {50, 2, text50},
        {40, 0, text50.substr(0, 41) + "..."},
        {0, 1, "0..."},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.expected.c_str(), (LPCSTR)abbreviateWithEllipsis(text50.c_str(), c.max, c.parts))
            << c.max << "/" << c.parts;
}

TEST_F(DoubleByte, AbbreviateCutsWholeCharacters)
{
    // The head would end after byte 20 and the tail start at byte 31, each inside a
    // double-byte character.
    std::string text = std::string(20, 'a') + "\x95\x5C" + std::string(8, 'b') + "\x95\x5C" + std::string(18, 'c');
    ASSERT_EQ(50u, text.size());
    EXPECT_STREQ((std::string(20, 'a') + "..." + std::string(18, 'c')).c_str(),
                 (LPCSTR)abbreviateWithEllipsis(text.c_str(), 40, 2));
}

TEST(StringUtilsShape, CaseHelpers)
{
    struct Case
    {
        const char* text;
        const char* capitalized;
    } cases[] = {
        {"hELLO wORLD", "Hello world"}, {"", ""}, {"1ABC", "1abc"}, {"\xE9T\xC9", "\xC9t\xE9"},
    };
    for (const Case& c : cases)
    {
        CString str(c.text);
        capitalizeFirstLetter(str);
        EXPECT_STREQ(c.capitalized, (LPCSTR)str) << c.text;
    }

    char buf[MAX_PATH];
    EXPECT_TRUE(containsUpperCased("C:\\WINDOWS\\TEMP\\X", "\\temp\\", buf));
    EXPECT_STREQ("\\TEMP\\", buf);
    EXPECT_FALSE(containsUpperCased("ABC", "abd", buf));
    EXPECT_FALSE(containsUpperCased("", "a", buf));
    EXPECT_FALSE(containsUpperCased(NULL, "a", buf));
    char tiny[3] = "zz";
    EXPECT_TRUE(containsUpperCased("XLONGPATTERNX", "longpattern", tiny, sizeof(tiny)));
    EXPECT_STREQ("zz", tiny);

    CStringArray arr;
    arr.Add("Alpha");
    arr.Add("beta");
    EXPECT_TRUE(findStringNoCase(arr, "ALPHA"));
    EXPECT_TRUE(findStringNoCase(arr, "Beta"));
    EXPECT_FALSE(findStringNoCase(arr, "alph"));
    EXPECT_FALSE(findStringNoCase(arr, ""));
}

TEST_F(DoubleByte, CaseHelpersLeaveTrailBytesAlone)
{
    struct Case
    {
        const char* text;
        const char* capitalized;
    } cases[] = {
        {"\x83\x41" "BC", "\x83\x41" "bc"},
        {"x\x83\x41", "X\x83\x41"},
    };
    for (const Case& c : cases)
    {
        CString str(c.text);
        capitalizeFirstLetter(str);
        EXPECT_STREQ(c.capitalized, (LPCSTR)str) << c.text;
    }
    char buf[MAX_PATH];
    EXPECT_FALSE(containsUpperCased("\x83\x41", "a", buf));
    EXPECT_TRUE(containsUpperCased("\x83\x41" "A", "a", buf));
}

TEST(StringUtilsNumbers, DigitsAndBcd)
{
    struct
    {
        const char* text;
        BOOL digits;
    } texts[] = {{"", TRUE}, {"0123456789", TRUE}, {"12a", FALSE}, {" 1", FALSE}, {"-1", FALSE}};
    for (const auto& c : texts)
        EXPECT_EQ(c.digits, isAllDigits(c.text)) << c.text;

    struct
    {
        DWORD n;
        DWORD bcd;
    } numbers[] = {{0, 0}, {7, 7}, {1234, 0x1234}, {99999999, 0x99999999}, {123456789, 0x23456789}};
    for (const auto& c : numbers)
        EXPECT_EQ(c.bcd, decimalToBCD(c.n)) << c.n;

    EXPECT_STREQ("-2147483648", (LPCSTR)intToString(INT_MIN));
    EXPECT_STREQ("0", (LPCSTR)intToString(0));
}

TEST(StringUtilsProfile, ReadsAtMost259Characters)
{
    char dir[MAX_PATH];
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof(dir), dir));
    std::string ini = std::string((LPCSTR)joinPath(dir, "strutil.ini"));
    DeleteFileA(ini.c_str());
    std::string longValue(400, 'v');
    ASSERT_TRUE(WritePrivateProfileStringA("Server", "Name", "host1", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Server", "Long", longValue.c_str(), ini.c_str()));

    EXPECT_STREQ("host1", (LPCSTR)getProfileString("server", "NAME", "dflt", ini.c_str()));
    EXPECT_STREQ("dflt", (LPCSTR)getProfileString("Server", "Missing", "dflt", ini.c_str()));
    EXPECT_STREQ("dflt", (LPCSTR)getProfileString("Server", "Name", "dflt", (ini + ".none").c_str()));
    EXPECT_EQ(259, getProfileString("Server", "Long", "", ini.c_str()).GetLength());
    DeleteFileA(ini.c_str());
}

// Nine hours east of UTC, no daylight saving.
class TimeZoneEast9 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _putenv("TZ=JST-9");
        _tzset();
    }
    void TearDown() override
    {
        _putenv("TZ=");
        _tzset();
    }
};

TEST_F(TimeZoneEast9, TimeStamps)
{
    const time_t utc = 1704164645;  // 2024-01-02 03:04:05 UTC
    EXPECT_EQ(utc, parseTimeStamp("20240102030405", FALSE).GetTime());
    EXPECT_EQ(utc - 9 * 3600, parseTimeStamp("20240102030405", TRUE).GetTime());
    EXPECT_EQ(utc, parseTimeStamp("20240102030405999", FALSE).GetTime());

    struct Case
    {
        const char* text;
        int year, month, day, hour, minute, second;
    } cases[] = {
        {"20240102", 2024, 1, 2, 0, 0, 0},
        {"2024010203", 2024, 1, 2, 3, 0, 0},
        {"202402", 2024, 2, 1, 0, 0, 0},
        {"2024", 2024, 1, 1, 0, 0, 0},
    };
    for (const Case& c : cases)
    {
        CTime t = parseTimeStamp(c.text, TRUE);
        SYSTEMTIME st;
        ASSERT_TRUE(timeToSystemTime(t, st)) << c.text;
        EXPECT_EQ(c.year, st.wYear) << c.text;
        EXPECT_EQ(c.month, st.wMonth) << c.text;
        EXPECT_EQ(c.day, st.wDay) << c.text;
        EXPECT_EQ(c.hour, st.wHour) << c.text;
        EXPECT_EQ(c.minute, st.wMinute) << c.text;
        EXPECT_EQ(c.second, st.wSecond) << c.text;
    }

    CTime local(2024, 1, 2, 3, 4, 5);
    SYSTEMTIME st;
    ASSERT_TRUE(timeToSystemTime(local, st));
    EXPECT_EQ(2, st.wDayOfWeek);  // a Tuesday
    EXPECT_EQ(3, st.wHour);
    CTime shifted = convertToLocalTime(local);
    EXPECT_EQ(utc, shifted.GetTime());
    EXPECT_EQ(12, shifted.GetHour());
}
