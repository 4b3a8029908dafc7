// Host names and reachability: ICMP echo through "ICMP.DLL" loaded at run
// time, the addresses of a host, and whether TCP/IP is usable.
#pragma once

#include <afx.h>
#include <winsock.h>
#include <ipexport.h>

#include "SystemError.h"

// Owner of a library loaded at run time.
class CLibraryHandle
{
public:
    CLibraryHandle() : m_hModule(NULL) {}
    virtual ~CLibraryHandle();

    // Frees a library already held, then LoadLibraryEx; throws a new
    // CLibraryHandleException (error code, path) when loading fails.
    void Load(LPCSTR pszPath, DWORD dwFlags);
    void Free();

    HMODULE GetHandle() const { return m_hModule; }
    operator HMODULE() const { return m_hModule; }

private:
    CLibraryHandle(const CLibraryHandle&);
    CLibraryHandle& operator=(const CLibraryHandle&);

    HMODULE m_hModule;
};

typedef HANDLE (WINAPI* PFN_ICMP_CREATE_FILE)();
typedef DWORD (WINAPI* PFN_ICMP_SEND_ECHO)(HANDLE hIcmp, IPAddr destination, LPVOID pvRequestData,
                                           WORD wRequestSize, PIP_OPTION_INFORMATION pOptions,
                                           LPVOID pvReplyBuffer, DWORD dwReplySize, DWORD dwTimeout);
typedef BOOL (WINAPI* PFN_ICMP_CLOSE_HANDLE)(HANDLE hIcmp);

class CIcmpPing
{
public:
    // What a successful echo reports.
    struct SReply
    {
        DWORD dwAddress;        // the replying address, network order
        DWORD dwRoundTrip;      // ms
    };

    CIcmpPing();
    virtual ~CIcmpPing() {}

    // Loads "ICMP.DLL" and resolves its three entry points; TRUE when all
    // exist. A library that cannot be loaded throws CLibraryHandleException*.
    BOOL Init();
    // One echo of nSize bytes "E"; FALSE with the reason in the last error.
    BOOL Ping(LPCSTR pszHost, SReply* pReply, int nTtl, DWORD dwTimeout, int nSize);

    // The check of an echo reply: its status (non-zero: that becomes the last
    // error), then nSize data bytes all "E" (else last error 59).
    static BOOL CheckEchoReply(const ICMP_ECHO_REPLY* pReply, int nSize);

private:
    CLibraryHandle m_library;
    PFN_ICMP_CREATE_FILE m_pfnCreateFile;
    PFN_ICMP_SEND_ECHO m_pfnSendEcho;
    PFN_ICMP_CLOSE_HANDLE m_pfnCloseHandle;
};

// One echo to the host (time-to-live 128, 5000 ms, 32 bytes); FALSE also when
// "ICMP.DLL" cannot be loaded. dwTimeout and nSize are not used.
BOOL pingHost(LPCSTR pszHost, DWORD dwTimeout = 5000, int nSize = 32);

// Every IPv4 address of the host, or of this computer when the host is NULL or
// empty, as dotted texts: a NULL-terminated array of 128-byte texts that the
// caller frees with freeHostIPList. FALSE for a host longer than 127
// characters or one that does not resolve.
BOOL getHostIPList(LPCSTR pszHost, char*** pppList);
// Address lists are made only by these (nCount empty texts; a copy with each
// text cut to 127 characters) and freed only by freeHostIPList.
char** newHostIPList(int nCount);
char** copyHostIPList(char* const* ppList);
void freeHostIPList(char** ppList);

// TRUE when this computer has a host name and a TCP socket can be created.
BOOL isTcpIpAvailable();
