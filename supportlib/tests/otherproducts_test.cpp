// Other products of the maker and the other update source by address range.
#include "OtherProducts.h"

#include "vxptool_run.h"

#include <gtest/gtest.h>

#include <winsock.h>

#include <string>
#include <vector>

namespace
{
// This PC's first address in host byte order, as the look-up should find it.
DWORD LocalAddress()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    char szHost[256] = "";
    gethostname(szHost, sizeof(szHost));
    hostent* p = gethostbyname(szHost);
    DWORD dw = 0;
    if (p != NULL)
        memcpy(&dw, p->h_addr_list[0], 4);
    WSACleanup();
    return ntohl(dw);
}

std::string Dotted(DWORD dwHost)
{
    char sz[32];
    sprintf(sz, "%lu.%lu.%lu.%lu", (dwHost >> 24) & 255, (dwHost >> 16) & 255, (dwHost >> 8) & 255,
            dwHost & 255);
    return sz;
}

std::string Range(DWORD dwFirst, DWORD dwLast)
{
    return Dotted(dwFirst) + "," + Dotted(dwLast) + ",";
}
}

TEST(OtherUpdateSource, FirstMatchingRangeInKeyOrder)
{
    const DWORD L = LocalAddress();
    ASSERT_NE(0u, L);
    const std::string ini = FreshScratchFolder("ous") + "\\ous.ini";
    struct Case
    {
        const char* pszName;
        std::vector<std::string> values;    // OUS0, OUS1, ...; "" leaves the key out
        BOOL fFound;
        const char* pszSource;
    } cases[] = {
        { "edges of a range match", { Range(L - 5, L - 1) + "below", Range(L, L + 3) + "first",
                                      Range(L - 3, L) + "last" }, TRUE, "first" },
        { "last address matches", { Range(L - 3, L) + "last" }, TRUE, "last" },
        { "overlap: lower key wins", { Range(L - 1, L + 1) + "wide", Range(L, L) + "exact" },
          TRUE, "wide" },
        { "gap ends the list", { Range(L + 1, L + 2) + "above", "", Range(L, L) + "unread" },
          FALSE, "" },
        { "inverted range", { Range(L + 1, L - 1) + "inverted" }, FALSE, "" },
        { "address without source is skipped",
          { Range(L, L) + "10.0.0.1", Range(L, L) + "10.0.0.2,after-address" }, TRUE,
          "after-address" },
        { "third token is the source", { Range(L, L) + "http://upd:8080/x" }, TRUE,
          "http://upd:8080/x" },
        { "too few tokens", { Dotted(L) + "," + Dotted(L) }, FALSE, "" },
    };
    for (const Case& c : cases)
    {
        DeleteFileA(ini.c_str());
        for (size_t i = 0; i < c.values.size(); ++i)
        {
            if (c.values[i].empty())
                continue;
            char szKey[16];
            sprintf(szKey, "OUS%u", (unsigned)i);
            WritePrivateProfileStringA("Other Update Source", szKey, c.values[i].c_str(), ini.c_str());
        }
        WritePrivateProfileStringA(NULL, NULL, NULL, ini.c_str());
        char szSource[64] = "junk";
        int nError = 0;
        EXPECT_EQ(c.fFound, GetServerURL(ini.c_str(), szSource, sizeof(szSource), &nError)) << c.pszName;
        EXPECT_STREQ(c.pszSource, szSource) << c.pszName;
    }

    // The source is cut to the buffer; a missing file finds nothing.
    DeleteFileA(ini.c_str());
    WritePrivateProfileStringA("Other Update Source", "OUS0", (Range(L, L) + "abcdefgh").c_str(),
                               ini.c_str());
    char szSmall[5];
    int nError = 0;
    EXPECT_TRUE(GetServerURL(ini.c_str(), szSmall, sizeof(szSmall), &nError));
    EXPECT_STREQ("abcd", szSmall);
    EXPECT_FALSE(GetServerURL((ini + ".missing").c_str(), szSmall, sizeof(szSmall), &nError));
    EXPECT_STREQ("", szSmall);
}

TEST(OtherProduct, ServerProductNeedsItsConsoleFolder)
{
    const char* KEY = "SOFTWARE\\Kavrel\\Bastionel\\CurrentVersion";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, KEY);
    char szName[64] = "junk";
    EXPECT_FALSE(FindOtherProduct(OTHER_PRODUCT_SERVER, szName, sizeof(szName)));
    EXPECT_STREQ("", szName);

    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, KEY, &hKey));
    EXPECT_FALSE(FindOtherProduct(OTHER_PRODUCT_SERVER, szName, sizeof(szName)));

    std::string missing = FreshScratchFolder("console") + "\\gone";
    RegSetValueExA(hKey, "ConsoleDirectory", 0, REG_SZ, (const BYTE*)missing.c_str(),
                   (DWORD)missing.size() + 1);
    EXPECT_FALSE(FindOtherProduct(OTHER_PRODUCT_SERVER, szName, sizeof(szName)));

    std::string present = FreshScratchFolder("console");
    RegSetValueExA(hKey, "ConsoleDirectory", 0, REG_SZ, (const BYTE*)present.c_str(),
                   (DWORD)present.size() + 1);
    RegCloseKey(hKey);
    EXPECT_TRUE(FindOtherProduct(OTHER_PRODUCT_SERVER, szName, sizeof(szName)));
    EXPECT_STREQ("Bastionel", szName);
    // A consumer product is not found through the server product's key.
    EXPECT_FALSE(FindOtherProduct(OTHER_PRODUCT_CONSUMER, szName, sizeof(szName)));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, KEY);
}

TEST(OtherProduct, ConsumerProductByItsKeyNameCutToBuffer)
{
    const char* KEY = "SOFTWARE\\Kavrel\\Kestrix\\2001\\WinNT";
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, KEY, &hKey));
    RegCloseKey(hKey);
    char szName[64];
    EXPECT_TRUE(FindOtherProduct(OTHER_PRODUCT_CONSUMER, szName, sizeof(szName)));
    EXPECT_STREQ("Kestrix 2001 for Windows NT", szName);
    char szShort[8];
    EXPECT_TRUE(FindOtherProduct(OTHER_PRODUCT_CONSUMER, szShort, sizeof(szShort)));
    EXPECT_STREQ("Kestrix", szShort);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, KEY);
    EXPECT_FALSE(FindOtherProduct(OTHER_PRODUCT_CONSUMER, szName, sizeof(szName)));
}
