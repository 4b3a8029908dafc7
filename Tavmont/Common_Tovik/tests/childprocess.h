// Runs the test program itself as a second process in a helper mode:
//   Common_Tovik_tests.exe --child=NAME ARG...
// A mode is declared with VGL_CHILD_MODE(NAME) { ... return exit code; } and runs
// before the test framework starts; argv[0] of the body is the first ARG. A copy of
// the program started without arguments runs the mode named by VGL_CHILD_MODE.
#ifndef VGL_TESTS_CHILDPROCESS_H
#define VGL_TESTS_CHILDPROCESS_H

#include <windows.h>
#include <shellapi.h>

#include <string.h>
#include <string>
#include <vector>

namespace NS_ChildProcess
{
typedef int (*PFN_CHILD)(const std::vector<std::string>& args);

// The arguments after "--child=NAME" when this process runs in that mode.
inline bool IsChild(const char* pszName, std::vector<std::string>& args)
{
    int argc = 0;
    LPWSTR* argvw = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argvw == NULL)
        return false;
    std::vector<std::string> all;
    for (int i = 0; i < argc; ++i)
    {
        char sz[1024];
        WideCharToMultiByte(CP_ACP, 0, argvw[i], -1, sz, sizeof(sz), NULL, NULL);
        sz[sizeof(sz) - 1] = '\0';
        all.push_back(sz);
    }
    LocalFree(argvw);
    if (all.size() < 2 || all[1] != std::string("--child=") + pszName)
        return false;
    args.assign(all.begin() + 2, all.end());
    return true;
}

// A program started by the code under test, which passes it no arguments: the mode
// named by the environment variable VGL_CHILD_MODE, when the command line names none.
inline bool IsEnvironmentChild(const char* pszName)
{
    char sz[64] = "";
    return GetEnvironmentVariableA("VGL_CHILD_MODE", sz, sizeof(sz)) && strcmp(sz, pszName) == 0 &&
           strstr(GetCommandLineA(), "--child=") == NULL;
}

struct SMode
{
    SMode(const char* pszName, PFN_CHILD pfn)
    {
        std::vector<std::string> args;
        if (IsChild(pszName, args) || IsEnvironmentChild(pszName))
            ExitProcess((UINT)pfn(args));
    }
};

// Starts exe (this program when empty) with "--child=NAME ARGS" in the folder (the
// current one when empty) and waits up to 30 s; the exit code, or -1.
inline int Run(const std::string& strName, const std::string& strArgs,
               const std::string& strExe = "", const std::string& strFolder = "")
{
    char szSelf[MAX_PATH];
    GetModuleFileNameA(NULL, szSelf, MAX_PATH);
    std::string strCmd = "\"" + (strExe.empty() ? std::string(szSelf) : strExe) + "\" --child=" +
                         strName + " " + strArgs;
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi;
    std::vector<char> cmd(strCmd.begin(), strCmd.end());
    cmd.push_back('\0');
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL,
                        strFolder.empty() ? NULL : strFolder.c_str(), &si, &pi))
        return -1;
    DWORD dwExit = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &dwExit);
    else
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)dwExit;
}
} // namespace NS_ChildProcess

#define VGL_CHILD_MODE_CAT2(a, b) a##b
#define VGL_CHILD_MODE_CAT(a, b) VGL_CHILD_MODE_CAT2(a, b)
#define VGL_CHILD_MODE(name)                                                                  \
    static int VGL_CHILD_MODE_CAT(ChildMode_, name)(const std::vector<std::string>& argv);   \
    static NS_ChildProcess::SMode VGL_CHILD_MODE_CAT(g_childMode_, name)(                    \
        #name, VGL_CHILD_MODE_CAT(ChildMode_, name));                                         \
    static int VGL_CHILD_MODE_CAT(ChildMode_, name)(const std::vector<std::string>& argv)

#endif
