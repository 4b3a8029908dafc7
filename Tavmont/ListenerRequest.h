// The client listener's requests and replies as text: which reply a request line gets, what
// it hands to the server-command dispatcher, and the fixed replies. Needs nothing of Windows
// but its basic types (also built natively, for fuzzing).
#ifndef VGL_LISTENERREQUEST_H
#define VGL_LISTENERREQUEST_H

#include <windows.h>

#include <string>

enum EListenerReply
{
    LISTENER_REFUSAL = 0,       // 400 "Fail"
    LISTENER_STATUS,            // the status of the client, scrambled
    LISTENER_ACKNOWLEDGE        // 200 "OK"
};

// The request line, cut in place. *ppszUrl: the URL once the first blank was found (with no
// second blank, the rest of the line), else NULL. TRUE only for a GET (any case) with both
// blanks: the header lines are read and the reply is chosen by the URL; otherwise the reply
// is the refusal.
BOOL parseListenerRequestLine(char* pszLine, char** ppszUrl);
// The reply to a GET for the URL.
int chooseListenerReply(const char* pszUrl);
// Whether the URL is handed to the dispatcher after the reply (any URL holding a '?').
BOOL isListenerCommandUrl(const char* pszUrl);

extern const char g_szListenerRefusal[];
// The head of a 200 reply with the date (RFC 1123, GMT) and the body's length.
std::string formatListenerReplyHead(const char* pszDate, size_t cbBody);
// "Sun, 06 Nov 1994 08:49:37 GMT"; day of week 0 is Sunday.
std::string formatHttpDate(int nYear, int nMonth, int nDay, int nDayOfWeek, int nHour, int nMinute,
                           int nSecond);

#endif
