#include <gtest/gtest.h>
#include "atlbase.h"

namespace {

const char kScratch[] = "Software\\VigilonTest\\ClasslibRegKey";

class RegKeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Cleanup();
        ASSERT_EQ(ERROR_SUCCESS, m_key.Create(HKEY_CURRENT_USER, kScratch));
    }
    void TearDown() override
    {
        m_key.Close();
        Cleanup();
    }
    static void Cleanup()
    {
        CRegKey parent;
        if (parent.Open(HKEY_CURRENT_USER, "Software\\VigilonTest") == ERROR_SUCCESS) {
            parent.RecurseDeleteKey("ClasslibRegKey");
            parent.Close();
            RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VigilonTest"); // only when left empty
        }
    }
    CRegKey m_key;
};

} // namespace

TEST_F(RegKeyTest, ValuesRoundTrip)
{
    EXPECT_EQ(ERROR_SUCCESS, m_key.SetValue(0xDEADBEEF, "Number"));
    EXPECT_EQ(ERROR_SUCCESS, m_key.SetValue("C:\\Program Files\\x", "Text"));
    EXPECT_EQ(ERROR_SUCCESS, m_key.SetValue("default text"));

    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, kScratch, KEY_READ));
    DWORD dw = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(dw, "Number"));
    EXPECT_EQ(0xDEADBEEFu, dw);

    char buf[64];
    DWORD count = sizeof(buf);
    EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(buf, "Text", &count));
    EXPECT_STREQ("C:\\Program Files\\x", buf);
    EXPECT_EQ(19u, count); // with the terminator
    count = sizeof(buf);
    EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(buf, NULL, &count));
    EXPECT_STREQ("default text", buf);

    count = 4;
    EXPECT_EQ(ERROR_MORE_DATA, key.QueryValue(buf, "Text", &count));

    dw = 7;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryValue(dw, "Missing"));
    EXPECT_EQ(7u, dw);

    EXPECT_EQ(ERROR_SUCCESS, m_key.DeleteValue("Number"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryValue(dw, "Number"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.DeleteValue("Number"));
}

TEST_F(RegKeyTest, OpenMissingKeepsHandleClosed)
{
    CRegKey key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(m_key, "NoSuchKey"));
    EXPECT_EQ(NULL, key.m_hKey);
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
}

TEST_F(RegKeyTest, RecurseDeleteKeyRemovesNestedTree)
{
    const char* paths[] = { "Tree\\A\\B\\C", "Tree\\A\\D", "Tree\\E" };
    for (const char* path : paths) {
        CRegKey k;
        ASSERT_EQ(ERROR_SUCCESS, k.Create(m_key, path));
        EXPECT_EQ(ERROR_SUCCESS, k.SetValue(1, "v"));
    }
    EXPECT_EQ(ERROR_SUCCESS, m_key.SetKeyValue("Tree\\A", "text", "s"));

    EXPECT_EQ(ERROR_SUCCESS, m_key.RecurseDeleteKey("Tree"));
    CRegKey k;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, k.Open(m_key, "Tree"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, m_key.RecurseDeleteKey("Tree"));
    // The key itself is untouched.
    EXPECT_EQ(ERROR_SUCCESS, k.Open(HKEY_CURRENT_USER, kScratch));
}

TEST_F(RegKeyTest, AttachDetach)
{
    HKEY raw = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kScratch, 0, KEY_ALL_ACCESS, &raw));
    {
        CRegKey k;
        k.Attach(raw);
        EXPECT_EQ(raw, (HKEY)k);
        EXPECT_EQ(raw, k.Detach());
        EXPECT_EQ(NULL, k.m_hKey);
    } // detached: the destructor leaves it open
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(raw, "x", 0, REG_DWORD, (const BYTE*)"\1\0\0\0", 4));
    {
        CRegKey k;
        k.Attach(raw);
    } // attached: closed by the destructor
    EXPECT_NE(ERROR_SUCCESS, RegSetValueExA(raw, "y", 0, REG_DWORD, (const BYTE*)"\1\0\0\0", 4));
}
