// Ksxwin97.exe: the client program's entry point over the client's library.
#include "LogTracker.h"
#include "TavmontApp.h"

// The one application object.
CTavmontApp theApp;

namespace
{
// Faults no handler caught end here: traced before the process ends.
LONG WINAPI LogUnhandledException(EXCEPTION_POINTERS* pInfo)
{
    VGLTRACE(13, "G.P.F in Ksxwin97: code 0x%08lX at %p", pInfo->ExceptionRecord->ExceptionCode,
             pInfo->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_EXECUTE_HANDLER;
}
}

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    ::SetUnhandledExceptionFilter(LogUnhandledException);
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
