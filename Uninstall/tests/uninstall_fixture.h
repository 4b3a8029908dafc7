// Shared by the uninstall program's tests: its language library as the resource module,
// the maker's registry key removed before and after every test, small registry helpers.
#ifndef VGL_TESTS_UNINSTALL_FIXTURE_H
#define VGL_TESTS_UNINSTALL_FIXTURE_H

#include <afx.h>
#include <gtest/gtest.h>

#include "Utils_RegKey.h"
#include "VglTestSupport.h"

#include <string>

// The language library of the uninstall program as the resource module.
class CUninstallLanguage
{
public:
    CUninstallLanguage() : m_hOld(AfxGetResourceHandle())
    {
        m_hModule = LoadLibraryA(BinFile("VigilonUninstall.dll").c_str());
        if (m_hModule != NULL)
            AfxSetResourceHandle(m_hModule);
    }
    ~CUninstallLanguage()
    {
        if (m_hModule == NULL)
            return;
        AfxSetResourceHandle(m_hOld);
        FreeLibrary(m_hModule);
    }
    HMODULE m_hModule;

private:
    HINSTANCE m_hOld;
};

inline bool RegKeyExists(const std::string& strKey)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

inline void RegSetText(const std::string& strKey, const char* pszName, const std::string& strValue)
{
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, strKey.c_str(), &hKey));
    RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)strValue.c_str(), (DWORD)strValue.size() + 1);
    RegCloseKey(hKey);
}

inline void RegSetNumber(const std::string& strKey, const char* pszName, DWORD dwValue)
{
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, strKey.c_str(), &hKey));
    RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
    RegCloseKey(hKey);
}

inline bool RegValueExists(const std::string& strKey, const char* pszName)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    bool fExists = RegQueryValueExA(hKey, pszName, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(hKey);
    return fExists;
}

const char* const PRODUCT_KEY = "Software\\Kavrel\\VigilonCorp\\CurrentVersion";

class UninstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        deleteKey(HKEY_LOCAL_MACHINE, "Software\\Kavrel");
        ASSERT_NE(m_language.m_hModule, (HMODULE)NULL);
    }
    void TearDown() override
    {
        deleteKey(HKEY_LOCAL_MACHINE, "Software\\Kavrel");
        RemoveSettingsFile();
    }

    CUninstallLanguage m_language;
};

#endif
