// VigilonUpdate.exe (also run under its old name 95Did.exe): the entry point over the update
// program's library.
#include "LogTracker.h"
#include "UpdateApp.h"

// The one application object.
CUpdateApp theApp;

namespace
{
// Faults no handler caught end here: traced before the process ends.
LONG WINAPI LogUnhandledException(EXCEPTION_POINTERS* pInfo)
{
    VGLTRACE(13, "G.P.F in VigilonUpdate: code 0x%08lX at %p", pInfo->ExceptionRecord->ExceptionCode,
             pInfo->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_EXECUTE_HANDLER;
}
}

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    ::SetUnhandledExceptionFilter(LogUnhandledException);
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
