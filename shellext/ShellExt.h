// The shell context-menu extension: one command in the context menu of files, folders
// and drives that hands the selection to the client's main window.
#ifndef VGL_SHELLEXT_H
#define VGL_SHELLEXT_H

#include <windows.h>
#include <shlobj.h>

// {853EF640-C260-11d1-88FB-0080C859833B}
extern const CLSID CLSID_VigilonShellExt;
#define SHELLEXT_CLSID_TEXT "{853EF640-C260-11d1-88FB-0080C859833B}"
#define SHELLEXT_HANDLER_NAME "Vigilon Corp"

#define CLIENT_MAINWND_MAPPING "VigilonCorp_MemoryMappedFile_MainWnd"
#define CLIENT_PRODUCT_KEY "SOFTWARE\\Kavrel\\VigilonCorp\\CurrentVersion"
#define CLIENT_DEFAULT_FILENAME "Ksxwin97.exe"

// How often and how long the command waits for a client it has started.
#define CLIENT_WAIT_CHECKS 20
#define CLIENT_WAIT_INTERVAL 1000

extern HINSTANCE g_hThisModule;
extern LONG g_moduleObjectCount;

// The pause between two looks for the started client's window (Sleep; tests replace it).
extern void (WINAPI* g_pfnClientWait)(DWORD dwMilliseconds);

// The first 4 bytes of the named mapping; 0 when it does not exist or cannot be viewed.
DWORD ReadMappedDword(LPCSTR pszMappingName);
// The window a mapping publishes as its low 32 bits (the client's main window); NULL when
// there is none.
HWND ReadMappedWindow(LPCSTR pszMappingName);

BOOL RegisterShellExtension(LPCSTR pszClsid, LPCSTR pszHandlerName);
BOOL UnregisterShellExtension(LPCSTR pszClsid, LPCSTR pszHandlerName);

class CShellExtClassFactory : public IClassFactory
{
public:
    CShellExtClassFactory();
    virtual ~CShellExtClassFactory();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv);
    STDMETHODIMP_(ULONG) AddRef();
    STDMETHODIMP_(ULONG) Release();
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);
    STDMETHODIMP LockServer(BOOL fLock);

private:
    LONG m_nRefCount;
};

class CShellExt : public IContextMenu, public IShellExtInit
{
public:
    CShellExt();
    virtual ~CShellExt();

    // IUnknown (shared by both interfaces)
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv);
    STDMETHODIMP_(ULONG) AddRef();
    STDMETHODIMP_(ULONG) Release();

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hMenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT uFlags);
    STDMETHODIMP InvokeCommand(LPCMINVOKECOMMANDINFO pici);
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uFlags, UINT* pwReserved, LPSTR pszName,
                                  UINT cchMax);

    // IShellExtInit
    STDMETHODIMP Initialize(LPCITEMIDLIST pidlFolder, IDataObject* pDataObject, HKEY hkeyProgId);

    // Hands the kept selection to the client's main window.
    HRESULT DoGAKMenu1();

    LPCSTR ClientPath() const { return m_szClientExe; }

private:
    // A text of the client's language library, or its English default.
    void LoadText(UINT nId, LPCSTR pszDefault, LPSTR pszBuffer, int cchBuffer) const;

    LONG m_nRefCount;
    IDataObject* m_pDataObject;
    HINSTANCE m_hResourceDll;
    char m_szClientExe[MAX_PATH];
};

#endif
