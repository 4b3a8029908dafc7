// Update-library binding over the real Ruderire.DLL, and the port insertion.
#include "UpdateLibrary.h"

#include "VglTestSupport.h"
#include "vxptool_run.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class UpdateLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        journal = FreshScratchFolder("kvu") + "\\Ruderire.log";
        SetEnvironmentVariableA("VGL_RUDERIRE_JOURNAL", journal.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("VGL_RUDERIRE_JOURNAL", NULL); }
    std::string journal;
};
}

TEST(InsertPortIntoUrl, Cases)
{
    struct Case
    {
        const char* pszUrl;
        int nPort;
        const char* pszExpected;
    } cases[] = {
        { "http://Upd.Example.COM/Path/X", 8080, "http://upd.example.com:8080/path/x" },
        { "http://Host", 8080, "http://host:8080" },
        { "http://host/a:b", 8080, "http://host:8080/a:b" },
        { "http://Host:81/P", 8080, "http://host:81/p" },
        { "http://Host:81", 8080, "http://host:81" },
        { "ftp://Host/X", 8080, "ftp://host/x" },
        { "http://Host/X", 80, "http://Host/X" },
        { "http://Host/X", 0, "http://Host/X" },
    };
    for (const Case& c : cases)
    {
        char szUrl[KVU_URL_BUFFER_SIZE];
        strcpy(szUrl, c.pszUrl);
        insertPortIntoUrl(szUrl, c.nPort);
        EXPECT_STREQ(c.pszExpected, szUrl) << c.pszUrl;
    }
}

TEST(InsertPortIntoUrl, NeverWritesPastTheBuffer)
{
    struct
    {
        char szUrl[64];
        char szCanary[16];
    } buffers;
    strcpy(buffers.szCanary, "canary");
    std::string url = "http://H/" + std::string(63 - 9, 'P');     // fills the buffer
    strcpy(buffers.szUrl, url.c_str());
    insertPortIntoUrl(buffers.szUrl, 8080, sizeof(buffers.szUrl));
    EXPECT_EQ("http://h/" + std::string(63 - 9, 'p'), buffers.szUrl);
    EXPECT_STREQ("canary", buffers.szCanary);

    strcpy(buffers.szUrl, "http://H/short");
    insertPortIntoUrl(buffers.szUrl, 8080, sizeof(buffers.szUrl));
    EXPECT_STREQ("http://h:8080/short", buffers.szUrl);
}

TEST_F(UpdateLibraryTest, UpdateFillsTheThreeEntries)
{
    SKvuOptions options = {};
    for (int i = 0; i < 8; ++i)
        options.adwField[i] = 11 + i;
    options.adwField[1] = 0;        // field 2 becomes 1
    options.wOptionBits = 1 | 4;    // values A and C, not B
    char szUrl[KVU_URL_BUFFER_SIZE] = "http://Upd.Example/Vigilon/Update";
    // The source and destination records as the library reads them: every field after a
    // pointer reaches it.
    SKvuServer server = {};
    server.pszUrl = szUrl;
    server.nPort = 8080;
    server.pszProxyServer = "proxy.example";
    server.fUseProxy = 1;
    server.nProxyPort = 3128;
    KvuDestination destination = {};
    destination.pszTarget = "C:\\Target";
    char szError[128] = "";
    int nResult = DoKvuUpdate(&options, &server, &destination, 0x1022, NULL, NULL, NULL, 4, 5, 1, 2, 3,
                              szError, sizeof(szError), BinFile("Ruderire.DLL").c_str());
    EXPECT_EQ(4, nResult);
    EXPECT_STREQ("The components are up to date.", szError);
    EXPECT_STREQ("http://upd.example:8080/vigilon/update", szUrl);

    std::string log = ReadWholeFile(journal);
    const char* expected[] = {
        "KvuUpdateEx url=http://upd.example:8080/vigilon/update port=8080 flags=0x1022 count=3 proxy=proxy.example",
        "entry 0 kind=3 options=11 value=1 target=C:\\Target options2=1 value2=0 options3=0 options4=0",
        "entry 1 kind=2 options=13 value=2 target=C:\\Target options2=14 value2=4 options3=0 options4=0",
        "entry 2 kind=1 options=15 value=3 target=C:\\Target options2=16 value2=5 options3=17 options4=18",
        "KvuReleaseContext",
    };
    for (const char* psz : expected)
        EXPECT_NE(std::string::npos, log.find(psz)) << psz << "\n" << log;
}

TEST_F(UpdateLibraryTest, ArgumentAndBindingFailures)
{
    SKvuOptions options = {};
    char szUrl[KVU_URL_BUFFER_SIZE] = "http://h/";
    SKvuServer server = {};
    server.pszUrl = szUrl;
    std::string ruderire = BinFile("Ruderire.DLL");
    EXPECT_EQ(KVU_E_ARGUMENT, DoKvuUpdate(NULL, &server, &server, 0, NULL, NULL, NULL, 0, 0, 0, 0,
                                          0, NULL, 0, ruderire.c_str()));
    EXPECT_EQ(KVU_E_ARGUMENT, DoKvuUpdate(&options, &server, &server, 0, NULL, NULL, NULL, 0, 0, 0,
                                          0, 0, NULL, 0, NULL));
    // A library without the entry points, and no library at all.
    EXPECT_EQ(KVU_E_BIND, DoKvuUpdate(&options, &server, &server, 0, NULL, NULL, NULL, 0, 0, 0, 0,
                                      0, NULL, 0, BinFile("ZaVuz.dll").c_str()));
    EXPECT_EQ(KVU_E_BIND, DoKvuUpdate(&options, &server, &server, 0, NULL, NULL, NULL, 0, 0, 0, 0,
                                      0, NULL, 0, BinFile("NoSuch.DLL").c_str()));
    EXPECT_EQ(0, DoKvuSetProperty("MsgCodePage", "932", BinFile("ZaVuz.dll").c_str()));
    EXPECT_EQ(0, DoKvuSetProperty(NULL, "932", ruderire.c_str()));
    EXPECT_EQ("", ReadWholeFile(journal));

    EXPECT_EQ(1, DoKvuSetProperty("MsgCodePage", "932", ruderire.c_str()));
    EXPECT_NE(std::string::npos, ReadWholeFile(journal).find("KvuSetProperty MsgCodePage=932"));
}
