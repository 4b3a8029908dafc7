// VigilonUninstall.exe (also installed as 95Roraze.exe): the entry point.
#include "LogTracker.h"
#include "UninstallApp.h"

// The one application object.
CUninstallApp theApp;

namespace
{
// Faults no handler caught end here: traced before the process ends.
LONG WINAPI LogUnhandledException(EXCEPTION_POINTERS* pInfo)
{
    if (theApp.m_fInDoUninstall && ::GetCurrentThreadId() == theApp.m_nThreadID)
        VGLTRACE(10, "G.P.F in DoUninstall(): code 0x%08lX at %p", pInfo->ExceptionRecord->ExceptionCode,
                 pInfo->ExceptionRecord->ExceptionAddress);
    else
        VGLTRACE(13, "G.P.F in VigilonUninstall: code 0x%08lX at %p", pInfo->ExceptionRecord->ExceptionCode,
                 pInfo->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_EXECUTE_HANDLER;
}
}

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    ::SetUnhandledExceptionFilter(LogUnhandledException);
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
