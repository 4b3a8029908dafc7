// The client listener's request lines: which reply each gets and what is handed to the
// command dispatcher; the date of its replies.
#include <gtest/gtest.h>

#include "ListenerRequest.h"

#include <string>

TEST(ListenerRequestTest, RepliesAndHandOver)
{
    struct Case
    {
        const char* pszLine;
        BOOL fGet;              // a complete GET: the headers are read, the URL chooses
        const char* pszUrl;     // NULL: no URL taken
        int nReply;
        BOOL fHandOver;
    } cases[] = {
        {"GET /?CAVIT HTTP/1.0\r\n", TRUE, "/?CAVIT", LISTENER_STATUS, TRUE},
        {"get /?cavit HTTP/1.1\r\n", TRUE, "/?cavit", LISTENER_STATUS, TRUE},
        {"GET /?CAVIT&A=1 HTTP/1.0\r\n", TRUE, "/?CAVIT&A=1", LISTENER_ACKNOWLEDGE, TRUE},
        {"GET /x?y HTTP/1.0\r\n", TRUE, "/x?y", LISTENER_ACKNOWLEDGE, TRUE},
        {"GET / HTTP/1.0\r\n", TRUE, "/", LISTENER_REFUSAL, FALSE},
        {"POST /?x HTTP/1.0\r\n", FALSE, "/?x", LISTENER_REFUSAL, TRUE},
        {"GET\r\n", FALSE, NULL, LISTENER_REFUSAL, FALSE},
        {"GET /?x\r\n", FALSE, "/?x\r\n", LISTENER_REFUSAL, TRUE},
    };
    for (const Case& c : cases)
    {
        std::string strLine = c.pszLine;
        char* pszUrl = NULL;
        BOOL fGet = parseListenerRequestLine(&strLine[0], &pszUrl);
        EXPECT_EQ(c.fGet, fGet) << c.pszLine;
        EXPECT_EQ(std::string(c.pszUrl ? c.pszUrl : "(none)"), std::string(pszUrl ? pszUrl : "(none)")) << c.pszLine;
        EXPECT_EQ(c.nReply, fGet ? chooseListenerReply(pszUrl) : (int)LISTENER_REFUSAL) << c.pszLine;
        EXPECT_EQ(c.fHandOver, isListenerCommandUrl(pszUrl)) << c.pszLine;
    }
}

TEST(ListenerRequestTest, ReplyHeadAndDate)
{
    EXPECT_EQ("Sun, 06 Nov 1994 08:49:37 GMT", formatHttpDate(1994, 11, 6, 0, 8, 49, 37));
    EXPECT_EQ("HTTP/1.0 200 OK\r\nServer: Vigilon Client\r\nDate: D\r\nContent-Type: text/plain\r\n"
              "Accept-Ranges: bytes\r\nContent-Length: 2\r\n\r\n",
              formatListenerReplyHead("D", 2));
}
