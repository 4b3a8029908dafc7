// The path-sized text and the registry key's BOOL read and value copies, on a scratch
// key under HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include "FixedString.h"
#include "RegKeyEx.h"

#include <mbctype.h>
#include <string>

namespace
{
const char* const SCRATCH_KEY = "Software\\VigilonTests\\RegKeyEx";

class RegKeyExTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(SCRATCH_KEY) + "\\Source").c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, SCRATCH_KEY);
        ASSERT_EQ(ERROR_SUCCESS, m_key.Create(HKEY_CURRENT_USER, SCRATCH_KEY));
        ASSERT_EQ(ERROR_SUCCESS, m_source.Create(m_key, "Source"));
    }
    void TearDown() override
    {
        m_source.Close();
        m_key.Close();
        RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(SCRATCH_KEY) + "\\Source").c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, SCRATCH_KEY);
    }

    void SetRaw(HKEY hKey, const char* pszName, DWORD dwType, const void* pData, DWORD cb)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, pszName, 0, dwType, (const BYTE*)pData, cb));
    }

    // "<missing>" or "type:text" / "type:number".
    std::string Value(const char* pszName)
    {
        BYTE buf[512];
        DWORD cb = sizeof(buf), dwType = 0;
        if (RegQueryValueExA(m_key, pszName, NULL, &dwType, buf, &cb) != ERROR_SUCCESS)
            return "<missing>";
        if (dwType == REG_DWORD)
            return "dword:" + std::to_string(*(DWORD*)buf);
        return (dwType == REG_SZ ? "sz:" : "other:") + std::string((char*)buf, cb ? cb - 1 : 0);
    }

    CRegKeyEx m_key;
    CRegKey m_source;
};
}

TEST(FixedString, CopiesAtMost259BytesAndNeverHalfACharacter)
{
    const std::string str259(259, 'a'), str300(300, 'b');
    const struct { const char* text; std::string expected; } cases[] = {
        {NULL, ""},
        {"", ""},
        {"C:\\Program Files\\Vigilon", "C:\\Program Files\\Vigilon"},
        {str259.c_str(), str259},
        {str300.c_str(), str300.substr(0, 259)},
    };
    for (const auto& c : cases)
    {
        CFixedString fixed(c.text);
        EXPECT_EQ(c.expected, (LPCSTR)fixed);
        CFixedString assigned("previous");
        assigned.Assign(c.text);
        EXPECT_EQ(c.expected, (LPCSTR)assigned);
    }

    ASSERT_EQ(0, _setmbcp(932));
    std::string strDouble = std::string(258, 'c') + "\x95\x5C";
    CFixedString fixed(strDouble.c_str());
    _setmbcp(_MB_CP_ANSI);
    EXPECT_EQ(std::string(258, 'c'), (LPCSTR)fixed);

    // A writable array for routines that fill it.
    LPSTR psz = fixed;
    lstrcpynA(psz, "filled", MAX_PATH);
    EXPECT_STREQ("filled", (LPCSTR)fixed);
}

TEST_F(RegKeyExTest, QueryBoolValueReadsUpToFourBytes)
{
    DWORD dwTwo = 2, dwZero = 0;
    BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    BYTE two[2] = {0, 1};
    SetRaw(m_key, "Two", REG_DWORD, &dwTwo, 4);
    SetRaw(m_key, "Zero", REG_DWORD, &dwZero, 4);
    SetRaw(m_key, "Eight", REG_BINARY, eight, 8);
    SetRaw(m_key, "Short", REG_BINARY, two, 2);

    const struct { const char* name; LONG result; BOOL value; } cases[] = {
        {"Missing", ERROR_FILE_NOT_FOUND, FALSE},
        {"Two", ERROR_SUCCESS, TRUE},
        {"Zero", ERROR_SUCCESS, FALSE},
        {"Eight", ERROR_MORE_DATA, FALSE},
        {"Short", ERROR_SUCCESS, TRUE},
    };
    for (const auto& c : cases)
    {
        BOOL fValue = !c.value;
        EXPECT_EQ(c.result, m_key.QueryBoolValue(fValue, c.name)) << c.name;
        EXPECT_EQ(c.value, fValue) << c.name;
    }
}

TEST_F(RegKeyExTest, CopyStringValueCopiesTextsThatFit128Bytes)
{
    std::string str127(127, 'x'), str128(128, 'y');
    ASSERT_EQ(ERROR_SUCCESS, m_source.SetValue(str127.c_str(), "Server"));
    ASSERT_EQ(ERROR_SUCCESS, m_source.SetValue(str128.c_str(), "Long"));

    EXPECT_EQ(ERROR_SUCCESS, m_key.CopyStringValue(m_source, "Server", "Copied"));
    EXPECT_EQ("sz:" + str127, Value("Copied"));
    EXPECT_EQ("<missing>", Value("Server"));
    EXPECT_EQ(ERROR_SUCCESS, m_key.CopyStringValue(m_source, "Server", NULL));
    EXPECT_EQ("sz:" + str127, Value("Server"));

    EXPECT_NE(ERROR_SUCCESS, m_key.CopyStringValue(m_source, "Long", NULL));
    EXPECT_EQ("<missing>", Value("Long"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.CopyStringValue(m_source, "Missing", "Target"));
    EXPECT_EQ("<missing>", Value("Target"));
}

TEST_F(RegKeyExTest, CopyDwordValueWritesUnderTheTargetOrTheSameName)
{
    ASSERT_EQ(ERROR_SUCCESS, m_source.SetValue((DWORD)8080, "ServerPort"));

    EXPECT_EQ(ERROR_SUCCESS, m_key.CopyDwordValue(m_source, "ServerPort", NULL));
    EXPECT_EQ("dword:8080", Value("ServerPort"));
    EXPECT_EQ(ERROR_SUCCESS, m_key.CopyDwordValue(m_source, "ServerPort", "Port"));
    EXPECT_EQ("dword:8080", Value("Port"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.CopyDwordValue(m_source, "Missing", "Other"));
    EXPECT_EQ("<missing>", Value("Other"));
}
