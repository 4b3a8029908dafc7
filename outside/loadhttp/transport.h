// One HTTP/1.0 exchange over a Winsock stream, shared by Post and Get.
#ifndef VGL_OUTSIDE_TRANSPORT_H
#define VGL_OUTSIDE_TRANSPORT_H

#include "journal.h"
#include "loadhttp.h"

#include <string>

extern CJournal g_journal;

// The receiving side of an exchange.
class CHttpSink
{
public:
    virtual ~CHttpSink() {}
    virtual void OnConnected() {}
    virtual void OnSent() {}
    virtual void OnStatus(int nStatus, const std::string& strLine, long nContentLength) {}
    // FALSE stops reading.
    virtual bool OnData(const char* pData, int cb) = 0;
};

struct SHttpExchange
{
    const LoadHttpRequest* pRequest;
    const char* pszMethod;
    std::string strHeaders;     // extra header lines, each ending CR LF
    const char* pBody;
    int cbBody;
};

// Runs the exchange; the HTTP status or a negative LOADHTTP_E_* code. strTarget
// receives "host:port/path" (and the proxy used) for the journal.
int runHttpExchange(const SHttpExchange& exchange, CHttpSink& sink, std::string& strRoute);

std::string base64(const std::string& strText);

#endif
