// A small HTTP server on 127.0.0.1 for the tests: keeps every request (head and body) and
// answers as the test says: a reply (after a delay, with or without a length), a reply sent
// in pieces with a pause between them, silence, or a hang-up.
#ifndef VGL_TESTS_LOOPBACKHTTPSERVER_H
#define VGL_TESTS_LOOPBACKHTTPSERVER_H

#include <winsock.h>
#include <windows.h>
#include <process.h>

#include <ctype.h>
#include <stdlib.h>
#include <string>
#include <vector>

class CLoopbackHttpServer
{
public:
    enum Mode { REPLY, SILENT, HANG_UP };

    struct Request
    {
        std::string strHead;    // request line and header lines
        std::string strBody;
        std::string RequestLine() const { return strHead.substr(0, strHead.find("\r\n")); }
        bool HasHeader(const std::string& strLine) const
        {
            return strHead.find("\r\n" + strLine + "\r\n") != std::string::npos;
        }
    };

    CLoopbackHttpServer()
        : m_listener(INVALID_SOCKET), m_nPort(0), m_hAcceptThread(NULL), m_fStop(false), m_mode(REPLY),
          m_nStatus(200), m_dwDelay(0), m_fContentLength(true)
    {
        InitializeCriticalSection(&m_lock);
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
        m_hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
    }

    ~CLoopbackHttpServer()
    {
        Stop();
        CloseHandle(m_hStop);
        DeleteCriticalSection(&m_lock);
        WSACleanup();
    }

    // Listens on a free port; false when that fails.
    bool Start()
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr("127.0.0.1");
        addr.sin_port = 0;
        if (m_listener == INVALID_SOCKET || bind(m_listener, (sockaddr*)&addr, sizeof(addr)) != 0 ||
            listen(m_listener, 16) != 0)
            return false;
        int cb = sizeof(addr);
        getsockname(m_listener, (sockaddr*)&addr, &cb);
        m_nPort = ntohs(addr.sin_port);
        m_hAcceptThread = (HANDLE)_beginthreadex(NULL, 0, AcceptEntry, this, 0, NULL);
        return m_hAcceptThread != NULL;
    }

    void Stop()
    {
        if (m_listener != INVALID_SOCKET)
        {
            closesocket(m_listener);
            m_listener = INVALID_SOCKET;
        }
        if (m_hAcceptThread == NULL)
            return;
        m_fStop = true;
        SetEvent(m_hStop);
        WaitForSingleObject(m_hAcceptThread, 10000);
        CloseHandle(m_hAcceptThread);
        m_hAcceptThread = NULL;
        EnterCriticalSection(&m_lock);
        std::vector<HANDLE> threads = m_connThreads;
        m_connThreads.clear();
        LeaveCriticalSection(&m_lock);
        for (HANDLE h : threads)
        {
            WaitForSingleObject(h, 10000);
            CloseHandle(h);
        }
    }

    // How the following requests are answered: the status and body, after dwDelay ms; without
    // a length the connection closes after the body.
    void Reply(int nStatus, const std::string& strBody, DWORD dwDelay = 0, bool fContentLength = true)
    {
        SetReply(nStatus, std::vector<std::string>(1, strBody), dwDelay, fContentLength);
    }

    // The next requests, one each, get these bodies (status 200) before the standing reply.
    void QueueReplies(const std::vector<std::string>& bodies)
    {
        EnterCriticalSection(&m_lock);
        m_queued.insert(m_queued.end(), bodies.begin(), bodies.end());
        LeaveCriticalSection(&m_lock);
    }

    // The body in pieces, 150 ms apart, with no length: the connection closes after the last.
    void Script(int nStatus, const std::vector<std::string>& pieces) { SetReply(nStatus, pieces, 0, false); }

    void SetMode(Mode mode)
    {
        EnterCriticalSection(&m_lock);
        m_mode = mode;
        LeaveCriticalSection(&m_lock);
    }

    std::vector<Request> Requests()
    {
        EnterCriticalSection(&m_lock);
        std::vector<Request> requests = m_requests;
        LeaveCriticalSection(&m_lock);
        return requests;
    }

    // The last request; an empty one before the first.
    Request LastRequest()
    {
        std::vector<Request> requests = Requests();
        return requests.empty() ? Request() : requests.back();
    }

    unsigned short Port() const { return m_nPort; }

private:
    CLoopbackHttpServer(const CLoopbackHttpServer&);
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&);

    struct Conn
    {
        CLoopbackHttpServer* pServer;
        SOCKET s;
    };

    void SetReply(int nStatus, const std::vector<std::string>& pieces, DWORD dwDelay, bool fContentLength)
    {
        EnterCriticalSection(&m_lock);
        m_mode = REPLY;
        m_nStatus = nStatus;
        m_pieces = pieces;
        m_dwDelay = dwDelay;
        m_fContentLength = fContentLength;
        LeaveCriticalSection(&m_lock);
    }

    static unsigned __stdcall AcceptEntry(void* pv)
    {
        CLoopbackHttpServer* pThis = (CLoopbackHttpServer*)pv;
        for (;;)
        {
            SOCKET s = accept(pThis->m_listener, NULL, NULL);
            if (s == INVALID_SOCKET)
                break;
            Conn* pConn = new Conn{pThis, s};
            HANDLE h = (HANDLE)_beginthreadex(NULL, 0, ConnEntry, pConn, 0, NULL);
            EnterCriticalSection(&pThis->m_lock);
            pThis->m_connThreads.push_back(h);
            LeaveCriticalSection(&pThis->m_lock);
        }
        return 0;
    }

    static unsigned __stdcall ConnEntry(void* pv)
    {
        Conn* pConn = (Conn*)pv;
        pConn->pServer->Serve(pConn->s);
        closesocket(pConn->s);
        delete pConn;
        return 0;
    }

    // Waits up to dwMs, or less when the server stops; true when it stopped.
    bool WaitStop(DWORD dwMs) { return WaitForSingleObject(m_hStop, dwMs) == WAIT_OBJECT_0; }

    // Appends what arrives to strPending; false when the peer closed or the server stops.
    bool Receive(SOCKET s, std::string& strPending)
    {
        for (;;)
        {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(s, &set);
            timeval tv = {0, 200000};
            int n = select(0, &set, NULL, NULL, &tv);
            if (m_fStop || n < 0)
                return false;
            if (n == 0)
                continue;
            char buf[8192];
            int nRead = recv(s, buf, sizeof(buf), 0);
            if (nRead <= 0)
                return false;
            strPending.append(buf, nRead);
            return true;
        }
    }

    static size_t ContentLength(const std::string& strHead)
    {
        std::string strLower = strHead;
        for (char& ch : strLower)
            ch = (char)tolower((unsigned char)ch);
        size_t nAt = strLower.find("\r\ncontent-length:");
        return nAt == std::string::npos ? 0 : strtoul(strHead.c_str() + nAt + 17, NULL, 10);
    }

    static const char* Reason(int nStatus)
    {
        switch (nStatus)
        {
        case 200: return "OK";
        case 404: return "Not Found";
        default: return "Status";
        }
    }

    bool Send(SOCKET s, const std::string& strData)
    {
        size_t nSent = 0;
        while (nSent < strData.size())
        {
            int n = send(s, strData.data() + nSent, (int)(strData.size() - nSent), 0);
            if (n <= 0)
                return false;
            nSent += n;
        }
        return true;
    }

    void Serve(SOCKET s)
    {
        // Several requests may come over one kept-alive connection.
        std::string strPending;
        while (!m_fStop)
        {
            size_t nEnd;
            while ((nEnd = strPending.find("\r\n\r\n")) == std::string::npos)
                if (!Receive(s, strPending))
                    return;
            Request request;
            request.strHead = strPending.substr(0, nEnd + 2);
            strPending.erase(0, nEnd + 4);
            size_t nLength = ContentLength(request.strHead);
            while (strPending.size() < nLength && Receive(s, strPending))
                ;
            request.strBody = strPending.substr(0, nLength);
            strPending.erase(0, request.strBody.size());

            EnterCriticalSection(&m_lock);
            m_requests.push_back(request);
            Mode mode = m_mode;
            int nStatus = m_nStatus;
            std::vector<std::string> pieces = m_pieces;
            DWORD dwDelay = m_dwDelay;
            bool fContentLength = m_fContentLength;
            if (!m_queued.empty())
            {
                mode = REPLY;
                nStatus = 200;
                pieces.assign(1, m_queued.front());
                dwDelay = 0;
                fContentLength = true;
                m_queued.erase(m_queued.begin());
            }
            LeaveCriticalSection(&m_lock);

            if (mode == HANG_UP)
                return;
            if (mode == SILENT)
            {
                WaitStop(INFINITE);
                return;
            }
            if (dwDelay != 0 && WaitStop(dwDelay))
                return;
            char head[256];
            wsprintfA(head, "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\n", nStatus, Reason(nStatus));
            std::string strReply = head;
            if (fContentLength)
            {
                size_t cbBody = 0;
                for (const std::string& strPiece : pieces)
                    cbBody += strPiece.size();
                wsprintfA(head, "Content-Length: %d\r\n", (int)cbBody);
                strReply += head;
            }
            else
                strReply += "Connection: close\r\n";
            strReply += "\r\n";
            for (size_t i = 0; i < pieces.size(); ++i)
            {
                if (i > 0 && WaitStop(150))
                    return;
                strReply += pieces[i];
                if (!Send(s, strReply))
                    return;
                strReply.clear();
            }
            if (pieces.empty() && !Send(s, strReply))
                return;
            if (!fContentLength)
                return;
        }
    }

    CRITICAL_SECTION m_lock;
    SOCKET m_listener;
    unsigned short m_nPort;
    HANDLE m_hAcceptThread;
    HANDLE m_hStop;
    volatile bool m_fStop;
    std::vector<HANDLE> m_connThreads;
    std::vector<Request> m_requests;
    Mode m_mode;
    int m_nStatus;
    std::vector<std::string> m_pieces;
    std::vector<std::string> m_queued;
    DWORD m_dwDelay;
    bool m_fContentLength;
};

#endif
