// The exclusion list: INI, registry and query forms and the split into paths and names.
#include <gtest/gtest.h>

#include "ExclusionFileINI.h"
#include "atlbase.h"
#include "VglTestSupport.h"

#include <memory>
#include <string>

namespace
{
const char s_szKeyPath[] = "Software\\VglTest\\Exclusions";

std::string Entries(const CStringArray& arr)
{
    std::string str;
    for (int i = 0; i < arr.GetSize(); ++i)
        str += std::string(i ? "|" : "") + (LPCSTR)arr[i];
    return str;
}

class ExclusionTest : public ::testing::Test
{
protected:
    void SetUp() override { DeleteScratchKey(); }
    void TearDown() override { DeleteScratchKey(); }

    static void DeleteScratchKey()
    {
        CRegKey key;
        if (key.Open(HKEY_CURRENT_USER, "Software") == ERROR_SUCCESS)
            key.RecurseDeleteKey("VglTest");
    }
};
}

TEST_F(ExclusionTest, GapsInTheIniFormCloseUpAndTheListRoundTrips)
{
    std::string strIni = ScratchFile("exclusion.ini");
    WriteWholeFile(strIni, "[Exclusion File Configuration]\r\nAllowCfg=Yes\r\nExclude1=\r\nExclude2=C:\\Temp\r\n"
                          "Exclude5=Temp\\a.doc\r\nExclude21=D:\\Beyond\r\n");
    CExclusionFileINI fromIni;
    fromIni.ReadIniFile(strIni.c_str());
    EXPECT_TRUE(fromIni.m_fAllowCfg);
    EXPECT_EQ("C:\\Temp|Temp\\a.doc", Entries(fromIni.m_arrEntries));

    std::string strCopy = ScratchFile("exclusion_copy.ini");
    DeleteFileA(strCopy.c_str());
    fromIni.WriteIniFile(strCopy.c_str());
    EXPECT_EQ("YES", ReadIni(strCopy, g_pszExclusionFileSection, "AllowCfg"));
    EXPECT_EQ("C:\\Temp", ReadIni(strCopy, g_pszExclusionFileSection, "Exclude1"));
    EXPECT_EQ("Temp\\a.doc", ReadIni(strCopy, g_pszExclusionFileSection, "Exclude2"));

    // Registry form, read twice into the same object.
    fromIni.WriteRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    CExclusionFileINI fromRegistry;
    fromRegistry.m_fAllowCfg = FALSE;
    fromRegistry.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    fromRegistry.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_TRUE(fromRegistry.m_fAllowCfg);
    EXPECT_EQ("C:\\Temp|Temp\\a.doc", Entries(fromRegistry.m_arrEntries));
    CRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, "Software\\VglTest\\Exclusions\\Exclusion File Configuration"));
    char szValue[64] = "?";
    DWORD cb = sizeof(szValue);
    EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(szValue, "Exclude20", &cb));
    EXPECT_STREQ("", szValue);

    // No subkey: nothing changes.
    CExclusionFileINI untouched;
    untouched.m_arrEntries.Add("keep");
    untouched.ReadRegistry("Software\\VglTest\\Missing", HKEY_CURRENT_USER);
    EXPECT_EQ("keep", Entries(untouched.m_arrEntries));
    EXPECT_TRUE(untouched.m_fAllowCfg);
}

TEST_F(ExclusionTest, MoreThanTwentyEntriesAreNotWritten)
{
    CExclusionFileINI list;
    for (int i = 1; i <= 22; ++i)
    {
        CString strEntry;
        strEntry.Format("file%d.txt", i);
        list.m_arrEntries.Add(strEntry);
    }
    std::string strIni = ScratchFile("exclusion_many.ini");
    DeleteFileA(strIni.c_str());
    list.WriteIniFile(strIni.c_str());
    list.WriteRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    CExclusionFileINI fromIni, fromRegistry;
    fromIni.ReadIniFile(strIni.c_str());
    fromRegistry.ReadRegistry(s_szKeyPath, HKEY_CURRENT_USER);
    EXPECT_EQ(20, fromIni.m_arrEntries.GetSize());
    EXPECT_EQ(20, fromRegistry.m_arrEntries.GetSize());
    EXPECT_EQ("", ReadIni(strIni, g_pszExclusionFileSection, "Exclude21"));
    EXPECT_STREQ("file20.txt", fromRegistry.m_arrEntries[19]);
}

TEST_F(ExclusionTest, QueryCarriesTwentyEntries)
{
    CExclusionFileINI list;
    list.m_fAllowCfg = FALSE;
    std::string strEmpty = "/x?UID=g&ALLOWCFG=0";
    for (int n = 1; n <= 20; ++n)
        strEmpty += "&EXCLUDE" + std::to_string(n) + "=";
    EXPECT_EQ(strEmpty, std::string(list.BuildCgiQuery("/x", "g", NULL)));

    list.m_fAllowCfg = TRUE;
    list.m_arrEntries.Add("C:\\My Files");
    std::string strQuery = (LPCSTR)list.BuildCgiQuery("/x", "g", "5.58");
    EXPECT_EQ(0u, strQuery.find("/x?UID=g&ALLOWCFG=1&EXCLUDE1=C%3a%5cMy%20Files&EXCLUDE2=&EXCLUDE3="));
    EXPECT_EQ(strQuery.size() - strlen("&EXCLUDE20=&RELEASE=5.58"), strQuery.rfind("&EXCLUDE20=&RELEASE=5.58"));
}

TEST_F(ExclusionTest, EntriesSplitIntoDrivePathsAndNames)
{
    struct { const char* pszEntry; bool fPath, fName; } cases[] = {
        {"C:\\Temp", true, false}, {"d:", true, false},           {"Temp\\a.doc", false, true},
        {"\\\\server\\share", false, true}, {"a.doc", false, true}, {"x", true, true},
    };
    CExclusionFileINI list;
    list.m_arrEntries.Add("");
    for (const auto& c : cases)
        list.m_arrEntries.Add(c.pszEntry);
    CStringArray arrPaths, arrNames;
    arrPaths.Add("kept");
    EXPECT_TRUE(list.GetExcludedPaths(arrPaths));
    EXPECT_TRUE(list.GetExcludedFileNames(arrNames));
    std::string strPaths = "kept", strNames;
    for (const auto& c : cases)
    {
        if (c.fPath)
            strPaths += std::string("|") + c.pszEntry;
        if (c.fName)
            strNames += std::string(strNames.empty() ? "" : "|") + c.pszEntry;
    }
    EXPECT_EQ(strPaths, Entries(arrPaths));
    EXPECT_EQ(strNames, Entries(arrNames));
}

TEST_F(ExclusionTest, AssignmentKeepsTheSection)
{
    CExclusionFileINI source("Other Section");
    source.m_fAllowCfg = FALSE;
    source.m_arrEntries.Add("a");
    CExclusionFileINI target;
    target.m_arrEntries.Add("b");
    target = source;
    EXPECT_STREQ(g_pszExclusionFileSection, target.m_pszSection);
    EXPECT_FALSE(target.m_fAllowCfg);
    EXPECT_EQ("a", Entries(target.m_arrEntries));
    std::unique_ptr<CExclusionFileINI> clone(source.Clone());
    EXPECT_STREQ("Other Section", clone->m_pszSection);
    EXPECT_EQ("a", Entries(clone->m_arrEntries));
}
