// The download library loadhttp.dll ("Get"), as the file download binds it.
#include "LoopbackHttpServer.h"
#include "loadhttp.h"
#include "vxptool_run.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
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
    LOADHTTP_PFN_GET pfnGet = (LOADHTTP_PFN_GET)GetProcAddress(hLibrary, "Get");
    ASSERT_TRUE(pfnGet != NULL);
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    std::string target = FreshScratchFolder("download") + "\\file.bin";
    std::string data("first\0second", 12);
    server.Script(200, { data.substr(0, 5), data.substr(5) });

    LoadHttpRequest request = {};
    std::string url = "http://127.0.0.1/mail/Count.txt";
    request.pszUrl = url.c_str();
    request.dwServerPort = server.Port();
    request.pszProxyHost = "";
    request.get.pszLocalFile = target.c_str();
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

// The texts behind the local-file pointer: the proxy login reaches the proxy whole.
TEST(LoadHttpGet, GoesThroughTheProxyWithItsLogin)
{
    HMODULE hLibrary = LoadLibraryA("loadhttp.dll");
    ASSERT_TRUE(hLibrary != NULL);
    LOADHTTP_PFN_GET pfnGet = (LOADHTTP_PFN_GET)GetProcAddress(hLibrary, "Get");
    ASSERT_TRUE(pfnGet != NULL);
    CLoopbackHttpServer proxy;
    ASSERT_TRUE(proxy.Start());
    proxy.Script(200, { "data" });
    std::string target = FreshScratchFolder("proxied") + "\\file.bin";

    LoadHttpRequest request = {};
    request.pszUrl = "http://update.example/mail/Count.txt";
    request.dwServerPort = 8080;
    request.pszProxyHost = "127.0.0.1";
    request.dwProxyPort = proxy.Port();
    request.dwUseProxy = 1;
    request.get.pszLocalFile = target.c_str();
    strcpy(request.szProxyUser, "user");
    strcpy(request.szProxyPassword, "secret");
    request.dwTag = 19;
    EXPECT_EQ(200, pfnGet(&request, NULL, NULL));
    EXPECT_EQ("data", ReadWholeFile(target));
    std::vector<CLoopbackHttpServer::Request> requests = proxy.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET http://update.example:8080/mail/Count.txt HTTP/1.0", requests[0].RequestLine());
    EXPECT_TRUE(requests[0].HasHeader("Proxy-Authorization: Basic dXNlcjpzZWNyZXQ="));
    FreeLibrary(hLibrary);
}
