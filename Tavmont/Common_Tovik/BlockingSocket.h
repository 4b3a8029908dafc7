// Winsock 1.1 stream sockets whose every operation blocks with a time-out in
// seconds and throws a CBlockingSocketException* on failure. The application
// starts Winsock before using them.
#pragma once

#include <afx.h>
#include <winsock.h>

// Thrown as a heap object; the handler deletes it.
class CBlockingSocketException : public CException
{
    DECLARE_DYNAMIC(CBlockingSocketException)
public:
    // Takes WSAGetLastError() as the code.
    explicit CBlockingSocketException(LPCSTR pszOperation);

    // "%s error #%d" (operation, code), or "%s error" when the code is 0; cut
    // to nMaxError - 1 bytes without splitting a double-byte character.
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = NULL);

    int GetErrorCode() const { return m_nError; }

private:
    CString m_strMessage;
    int m_nError;
};

class CBlockingSocket : public CObject
{
    DECLARE_DYNAMIC(CBlockingSocket)
public:
    CBlockingSocket() : m_hSocket(0) {}
    // Does not close the socket: its owner does.
    virtual ~CBlockingSocket() {}

    void Create(int nType = SOCK_STREAM);
    void Bind(const sockaddr* psa);
    void Listen();
    // FALSE when the wait was interrupted (another thread closed this socket).
    BOOL Accept(CBlockingSocket& sConnect, sockaddr* psa);
    void Close();
    // closesocket's result, or 0 when there was nothing to close.
    int CloseIfOpen();

    // One send once the socket can be written; the bytes sent.
    int Send(const char* pch, int nSize, int nSecs);
    // Sends all nSize bytes; returns nSize.
    int Write(const char* pch, int nSize, int nSecs);
    // One receive once the socket can be read; 0 when the peer closed.
    int Receive(char* pch, int nSize, int nSecs);

    SOCKET GetSocket() const { return m_hSocket; }
    operator SOCKET() const { return m_hSocket; }

protected:
    SOCKET m_hSocket;
};

// Adds a 2000-byte receive buffer for reading HTTP header lines.
class CHttpBlockingSocket : public CBlockingSocket
{
    DECLARE_DYNAMIC(CHttpBlockingSocket)
public:
    enum { nSizeRecv = 2000 };

    CHttpBlockingSocket();
    virtual ~CHttpBlockingSocket();

    // The next line through its line feed, at most nSize - 1 bytes copied and
    // terminated; bytes after the line stay for the next call. Throws
    // "ReadHeaderLine" when the peer closed or the buffer is full.
    virtual int ReadHeaderLine(char* pch, int nSize, int nSecs);
    // The same, but the whole line must arrive before the tick count dwDeadline (a peer that
    // trickles bytes cannot stretch it), else "Receive timeout".
    int ReadHeaderLineBefore(char* pch, int nSize, DWORD dwDeadline);

private:
    int ReadLine(char* pch, int nSize, int nSecs, DWORD dwDeadline, BOOL fDeadline);

    char* m_pReadBuf;
    int m_nReadBuf;
};
