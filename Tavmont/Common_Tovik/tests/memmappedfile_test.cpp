// Named mappings: created here, read here and from a second process.
#include <gtest/gtest.h>

#include "SystemError.h"
#include "Utils_MemMappedFile.h"
#include "childprocess.h"
#include "GoldenBytes.h"
#include "VglTestSupport.h"

#include <stdio.h>
#include <string>

namespace
{
std::string UniqueName(const char* pszKind)
{
    char sz[128];
    sprintf(sz, "VglTest_%s_%lu_%lu", pszKind, GetCurrentProcessId(), GetTickCount());
    return sz;
}
} // namespace

// Second process: reads the three mappings named by its arguments and writes
// "hwnd dword text needed" into the result file.
VGL_CHILD_MODE(readmappings)
{
    if (argv.size() != 4)
        return 2;
    char szText[256] = "";
    DWORD dwNeeded = 0;
    BOOL fText = getMemoryMappedString(argv[2].c_str(), szText, sizeof(szText), dwNeeded);
    FILE* pFile = fopen(argv[3].c_str(), "wb");
    if (pFile == NULL)
        return 3;
    fprintf(pFile, "%lu %lu %s %lu %d", (unsigned long)(UINT_PTR)getMemoryMappedHwnd(argv[0].c_str()),
            getMemoryMappedDword(argv[1].c_str()), fText ? szText : "(none)", dwNeeded, fText);
    fclose(pFile);
    return 0;
}

TEST(MemMappedFile, AnotherProcessReadsTheValues)
{
    std::string strHwnd = UniqueName("Hwnd"), strDword = UniqueName("Pid"), strText = UniqueName("Text");
    HANDLE hHwnd = createMemoryMappedHwnd(strHwnd.c_str(), (HWND)(UINT_PTR)0x1234ABCD);
    HANDLE hDword = createMemoryMappedDword(strDword.c_str(), GetCurrentProcessId());
    HANDLE hText = createMemoryMappedString(strText.c_str(), "6.150.1021");
    ASSERT_TRUE(hHwnd != NULL && hDword != NULL && hText != NULL);

    DeleteFileA("mapping_child.txt");
    ASSERT_EQ(0, NS_ChildProcess::Run("readmappings", strHwnd + " " + strDword + " " + strText +
                                                          " mapping_child.txt"));
    char szExpected[128];
    sprintf(szExpected, "%lu %lu 6.150.1021 11 1", 0x1234ABCDul, GetCurrentProcessId());
    EXPECT_EQ(szExpected, ReadWholeFile("mapping_child.txt"));

    // Closing the creator's handle ends the mapping.
    CloseHandle(hHwnd);
    CloseHandle(hDword);
    CloseHandle(hText);
    ASSERT_EQ(0, NS_ChildProcess::Run("readmappings", strHwnd + " " + strDword + " " + strText +
                                                          " mapping_child.txt"));
    EXPECT_EQ("0 0 (none) 0 0", ReadWholeFile("mapping_child.txt"));
}

// The bytes another program finds in each kind of mapping: the same for 32-bit and 64-bit
// programs (a window handle is kept as its low 32 bits), nothing after the value.
TEST(MemMappedFile, MappingBytesAreTheSameOnBothTargets)
{
    struct
    {
        const char* pszWhat;
        HANDLE (*pfnCreate)(LPCSTR pszName);
        const char* pszGolden;
    } cases[] = {
        {"window", [](LPCSTR n) { return createMemoryMappedHwnd(n, (HWND)(UINT_PTR)0x0001002A); }, "2a000100"},
        {"window, bit 31 set", [](LPCSTR n) { return createMemoryMappedHwnd(n, (HWND)LongToHandle(-0x7FFFFFF0)); },
         "10000080"},
        {"process id", [](LPCSTR n) { return createMemoryMappedDword(n, 0x12345678); }, "78563412"},
        {"program version", [](LPCSTR n) { return createMemoryMappedString(n, "6.150.1021"); },
         "362e3135302e31303231 00"},
        {"hot-fix list", [](LPCSTR n) { return createMemoryMappedString(n, "HotFix/A.Msg=2026\n"); },
         "486f744669782f412e4d7367 3d 32303236 0a 00"},
        {"empty text", [](LPCSTR n) { return createMemoryMappedString(n, NULL); }, "00"},
    };
    for (const auto& c : cases)
    {
        std::string strName = UniqueName("Golden");
        HANDLE hMapping = c.pfnCreate(strName.c_str());
        ASSERT_TRUE(hMapping != NULL) << c.pszWhat;
        HANDLE hReader = OpenFileMappingA(FILE_MAP_READ, FALSE, strName.c_str());
        const BYTE* pbView = hReader != NULL ? (const BYTE*)MapViewOfFile(hReader, FILE_MAP_READ, 0, 0, 0) : NULL;
        ASSERT_TRUE(pbView != NULL) << c.pszWhat;
        MEMORY_BASIC_INFORMATION mbi = {};
        VirtualQuery(pbView, &mbi, sizeof(mbi));
        std::string strGolden = Unhex(c.pszGolden);
        ASSERT_GE(mbi.RegionSize, strGolden.size()) << c.pszWhat;
        EXPECT_EQ(Hex(strGolden), Hex(pbView, strGolden.size())) << c.pszWhat;
        std::string strRest((const char*)pbView + strGolden.size(), mbi.RegionSize - strGolden.size());
        EXPECT_EQ(std::string::npos, strRest.find_first_not_of('\0')) << c.pszWhat;
        UnmapViewOfFile(pbView);
        CloseHandle(hReader);
        CloseHandle(hMapping);
    }

    // A window handle read back is the one published, on either target.
    std::string strName = UniqueName("GoldenHwnd");
    HWND hHigh = (HWND)LongToHandle(-0x7FFFFFF0);
    HANDLE hMapping = createMemoryMappedHwnd(strName.c_str(), hHigh);
    EXPECT_EQ(hHigh, getMemoryMappedHwnd(strName.c_str()));
    CloseHandle(hMapping);
}

TEST(MemMappedFile, ExistingMappingKeepsItsFirstValue)
{
    std::string strHwnd = UniqueName("Hwnd"), strDword = UniqueName("Dword"), strText = UniqueName("Text");
    HANDLE hFirst = createMemoryMappedHwnd(strHwnd.c_str(), (HWND)(UINT_PTR)0x100);
    EXPECT_NE((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    HANDLE hSecond = createMemoryMappedHwnd(strHwnd.c_str(), (HWND)(UINT_PTR)0x200);
    EXPECT_EQ((DWORD)ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ((HWND)(UINT_PTR)0x100, getMemoryMappedHwnd(strHwnd.c_str()));

    HANDLE hDword1 = createMemoryMappedDword(strDword.c_str(), 41);
    HANDLE hDword2 = createMemoryMappedDword(strDword.c_str(), 42);
    EXPECT_EQ(41u, getMemoryMappedDword(strDword.c_str()));

    HANDLE hText1 = createMemoryMappedString(strText.c_str(), "first");
    HANDLE hText2 = createMemoryMappedString(strText.c_str(), "second, longer");
    char sz[64];
    DWORD dwNeeded = 0;
    EXPECT_TRUE(getMemoryMappedString(strText.c_str(), sz, sizeof(sz), dwNeeded));
    EXPECT_STREQ("first", sz);

    for (HANDLE h : {hFirst, hSecond, hDword1, hDword2, hText1, hText2})
        CloseHandle(h);
}

TEST(MemMappedFile, StringBufferSizesAndAbsentMappings)
{
    std::string strText = UniqueName("Text");
    const char* pszValue = "Vigilon_HotFix=1";   // 16 characters
    HANDLE hText = createMemoryMappedString(strText.c_str(), pszValue);

    char sz[64];
    DWORD dwNeeded = 0;
    memset(sz, 'x', sizeof(sz));
    EXPECT_TRUE(getMemoryMappedString(strText.c_str(), sz, 17, dwNeeded));
    EXPECT_STREQ(pszValue, sz);
    dwNeeded = 0;
    memset(sz, 'x', sizeof(sz));
    EXPECT_FALSE(getMemoryMappedString(strText.c_str(), sz, 16, dwNeeded));
    EXPECT_EQ(17u, dwNeeded);
    EXPECT_EQ('x', sz[0]);   // nothing copied
    CloseHandle(hText);

    std::string strAbsent = UniqueName("Absent");
    dwNeeded = 99;
    EXPECT_FALSE(getMemoryMappedString(strAbsent.c_str(), sz, sizeof(sz), dwNeeded));
    EXPECT_EQ(NULL, getMemoryMappedHwnd(strAbsent.c_str()));
    EXPECT_EQ(0u, getMemoryMappedDword(strAbsent.c_str()));
}

TEST(MemMappedFile, TextWithoutZeroIsReadOnlyToTheEndOfTheMapping)
{
    // A mapping filled to its last byte by another program: the read stops at its end.
    std::string strName = UniqueName("Raw");
    HANDLE hRaw = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096, strName.c_str());
    ASSERT_TRUE(hRaw != NULL);
    void* pv = MapViewOfFile(hRaw, FILE_MAP_WRITE, 0, 0, 4096);
    memset(pv, 'A', 4096);
    UnmapViewOfFile(pv);

    std::string strBuffer(8192, '\0');
    DWORD dwNeeded = 0;
    EXPECT_FALSE(getMemoryMappedString(strName.c_str(), &strBuffer[0], 100, dwNeeded));
    EXPECT_EQ(4097u, dwNeeded);
    EXPECT_TRUE(getMemoryMappedString(strName.c_str(), &strBuffer[0], 8192, dwNeeded));
    EXPECT_EQ(std::string(4096, 'A'), strBuffer.c_str());
    CloseHandle(hRaw);
}

TEST(MemMappedFile, CreationFailureThrows)
{
    // A name in use by another kind of object cannot name a mapping.
    std::string strName = UniqueName("Event");
    HANDLE hEvent = CreateEventA(NULL, TRUE, FALSE, strName.c_str());
    EXPECT_THROW(createMemoryMappedDword(strName.c_str(), 1), CSystemError);
    CloseHandle(hEvent);
}
