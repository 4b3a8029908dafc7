// VGL95chk.dll: tells the product's installation program whether the client is running
// or at least installed.
#include <windows.h>

extern "C" int WINAPI kvCheckVigilon95Exist()
{
    // The running client publishes its main window in this mapping.
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "VigilonCorp_MemoryMappedFile_MainWnd");
    if (hMapping != NULL)
    {
        CloseHandle(hMapping);
        return 1;
    }
    HKEY hKey = NULL;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Kavrel\\VigilonCorp\\CurrentVersion", &hKey) == ERROR_SUCCESS)
    {
        RegCloseKey(hKey);
        return 1;
    }
    return 0;
}
