#include "ShellExt.h"

#include "DroppedFiles.h"
#include "resource_ids.h"

#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// {853EF640-C260-11d1-88FB-0080C859833B}
const CLSID CLSID_VigilonShellExt = {0x853EF640, 0xC260, 0x11D1,
                                     {0x88, 0xFB, 0x00, 0x80, 0xC8, 0x59, 0x83, 0x3B}};

HINSTANCE g_hThisModule = NULL;
LONG g_moduleObjectCount = 0;
void (WINAPI* g_pfnClientWait)(DWORD dwMilliseconds) = Sleep;

namespace
{
// Texts used when the client's language library or its string is missing.
const char DEFAULT_MENU_TEXT[] = "Scan with &Vigilon";
const char DEFAULT_HELP_TEXT[] = "Scans the selected files and folders with Vigilon.";

// A string value of at most cbBuffer bytes with its zero; FALSE when it cannot be read.
BOOL ReadRegistryString(HKEY hKey, LPCSTR pszName, LPSTR pszBuffer, DWORD cbBuffer)
{
    DWORD dwType = 0;
    DWORD cb = cbBuffer;
    if (RegQueryValueExA(hKey, pszName, NULL, &dwType, (LPBYTE)pszBuffer, &cb) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
    {
        pszBuffer[0] = '\0';
        return FALSE;
    }
    pszBuffer[cb < cbBuffer ? cb : cbBuffer - 1] = '\0';
    return TRUE;
}
} // namespace

// ---------------------------------------------------------------------------------------
// Class factory

CShellExtClassFactory::CShellExtClassFactory() : m_nRefCount(0)
{
    OutputDebugStringA("CShellExtClassFactory::CShellExtClassFactory()\r\n");
    InterlockedIncrement(&g_moduleObjectCount);
}

CShellExtClassFactory::~CShellExtClassFactory()
{
    InterlockedDecrement(&g_moduleObjectCount);
}

STDMETHODIMP CShellExtClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    OutputDebugStringA("CShellExtClassFactory::QueryInterface()\r\n");
    if (ppv == NULL)
        return E_POINTER;
    *ppv = NULL;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::AddRef()
{
    return (ULONG)InterlockedIncrement(&m_nRefCount);
}

STDMETHODIMP_(ULONG) CShellExtClassFactory::Release()
{
    LONG nCount = InterlockedDecrement(&m_nRefCount);
    if (nCount == 0)
        delete this;
    return (ULONG)nCount;
}

STDMETHODIMP CShellExtClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    OutputDebugStringA("CShellExtClassFactory::CreateInstance()\r\n");
    if (ppv == NULL)
        return E_POINTER;
    *ppv = NULL;
    if (pUnkOuter != NULL)
        return CLASS_E_NOAGGREGATION;

    CShellExt* pShellExt = new (std::nothrow) CShellExt;
    if (pShellExt == NULL)
        return E_OUTOFMEMORY;
    // Held for the query, so an object whose interface is refused goes again.
    pShellExt->AddRef();
    HRESULT hr = pShellExt->QueryInterface(riid, ppv);
    pShellExt->Release();
    return hr;
}

STDMETHODIMP CShellExtClassFactory::LockServer(BOOL)
{
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Context-menu object

CShellExt::CShellExt() : m_nRefCount(0), m_pDataObject(NULL), m_hResourceDll(NULL)
{
    OutputDebugStringA("CShellExt::CShellExt()\r\n");
    m_szClientExe[0] = '\0';

    char szFolder[MAX_PATH] = "";
    char szFile[MAX_PATH] = CLIENT_DEFAULT_FILENAME;
    HKEY hKey = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, CLIENT_PRODUCT_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &hKey, NULL) == ERROR_SUCCESS)
    {
        ReadRegistryString(hKey, "Application Path", szFolder, sizeof(szFolder));
        if (!ReadRegistryString(hKey, "Application Filename", szFile, sizeof(szFile)) ||
            szFile[0] == '\0')
            strcpy(szFile, CLIENT_DEFAULT_FILENAME);
        RegCloseKey(hKey);
    }
    // Without a folder in the product key: the library's own folder, where the client
    // installs it beside itself.
    if (szFolder[0] == '\0')
    {
        DWORD cch = GetModuleFileNameA(g_hThisModule, szFolder, sizeof(szFolder));
        szFolder[cch < sizeof(szFolder) ? cch : sizeof(szFolder) - 1] = '\0';
        char* pszName = strrchr(szFolder, '\\');
        if (pszName != NULL)
            pszName[1] = '\0';
        else
            szFolder[0] = '\0';
    }
    size_t cchFolder = strlen(szFolder);
    const char* pszSeparator = cchFolder > 0 && szFolder[cchFolder - 1] != '\\' ? "\\" : "";
    if (cchFolder + strlen(pszSeparator) + strlen(szFile) < sizeof(m_szClientExe))
        sprintf(m_szClientExe, "%s%s%s", szFolder, pszSeparator, szFile);

    // The language library lies beside the client and bears its name.
    if (m_szClientExe[0] != '\0')
    {
        char szDrive[_MAX_DRIVE], szDir[_MAX_DIR], szName[_MAX_FNAME], szExt[_MAX_EXT];
        _splitpath(m_szClientExe, szDrive, szDir, szName, szExt);
        char szLibrary[MAX_PATH];
        if (_snprintf(szLibrary, sizeof(szLibrary), "%s%s%s.dll", szDrive, szDir, szName) > 0)
        {
            szLibrary[sizeof(szLibrary) - 1] = '\0';
            UINT uOldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
            m_hResourceDll = LoadLibraryA(szLibrary);
            SetErrorMode(uOldMode);
        }
    }
    InterlockedIncrement(&g_moduleObjectCount);
}

CShellExt::~CShellExt()
{
    if (m_pDataObject != NULL)
        m_pDataObject->Release();
    InterlockedDecrement(&g_moduleObjectCount);
    if (m_hResourceDll != NULL)
        FreeLibrary(m_hResourceDll);
}

STDMETHODIMP CShellExt::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == NULL)
        return E_POINTER;
    *ppv = NULL;
    if (IsEqualIID(riid, IID_IShellExtInit) || IsEqualIID(riid, IID_IUnknown))
    {
        OutputDebugStringA("CShellExt::QueryInterface()==>IID_IShellExtInit\r\n");
        *ppv = static_cast<IShellExtInit*>(this);
    }
    else if (IsEqualIID(riid, IID_IContextMenu))
    {
        OutputDebugStringA("CShellExt::QueryInterface()==>IID_IContextMenu\r\n");
        *ppv = static_cast<IContextMenu*>(this);
    }
    else
    {
        OutputDebugStringA("CShellExt::QueryInterface()==>Unknown Interface!\r\n");
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CShellExt::AddRef()
{
    OutputDebugStringA("CShellExt::AddRef()\r\n");
    return (ULONG)InterlockedIncrement(&m_nRefCount);
}

STDMETHODIMP_(ULONG) CShellExt::Release()
{
    OutputDebugStringA("CShellExt::Release()\r\n");
    LONG nCount = InterlockedDecrement(&m_nRefCount);
    if (nCount == 0)
        delete this;
    return (ULONG)nCount;
}

STDMETHODIMP CShellExt::Initialize(LPCITEMIDLIST, IDataObject* pDataObject, HKEY)
{
    OutputDebugStringA("CShellExt::Initialize()\r\n");
    if (m_pDataObject != NULL)
    {
        m_pDataObject->Release();
        m_pDataObject = NULL;
    }
    if (pDataObject != NULL)
    {
        m_pDataObject = pDataObject;
        m_pDataObject->AddRef();
    }
    return S_OK;
}

void CShellExt::LoadText(UINT nId, LPCSTR pszDefault, LPSTR pszBuffer, int cchBuffer) const
{
    if (m_hResourceDll == NULL || LoadStringA(m_hResourceDll, nId, pszBuffer, cchBuffer) <= 0)
        lstrcpynA(pszBuffer, pszDefault, cchBuffer);
}

STDMETHODIMP CShellExt::QueryContextMenu(HMENU hMenu, UINT indexMenu, UINT idCmdFirst, UINT,
                                         UINT uFlags)
{
    OutputDebugStringA("CShellExt::QueryContextMenu()\r\n");
    char szText[64];
    LoadText(IDS_SHELLEXT_MENU, DEFAULT_MENU_TEXT, szText, sizeof(szText));

    BOOL fInsert;
    if ((uFlags & 0x000F) == CMF_NORMAL)
    {
        OutputDebugStringA("CMF_NORMAL...\r\n");
        fInsert = TRUE;
    }
    else if (uFlags & CMF_VERBSONLY)
    {
        OutputDebugStringA("CMF_VERBSONLY...\r\n");
        fInsert = TRUE;
    }
    else if (uFlags & CMF_EXPLORE)
    {
        OutputDebugStringA("CMF_EXPLORE...\r\n");
        fInsert = TRUE;
    }
    else if (uFlags & CMF_DEFAULTONLY)
    {
        OutputDebugStringA("CMF_DEFAULTONLY...\r\n");
        fInsert = FALSE;
    }
    else
    {
        OutputDebugStringA("CMF_default...\r\n");
        char szLine[32];
        sprintf(szLine, "uFlags==>%d\r\n", (int)uFlags);
        OutputDebugStringA(szLine);
        fInsert = FALSE;
    }
    if (!fInsert)
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

    InsertMenuA(hMenu, indexMenu, MF_BYPOSITION | MF_SEPARATOR, 0, NULL);
    InsertMenuA(hMenu, indexMenu + 1, MF_BYPOSITION | MF_STRING, idCmdFirst, szText);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

STDMETHODIMP CShellExt::InvokeCommand(LPCMINVOKECOMMANDINFO pici)
{
    OutputDebugStringA("CShellExt::InvokeCommand()\r\n");
    // A verb is an offset when no bit above its low 16 is set (a text's address has some).
    if (pici == NULL || !IS_INTRESOURCE(pici->lpVerb) || LOWORD((UINT_PTR)pici->lpVerb) != 0)
        return E_INVALIDARG;
    return DoGAKMenu1();
}

STDMETHODIMP CShellExt::GetCommandString(UINT_PTR idCmd, UINT, UINT*, LPSTR pszName, UINT cchMax)
{
    OutputDebugStringA("CShellExt::GetCommandString()\r\n");
    if (idCmd == 0 && pszName != NULL && cchMax > 0)
    {
        char szText[64];
        LoadText(IDS_SHELLEXT_HELP, DEFAULT_HELP_TEXT, szText, sizeof(szText));
        lstrcpynA(pszName, szText, (int)cchMax);
    }
    return S_OK;
}

HRESULT CShellExt::DoGAKMenu1()
{
    OutputDebugStringA("CShellExt::DoGAKMenu1()\r\n");
    if (m_pDataObject == NULL)
        return S_OK;

    FORMATETC format = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    ZeroMemory(&medium, sizeof(medium));
    if (FAILED(m_pDataObject->GetData(&format, &medium)))
        return S_OK;
    if (medium.tymed != TYMED_HGLOBAL || medium.hGlobal == NULL)
    {
        ReleaseStgMedium(&medium);
        return S_OK;
    }

    HWND hWnd = ReadMappedWindow(CLIENT_MAINWND_MAPPING);
    if (hWnd == NULL)
    {
        // Start the client and wait for its main window; a failed start waits all the same.
        STARTUPINFOA si;
        GetStartupInfoA(&si);
        PROCESS_INFORMATION pi;
        if (m_szClientExe[0] != '\0' &&
            CreateProcessA(m_szClientExe, NULL, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL,
                           NULL, &si, &pi))
        {
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        for (int nCheck = 0; nCheck < CLIENT_WAIT_CHECKS && hWnd == NULL; ++nCheck)
        {
            hWnd = ReadMappedWindow(CLIENT_MAINWND_MAPPING);
            if (hWnd == NULL)
                g_pfnClientWait(CLIENT_WAIT_INTERVAL);
        }
        if (hWnd == NULL)
        {
            ReleaseStgMedium(&medium);
            return E_UNEXPECTED;
        }
    }

    // The client frees a handle posted as it is; a copy or a failed post leaves the drop
    // list with the medium.
    if (postDroppedFiles(hWnd, medium.hGlobal) != DROP_POSTED_HANDLE)
        ReleaseStgMedium(&medium);
    return S_OK;
}
