// Helpers shared by the test programs: the folders ctest hands over (VGL_TEST_DATA,
// VGL_BIN), whole files, and scratch folders under the working folder.
#ifndef VGL_TESTS_SUPPORT_H
#define VGL_TESTS_SUPPORT_H

#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>

inline std::string ToWindowsPath(std::string strPath)
{
    std::replace(strPath.begin(), strPath.end(), '/', '\\');
    return strPath;
}

// A Unix folder named by an environment variable, as a Windows path on drive Z:.
inline std::string EnvFolder(const char* pszVariable)
{
    const char* pszValue = getenv(pszVariable);
    if (pszValue == NULL)
    {
        ADD_FAILURE() << pszVariable << " is not set";
        return ".";
    }
    return ToWindowsPath(std::string("Z:") + pszValue);
}

// A file of the module's tests/data folder.
inline std::string TestDataFile(const std::string& strName)
{
    return EnvFolder("VGL_TEST_DATA") + "\\" + strName;
}

// The folder of all built programs and libraries, and a file in it.
inline std::string BinFolder()
{
    return EnvFolder("VGL_BIN");
}

inline std::string BinFile(const std::string& strName)
{
    return BinFolder() + "\\" + strName;
}

// The working folder: the test program's scratch folder.
inline std::string CurrentFolder()
{
    char szFolder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(szFolder), szFolder);
    return szFolder;
}

// A full path in the scratch folder (the profile functions would look for a bare name in
// the Windows folder).
inline std::string ScratchFile(const std::string& strName)
{
    return CurrentFolder() + "\\" + strName;
}

inline bool FileExists(const std::string& strPath)
{
    return GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& strPath)
{
    DWORD dwAttributes = GetFileAttributesA(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The bytes of a file; pszIfMissing when it cannot be opened.
inline std::string ReadWholeFile(const std::string& strPath, const char* pszIfMissing = "")
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return pszIfMissing;
    std::string strData;
    char buf[4096];
    DWORD cb = 0;
    while (::ReadFile(h, buf, sizeof(buf), &cb, NULL) && cb > 0)
        strData.append(buf, cb);
    CloseHandle(h);
    return strData;
}

// Replaces the file (read-only or not) with the bytes; a failure fails the test.
inline bool WriteWholeFile(const std::string& strPath, const std::string& strData)
{
    SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD cb = 0;
    bool fWritten = h != INVALID_HANDLE_VALUE &&
                    (strData.empty() || (::WriteFile(h, strData.data(), (DWORD)strData.size(), &cb, NULL) &&
                                         cb == strData.size()));
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!fWritten)
        ADD_FAILURE() << "cannot write " << strPath << " (error " << GetLastError() << ")";
    return fWritten;
}

// Names of the entries of a folder, sorted, "." and ".." left out.
inline std::vector<std::string> FolderEntries(const std::string& strFolder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((strFolder + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::string strName = fd.cFileName;
            if (strName != "." && strName != "..")
                names.push_back(strName);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Removes the folder with everything in it, read-only entries too.
inline void RemoveTree(const std::string& strFolder)
{
    for (const std::string& strName : FolderEntries(strFolder))
    {
        std::string strPath = strFolder + "\\" + strName;
        if (IsFolder(strPath))
            RemoveTree(strPath);
        else
        {
            SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(strPath.c_str());
        }
    }
    SetFileAttributesA(strFolder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(strFolder.c_str());
}

// An empty folder of that name in the scratch folder; its full path.
inline std::string FreshScratchFolder(const std::string& strName)
{
    std::string strFolder = ScratchFile(strName);
    RemoveTree(strFolder);
    CreateDirectoryA(strFolder.c_str(), NULL);
    return strFolder;
}

inline std::string ReadIni(const std::string& strPath, const char* pszSection, const char* pszKey)
{
    char szValue[1024] = "";
    GetPrivateProfileStringA(pszSection, pszKey, "", szValue, sizeof(szValue), strPath.c_str());
    return szValue;
}

// The client's settings file in the Windows folder.
inline std::string SettingsFilePath()
{
    char szWindows[MAX_PATH] = "";
    GetWindowsDirectoryA(szWindows, MAX_PATH);
    return std::string(szWindows) + "\\Vglscan.ini";
}

inline void RemoveSettingsFile()
{
    DeleteFileA(SettingsFilePath().c_str());
}

#endif
