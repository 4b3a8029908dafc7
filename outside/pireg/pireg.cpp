// pireg.exe: stands in for the registration tool of the SCV plug-in. "-d FILE" unregisters
// the plug-in library, "-r FILE" or FILE alone registers it: the registration is the value
// "IMAGEPATH" (the file's full path) of the plug-in's key, which unregistering deletes. It
// writes its command line and its current folder to the journal (the file named by
// VGL_PIREG_JOURNAL, else "pireg.log" beside the program) and ends with exit code 0, or 2 when
// the command line is empty. The whole command line is read: callers may or may not put the
// program's own name first.
#include <windows.h>

#include "journal.h"

#include <ctype.h>
#include <string.h>

#include <string>

namespace
{
CJournal g_journal("pireg.log", "VGL_PIREG_JOURNAL", CJournal::STAMP);

// The arguments: the command line without the program's name when it starts with it.
const char* Arguments()
{
    const char* psz = GetCommandLineA();
    while (*psz == ' ')
        ++psz;
    const char* pszEnd;
    if (*psz == '"')
    {
        pszEnd = strchr(psz + 1, '"');
        pszEnd = pszEnd ? pszEnd + 1 : psz + strlen(psz);
    }
    else
    {
        pszEnd = strchr(psz, ' ');
        if (pszEnd == NULL)
            pszEnd = psz + strlen(psz);
    }
    std::string strFirst(psz, pszEnd);
    if (!strFirst.empty() && strFirst[strFirst.size() - 1] == '"')
        strFirst.erase(strFirst.size() - 1);
    std::string strLower = strFirst;
    for (char& c : strLower)
        c = (char)tolower((unsigned char)c);
    bool fProgram = (strLower.size() >= 9 && strLower.compare(strLower.size() - 9, 9, "pireg.exe") == 0) ||
                    (strLower.size() >= 5 && strLower.compare(strLower.size() - 5, 5, "pireg") == 0);
    if (!fProgram)
        return psz;
    while (*pszEnd == ' ')
        ++pszEnd;
    return pszEnd;
}
const char g_szPluginKey[] = "SOFTWARE\\CheckPoint\\SecuRemote\\SCV\\Plugins\\VgleScv\\6.7";
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char szFolder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(szFolder), szFolder);
    const char* pszArgs = Arguments();
    bool fRemove = strncmp(pszArgs, "-d ", 3) == 0 && pszArgs[3] != '\0';
    bool fAdd = strncmp(pszArgs, "-r ", 3) == 0 && pszArgs[3] != '\0';
    const char* pszFile = fRemove || fAdd ? pszArgs + 3 : pszArgs;
    if (!fRemove && !fAdd && *pszFile != '\0' && *pszFile != '-')
        fAdd = true;
    g_journal.Write("%s args=%s folder=%s", fRemove || fAdd ? "run" : "refused", pszArgs, szFolder);
    if (!fRemove && !fAdd)
        return 2;
    HKEY hKey;
    if (fRemove)
    {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szPluginKey, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS)
        {
            RegDeleteValueA(hKey, "IMAGEPATH");
            RegCloseKey(hKey);
        }
        return 0;
    }
    char szPath[MAX_PATH] = "";
    GetFullPathNameA(pszFile, sizeof(szPath), szPath, NULL);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, g_szPluginKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL) ==
        ERROR_SUCCESS)
    {
        RegSetValueExA(hKey, "IMAGEPATH", 0, REG_SZ, (const BYTE*)szPath, (DWORD)strlen(szPath) + 1);
        RegCloseKey(hKey);
    }
    return 0;
}
