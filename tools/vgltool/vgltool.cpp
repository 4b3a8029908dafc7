// vgltool: command-line access to the client's algorithms.
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int cmdWinver()
{
    OSVERSIONINFOA vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExA(&vi)) {
        fprintf(stderr, "GetVersionEx failed (%lu)\n", GetLastError());
        return 1;
    }
    printf("platform %lu, version %lu.%lu, build %lu\n", vi.dwPlatformId, vi.dwMajorVersion,
           vi.dwMinorVersion, vi.dwBuildNumber & 0xFFFF);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 2 && strcmp(argv[1], "winver") == 0)
        return cmdWinver();
    fprintf(stderr, "usage: vgltool winver\n");
    return 2;
}
