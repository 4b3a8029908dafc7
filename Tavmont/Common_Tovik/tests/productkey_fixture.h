// Shared by the configuration store's tests: the product key is removed before and
// after every test, and the settings file in the Windows folder can be put in place.
#ifndef VGL_TESTS_PRODUCTKEY_FIXTURE_H
#define VGL_TESTS_PRODUCTKEY_FIXTURE_H

#include <gtest/gtest.h>

#include "RegistryKey.h"
#include "atlbase.h"
#include "VglTestSupport.h"

#include <stdlib.h>
#include <string>

class ProductKeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteProductKey();
        RemoveSettingsFile();
    }

    void TearDown() override
    {
        DeleteProductKey();
        RemoveSettingsFile();
        NS_RegistryKey::g_fHttpBased = TRUE;
        NS_RegistryKey::g_fForceMobile = FALSE;
    }

    static std::string KeyPath(const char* pszSubKey)
    {
        std::string strPath = NS_RegistryKey::GetCurrentVersionKeyName();
        if (pszSubKey != NULL && *pszSubKey != '\0')
            strPath += std::string("\\") + pszSubKey;
        return strPath;
    }

    static void DeleteProductKey()
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, NS_RegistryKey::GetProductKeyName()) == ERROR_SUCCESS)
            key.RecurseDeleteKey("CurrentVersion");
    }

    static bool KeyExists(const char* pszSubKey = NULL)
    {
        CRegKey key;
        return key.Open(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str(), KEY_READ) == ERROR_SUCCESS;
    }

    static void CreateKey(const char* pszSubKey = NULL)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str()));
    }

    static void WriteDword(const char* pszSubKey, const char* pszName, DWORD dwValue)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue(dwValue, pszName));
    }

    static void WriteString(const char* pszSubKey, const char* pszName, const char* pszText)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue(pszText, pszName));
    }

    static bool HasValue(const char* pszSubKey, const char* pszName)
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str(), KEY_READ) != ERROR_SUCCESS)
            return false;
        return RegQueryValueExA(key, pszName, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    }

    static DWORD ReadDword(const char* pszSubKey, const char* pszName)
    {
        CRegKey key;
        DWORD dwValue = 0xDEADBEEF;
        if (key.Open(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str(), KEY_READ) == ERROR_SUCCESS)
            key.QueryValue(dwValue, pszName);
        return dwValue;
    }

    static std::string ReadString(const char* pszSubKey, const char* pszName)
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str(), KEY_READ) != ERROR_SUCCESS)
            return "<no key>";
        DWORD cb = 0;
        if (RegQueryValueExA(key, pszName, NULL, NULL, NULL, &cb) != ERROR_SUCCESS)
            return "<missing>";
        std::string strValue(cb + 1, '\0');
        RegQueryValueExA(key, pszName, NULL, NULL, (LPBYTE)&strValue[0], &cb);
        strValue.resize(strlen(strValue.c_str()));
        return strValue;
    }

    // Copies the fixture tests/data/<name> into the Windows folder as the settings file.
    static void InstallSettingsFile(const char* pszFixture)
    {
        ASSERT_TRUE(getenv("VGL_TEST_DATA") != NULL);
        std::string strSource = TestDataFile(pszFixture);
        ASSERT_TRUE(CopyFileA(strSource.c_str(), SettingsFilePath().c_str(), FALSE))
            << strSource;
        SetFileAttributesA(SettingsFilePath().c_str(), FILE_ATTRIBUTE_NORMAL);
        // The copy keeps the fixture's time stamp, and the profile cache judges a
        // file unchanged by it: fixtures checked out in one second look alike.
        WritePrivateProfileStringA(NULL, NULL, NULL, SettingsFilePath().c_str());
    }
};

#endif
