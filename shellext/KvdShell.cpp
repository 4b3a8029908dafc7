// The library's entry points: the COM exports and its registration.
#include "ShellExt.h"

#include <new>
#include <string.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        OutputDebugStringA("In DLLMain, DLL_PROCESS_ATTACH\r\n");
        g_hThisModule = hInstance;
    }
    else if (dwReason == DLL_PROCESS_DETACH)
    {
        OutputDebugStringA("In DLLMain, DLL_PROCESS_DETACH\r\n");
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    OutputDebugStringA("In DLLCanUnloadNow\r\n");
    return g_moduleObjectCount == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    OutputDebugStringA("In DllGetClassObject\r\n");
    if (ppv == NULL)
        return E_POINTER;
    *ppv = NULL;
    if (!IsEqualCLSID(rclsid, CLSID_VigilonShellExt))
        return CLASS_E_CLASSNOTAVAILABLE;

    CShellExtClassFactory* pFactory = new (std::nothrow) CShellExtClassFactory;
    if (pFactory == NULL)
        return E_OUTOFMEMORY;
    // Held for the query, so a factory whose interface is refused goes again.
    pFactory->AddRef();
    HRESULT hr = pFactory->QueryInterface(riid, ppv);
    pFactory->Release();
    return hr;
}

STDAPI DllRegisterServer()
{
    return RegisterShellExtension(SHELLEXT_CLSID_TEXT, SHELLEXT_HANDLER_NAME) ? S_OK : S_FALSE;
}

STDAPI DllUnregisterServer()
{
    return UnregisterShellExtension(SHELLEXT_CLSID_TEXT, SHELLEXT_HANDLER_NAME) ? S_OK : S_FALSE;
}

DWORD ReadMappedDword(LPCSTR pszMappingName)
{
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ, FALSE, pszMappingName);
    if (hMapping == NULL)
        return 0;
    DWORD dwValue = 0;
    const void* pvView = MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0);
    if (pvView != NULL)
    {
        memcpy(&dwValue, pvView, sizeof(dwValue));
        UnmapViewOfFile(pvView);
    }
    CloseHandle(hMapping);
    return dwValue;
}

HWND ReadMappedWindow(LPCSTR pszMappingName)
{
    // Window handles are 32-bit values on 64-bit Windows: the low 32 bits, sign-extended.
    return (HWND)LongToHandle((LONG)ReadMappedDword(pszMappingName));
}

namespace
{
const char* const HANDLER_PARENTS[] = {"*", "directory", "drive"};

// Creates (or opens) the key below HKEY_CLASSES_ROOT and sets its values (NULL: none).
BOOL WriteKey(const char* pszKey, LPCSTR pszDefault, LPCSTR pszName = NULL, LPCSTR pszValue = NULL)
{
    HKEY hKey = NULL;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, pszKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        NULL, &hKey, NULL) != ERROR_SUCCESS)
        return FALSE;
    if (pszDefault != NULL)
        RegSetValueExA(hKey, NULL, 0, REG_SZ, (const BYTE*)pszDefault, (DWORD)strlen(pszDefault) + 1);
    if (pszName != NULL)
        RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszValue, (DWORD)strlen(pszValue) + 1);
    RegCloseKey(hKey);
    return TRUE;
}
} // namespace

BOOL RegisterShellExtension(LPCSTR pszClsid, LPCSTR pszHandlerName)
{
    char szModule[MAX_PATH] = "";
    DWORD cch = GetModuleFileNameA(g_hThisModule, szModule, sizeof(szModule));
    szModule[cch < sizeof(szModule) ? cch : sizeof(szModule) - 1] = '\0';

    char szKey[MAX_PATH];
    wsprintfA(szKey, "CLSID\\%s", pszClsid);
    if (!WriteKey(szKey, NULL))
        return FALSE;
    wsprintfA(szKey, "CLSID\\%s\\InprocServer32", pszClsid);
    if (!WriteKey(szKey, szModule, "ThreadingModel", "Apartment"))
        return FALSE;
    for (const char* pszParent : HANDLER_PARENTS)
    {
        wsprintfA(szKey, "%s\\shellex\\ContextMenuHandlers\\%s", pszParent, pszHandlerName);
        if (!WriteKey(szKey, pszClsid))
            return FALSE;
    }
    return TRUE;
}

BOOL UnregisterShellExtension(LPCSTR pszClsid, LPCSTR pszHandlerName)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return FALSE;
    char szKey[MAX_PATH];
    wsprintfA(szKey, "%s\\InprocServer32", pszClsid);
    RegDeleteKeyA(hKey, szKey);
    RegDeleteKeyA(hKey, pszClsid);
    RegCloseKey(hKey);

    for (const char* pszParent : HANDLER_PARENTS)
    {
        wsprintfA(szKey, "%s\\shellex\\ContextMenuHandlers", pszParent);
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, szKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
            return FALSE;
        RegDeleteKeyA(hKey, pszHandlerName);
        RegCloseKey(hKey);
    }
    return TRUE;
}
