// Two services of the main window that keep real-time scanning and the quarantine in step with
// the rest of the PC: the processes whose file accesses real-time scanning leaves alone (the
// registry lists "Add PIDs" and "Delete PIDs", applied on WM_SET_EXCEPTION_PROCESS), and the
// hand-over of the suspect folder's files to the quarantine destination.
#include "TavmontDlg.h"

#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Quarantine.h"
#include "RegistryKey.h"

namespace
{
const char s_szAddPids[] = "SOFTWARE\\Kavrel\\VigilonCorp\\CurrentVersion\\Real Time Scan Configuration\\Add PIDs";
const char s_szDeletePids[] =
    "SOFTWARE\\Kavrel\\VigilonCorp\\CurrentVersion\\Real Time Scan Configuration\\Delete PIDs";

// One value of a list: its name and, for a REG_DWORD, the process id. FALSE past the last one
// and on any error of the key.
BOOL ReadValue(HKEY hKey, DWORD dwIndex, char* pszName, DWORD* pdwId, BOOL* pfIsId)
{
    DWORD cchName = 260, dwType = 0, dwData = 0, cbData = sizeof dwData;
    LONG lResult = RegEnumValueA(hKey, dwIndex, pszName, &cchName, NULL, &dwType, (BYTE*)&dwData, &cbData);
    if (lResult == ERROR_MORE_DATA)
    {
        // Data of another kind too long for a process id: its name all the same.
        cchName = 260;
        cbData = 0;
        lResult = RegEnumValueA(hKey, dwIndex, pszName, &cchName, NULL, &dwType, NULL, &cbData);
        dwType = REG_NONE;
    }
    if (lResult != ERROR_SUCCESS)
    {
        if (lResult != ERROR_NO_MORE_ITEMS)
            VGLTRACE(12, "[SetExceptionProcess] RegEnumValue(%lu) error = %d", (unsigned long)dwIndex, (int)lResult);
        return FALSE;
    }
    *pfIsId = dwType == REG_DWORD && cbData == sizeof dwData;
    *pdwId = dwData;
    return TRUE;
}
}

void CTavmontDlg::ApplyExceptionList(HKEY hKey, BOOL fDelete)
{
    char szName[261];
    DWORD dwIndex = 0, dwId;
    BOOL fIsId;
    while (ReadValue(hKey, dwIndex, szName, &dwId, &fIsId))
    {
        if (!fDelete)
        {
            ++dwIndex;
            if (!fIsId)
                continue;
            if (g_vexor.AddExceptionProcess(dwId))
                VGLTRACE(3, "[SetExceptionProcess] IOT_AddExceptionProcess(%d) ok,Process name(%s) ,", (int)dwId, szName);
            else
                VGLTRACE(12, "[SetExceptionProcess] IOT_AddExceptionProcess(%d) failed,Process name(%s) ,", (int)dwId,
                         szName);
            continue;
        }
        if (fIsId)
        {
            if (g_vexor.DeleteExceptionProcess(dwId))
                VGLTRACE(3, "[SetExceptionProcess] IOT_DeleteExceptionProcess(%d) ok,Process name(%s) ,", (int)dwId,
                         szName);
            else
                VGLTRACE(12, "[SetExceptionProcess] IOT_DeleteExceptionProcess(%d) failed,Process name(%s) ,",
                         (int)dwId, szName);
        }
        // Every value is handled once: a deleted value moves the later ones down by one.
        LONG lError = RegDeleteValueA(hKey, szName);
        if (lError == ERROR_SUCCESS)
            continue;
        VGLTRACE(12, "[SetExceptionProcess] RegDeleteValue(%p,%s),error = %d ,", hKey, szName, (int)lError);
        ++dwIndex;
    }
}

LRESULT CTavmontDlg::SetExceptionProcess(WPARAM, LPARAM)
{
    VGLTRACE(1, "--> CTavmontDlg::SetExceptionProcess()");
    const char* const apszLists[] = {s_szAddPids, s_szDeletePids};
    for (int i = 0; i < 2; i++)
    {
        HKEY hKey = NULL;
        LONG lError = RegOpenKeyExA(HKEY_LOCAL_MACHINE, apszLists[i], 0, KEY_ALL_ACCESS, &hKey);
        if (lError != ERROR_SUCCESS)
        {
            VGLTRACE(12, "[SetExceptionProcess] RegOpenKeyEx(%s) error = %d ,", apszLists[i], (int)lError);
            continue;
        }
        ApplyExceptionList(hKey, i == 1);
        RegCloseKey(hKey);
    }
    VGLTRACE(2, "<-- CTavmontDlg::SetExceptionProcess()");
    return 0;
}

void __cdecl CTavmontDlg::CleanSuspectFolderThread(void*)
{
    try
    {
        CString strDestination = NS_RegistryKey::GetMoveDir();
        CString strSuspect = getSuspectFolder();
        VGLTRACE(3, "strSuspectPath: %s", (LPCSTR)strSuspect);
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(strSuspect + "\\*", &fd);
        if (hFind == INVALID_HANDLE_VALUE)
        {
            VGLTRACE(12, "FindFirstFile failed! error=%d", (int)GetLastError());
            return;
        }
        do
        {
            if (fd.cFileName[0] == '.')
                continue;
            CString strPath = strSuspect + "\\" + fd.cFileName;
            VGLTRACE(3, "FindFile: %s", (LPCSTR)strPath);
            if (QuarantineFile(strPath, strDestination))
                VGLTRACE(3, "QuarantineFile: %s", (LPCSTR)strPath);
            else
                VGLTRACE(12, "QuarantineFile: %s Failed.", (LPCSTR)strPath);
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    catch (...)
    {
        VGLTRACE(13, "G.P.F in CTavmontDlg::CleanSuspectFolderThread");
    }
}
