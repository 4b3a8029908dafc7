// What the shell extension's tests share: the library loaded as the shell loads it, the
// product key, data objects (the shell's own and a counting one), and the stand-in
// receiver that plays the client's main window.
#ifndef VGL_SHELLEXT_HARNESS_H
#define VGL_SHELLEXT_HARNESS_H

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "ShellExt.h"
#include "VglTestSupport.h"
#include "resource_ids.h"

#include <map>
#include <set>
#include <stdio.h>
#include <string>
#include <vector>

namespace shelltest
{
inline std::wstring Wide(const std::string& s)
{
    std::wstring w(s.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], (int)w.size());
    w.resize(n > 0 ? n - 1 : 0);
    return w;
}

// ---- product key --------------------------------------------------------------------

inline void DeleteProductKey()
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, CLIENT_PRODUCT_KEY);
}

inline void SetProductValue(const char* pszName, const std::string& strValue)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, CLIENT_PRODUCT_KEY, 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &hKey, NULL));
    RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)strValue.c_str(),
                   (DWORD)strValue.size() + 1);
    RegCloseKey(hKey);
}

// ---- the library, as the shell uses it ----------------------------------------------

class CShellLibrary
{
public:
    typedef HRESULT(WINAPI* PFN_GETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
    typedef HRESULT(WINAPI* PFN_NOARGS)();

    CShellLibrary() : m_hModule(LoadLibraryA(BinFile("KvdShell.dll").c_str())) {}
    ~CShellLibrary()
    {
        if (m_hModule != NULL)
            FreeLibrary(m_hModule);
    }
    HMODULE Module() const { return m_hModule; }

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) const
    {
        return ((PFN_GETCLASSOBJECT)Proc("DllGetClassObject"))(rclsid, riid, ppv);
    }
    HRESULT CanUnloadNow() const { return ((PFN_NOARGS)Proc("DllCanUnloadNow"))(); }
    HRESULT Register() const { return ((PFN_NOARGS)Proc("DllRegisterServer"))(); }
    HRESULT Unregister() const { return ((PFN_NOARGS)Proc("DllUnregisterServer"))(); }

    // A new context-menu object through the factory, as its IContextMenu; NULL on failure.
    IContextMenu* CreateMenu() const
    {
        IClassFactory* pFactory = NULL;
        if (FAILED(GetClassObject(CLSID_VigilonShellExt, IID_IClassFactory, (void**)&pFactory)))
            return NULL;
        IContextMenu* pMenu = NULL;
        pFactory->CreateInstance(NULL, IID_IContextMenu, (void**)&pMenu);
        pFactory->Release();
        return pMenu;
    }

private:
    FARPROC Proc(const char* pszName) const
    {
        FARPROC pfn = m_hModule != NULL ? GetProcAddress(m_hModule, pszName) : NULL;
        if (pfn == NULL)
            ADD_FAILURE() << "KvdShell.dll does not export " << pszName;
        return pfn;
    }

    HMODULE m_hModule;
};

// Hands the data object to the menu object the way the shell does.
inline HRESULT InitializeMenu(IContextMenu* pMenu, IDataObject* pDataObject)
{
    IShellExtInit* pInit = NULL;
    HRESULT hr = pMenu->QueryInterface(IID_IShellExtInit, (void**)&pInit);
    if (FAILED(hr))
        return hr;
    hr = pInit->Initialize(NULL, pDataObject, NULL);
    pInit->Release();
    return hr;
}

inline HRESULT InvokeOffset(IContextMenu* pMenu, UINT nOffset)
{
    CMINVOKECOMMANDINFO ici = {sizeof(ici)};
    ici.lpVerb = MAKEINTRESOURCEA(nOffset);
    ici.nShow = SW_SHOWNORMAL;
    return pMenu->InvokeCommand(&ici);
}

// ---- data objects ---------------------------------------------------------------------

// The shell's own data object for entries of one folder (what Explorer hands over).
inline IDataObject* ShellDataObject(const std::string& strFolder, const std::vector<std::string>& names)
{
    IShellFolder* pDesktop = NULL;
    if (FAILED(SHGetDesktopFolder(&pDesktop)))
        return NULL;
    IDataObject* pDataObject = NULL;
    LPITEMIDLIST pidlFolder = NULL;
    std::wstring wFolder = Wide(strFolder);
    IShellFolder* pFolder = NULL;
    if (SUCCEEDED(pDesktop->ParseDisplayName(NULL, NULL, &wFolder[0], NULL, &pidlFolder, NULL)) &&
        SUCCEEDED(pDesktop->BindToObject(pidlFolder, NULL, IID_IShellFolder, (void**)&pFolder)))
    {
        std::vector<LPITEMIDLIST> children;
        for (const std::string& strName : names)
        {
            std::wstring wName = Wide(strName);
            LPITEMIDLIST pidl = NULL;
            if (SUCCEEDED(pFolder->ParseDisplayName(NULL, NULL, &wName[0], NULL, &pidl, NULL)))
                children.push_back(pidl);
        }
        if (children.size() == names.size())
            pFolder->GetUIObjectOf(NULL, (UINT)children.size(), (LPCITEMIDLIST*)&children[0],
                                   IID_IDataObject, NULL, (void**)&pDataObject);
        for (LPITEMIDLIST pidl : children)
            CoTaskMemFree(pidl);
        pFolder->Release();
    }
    if (pidlFolder != NULL)
        CoTaskMemFree(pidlFolder);
    pDesktop->Release();
    return pDataObject;
}

// A data object of our own: a CF_HDROP list of the given paths (or none), each medium
// handed out with a release object, so the test sees who frees the drop list.
class CCountingDataObject : public IDataObject
{
public:
    CCountingDataObject(const std::vector<std::string>& paths, bool fHasDrop = true)
        : m_nRef(1), m_paths(paths), m_fHasDrop(fHasDrop), m_release(this)
    {
    }
    int MediumReleases() const { return m_release.nReleases; }
    LONG References() const { return m_nRef; }
    HGLOBAL LastDrop() const { return m_hLastDrop; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv)
    {
        *ppv = NULL;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject))
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() { return (ULONG)InterlockedIncrement(&m_nRef); }
    STDMETHODIMP_(ULONG) Release() { return (ULONG)InterlockedDecrement(&m_nRef); }

    STDMETHODIMP GetData(FORMATETC* pFormat, STGMEDIUM* pMedium)
    {
        if (!m_fHasDrop || pFormat->cfFormat != CF_HDROP || !(pFormat->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        std::string strNames;
        for (const std::string& strPath : m_paths)
            strNames += strPath + '\0';
        strNames += '\0';
        HGLOBAL hDrop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + strNames.size());
        DROPFILES* pDrop = (DROPFILES*)GlobalLock(hDrop);
        pDrop->pFiles = sizeof(DROPFILES);
        memcpy(pDrop + 1, strNames.data(), strNames.size());
        GlobalUnlock(hDrop);
        m_hLastDrop = hDrop;
        pMedium->tymed = TYMED_HGLOBAL;
        pMedium->hGlobal = hDrop;
        pMedium->pUnkForRelease = &m_release;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* pFormat)
    {
        return m_fHasDrop && pFormat->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut)
    {
        pOut->ptd = NULL;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

private:
    // Releasing a medium releases this object, which frees the drop list.
    struct CMediumRelease : public IUnknown
    {
        explicit CMediumRelease(CCountingDataObject* pOwner) : pOwner(pOwner), nReleases(0) {}
        STDMETHODIMP QueryInterface(REFIID, void** ppv)
        {
            *ppv = NULL;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() { return 2; }
        STDMETHODIMP_(ULONG) Release()
        {
            ++nReleases;
            if (pOwner->m_hLastDrop != NULL)
                GlobalFree(pOwner->m_hLastDrop);
            pOwner->m_hLastDrop = NULL;
            return 1;
        }
        CCountingDataObject* pOwner;
        int nReleases;
    };

    LONG m_nRef;
    std::vector<std::string> m_paths;
    bool m_fHasDrop;
    HGLOBAL m_hLastDrop = NULL;
    CMediumRelease m_release;
};

// ---- the stand-in client ----------------------------------------------------------------

// A client folder in the scratch folder: the stand-in receiver as Ksxwin97.exe beside a
// copy of the client's language library. Its log tells what the receiver saw.
class CClientFolder
{
public:
    explicit CClientFolder(const std::string& strName) : m_strFolder(FreshScratchFolder(strName))
    {
        EXPECT_TRUE(CopyFileA(BinFile("DropReceiver.exe").c_str(), Exe().c_str(), FALSE));
        EXPECT_TRUE(CopyFileA(BinFile("Ksxwin97.dll").c_str(), (m_strFolder + "\\Ksxwin97.dll").c_str(),
                              FALSE));
    }
    ~CClientFolder() { StopReceivers(); }

    const std::string& Folder() const { return m_strFolder; }
    std::string Exe() const { return m_strFolder + "\\Ksxwin97.exe"; }

    // Sets the delay the receivers started from now on wait before they publish.
    static void SetDelay(int nMilliseconds)
    {
        SetEnvironmentVariableA("VGL_RECEIVER_DELAY_MS", std::to_string(nMilliseconds).c_str());
    }

    // Starts the receiver and waits until it has published its window.
    bool Start()
    {
        SetDelay(0);
        STARTUPINFOA si = {sizeof(si)};
        PROCESS_INFORMATION pi;
        if (!CreateProcessA(Exe().c_str(), NULL, NULL, NULL, FALSE, 0, NULL, m_strFolder.c_str(), &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return WaitFor("ready", 1, 10000);
    }

    std::vector<std::string> Log() const
    {
        std::vector<std::string> lines;
        std::string strText = ReadWholeFile(m_strFolder + "\\receiver.log");
        size_t nStart = 0;
        while (nStart < strText.size())
        {
            size_t nEnd = strText.find('\n', nStart);
            if (nEnd == std::string::npos)
                nEnd = strText.size();
            lines.push_back(strText.substr(nStart, nEnd - nStart));
            nStart = nEnd + 1;
        }
        return lines;
    }

    // The log lines that begin with the prefix.
    std::vector<std::string> Lines(const std::string& strPrefix) const
    {
        std::vector<std::string> found;
        for (const std::string& strLine : Log())
            if (strLine.compare(0, strPrefix.size(), strPrefix) == 0)
                found.push_back(strLine);
        return found;
    }

    bool WaitFor(const std::string& strPrefix, size_t nCount, DWORD dwTimeout) const
    {
        for (DWORD dwWaited = 0; dwWaited <= dwTimeout; dwWaited += 50)
        {
            if (Lines(strPrefix).size() >= nCount)
                return true;
            Sleep(50);
        }
        return false;
    }

    // Ends every receiver started from this folder (closing the window lets it handle
    // whatever was posted before) and waits for each.
    void StopReceivers()
    {
        HWND hWnd = ReadMappedWindow(CLIENT_MAINWND_MAPPING);
        if (hWnd != NULL)
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
        for (const std::string& strLine : Lines("start "))
        {
            DWORD dwPid = strtoul(strLine.c_str() + 6, NULL, 10);
            if (!m_stopped.insert(dwPid).second)
                continue;       // its id may belong to another process by now
            HANDLE hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, dwPid);
            if (hProcess == NULL)
                continue;
            // One that never published its window is ended at once.
            if (WaitForSingleObject(hProcess, hWnd != NULL ? 5000 : 0) != WAIT_OBJECT_0)
                TerminateProcess(hProcess, 1);
            WaitForSingleObject(hProcess, 5000);
            CloseHandle(hProcess);
        }
    }

private:
    std::string m_strFolder;
    std::set<DWORD> m_stopped;
};

// Strings of a copy of the client's language library replaced by the given texts.
inline bool ReplaceStrings(const std::string& strLibrary, const std::map<UINT, std::string>& texts)
{
    std::map<UINT, std::vector<std::wstring>> blocks;
    for (const auto& text : texts)
    {
        std::vector<std::wstring>& block = blocks[text.first / 16 + 1];
        block.resize(16);
        block[text.first % 16] = Wide(text.second);
    }
    HANDLE hUpdate = BeginUpdateResourceA(strLibrary.c_str(), FALSE);
    if (hUpdate == NULL)
        return false;
    for (const auto& block : blocks)
    {
        std::vector<WORD> data;
        for (const std::wstring& w : block.second)
        {
            data.push_back((WORD)w.size());
            data.insert(data.end(), w.begin(), w.end());
        }
        UpdateResourceA(hUpdate, (LPCSTR)RT_STRING, MAKEINTRESOURCEA(block.first),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &data[0], (DWORD)(data.size() * 2));
    }
    return EndUpdateResourceA(hUpdate, FALSE) != FALSE;
}

// Sets up COM for a test and puts the product key and the wait back afterwards.
class ShellExtTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OleInitialize(NULL);
        DeleteProductKey();
    }
    void TearDown() override
    {
        DeleteProductKey();
        g_pfnClientWait = Sleep;
        SetEnvironmentVariableA("VGL_RECEIVER_DELAY_MS", NULL);
        OleUninitialize();
    }
};
} // namespace shelltest

#endif
