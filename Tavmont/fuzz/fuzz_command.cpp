// The client listener's request line and the server command it carries: any bytes as the
// first line of a request (as the listener reads it), its URL's token enciphered and plain,
// parsed into the token table, its signature and time checked as the client does; and any
// bytes as an INI reply parsed into a table. Aborts when a parsed value breaks its bounds.
#include "ListenerRequest.h"
#include "NotificationToken.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

using namespace NS_Notification;

namespace
{
const char s_szGuid[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

void checkTable(const SINIEntry* pTable, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i)
    {
        if (pTable[i].m_pszValue == NULL)
            continue;
        if (pTable[i].m_pszValue != pTable[i].m_szBuffer || strlen(pTable[i].m_pszValue) > 127)
            abort();
    }
}

void command(const char* pszUrl, BOOL fEncrypted)
{
    SINIEntry table[NOTIFICATION_TOKEN_KEYS];
    memcpy(table, g_notificationTokenTable, sizeof(table));
    SNotificationRequest request;
    if (parseNotificationRequest(pszUrl, fEncrypted, table, request, NULL) != NOTIFY_PARSED)
        return;
    checkTable(table, NOTIFICATION_TOKEN_KEYS);
    if (request.strMessage.size() > request.strToken.size())
        abort();
    SNotificationToken token;
    readNotificationToken(table, token);
    std::string strDigest = notificationDigest(s_szGuid, request.strMessage.c_str());
    if (strDigest.size() != 32 || strDigest.find_first_not_of("0123456789abcdef") != std::string::npos)
        abort();
    if (strDigest == token.strIP)
    {
        if (judgeCommandTime("20300101120000", token.strTime.c_str(), "20300102120000") == COMMAND_TIME_AHEAD &&
            strcmp(token.strTime.c_str(), "20300102120000") <= 0)
            abort();
        CCarriedOutCommands carriedOut;
        carriedOut.Remember(token.strTime, strDigest);
        if (!carriedOut.IsRepeat(token.strTime, strDigest))
            abort();
    }
}

void iniReply(const uint8_t* data, size_t size)
{
    SINIEntry table[] = {{"Master_DomainName", NULL, ""}, {"Master_DomainPort", NULL, ""},
                         {"Update_URL", NULL, ""}, {"HotFIX", NULL, ""}};
    std::string strText(reinterpret_cast<const char*>(data), size);
    strText.resize(strlen(strText.c_str()));
    renewIniEntries(&strText[0], table, sizeof(table) / sizeof(table[0]), "\n", "[INI_CRITICAL_SECTION]", NULL);
    checkTable(table, sizeof(table) / sizeof(table[0]));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The request line as the listener's line reader hands it over: through its line feed,
    // at most 2047 bytes, ending at a zero byte.
    char szLine[2048];
    size_t nLine = 0;
    while (nLine < size && nLine < sizeof(szLine) - 1)
    {
        if (data[nLine++] == '\n')
            break;
    }
    memcpy(szLine, data, nLine);
    szLine[nLine] = '\0';
    char* pszUrl = NULL;
    BOOL fGet = parseListenerRequestLine(szLine, &pszUrl);
    if (fGet)
        chooseListenerReply(pszUrl);
    if (isListenerCommandUrl(pszUrl))
    {
        command(pszUrl, TRUE);
        command(pszUrl, FALSE);
    }
    iniReply(data, size);
    return 0;
}
