// Files of the tests: the scratch folder, the test data and the settings file of the
// Windows folder.
#ifndef VGL_TESTS_SCRATCH_H
#define VGL_TESTS_SCRATCH_H

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>

inline std::string ToWindowsPath(std::string strPath)
{
    for (char& ch : strPath)
        if (ch == '/')
            ch = '\\';
    return strPath;
}

// A file of the test program's scratch folder (a full path: the profile functions
// would look for a bare name in the Windows folder).
inline std::string ScratchFile(const char* pszName)
{
    char szFolder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(szFolder), szFolder);
    return std::string(szFolder) + "\\" + pszName;
}

inline std::string TestDataFile(const char* pszName)
{
    const char* pszData = getenv("VGL_TEST_DATA");
    return ToWindowsPath(std::string("Z:") + (pszData ? pszData : ".") + "/" + pszName);
}

inline void WriteFileText(const std::string& strPath, const std::string& strText)
{
    SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    FILE* pFile = fopen(strPath.c_str(), "wb");
    if (pFile == NULL)
        return;
    fwrite(strText.data(), 1, strText.size(), pFile);
    fclose(pFile);
}

inline std::string ReadFileText(const std::string& strPath)
{
    std::string strText;
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (pFile == NULL)
        return strText;
    char szBuffer[4096];
    size_t n;
    while ((n = fread(szBuffer, 1, sizeof(szBuffer), pFile)) > 0)
        strText.append(szBuffer, n);
    fclose(pFile);
    return strText;
}

inline std::string ReadIni(const std::string& strPath, const char* pszSection, const char* pszKey)
{
    char szValue[1024] = "";
    GetPrivateProfileStringA(pszSection, pszKey, "", szValue, sizeof(szValue), strPath.c_str());
    return szValue;
}

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
