// A tiny HTTP server on 127.0.0.1 for the tests: records the head of every
// request and answers as the test says (reply, delay, silence, hang-up).
#pragma once

#include <winsock.h>
#include <windows.h>
#include <process.h>

#include <string>
#include <vector>

class CLoopbackServer
{
public:
    enum Mode { REPLY, SILENT, HANG_UP };

    struct Request
    {
        std::string strHead;    // request line and header lines
        std::string RequestLine() const { return strHead.substr(0, strHead.find("\r\n")); }
        bool HasHeader(const std::string& strLine) const
        {
            return strHead.find("\r\n" + strLine + "\r\n") != std::string::npos;
        }
    };

    CLoopbackServer() : m_listener(INVALID_SOCKET), m_nPort(0), m_hAcceptThread(NULL), m_fStop(false),
                        m_mode(REPLY), m_nStatus(200), m_dwDelay(0), m_fContentLength(true)
    {
        InitializeCriticalSection(&m_lock);
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
        m_hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
    }

    ~CLoopbackServer()
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
        if (m_hAcceptThread == NULL)
            return;
        m_fStop = true;
        SetEvent(m_hStop);
        closesocket(m_listener);
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

    // How the following requests are answered.
    void Reply(int nStatus, const std::string& strBody, DWORD dwDelay = 0, bool fContentLength = true)
    {
        EnterCriticalSection(&m_lock);
        m_mode = REPLY;
        m_nStatus = nStatus;
        m_strBody = strBody;
        m_dwDelay = dwDelay;
        m_fContentLength = fContentLength;
        LeaveCriticalSection(&m_lock);
    }
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

    unsigned short Port() const { return m_nPort; }

private:
    struct Conn
    {
        CLoopbackServer* pServer;
        SOCKET s;
    };

    static unsigned __stdcall AcceptEntry(void* pv)
    {
        CLoopbackServer* pThis = (CLoopbackServer*)pv;
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

    // Waits up to dwMs, or less when the server stops; true when it stopped.
    bool WaitStop(DWORD dwMs) { return WaitForSingleObject(m_hStop, dwMs) == WAIT_OBJECT_0; }

    static unsigned __stdcall ConnEntry(void* pv)
    {
        Conn* pConn = (Conn*)pv;
        pConn->pServer->Serve(pConn->s);
        closesocket(pConn->s);
        delete pConn;
        return 0;
    }

    void Serve(SOCKET s)
    {
        // Several requests may come over one kept-alive connection.
        std::string strPending;
        while (!m_fStop)
        {
            size_t nEnd;
            while ((nEnd = strPending.find("\r\n\r\n")) == std::string::npos)
            {
                fd_set set;
                FD_ZERO(&set);
                FD_SET(s, &set);
                timeval tv = {0, 200000};
                int n = select(0, &set, NULL, NULL, &tv);
                if (m_fStop || n < 0)
                    return;
                if (n == 0)
                    continue;
                char buf[4096];
                int nRead = recv(s, buf, sizeof(buf), 0);
                if (nRead <= 0)
                    return;
                strPending.append(buf, nRead);
            }
            Request request;
            request.strHead = strPending.substr(0, nEnd + 2);
            strPending.erase(0, nEnd + 4);

            EnterCriticalSection(&m_lock);
            m_requests.push_back(request);
            Mode mode = m_mode;
            int nStatus = m_nStatus;
            std::string strBody = m_strBody;
            DWORD dwDelay = m_dwDelay;
            bool fContentLength = m_fContentLength;
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
            std::string strReply;
            wsprintfA(head, "HTTP/1.1 %d Status\r\n", nStatus);
            strReply = head;
            if (fContentLength)
            {
                wsprintfA(head, "Content-Length: %d\r\n", (int)strBody.size());
                strReply += head;
            }
            else
                strReply += "Connection: close\r\n";
            strReply += "\r\n" + strBody;
            size_t nSent = 0;
            while (nSent < strReply.size())
            {
                int n = send(s, strReply.data() + nSent, (int)(strReply.size() - nSent), 0);
                if (n <= 0)
                    return;
                nSent += n;
            }
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
    std::string m_strBody;
    DWORD m_dwDelay;
    bool m_fContentLength;
};
