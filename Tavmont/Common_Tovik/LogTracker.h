// Trace logger: every component writes its diagnostic lines through
// NS_Debug::GetLogTracker(). Lines go to the outside trace library kvdbg20.dll,
// which is loaded only when the switch file "VglDebug.ini" exists.
//
// Levels: 1 entry ("-->CClass::Func(...)"), 2 exit ("<--..."), 3 information,
// 10 caught exception of a known type, 11 CSystemError in the notification and
// configuration code, 12 failed operation, 13 exception of any other type.
#pragma once

#include <windows.h>
// Pointer-sized numbers in a trace: a handle or address with %p; a number with PRIuPTR, PRIdPTR
// or PRIXPTR as UINT_PTR or INT_PTR (WPARAM and size_t are UINT_PTR already; an LPARAM, LRESULT
// or SIZE_T is a long on 32-bit targets: cast it). The C library of Windows 95/98 knows no %I
// or %z.
#include <inttypes.h>

class CLogTracker
{
public:
    virtual BOOL Open(LPCSTR pszIniPath, int nFlag) = 0;
    virtual BOOL Close() = 0;
    virtual void SetOwnerName(LPCSTR pszName) = 0;
    virtual CLogTracker& operator<<(LPCSTR pszText) = 0;
    virtual BOOL Trace(int nLevel, LPCSTR pszFormat, ...)
        __attribute__((format(ms_printf, 3, 4))) = 0;
    virtual BOOL Write(int nLevel, LPCSTR pszText) = 0;
    virtual BOOL IsOpen() = 0;
    virtual ~CLogTracker() {}
};

// The trace entries of kvdbg20.dll (cdecl).
typedef int (__cdecl *PFN_SD_INITDEBUG)(LPCSTR pszIniPath, LPCSTR pszBuildDate,
                                        LPCSTR pszBuildTime);
typedef int (__cdecl *PFN_SD_TRACE)(LPCSTR pszComponent, int nOne, int nSinkLevel,
                                    LPCSTR pszFormat, ...);

class CBrisaLogTracker : public CLogTracker
{
public:
    enum { TRACE_BUFFER_SIZE = 4096 };

    constexpr CBrisaLogTracker()
        : m_hLibrary(NULL), m_pfnInitDebug(NULL), m_pfnTrace(NULL) {}
    virtual ~CBrisaLogTracker();

    virtual BOOL Open(LPCSTR pszIniPath, int nFlag);
    virtual BOOL Close();
    virtual void SetOwnerName(LPCSTR pszName);
    virtual CLogTracker& operator<<(LPCSTR pszText);
    virtual BOOL Trace(int nLevel, LPCSTR pszFormat, ...)
        __attribute__((format(ms_printf, 3, 4)));
    virtual BOOL Write(int nLevel, LPCSTR pszText);
    virtual BOOL IsOpen();

    // The library's sink level for a trace level.
    static int GetSinkLevel(int nLevel);

private:
    CBrisaLogTracker(const CBrisaLogTracker&);
    CBrisaLogTracker& operator=(const CBrisaLogTracker&);

    HMODULE m_hLibrary;
    PFN_SD_INITDEBUG m_pfnInitDebug;
    PFN_SD_TRACE m_pfnTrace;
};

extern CBrisaLogTracker g_logTracker;

namespace NS_Debug
{
    CLogTracker& GetLogTracker();

    // Start-up, main thread: opens the tracker when "VglDebug.ini" exists at the
    // root of the Windows drive, then creates the debug window.
    void Construct();

    // The debug window belongs to the program that has one (the client): it hands its
    // window functions over before Construct runs. Without them the three below do nothing.
    struct SDebugWindowHooks
    {
        void (*pfnCreate)();
        void (*pfnDestroy)();
        void (*pfnToggle)();
    };
    void SetDebugWindowHooks(const SDebugWindowHooks& hooks);

    // Creates the hidden debug window (last step of Construct).
    void CreateDebugWindow();
    // Destroys the debug window (last step of the client's exit).
    void Destruct();
    // Shows the debug window when hidden, hides it when shown.
    void ToggleDebugWindow();
}

// Every trace format ends ", %s|%d", filled with the caller's file and line.
#define VGLTRACE(level, fmt, ...) \
    NS_Debug::GetLogTracker().Trace((level), fmt ", %s|%d", ##__VA_ARGS__, __FILE__, __LINE__)
