// loadhttp.dll: download of a URL into a file.
#include "transport.h"

#include <stdio.h>

namespace
{
class CGetSink : public CHttpSink
{
public:
    CGetSink(const char* pszFile, LOADHTTP_PROGRESS_CALLBACK pfn, void* pContext)
        : m_pszFile(pszFile), m_pfn(pfn), m_pContext(pContext), m_pFile(NULL),
          m_nStatus(0), m_cbReceived(0), m_fFileError(false) {}
    ~CGetSink() { Close(); }

    void OnConnected() override { Stage(LOADHTTP_STAGE_CONNECTED, 0); }
    void OnSent() override { Stage(LOADHTTP_STAGE_SENT, 0); }
    void OnStatus(int nStatus, const std::string&, long nContentLength) override
    {
        m_nStatus = nStatus;
        Stage(LOADHTTP_STAGE_HEADER, (int)nContentLength);
        if (nStatus == 200)
        {
            m_pFile = fopen(m_pszFile, "wb");
            m_fFileError = m_pFile == NULL;
        }
    }
    bool OnData(const char* pData, int cb) override
    {
        if (m_nStatus != 200)
            return true;
        if (m_pFile == NULL || fwrite(pData, 1, cb, m_pFile) != (size_t)cb)
        {
            m_fFileError = true;
            return false;
        }
        m_cbReceived += cb;
        Stage(LOADHTTP_STAGE_DATA, (int)m_cbReceived);
        return true;
    }
    bool Close()
    {
        bool fOk = true;
        if (m_pFile != NULL)
            fOk = fclose(m_pFile) == 0;
        m_pFile = NULL;
        return fOk;
    }
    void Stage(int nStage, int nValue)
    {
        if (m_pfn != NULL)
            m_pfn(nStage, nValue, m_pContext);
    }

    const char* m_pszFile;
    LOADHTTP_PROGRESS_CALLBACK m_pfn;
    void* m_pContext;
    FILE* m_pFile;
    int m_nStatus;
    long m_cbReceived;
    bool m_fFileError;
};
}

extern "C" int __stdcall Get(LoadHttpRequest* pRequest, LOADHTTP_PROGRESS_CALLBACK pfnProgress,
                             void* pContext)
{
    if (pRequest == NULL || pRequest->get.pszLocalFile == NULL ||
        pRequest->get.pszLocalFile[0] == '\0')
    {
        g_journal.Write("GET failed: bad argument");
        return LOADHTTP_E_ARGUMENT;
    }
    CGetSink sink(pRequest->get.pszLocalFile, pfnProgress, pContext);
    sink.Stage(LOADHTTP_STAGE_START, 0);
    sink.Stage(LOADHTTP_STAGE_CONNECTING, 0);

    SHttpExchange exchange;
    exchange.pRequest = pRequest;
    exchange.pszMethod = "GET";
    exchange.pBody = NULL;
    exchange.cbBody = 0;
    std::string strRoute;
    int nResult = runHttpExchange(exchange, sink, strRoute);
    bool fClosed = sink.Close();
    if (nResult == 200 && (sink.m_fFileError || !fClosed))
        nResult = LOADHTTP_E_FILE;
    // No partial file is left behind.
    if (nResult != 200 && sink.m_nStatus == 200)
        DeleteFileA(pRequest->get.pszLocalFile);
    sink.Stage(LOADHTTP_STAGE_DONE, nResult);
    g_journal.Write("GET %s -> %s tag=%lu -> %d bytes=%ld", strRoute.c_str(), pRequest->get.pszLocalFile,
                    (unsigned long)pRequest->dwTag, nResult, sink.m_cbReceived);
    return nResult;
}
