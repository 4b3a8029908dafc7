#include "ListenerRequest.h"

#include "KeyValueText.h"

#include <stdio.h>
#include <string.h>

const char g_szListenerRefusal[] =
    "HTTP/1.0 400 Bad Request\r\nServer: Vigilon Client\r\nContent-Type: text/plain\r\n"
    "Accept-Ranges: bytes\r\nContent-Length: 4\r\n\r\nFail";

BOOL parseListenerRequestLine(char* pszLine, char** ppszUrl)
{
    char* pszMethod = NULL;
    char* pszUrl = NULL;
    BOOL fComplete = parseRequestLine(pszLine, &pszMethod, &pszUrl);
    *ppszUrl = pszUrl;
    return fComplete && equalNoCase(pszMethod, "GET");
}

int chooseListenerReply(const char* pszUrl)
{
    if (pszUrl == NULL || strchr(pszUrl, '?') == NULL)
        return LISTENER_REFUSAL;
    if (strlen(pszUrl) >= 2 && equalNoCase(pszUrl + 2, "CAVIT"))
        return LISTENER_STATUS;
    return LISTENER_ACKNOWLEDGE;
}

BOOL isListenerCommandUrl(const char* pszUrl)
{
    return pszUrl != NULL && strchr(pszUrl, '?') != NULL;
}

std::string formatListenerReplyHead(const char* pszDate, size_t cbBody)
{
    char szHead[512];
    snprintf(szHead, sizeof(szHead),
             "HTTP/1.0 200 OK\r\nServer: Vigilon Client\r\nDate: %s\r\nContent-Type: text/plain\r\n"
             "Accept-Ranges: bytes\r\nContent-Length: %lu\r\n\r\n",
             pszDate, (unsigned long)cbBody);
    return szHead;
}

std::string formatHttpDate(int nYear, int nMonth, int nDay, int nDayOfWeek, int nHour, int nMinute,
                           int nSecond)
{
    static const char* const s_apszDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const s_apszMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char szDate[64];
    snprintf(szDate, sizeof(szDate), "%s, %02d %s %04d %02d:%02d:%02d GMT", s_apszDays[(nDayOfWeek % 7 + 7) % 7],
             nDay, s_apszMonths[((nMonth - 1) % 12 + 12) % 12], nYear, nHour, nMinute, nSecond);
    return szDate;
}
