// The pattern-file tool (vxptool.exe in VGL_BIN), which writes the pattern and backup
// fixtures, intact or damaged.
#ifndef VGL_TESTS_VXPTOOL_RUN_H
#define VGL_TESTS_VXPTOOL_RUN_H

#include <windows.h>

#include "VglTestSupport.h"

#include <stdlib.h>
#include <string>
#include <vector>

namespace vxptest {

// A double-quoted command-line argument (no quotes or trailing backslash inside).
inline std::string Quote(const std::string& s)
{
    return "\"" + s + "\"";
}

// Runs vxptool with the arguments; its exit code, or -1 when it did not run.
inline int RunTool(const std::string& args)
{
    std::string cmd = Quote(BinFile("vxptool.exe")) + " " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    SECURITY_ATTRIBUTES sa = { sizeof(sa), NULL, TRUE };
    HANDLE hNul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                              OPEN_EXISTING, 0, NULL);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = hNul;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    BOOL fStarted = CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    if (hNul != INVALID_HANDLE_VALUE)
        CloseHandle(hNul);
    if (!fStarted)
        return -1;
    DWORD dwCode = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &dwCode);
    else
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)dwCode;
}

} // namespace vxptest

#endif
