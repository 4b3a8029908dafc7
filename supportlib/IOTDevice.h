// The three device primitives of the filter-driver library: open, control call, close.
// The kernel device is tried first; where no kernel driver can be opened (the driver runs in
// user mode), the driver module is loaded from the driver folder and its control entry, which
// has the shape of DeviceIoControl, takes the calls; freeing the module closes the device.
#pragma once

#include <windows.h>

class CIOTDevice
{
public:
    virtual ~CIOTDevice() {}
    virtual BOOL Control(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut,
                         LPDWORD pcbReturned) = 0;
    virtual void Close() = 0;

    // Opens "\\.\<folder>\filter32.vxd" (or "\\.\filter32.vxd" with an empty folder); the folder
    // is the short driver folder with its trailing backslash. NULL when neither way opens.
    static CIOTDevice* Open(LPCSTR pszDevicePath, LPCSTR pszDriverFolder);
};

// The control entry a user-mode driver exports.
typedef BOOL (WINAPI *PFN_VXDDEVICEIOCONTROL)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD,
                                              LPDWORD, LPOVERLAPPED);
