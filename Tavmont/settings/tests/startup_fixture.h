// Shared by the start-up tests: the product's keys are removed around every test, the
// settings file is put in place from a fixture, and the product key is exported with
// the system's own registry tool and masked where it holds this run's GUID, times or
// program folder.
#ifndef VGL_TESTS_STARTUP_FIXTURE_H
#define VGL_TESTS_STARTUP_FIXTURE_H

#include <gtest/gtest.h>

#include "Misutils.h"
#include "RegistryKey.h"
#include "atlbase.h"
#include "VglTestSupport.h"

#include <ctype.h>
#include <string>

class StartupTest : public ::testing::Test
{
protected:
    static const char* UninstallRoot() { return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"; }

    void SetUp() override { CleanUp(); }
    void TearDown() override
    {
        CleanUp();
        NS_RegistryKey::Destruct();
        NS_RegistryKey::g_fHttpBased = TRUE;
        NS_RegistryKey::g_dwMobile = 0;
        NS_RegistryKey::g_fFQDNFirst = FALSE;
    }

    static void CleanUp()
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, "Software\\Kavrel") == ERROR_SUCCESS)
            key.RecurseDeleteKey("VigilonCorp");
        key.Close();
        if (key.Open(HKEY_LOCAL_MACHINE, UninstallRoot()) == ERROR_SUCCESS)
        {
            for (const char* pszEntry : {"Vigilon 95", "Vigilon95", "VglScanTest95"})
                key.RecurseDeleteKey(pszEntry);
        }
        RemoveSettingsFile();
        DeleteFileA(WindowsFile("Vigilon.ini").c_str());
    }

    static std::string WindowsFile(const char* pszName)
    {
        char szWindows[MAX_PATH] = "";
        GetWindowsDirectoryA(szWindows, MAX_PATH);
        return std::string(szWindows) + "\\" + pszName;
    }

    static void InstallFile(const char* pszFixture, const std::string& strTarget)
    {
        ASSERT_TRUE(CopyFileA(TestDataFile(pszFixture).c_str(), strTarget.c_str(), FALSE)) << pszFixture;
        SetFileAttributesA(strTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
        // The copy keeps the fixture's time stamp, and the profile cache judges a
        // file unchanged by it: fixtures checked out in one second look alike.
        WritePrivateProfileStringA(NULL, NULL, NULL, strTarget.c_str());
    }

    static std::string KeyPath(const char* pszSubKey)
    {
        std::string strPath = NS_RegistryKey::GetCurrentVersionKeyName();
        if (pszSubKey != NULL && *pszSubKey != '\0')
            strPath += std::string("\\") + pszSubKey;
        return strPath;
    }

    static bool KeyExists(const std::string& strPath)
    {
        CRegKey key;
        return key.Open(HKEY_LOCAL_MACHINE, strPath.c_str(), KEY_READ) == ERROR_SUCCESS;
    }

    static void WriteDword(const char* pszSubKey, const char* pszName, DWORD dwValue)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue(dwValue, pszName));
    }

    static void WriteString(const std::string& strPath, const char* pszName, const char* pszText)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, strPath.c_str()));
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue(pszText, pszName));
    }

    // "<missing>" or "<no key>" when absent; a DWORD as "dword:N", a text as it is.
    static std::string ReadValue(const std::string& strPath, const char* pszName)
    {
        CRegKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, strPath.c_str(), KEY_READ) != ERROR_SUCCESS)
            return "<no key>";
        DWORD dwType = 0, cb = 0;
        if (RegQueryValueExA(key, pszName, NULL, &dwType, NULL, &cb) != ERROR_SUCCESS)
            return "<missing>";
        std::string strValue(cb + 1, '\0');
        RegQueryValueExA(key, pszName, NULL, NULL, (LPBYTE)&strValue[0], &cb);
        if (dwType == REG_DWORD)
            return "dword:" + std::to_string(*(DWORD*)&strValue[0]);
        strValue.resize(strlen(strValue.c_str()));
        return strValue;
    }

    // Runs the registry tool with the given arguments; its exit code.
    static DWORD RunReg(const std::string& strArguments)
    {
        std::string strCommand = "reg.exe " + strArguments;
        STARTUPINFOA si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(NULL, &strCommand[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
            return (DWORD)-1;
        DWORD dwExit = (DWORD)-2;
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &dwExit);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return dwExit;
    }

    static void ImportFixture(const char* pszFixture)
    {
        ASSERT_EQ(0u, RunReg("import \"" + TestDataFile(pszFixture) + "\"")) << pszFixture;
    }

    // The product's root key as the registry tool exports it, as plain text with LF line
    // ends, and this run's GUID, install date and time and program folder masked.
    static std::string ExportProductKey()
    {
        std::string strFile = ScratchFile("export.reg");
        DeleteFileA(strFile.c_str());
        EXPECT_EQ(0u, RunReg("export \"HKEY_LOCAL_MACHINE\\Software\\Kavrel\\VigilonCorp\" \"" + strFile + "\" /y"));
        std::string strRaw = ReadWholeFile(strFile), strText;
        bool fWide = strRaw.size() >= 2 && (unsigned char)strRaw[0] == 0xFF && (unsigned char)strRaw[1] == 0xFE;
        for (size_t i = fWide ? 2 : 0; i < strRaw.size(); i += fWide ? 2 : 1)
        {
            if (strRaw[i] != '\r')
                strText += strRaw[i];
        }
        std::string strModulePath = Escape(std::string(getModulePath()));
        std::string strMasked;
        size_t nStart = 0;
        while (nStart < strText.size())
        {
            size_t nEnd = strText.find('\n', nStart);
            if (nEnd == std::string::npos)
                nEnd = strText.size();
            std::string strLine = strText.substr(nStart, nEnd - nStart);
            Mask(strLine, "\"GUID\"=\"", 36, "<guid>");
            Mask(strLine, "\"Install Date\"=\"", 8, "<date>");
            Mask(strLine, "\"Install Time\"=\"", 6, "<time>");
            if (strLine == "\"Application Path\"=\"" + strModulePath + "\"")
                strLine = "\"Application Path\"=\"<program folder>\"";
            strMasked += strLine + "\n";
            nStart = nEnd + 1;
        }
        return strMasked;
    }

    // Compares with tests/data/<golden>; VGL_UPDATE_GOLDEN=1 rewrites the file instead.
    static void ExpectGolden(const std::string& strActual, const char* pszGolden)
    {
        std::string strPath = TestDataFile(pszGolden);
        if (getenv("VGL_UPDATE_GOLDEN") != NULL)
            WriteWholeFile(strPath, strActual);
        EXPECT_EQ(ReadWholeFile(strPath), strActual) << pszGolden;
    }

private:
    static std::string Escape(const std::string& str)
    {
        std::string strOut;
        for (char ch : str)
        {
            if (ch == '\\')
                strOut += '\\';
            strOut += ch;
        }
        return strOut;
    }

    // A text value of the given length made of digits, hex digits and dashes is masked.
    static void Mask(std::string& strLine, const std::string& strPrefix, size_t nLength, const char* pszMask)
    {
        if (strLine.compare(0, strPrefix.size(), strPrefix) != 0 || strLine.size() != strPrefix.size() + nLength + 1)
            return;
        for (size_t i = strPrefix.size(); i < strPrefix.size() + nLength; ++i)
        {
            if (!isxdigit((unsigned char)strLine[i]) && strLine[i] != '-')
                return;
        }
        strLine = strPrefix + pszMask + "\"";
    }
};

#endif
