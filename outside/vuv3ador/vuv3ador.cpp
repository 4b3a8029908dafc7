// VUV3ADOR.DLL: stands in for the mail trap's settings library. SetConfigKey names the key
// the library keeps its own values under; SetQuelmail puts the mail trap between the mail
// programs and their POP3 servers, RestoreQuelmail takes it away again. It keeps the state in
// "State" (1 on, 0 off) under the named key and writes every call to the journal (the file
// named by VGL_VUV3ADOR_JOURNAL, else "VUV3ADOR.log" beside the library).
#include <windows.h>

#include "journal.h"

#include <string.h>

namespace
{
CJournal g_journal("VUV3ADOR.log", "VGL_VUV3ADOR_JOURNAL", CJournal::STAMP);
HKEY g_hRoot = NULL;
char g_szSubKey[260] = "";

const char* RootName(HKEY hRoot)
{
    if (hRoot == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (hRoot == HKEY_CURRENT_USER)
        return "HKCU";
    return "other";
}

void SetState(DWORD dwState)
{
    HKEY hKey;
    if (g_hRoot == NULL || g_szSubKey[0] == '\0' ||
        RegCreateKeyExA(g_hRoot, g_szSubKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(hKey, "State", 0, REG_DWORD, (const BYTE*)&dwState, sizeof(dwState));
    RegCloseKey(hKey);
}
}

extern "C" void __stdcall SetConfigKey(HKEY hRoot, LPCSTR pszSubKey)
{
    g_hRoot = hRoot;
    lstrcpynA(g_szSubKey, pszSubKey ? pszSubKey : "", sizeof(g_szSubKey));
    g_journal.Write("SetConfigKey %s %s", RootName(hRoot), g_szSubKey);
}

extern "C" void __stdcall SetQuelmail()
{
    g_journal.Write("SetQuelmail");
    SetState(1);
}

extern "C" void __stdcall RestoreQuelmail()
{
    g_journal.Write("RestoreQuelmail");
    SetState(0);
}
