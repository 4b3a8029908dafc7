// vgl_loadhttp.dll: multipart POST of a prepared body.
#include "transport.h"

#include <string.h>

namespace
{
class CPostSink : public CHttpSink
{
public:
    CPostSink(LOADHTTP_REPLY_CALLBACK pfn, void* pContext)
        : m_pfn(pfn), m_pContext(pContext), m_cbReply(0) {}

    void OnConnected() override { Event(LOADHTTP_EVENT_CONNECTED, ""); }
    void OnSent() override { Event(LOADHTTP_EVENT_SENT, ""); }
    void OnStatus(int, const std::string& strLine, long) override
    {
        Event(LOADHTTP_EVENT_STATUS, strLine.c_str());
    }
    // Each piece as texts: a zero byte ends one text and is itself handed on as an
    // empty text, so that no part of the piece is hidden from the caller.
    bool OnData(const char* pData, int cb) override
    {
        m_cbReply += cb;
        const char* p = pData;
        const char* pEnd = pData + cb;
        for (;;)
        {
            const char* pZero = (const char*)memchr(p, '\0', pEnd - p);
            const char* pTextEnd = pZero != NULL ? pZero : pEnd;
            if (pTextEnd > p)
                Event(LOADHTTP_EVENT_REPLY, std::string(p, pTextEnd).c_str());
            if (pZero == NULL)
                break;
            Event(LOADHTTP_EVENT_REPLY, "");
            p = pZero + 1;
        }
        return true;
    }
    void Event(int nEvent, const char* pszText)
    {
        if (m_pfn != NULL)
            m_pfn(nEvent, pszText, m_pContext);
    }

    LOADHTTP_REPLY_CALLBACK m_pfn;
    void* m_pContext;
    long m_cbReply;
};
}

extern "C" int __stdcall Post(LoadHttpRequest* pRequest, LOADHTTP_REPLY_CALLBACK pfnReply,
                              void* pContext, const char* pBody, int cbBody)
{
    if (pRequest == NULL || pBody == NULL || cbBody < 0)
    {
        g_journal.Write("POST failed: bad argument");
        return LOADHTTP_E_ARGUMENT;
    }
    // The boundary is the body's first line without its two leading hyphens.
    const char* pszEol = (const char*)memchr(pBody, '\r', cbBody);
    std::string strBoundary;
    if (pszEol != NULL && cbBody > 2 && pBody[0] == '-' && pBody[1] == '-')
        strBoundary.assign(pBody + 2, pszEol - pBody - 2);

    SHttpExchange exchange;
    exchange.pRequest = pRequest;
    exchange.pszMethod = "POST";
    exchange.strHeaders = "Content-Type: multipart/form-data; boundary=" + strBoundary + "\r\n";
    exchange.pBody = pBody;
    exchange.cbBody = cbBody;

    CPostSink sink(pfnReply, pContext);
    std::string strRoute;
    int nResult = runHttpExchange(exchange, sink, strRoute);
    sink.Event(LOADHTTP_EVENT_DONE, "");
    g_journal.Write("POST %s body=%d tag=%lu -> %d reply=%ld", strRoute.c_str(), cbBody,
                    (unsigned long)pRequest->dwTag, nResult, sink.m_cbReply);
    return nResult;
}
