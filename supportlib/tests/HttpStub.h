// A one-connection-at-a-time HTTP server on 127.0.0.1 for the tests: keeps
// every request (head and body) and answers with a scripted status and body,
// sent in pieces with a pause between them.
#ifndef VGL_TESTS_HTTPSTUB_H
#define VGL_TESTS_HTTPSTUB_H

#include <winsock.h>
#include <windows.h>
#include <process.h>

#include <stdlib.h>
#include <string>
#include <vector>

class CHttpStub
{
public:
    struct Request
    {
        std::string strHead;
        std::string strBody;
        std::string RequestLine() const { return strHead.substr(0, strHead.find("\r\n")); }
        bool HasHeader(const std::string& strLine) const
        {
            return strHead.find("\r\n" + strLine + "\r\n") != std::string::npos;
        }
    };

    CHttpStub() : m_listener(INVALID_SOCKET), m_nPort(0), m_hThread(NULL), m_nStatus(200)
    {
        InitializeCriticalSection(&m_lock);
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
    }
    ~CHttpStub()
    {
        if (m_listener != INVALID_SOCKET)
            closesocket(m_listener);
        if (m_hThread != NULL)
        {
            WaitForSingleObject(m_hThread, 10000);
            CloseHandle(m_hThread);
        }
        DeleteCriticalSection(&m_lock);
        WSACleanup();
    }

    bool Start()
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = inet_addr("127.0.0.1");
        if (m_listener == INVALID_SOCKET || bind(m_listener, (sockaddr*)&addr, sizeof(addr)) != 0 ||
            listen(m_listener, 8) != 0)
            return false;
        int cb = sizeof(addr);
        getsockname(m_listener, (sockaddr*)&addr, &cb);
        m_nPort = ntohs(addr.sin_port);
        m_hThread = (HANDLE)_beginthreadex(NULL, 0, Entry, this, 0, NULL);
        return m_hThread != NULL;
    }

    // The reply: the status and the body pieces.
    void Script(int nStatus, const std::vector<std::string>& pieces)
    {
        EnterCriticalSection(&m_lock);
        m_nStatus = nStatus;
        m_pieces = pieces;
        LeaveCriticalSection(&m_lock);
    }

    std::vector<Request> Requests()
    {
        EnterCriticalSection(&m_lock);
        std::vector<Request> r = m_requests;
        LeaveCriticalSection(&m_lock);
        return r;
    }

    int Port() const { return m_nPort; }

private:
    static unsigned __stdcall Entry(void* pv)
    {
        CHttpStub* p = (CHttpStub*)pv;
        for (;;)
        {
            SOCKET s = accept(p->m_listener, NULL, NULL);
            if (s == INVALID_SOCKET)
                return 0;
            p->Serve(s);
            closesocket(s);
        }
    }

    void Serve(SOCKET s)
    {
        Request request;
        std::string strData;
        char buf[8192];
        size_t nHeadEnd;
        while ((nHeadEnd = strData.find("\r\n\r\n")) == std::string::npos)
        {
            int n = recv(s, buf, sizeof(buf), 0);
            if (n <= 0)
                return;
            strData.append(buf, n);
        }
        request.strHead = strData.substr(0, nHeadEnd + 2);
        request.strBody = strData.substr(nHeadEnd + 4);
        size_t nLength = 0;
        size_t nPos = request.strHead.find("Content-Length: ");
        if (nPos != std::string::npos)
            nLength = strtoul(request.strHead.c_str() + nPos + 16, NULL, 10);
        while (request.strBody.size() < nLength)
        {
            int n = recv(s, buf, sizeof(buf), 0);
            if (n <= 0)
                break;
            request.strBody.append(buf, n);
        }
        EnterCriticalSection(&m_lock);
        m_requests.push_back(request);
        int nStatus = m_nStatus;
        std::vector<std::string> pieces = m_pieces;
        LeaveCriticalSection(&m_lock);

        char szHead[128];
        wsprintfA(szHead, "HTTP/1.0 %d Scripted\r\nContent-Type: text/plain\r\n\r\n", nStatus);
        send(s, szHead, lstrlenA(szHead), 0);
        for (size_t i = 0; i < pieces.size(); ++i)
        {
            if (i > 0)
                Sleep(150);
            send(s, pieces[i].data(), (int)pieces[i].size(), 0);
        }
    }

    SOCKET m_listener;
    int m_nPort;
    HANDLE m_hThread;
    CRITICAL_SECTION m_lock;
    int m_nStatus;
    std::vector<std::string> m_pieces;
    std::vector<Request> m_requests;
};

#endif
