// Quarantine upload: the multipart body, the request record and the reply rule,
// against a loopback server through the real transfer library.
#include "QuarantineUpload.h"

#include "KeyedCipher.h"
#include "LoopbackHttpServer.h"
#include "MessageDigest5.h"
#include "vxptool_run.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>


namespace
{
const char CGI[] = "/vigilon/cgi/cgiRecvFile.exe";
const char BOUNDARY[] = "---------------------------7d21673b802fc\r\n";

std::string ExpectedVerify(const std::string& text)
{
    char szKeyed[1024];
    int n = sizeof(szKeyed);
    EXPECT_EQ(0, PWDEncrypt(szKeyed, text.c_str(), &n));
    char szDigest[33];
    CMessageDigest5 md5;
    md5.GetHexDigest(szKeyed, (UINT)strlen(szKeyed), szDigest, sizeof(szDigest));
    return szDigest;
}

std::string PartHeader(const std::string& computer, const std::string& verify)
{
    return "Content-Disposition: form-data; name=\"newfile\"\r\n"
           "Content-Type: text/plain; ComputerName=\"" + computer + "\"; Verify=\"" + verify +
           "\"\r\n\r\n";
}

class QuarantineUploadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = FreshScratchFolder("quarantine");
        std::string infected("MZ\0\x01\r\nvirus body\xff", 17);
        WriteWholeFile(folder + "\\infected.bin", infected);
        backup = folder + "\\backup.vsb";
        ASSERT_EQ(0, vxptest::RunTool("backup " + vxptest::Quote(backup) +
                                      " --folder C:\\DATA --name EICAR.COM --body " +
                                      vxptest::Quote(folder + "\\infected.bin")));
        ASSERT_TRUE(server.Start());
    }

    int Upload(BOOL fUseProxy, const char* pszProxy, DWORD dwProxyPort, int* pnError)
    {
        return UploadQuarantineFile(backup.c_str(), "PC1", "127.0.0.1", server.Port(), CGI, pnError,
                                    fUseProxy, pszProxy, dwProxyPort, "user", "secret");
    }

    std::string folder, backup;
    CLoopbackHttpServer server;
};
}

TEST_F(QuarantineUploadTest, PostsTheBackupByteForByteWithItsVerifyDigest)
{
    server.Script(200, { "cgiRecvFile_OK" });
    int nError = -1;
    ASSERT_EQ(QU_OK, Upload(FALSE, NULL, 0, &nError));
    EXPECT_EQ(0, nError);

    std::vector<CLoopbackHttpServer::Request> requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(std::string("POST ") + CGI + " HTTP/1.0", requests[0].RequestLine());
    EXPECT_TRUE(requests[0].HasHeader(
        "Content-Type: multipart/form-data; boundary=-------------------------7d21673b802fc"));
    std::string expected = std::string(BOUNDARY) +
                           PartHeader("PC1", ExpectedVerify("C:\\DATA\\EICAR.COMPC1")) +
                           ReadWholeFile(backup) + "\r\n" + BOUNDARY;
    EXPECT_EQ(expected, requests[0].strBody);
}

TEST_F(QuarantineUploadTest, ReplyDecidesTheResult)
{
    struct Case
    {
        int nStatus;
        std::vector<std::string> pieces;
        int nResult;
        int nError;
    } cases[] = {
        { 200, { "1\r\n", "cgiRecvFile_OK\r\n" }, QU_OK, 0 },   // acknowledged in a later piece
        { 200, { "1\r\ncgiRecv", "File_OK\r\n" }, QU_OK, 0 },    // split across two pieces
        { 200, { std::string("1\0\r\ncgiRecvFile_OK", 19) }, QU_OK, 0 },  // after a zero byte
        { 200, { std::string("cgiRecv\0File_OK", 15) }, QU_NOT_ACKNOWLEDGED, 0 },
        { 200, { "cgiRecvFile_FAILED" }, QU_NOT_ACKNOWLEDGED, 0 },
        { 200, {}, QU_NOT_ACKNOWLEDGED, 0 },
        { 500, { "cgiRecvFile_OK" }, QU_HTTP_STATUS, 500 },
        { 404, {}, QU_HTTP_STATUS, 404 },
    };
    for (const Case& c : cases)
    {
        server.Script(c.nStatus, c.pieces);
        int nError = -1;
        EXPECT_EQ(c.nResult, Upload(FALSE, NULL, 0, &nError)) << c.nStatus;
        EXPECT_EQ(c.nError, nError) << c.nStatus;
    }
}

TEST_F(QuarantineUploadTest, AVerifyThatCannotBeComputedFailsWithoutAPost)
{
    // The original path and the computer name together are longer than the cipher takes.
    std::string longBackup = folder + "\\long.vsb";
    ASSERT_EQ(0, vxptest::RunTool("backup " + vxptest::Quote(longBackup) + " --folder C:\\" +
                                  std::string(500, 'D') + " --name EICAR.COM --body " +
                                  vxptest::Quote(folder + "\\infected.bin")));
    server.Script(200, { "cgiRecvFile_OK" });
    int nError = -1;
    EXPECT_EQ(QU_NO_VERIFY, UploadQuarantineFile(longBackup.c_str(), "PC1", "127.0.0.1", server.Port(), CGI,
                                                 &nError, FALSE, NULL, 0, NULL, NULL));
    EXPECT_EQ(0, nError);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(QuarantineUploadTest, ProxyOnlyWhenAskedFor)
{
    server.Script(200, { "cgiRecvFile_OK" });
    int nError = 0;
    // Proxy texts without the flag: straight to the server (a proxy there would refuse).
    EXPECT_EQ(QU_OK, Upload(FALSE, "127.0.0.1", 1, &nError));

    CLoopbackHttpServer proxy;
    ASSERT_TRUE(proxy.Start());
    proxy.Script(200, { "cgiRecvFile_OK" });
    EXPECT_EQ(QU_OK, UploadQuarantineFile(backup.c_str(), "PC1", "server.example", 8080, CGI, &nError,
                                          TRUE, "127.0.0.1", proxy.Port(), "user", "secret"));
    std::vector<CLoopbackHttpServer::Request> requests = proxy.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(std::string("POST http://server.example:8080") + CGI + " HTTP/1.0",
              requests[0].RequestLine());
    EXPECT_TRUE(requests[0].HasHeader("Proxy-Authorization: Basic dXNlcjpzZWNyZXQ="));
    EXPECT_EQ(1u, server.Requests().size());
}

TEST_F(QuarantineUploadTest, BodyOfAnEmptyFileAndFileErrors)
{
    std::string empty = folder + "\\empty.vsb";
    WriteWholeFile(empty, "");
    char* pBody = NULL;
    int cbBody = -1, nError = 0;
    ASSERT_EQ(QU_OK, buildQuarantineUploadBody(empty.c_str(), "PC1", &pBody, &cbBody, &nError));
    std::string expected = std::string(BOUNDARY) + PartHeader("PC1", ExpectedVerify("PC1")) +
                           "\r\n" + BOUNDARY;
    EXPECT_EQ(expected, std::string(pBody, cbBody));
    EXPECT_EQ('\0', pBody[cbBody]);
    free(pBody);

    std::string missing = folder + "\\missing.vsb";
    EXPECT_EQ(QU_CANNOT_SIZE, UploadQuarantineFile(missing.c_str(), "PC1", "127.0.0.1",
                                                   server.Port(), CGI, &nError, FALSE, NULL, 0,
                                                   NULL, NULL));
    EXPECT_EQ(ENOENT, nError);
    EXPECT_TRUE(server.Requests().empty());
}
