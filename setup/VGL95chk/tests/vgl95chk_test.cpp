// Is the client installed or running: the main-window mapping, then the product key.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "VglTestSupport.h"

namespace
{
const char PRODUCT_KEY[] = "Software\\Kavrel\\VigilonCorp\\CurrentVersion";
const char MAPPING[] = "VigilonCorp_MemoryMappedFile_MainWnd";

bool ProductKeyExists()
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

bool MappingExists()
{
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ, FALSE, MAPPING);
    if (hMapping == NULL)
        return false;
    CloseHandle(hMapping);
    return true;
}
} // namespace

TEST(VGL95chkTest, RunningOrInstalledOrNeither)
{
    HMODULE hLibrary = LoadLibraryA(BinFile("VGL95chk.dll").c_str());
    ASSERT_TRUE(hLibrary != NULL);
    typedef int(WINAPI * PFN_CHECK)();
    PFN_CHECK pfnCheck = (PFN_CHECK)GetProcAddress(hLibrary, "kvCheckVigilon95Exist");
    ASSERT_TRUE(pfnCheck != NULL);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    ASSERT_FALSE(MappingExists());

    // Running: the window is published (whatever it holds), the key is missing.
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4, MAPPING);
    ASSERT_TRUE(hMapping != NULL);
    EXPECT_EQ(1, pfnCheck());
    EXPECT_FALSE(ProductKeyExists());
    CloseHandle(hMapping);

    // Installed, not running.
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, &hKey));
    RegCloseKey(hKey);
    EXPECT_EQ(1, pfnCheck());
    EXPECT_FALSE(MappingExists());

    // Neither; the call creates neither.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    EXPECT_EQ(0, pfnCheck());
    EXPECT_FALSE(ProductKeyExists());
    EXPECT_FALSE(MappingExists());
    FreeLibrary(hLibrary);
}
