#include "IOTDevice.h"

#include <string.h>

namespace {

class CKernelDevice : public CIOTDevice
{
public:
    explicit CKernelDevice(HANDLE h) : m_h(h) {}
    virtual ~CKernelDevice() { Close(); }
    virtual BOOL Control(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut,
                         LPDWORD pcbReturned)
    {
        DWORD cb = 0;
        BOOL f = DeviceIoControl(m_h, dwCode, pIn, cbIn, pOut, cbOut, pcbReturned ? pcbReturned : &cb, NULL);
        return f;
    }
    virtual void Close()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};

class CModuleDevice : public CIOTDevice
{
public:
    CModuleDevice(HMODULE h, PFN_VXDDEVICEIOCONTROL pfn) : m_h(h), m_pfn(pfn) {}
    virtual ~CModuleDevice() { Close(); }
    virtual BOOL Control(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut,
                         LPDWORD pcbReturned)
    {
        DWORD cb = 0;
        if (!m_pfn)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return m_pfn(NULL, dwCode, pIn, cbIn, pOut, cbOut, pcbReturned ? pcbReturned : &cb, NULL);
    }
    virtual void Close()
    {
        if (m_h)
            FreeLibrary(m_h);
        m_h = NULL;
        m_pfn = NULL;
    }

private:
    HMODULE m_h;
    PFN_VXDDEVICEIOCONTROL m_pfn;
};

// A path that opens as an ordinary disk file is the driver's image, not a loaded device:
// opening it with delete-on-close would remove the file.
BOOL IsPlainFile(LPCSTR pszPath)
{
    HANDLE h = CreateFileA(pszPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL fFile = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return fFile;
}

}  // namespace

CIOTDevice* CIOTDevice::Open(LPCSTR pszDevicePath, LPCSTR pszDriverFolder)
{
    if (!IsPlainFile(pszDevicePath))
    {
        HANDLE h = CreateFileA(pszDevicePath, 0, 0, NULL, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, NULL);
        if (h != INVALID_HANDLE_VALUE)
            return new CKernelDevice(h);
    }
    char szModule[MAX_PATH + 16];
    if (strlen(pszDriverFolder) + sizeof("filter32.vxd") > sizeof(szModule))
        return NULL;
    strcpy(szModule, pszDriverFolder);
    strcat(szModule, "filter32.vxd");
    UINT uOldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE hModule = LoadLibraryA(szModule);
    SetErrorMode(uOldMode);
    if (!hModule)
        return NULL;
    PFN_VXDDEVICEIOCONTROL pfn = (PFN_VXDDEVICEIOCONTROL)GetProcAddress(hModule, "VxdDeviceIoControl");
    if (!pfn)
    {
        FreeLibrary(hModule);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return NULL;
    }
    return new CModuleDevice(hModule, pfn);
}
