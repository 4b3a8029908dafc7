// Registry functions: values, start-up entries, key trees and the removal of a COM class.
#include <gtest/gtest.h>

#include "SystemError.h"
#include "Utils_RegKey.h"
#include "VglTestSupport.h"

#include <stdio.h>
#include <string>

namespace
{
const char* const TEST_KEY = "Software\\VglTests\\RegKeyUtils";

// A value name of this process's own under the start-up keys.
std::string RunName(const char* pszTag)
{
    char sz[96];
    sprintf(sz, "VglTest_%s_%lu", pszTag, GetCurrentProcessId());
    return sz;
}

HKEY CreateKey(HKEY hRoot, const std::string& strPath)
{
    HKEY hKey = NULL;
    RegCreateKeyExA(hRoot, strPath.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL);
    return hKey;
}

void SetString(HKEY hRoot, const std::string& strKey, const std::string& strName, const std::string& strData)
{
    HKEY hKey = CreateKey(hRoot, strKey);
    ASSERT_TRUE(hKey != NULL);
    RegSetValueExA(hKey, strName.empty() ? NULL : strName.c_str(), 0, REG_SZ,
                   (const BYTE*)strData.c_str(), (DWORD)strData.size() + 1);
    RegCloseKey(hKey);
}

// The value's text; "(missing)" when it is not there.
std::string GetString(HKEY hRoot, const std::string& strKey, const std::string& strName)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return "(missing)";
    std::string strData(4096, '\0');
    DWORD cb = (DWORD)strData.size();
    LONG l = RegQueryValueExA(hKey, strName.empty() ? NULL : strName.c_str(), NULL, NULL,
                              (BYTE*)&strData[0], &cb);
    RegCloseKey(hKey);
    return l == ERROR_SUCCESS ? std::string(strData.c_str()) : "(missing)";
}

bool KeyExists(HKEY hRoot, const std::string& strKey)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

class RegKeyUtils : public testing::Test
{
protected:
    void SetUp() override { deleteKey(HKEY_CURRENT_USER, TEST_KEY); }
    void TearDown() override { deleteKey(HKEY_CURRENT_USER, TEST_KEY); }
};
} // namespace

TEST_F(RegKeyUtils, TypedValues)
{
    HKEY hKey = CreateKey(HKEY_CURRENT_USER, TEST_KEY);
    ASSERT_TRUE(hKey != NULL);
    EXPECT_TRUE(setRegistryString(hKey, "Text", "http://server:8080/"));
    EXPECT_TRUE(setRegistryDword(hKey, "Number", 0xDEADBEEF));
    EXPECT_EQ("http://server:8080/", std::string(readRegistryString(hKey, "Text")));
    EXPECT_EQ(0xDEADBEEFu, readRegistryDword(hKey, "Number"));
    EXPECT_TRUE(readRegistryString(hKey, "Missing").IsEmpty());
    EXPECT_EQ(0u, readRegistryDword(hKey, "Missing"));

    // Data stored without its zero, and a number read from longer data.
    RegSetValueExA(hKey, "NoZero", 0, REG_BINARY, (const BYTE*)"abcdef", 3);
    EXPECT_EQ("abc", std::string(readRegistryString(hKey, "NoZero")));
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    RegSetValueExA(hKey, "Eight", 0, REG_BINARY, eight, sizeof(eight));
    EXPECT_EQ(0x04030201u, readRegistryDword(hKey, "Eight"));
    RegCloseKey(hKey);
}

TEST(RunKey, SetAddsTheSwitchOnlyWhenMissing)
{
    std::string strName = RunName("Set");
    struct SCase
    {
        std::string strCommand;
        BOOL fExpected;
        std::string strStored;
    } cases[] = {
        {"\"C:\\Vigilon\\Ksxwin97.exe\"", TRUE, "\"C:\\Vigilon\\Ksxwin97.exe\" -HideWindow"},
        {"C:\\V\\Ksxwin97.exe -HideWindow", TRUE, "C:\\V\\Ksxwin97.exe -HideWindow"},
        {"C:\\V\\Ksxwin97.exe-HideWindow", TRUE, "C:\\V\\Ksxwin97.exe-HideWindow"},
        {std::string(1011, 'c'), TRUE, std::string(1011, 'c') + " -HideWindow"},   // 1023 bytes
        {std::string(1012, 'c'), FALSE, "(missing)"},                              // 1024 bytes
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.strCommand.substr(0, 40));
        deleteRegistryRunKey(strName.c_str());
        EXPECT_EQ(c.fExpected, setRegistryRunKey(c.strCommand.c_str(), strName.c_str()));
        EXPECT_EQ(c.strStored, GetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strName));
    }
    EXPECT_FALSE(isRegistryRunKeyExist(strName.c_str()));
    EXPECT_TRUE(setRegistryRunKey("x", strName.c_str()));
    EXPECT_TRUE(isRegistryRunKeyExist(strName.c_str()));
    EXPECT_TRUE(deleteRegistryRunKey(strName.c_str()));
    EXPECT_FALSE(isRegistryRunKeyExist(strName.c_str()));
    EXPECT_TRUE(deleteRegistryRunKey(strName.c_str()));   // no value, key opens

    // RunServices keeps the command unchanged.
    EXPECT_TRUE(setRegistryRunServicesKey("C:\\V\\Ksxwin97.exe", strName.c_str()));
    EXPECT_EQ("C:\\V\\Ksxwin97.exe", GetString(HKEY_LOCAL_MACHINE, REGSTR_RUNSERVICES_KEY, strName));
    EXPECT_TRUE(isRegistryRunServicesKeyExist(strName.c_str()));
    EXPECT_TRUE(deleteRegistryRunServicesKey(strName.c_str()));
    EXPECT_FALSE(isRegistryRunServicesKeyExist(strName.c_str()));

    for (const char* pszName : {"", (const char*)NULL})
    {
        EXPECT_FALSE(setRegistryRunKey("x", pszName));
        EXPECT_FALSE(repairRegistryRunKey("x", pszName));
        EXPECT_FALSE(isRegistryRunKeyExist(pszName));
        EXPECT_FALSE(deleteRegistryRunKey(pszName));
        EXPECT_FALSE(setRegistryRunServicesKey("x", pszName));
        EXPECT_FALSE(isRegistryRunServicesKeyExist(pszName));
        EXPECT_FALSE(deleteRegistryRunServicesKey(pszName));
    }
}

TEST(RunKey, RepairWritesOrCompletesTheValueWithinItsBuffer)
{
    std::string strName = RunName("Repair");
    const char* const MISSING = NULL;
    struct SCase
    {
        const char* pszBefore;      // NULL: no value
        std::string strCommand;
        BOOL fExpected;
        std::string strAfter;
    } cases[] = {
        {MISSING, "\"C:\\V\\Ksxwin97.exe\"", FALSE, "\"C:\\V\\Ksxwin97.exe\" -HideWindow"},
        {"C:\\V\\K.exe", "ignored", TRUE, "C:\\V\\K.exe -HideWindow"},
        {"C:\\V\\K.exe-HideWindow", "ignored", TRUE, "C:\\V\\K.exe-HideWindow -HideWindow"},
        {"C:\\V\\K.exe -HideWindow /x", "ignored", TRUE, "C:\\V\\K.exe -HideWindow /x"},
        // Commands and values too long for the 1024-byte buffer are never cut or overrun.
        {MISSING, std::string(5000, 'c'), FALSE, "(missing)"},
        {MISSING, std::string(1012, 'c'), FALSE, "(missing)"},
        {MISSING, std::string(1011, 'c'), FALSE, std::string(1011, 'c') + " -HideWindow"},
        {"", std::string(1020, 'c'), TRUE, " -HideWindow"},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.strCommand.substr(0, 40));
        deleteRegistryRunKey(strName.c_str());
        if (c.pszBefore != MISSING)
            SetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strName, c.pszBefore);
        EXPECT_EQ(c.fExpected, repairRegistryRunKey(c.strCommand.c_str(), strName.c_str()));
        EXPECT_EQ(c.strAfter, GetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strName));
    }

    // Present values that leave no room for the switch stay as they are.
    for (size_t cch : {1012u, 1023u, 3000u})
    {
        std::string strLong(cch, 'v');
        SetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strName, strLong);
        EXPECT_TRUE(repairRegistryRunKey("ignored", strName.c_str()));
        EXPECT_EQ(strLong, GetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strName));
    }
    deleteRegistryRunKey(strName.c_str());
}

TEST_F(RegKeyUtils, RemoveDuplicateValuesKeepsOwnAndUnrelatedValues)
{
    std::string strKey = std::string(TEST_KEY) + "\\Run";
    SetString(HKEY_CURRENT_USER, strKey, "Vigilon", "\"C:\\Vigilon\\Ksxwin97.exe\" -HideWindow");
    SetString(HKEY_CURRENT_USER, strKey, "Copy1", "C:\\VIGILON\\KSXWIN97.EXE");
    SetString(HKEY_CURRENT_USER, strKey, "Copy2", "\"c:\\vigilon\\ksxwin97.exe\" -x");
    SetString(HKEY_CURRENT_USER, strKey, "Other", "C:\\Windows\\notepad.exe");
    SetString(HKEY_CURRENT_USER, strKey, "Copy3", "start C:\\Vigilon\\Ksxwin97.exe");

    EXPECT_TRUE(removeDuplicateValues(HKEY_CURRENT_USER, strKey.c_str(), "VIGILON",
                                      "C:\\Vigilon\\Ksxwin97.exe"));
    EXPECT_NE("(missing)", GetString(HKEY_CURRENT_USER, strKey, "Vigilon"));
    EXPECT_NE("(missing)", GetString(HKEY_CURRENT_USER, strKey, "Other"));
    for (const char* pszName : {"Copy1", "Copy2", "Copy3"})
        EXPECT_EQ("(missing)", GetString(HKEY_CURRENT_USER, strKey, pszName)) << pszName;

    // Missing arguments, a missing key, and data too long for the 256-byte buffer.
    EXPECT_FALSE(removeDuplicateValues(HKEY_CURRENT_USER, strKey.c_str(), "", "x"));
    EXPECT_FALSE(removeDuplicateValues(HKEY_CURRENT_USER, strKey.c_str(), "Vigilon", ""));
    EXPECT_FALSE(removeDuplicateValues(HKEY_CURRENT_USER, NULL, "Vigilon", "x"));
    EXPECT_FALSE(removeDuplicateValues(HKEY_CURRENT_USER, "Software\\VglTests\\None", "Vigilon", "x"));
    SetString(HKEY_CURRENT_USER, strKey, "Long", std::string(300, 'z'));
    EXPECT_FALSE(removeDuplicateValues(HKEY_CURRENT_USER, strKey.c_str(), "Vigilon", "notepad"));
}

TEST(RunKey, RemoveDuplicateRunValues)
{
    std::string strOwn = RunName("Own"), strDup = RunName("Dup");
    char szText[64];
    sprintf(szText, "VglTestProgram%lu.exe", GetCurrentProcessId());
    SetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strOwn, std::string("C:\\") + szText);
    SetString(HKEY_LOCAL_MACHINE, REGSTR_RUN_KEY, strDup, std::string("C:\\") + szText + " -HideWindow");
    SetString(HKEY_LOCAL_MACHINE, REGSTR_RUNSERVICES_KEY, strDup, std::string("C:\\") + szText);

    EXPECT_TRUE(removeDuplicateRunValues(strOwn.c_str(), szText));
    EXPECT_TRUE(isRegistryRunKeyExist(strOwn.c_str()));
    EXPECT_FALSE(isRegistryRunKeyExist(strDup.c_str()));
    EXPECT_TRUE(isRegistryRunServicesKeyExist(strDup.c_str()));
    EXPECT_TRUE(removeDuplicateRunServicesValues(strOwn.c_str(), szText));
    EXPECT_FALSE(isRegistryRunServicesKeyExist(strDup.c_str()));
    deleteRegistryRunKey(strOwn.c_str());
}

TEST_F(RegKeyUtils, DeleteKeyTreeRemovesEverythingBelow)
{
    std::string strTree = std::string(TEST_KEY) + "\\Tree";
    for (const char* pszSub : {"\\a\\b\\c", "\\a\\b\\d", "\\a\\e", "\\f"})
        SetString(HKEY_CURRENT_USER, strTree + pszSub, "v", "1");
    SetString(HKEY_CURRENT_USER, strTree, "v", "1");
    SetString(HKEY_CURRENT_USER, std::string(TEST_KEY) + "\\Sibling", "v", "1");

    HKEY hParent = CreateKey(HKEY_CURRENT_USER, TEST_KEY);
    EXPECT_EQ(TRUE, deleteKeyTree(hParent, "Tree"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, strTree));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(TEST_KEY) + "\\Sibling"));
    EXPECT_EQ(0, deleteKeyTree(hParent, ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, deleteKeyTree(hParent, "Tree"));
    RegCloseKey(hParent);

    // By path, whole, and only when empty.
    SetString(HKEY_CURRENT_USER, strTree + "\\x\\y", "v", "1");
    deleteKeyByPath(HKEY_CURRENT_USER, (strTree + "\\x").c_str());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, strTree + "\\x"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, strTree));

    SetString(HKEY_CURRENT_USER, strTree + "\\x\\y", "v", "1");
    EXPECT_FALSE(deleteKeyIfEmpty(HKEY_CURRENT_USER, (strTree + "\\x").c_str()));
    EXPECT_TRUE(deleteKeyIfEmpty(HKEY_CURRENT_USER, (strTree + "\\x\\y").c_str()));
    EXPECT_TRUE(deleteKeyIfEmpty(HKEY_CURRENT_USER, (strTree + "\\x").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, strTree + "\\x"));

    EXPECT_TRUE(deleteKey(HKEY_CURRENT_USER, strTree.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, strTree));
    EXPECT_FALSE(deleteKey(HKEY_CURRENT_USER, strTree.c_str()));
    EXPECT_FALSE(deleteKey(HKEY_CURRENT_USER, ""));
}

TEST(ComClass, RemoveActiveXControlDeletesFilesAndKeys)
{
    const std::string strClsid = "{0A6E3F10-7B1C-4D2E-9F00-5A1B2C3D4E5F}";
    const std::string strServer = CurrentFolder() + "\\vgltestctl.ocx";
    WriteWholeFile(strServer, "x");   // not a library: nothing to unregister, still deleted
    WriteWholeFile(CurrentFolder() + "\\vgltestctl.inf", "x");

    const std::string strClass = "CLSID\\" + strClsid;
    SetString(HKEY_CLASSES_ROOT, strClass + "\\InprocServer32", "", strServer);
    SetString(HKEY_CLASSES_ROOT, strClass + "\\ProgID", "", "VglTest.Control.1");
    SetString(HKEY_CLASSES_ROOT, strClass + "\\VersionIndependentProgID", "", "VglTest.Control");
    SetString(HKEY_CLASSES_ROOT, "VglTest.Control.1\\CLSID", "", strClsid);
    SetString(HKEY_CLASSES_ROOT, "VglTest.Control\\CurVer", "", "VglTest.Control.1");
    const std::string strUnit = "Software\\Microsoft\\Code Store Database\\Distribution Units\\" + strClsid;
    SetString(HKEY_LOCAL_MACHINE, strUnit + "\\Contains\\Files", "", "x");

    char szBuffer[512];
    EXPECT_TRUE(getInprocServer32Path(strClsid.c_str(), szBuffer, sizeof(szBuffer)));
    EXPECT_EQ(strServer, szBuffer);
    EXPECT_TRUE(getProgIdOfClass(strClsid.c_str(), szBuffer, sizeof(szBuffer)));
    EXPECT_STREQ("VglTest.Control.1", szBuffer);
    EXPECT_TRUE(getVersionIndependentProgId(strClsid.c_str(), szBuffer, sizeof(szBuffer)));
    EXPECT_STREQ("VglTest.Control", szBuffer);
    // A buffer too small for the value reads nothing.
    EXPECT_FALSE(getProgIdOfClass(strClsid.c_str(), szBuffer, 5));

    EXPECT_TRUE(removeActiveXControl(strClsid.c_str()));
    EXPECT_FALSE(FileExists(strServer));
    EXPECT_FALSE(FileExists(CurrentFolder() + "\\vgltestctl.inf"));
    for (const std::string& strKey : {strClass, std::string("VglTest.Control.1"), std::string("VglTest.Control")})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, strKey)) << strKey;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\CLASSES\\" + strClass));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, strUnit));
    EXPECT_FALSE(getInprocServer32Path(strClsid.c_str(), szBuffer, sizeof(szBuffer)));

    // Nothing left to remove.
    EXPECT_FALSE(removeActiveXControl(strClsid.c_str()));
}

TEST(ComClass, DeleteFileAndInf)
{
    const std::string strFile = CurrentFolder() + "\\vgltestdel.dll";
    WriteWholeFile(strFile, "x");
    WriteWholeFile(CurrentFolder() + "\\vgltestdel.inf", "x");
    EXPECT_TRUE(deleteFileAndInf(strFile.c_str()));
    EXPECT_FALSE(FileExists(strFile));
    EXPECT_FALSE(FileExists(CurrentFolder() + "\\vgltestdel.inf"));

    EXPECT_FALSE(deleteFileAndInf(strFile.c_str()));
    EXPECT_FALSE(deleteFileAndInf(""));
    EXPECT_FALSE(deleteFileAndInf(NULL));

    // A file in use cannot be deleted: that is an error, not a missing file.
    WriteWholeFile(strFile, "x");
    HANDLE hOpen = CreateFileA(strFile.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hOpen);
    EXPECT_THROW(deleteFileAndInf(strFile.c_str()), CSystemError);
    CloseHandle(hOpen);
    EXPECT_TRUE(deleteFileAndInf(strFile.c_str()));
}
