// shellinvoke LIBRARY FOLDER NAME...
// Does what Explorer does with a context-menu handler: loads the library, asks its class
// factory for the menu object, hands it the shell's own data object for the named entries of
// FOLDER, asks for the menu and invokes the handler's command. Prints each step's result; the
// exit code is 0 when the command was invoked.
#include <windows.h>
#include <shlobj.h>

#include "ShellExt.h"

#include <stdio.h>
#include <string>
#include <vector>

namespace
{
std::wstring Wide(const char* psz)
{
    int n = MultiByteToWideChar(CP_ACP, 0, psz, -1, NULL, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, psz, -1, &w[0], (int)w.size());
    return w;
}

// The shell's data object for entries of one folder; NULL when one of them cannot be named.
IDataObject* ShellDataObject(const char* pszFolder, char** ppszNames, int nNames)
{
    IShellFolder* pDesktop = NULL;
    if (FAILED(SHGetDesktopFolder(&pDesktop)))
        return NULL;
    IDataObject* pDataObject = NULL;
    LPITEMIDLIST pidlFolder = NULL;
    IShellFolder* pFolder = NULL;
    std::wstring wFolder = Wide(pszFolder);
    if (SUCCEEDED(pDesktop->ParseDisplayName(NULL, NULL, &wFolder[0], NULL, &pidlFolder, NULL)) &&
        SUCCEEDED(pDesktop->BindToObject(pidlFolder, NULL, IID_IShellFolder, (void**)&pFolder)))
    {
        std::vector<LPITEMIDLIST> children;
        for (int i = 0; i < nNames; i++)
        {
            std::wstring wName = Wide(ppszNames[i]);
            LPITEMIDLIST pidl = NULL;
            if (SUCCEEDED(pFolder->ParseDisplayName(NULL, NULL, &wName[0], NULL, &pidl, NULL)))
                children.push_back(pidl);
            else
                printf("no such entry: %s\n", ppszNames[i]);
        }
        if ((int)children.size() == nNames)
            pFolder->GetUIObjectOf(NULL, (UINT)children.size(), (LPCITEMIDLIST*)&children[0], IID_IDataObject,
                                   NULL, (void**)&pDataObject);
        for (LPITEMIDLIST pidl : children)
            CoTaskMemFree(pidl);
        pFolder->Release();
    }
    if (pidlFolder != NULL)
        CoTaskMemFree(pidlFolder);
    pDesktop->Release();
    return pDataObject;
}

int Invoke(const char* pszLibrary, const char* pszFolder, char** ppszNames, int nNames)
{
    typedef HRESULT(WINAPI * PFN_GETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
    HMODULE hLibrary = LoadLibraryA(pszLibrary);
    PFN_GETCLASSOBJECT pfnGetClassObject =
        hLibrary != NULL ? (PFN_GETCLASSOBJECT)GetProcAddress(hLibrary, "DllGetClassObject") : NULL;
    if (pfnGetClassObject == NULL)
    {
        printf("cannot load %s (error %lu)\n", pszLibrary, GetLastError());
        return 2;
    }
    IClassFactory* pFactory = NULL;
    HRESULT hr = pfnGetClassObject(CLSID_VigilonShellExt, IID_IClassFactory, (void**)&pFactory);
    IContextMenu* pMenu = NULL;
    if (SUCCEEDED(hr))
    {
        hr = pFactory->CreateInstance(NULL, IID_IContextMenu, (void**)&pMenu);
        pFactory->Release();
    }
    printf("menu object: 0x%08lX\n", (unsigned long)hr);
    if (FAILED(hr))
        return 1;

    int nResult = 1;
    IDataObject* pDataObject = ShellDataObject(pszFolder, ppszNames, nNames);
    IShellExtInit* pInit = NULL;
    if (pDataObject != NULL && SUCCEEDED(pMenu->QueryInterface(IID_IShellExtInit, (void**)&pInit)))
    {
        hr = pInit->Initialize(NULL, pDataObject, NULL);
        pInit->Release();
        printf("initialize: 0x%08lX\n", (unsigned long)hr);
        HMENU hMenu = CreatePopupMenu();
        hr = pMenu->QueryContextMenu(hMenu, 0, 1, 0x7FFF, CMF_NORMAL);
        char szText[128] = "";
        GetMenuStringA(hMenu, 0, szText, sizeof szText, MF_BYPOSITION);
        printf("menu: 0x%08lX \"%s\"\n", (unsigned long)hr, szText);
        if (SUCCEEDED(hr) && HRESULT_CODE(hr) > 0)
        {
            CMINVOKECOMMANDINFO ici = {sizeof(ici)};
            ici.lpVerb = MAKEINTRESOURCEA(0);
            ici.nShow = SW_SHOWNORMAL;
            hr = pMenu->InvokeCommand(&ici);
            printf("invoke: 0x%08lX\n", (unsigned long)hr);
            if (SUCCEEDED(hr))
                nResult = 0;
        }
        DestroyMenu(hMenu);
    }
    else
        printf("no data object for the entries\n");
    if (pDataObject != NULL)
        pDataObject->Release();
    pMenu->Release();
    return nResult;
}
}

int main(int argc, char** argv)
{
    if (argc < 4)
    {
        fprintf(stderr, "usage: shellinvoke LIBRARY FOLDER NAME...\n");
        return 2;
    }
    CoInitialize(NULL);
    int nResult = Invoke(argv[1], argv[2], argv + 3, argc - 3);
    CoUninitialize();
    return nResult;
}
