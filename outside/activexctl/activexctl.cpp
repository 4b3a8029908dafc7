// VglCtl<n>.ocx: stands in for the downloaded ActiveX controls of the product's web pages
// (n = 1, 2, 3, one class id each). DllRegisterServer registers the control as an in-process
// server (class, ProgID "VglCtl.Control<n>.1", version-independent ProgID "VglCtl.Control<n>")
// and as a downloaded unit of the browser's code store; DllUnregisterServer removes the class
// and ProgID keys (the code store's entry stays, as the browser keeps it). The control makes
// no objects. Both calls are written to the journal (the file named by VGL_ACTIVEX_JOURNAL,
// else "VglCtl.log" beside the library) with the control's number.
#include <windows.h>

#include "journal.h"

#include <olectl.h>

#include <stdio.h>

#ifndef VGL_CONTROL_NUMBER
#define VGL_CONTROL_NUMBER 1
#endif

namespace
{
const char* const s_apszClassIds[] = {"{08D75BB0-D2B5-11D1-88FC-0080C859833B}",
                                      "{08D75BC1-D2B5-11D1-88FC-0080C859833B}",
                                      "{5EFE8CB1-D095-11D1-88FC-0080C859833B}"};
const char* const s_pszClassId = s_apszClassIds[VGL_CONTROL_NUMBER - 1];
CJournal g_journal("VglCtl.log", "VGL_ACTIVEX_JOURNAL", CJournal::STAMP);
HMODULE g_hModule = NULL;

bool SetKey(HKEY hRoot, const char* pszKey, const char* pszName, const char* pszValue)
{
    HKEY hKey = NULL;
    if (RegCreateKeyA(hRoot, pszKey, &hKey) != ERROR_SUCCESS)
        return false;
    LONG lResult = RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszValue, (DWORD)strlen(pszValue) + 1);
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

void DeleteTree(HKEY hRoot, const char* pszKey)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, pszKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return;
    char szChild[MAX_PATH];
    for (;;)
    {
        DWORD cch = sizeof(szChild);
        if (RegEnumKeyExA(hKey, 0, szChild, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        char szPath[2 * MAX_PATH];
        snprintf(szPath, sizeof(szPath), "%s\\%s", pszKey, szChild);
        DeleteTree(hRoot, szPath);
    }
    RegCloseKey(hKey);
    RegDeleteKeyA(hRoot, pszKey);
}

void Names(char* pszProgId, char* pszIndependent, char* pszClassKey)
{
    sprintf(pszProgId, "VglCtl.Control%d.1", VGL_CONTROL_NUMBER);
    sprintf(pszIndependent, "VglCtl.Control%d", VGL_CONTROL_NUMBER);
    sprintf(pszClassKey, "CLSID\\%s", s_pszClassId);
}
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        g_hModule = hInstance;
    return TRUE;
}

extern "C" HRESULT __stdcall DllRegisterServer()
{
    char szPath[MAX_PATH] = "";
    GetModuleFileNameA(g_hModule, szPath, sizeof(szPath));
    char szProgId[64], szIndependent[64], szClassKey[128], szKey[256];
    Names(szProgId, szIndependent, szClassKey);
    bool fOk = SetKey(HKEY_CLASSES_ROOT, szClassKey, NULL, "Vigilon control");
    snprintf(szKey, sizeof(szKey), "%s\\InprocServer32", szClassKey);
    fOk = SetKey(HKEY_CLASSES_ROOT, szKey, NULL, szPath) && fOk;
    fOk = SetKey(HKEY_CLASSES_ROOT, szKey, "ThreadingModel", "Apartment") && fOk;
    snprintf(szKey, sizeof(szKey), "%s\\ProgID", szClassKey);
    fOk = SetKey(HKEY_CLASSES_ROOT, szKey, NULL, szProgId) && fOk;
    snprintf(szKey, sizeof(szKey), "%s\\VersionIndependentProgID", szClassKey);
    fOk = SetKey(HKEY_CLASSES_ROOT, szKey, NULL, szIndependent) && fOk;
    snprintf(szKey, sizeof(szKey), "%s\\CLSID", szProgId);
    fOk = SetKey(HKEY_CLASSES_ROOT, szKey, NULL, s_pszClassId) && fOk;
    snprintf(szKey, sizeof(szKey), "%s\\CurVer", szIndependent);
    fOk = SetKey(HKEY_CLASSES_ROOT, szKey, NULL, szProgId) && fOk;
    snprintf(szKey, sizeof(szKey), "Software\\Microsoft\\Code Store Database\\Distribution Units\\%s\\Contains\\Files",
             s_pszClassId);
    fOk = SetKey(HKEY_LOCAL_MACHINE, szKey, szPath, "") && fOk;
    g_journal.Write("DllRegisterServer control=%d path=%s result=%d", VGL_CONTROL_NUMBER, szPath, fOk ? 1 : 0);
    return fOk ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT __stdcall DllUnregisterServer()
{
    char szProgId[64], szIndependent[64], szClassKey[128];
    Names(szProgId, szIndependent, szClassKey);
    DeleteTree(HKEY_CLASSES_ROOT, szClassKey);
    DeleteTree(HKEY_CLASSES_ROOT, szProgId);
    DeleteTree(HKEY_CLASSES_ROOT, szIndependent);
    g_journal.Write("DllUnregisterServer control=%d", VGL_CONTROL_NUMBER);
    return S_OK;
}

extern "C" HRESULT __stdcall DllCanUnloadNow()
{
    return S_OK;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, LPVOID* ppv)
{
    if (ppv != NULL)
        *ppv = NULL;
    return CLASS_E_CLASSNOTAVAILABLE;
}
