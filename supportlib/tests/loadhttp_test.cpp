// The download library loadhttp.dll ("Get"), as the file download binds it.
#include "LoopbackHttpServer.h"
#include "QuarantineUpload.h"
#include "vxptool_run.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// The download record: as the upload's, with a pointer to the local file at offset 20.
struct FileDownloadRequest
{
    const char* pszUrl;
    DWORD dwServerPort;
    const char* pszProxyHost;
    DWORD dwProxyPort;
    DWORD dwUseProxy;
    const char* pszLocalFile;
    BYTE abZero[256];
    char szProxyUser[128];
    char szProxyPassword[128];
    DWORD dwTag;
};
static_assert(sizeof(FileDownloadRequest) == 540, "download record");

typedef int (*PFN_PROGRESS)(int nStage, int nValue, void* pContext);
typedef int (__stdcall* PFN_GET)(FileDownloadRequest*, PFN_PROGRESS, void*);

int OnProgress(int nStage, int, void* pContext)
{
    ((std::string*)pContext)->push_back((char)('0' + nStage));
    return 1;
}

}

TEST(LoadHttpGet, DownloadsOnlyASuccessfulReply)
{
    HMODULE hLibrary = LoadLibraryA("loadhttp.dll");
    ASSERT_TRUE(hLibrary != NULL);
    PFN_GET pfnGet = (PFN_GET)GetProcAddress(hLibrary, "Get");
    ASSERT_TRUE(pfnGet != NULL);
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    std::string target = FreshScratchFolder("download") + "\\file.bin";
    std::string data("first\0second", 12);
    server.Script(200, { data.substr(0, 5), data.substr(5) });

    FileDownloadRequest request = {};
    std::string url = "http://127.0.0.1/mail/Count.txt";
    request.pszUrl = url.c_str();
    request.dwServerPort = server.Port();
    request.pszProxyHost = "";
    request.pszLocalFile = target.c_str();
    request.dwTag = 19;
    std::string stages;
    EXPECT_EQ(200, pfnGet(&request, OnProgress, &stages));
    EXPECT_EQ(data, ReadWholeFile(target));
    EXPECT_EQ('0', stages.front());
    EXPECT_EQ('6', stages.back());
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ("GET /mail/Count.txt HTTP/1.0", server.Requests()[0].RequestLine());

    DeleteFileA(target.c_str());
    server.Script(404, { "not here" });
    EXPECT_EQ(404, pfnGet(&request, NULL, NULL));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(target.c_str()));
    FreeLibrary(hLibrary);
}
