// Blocking stream sockets with time-outs.
#include "BlockingSocket.h"

#include "LogTracker.h"

IMPLEMENT_DYNAMIC(CBlockingSocketException, CException)
IMPLEMENT_DYNAMIC(CBlockingSocket, CObject)
IMPLEMENT_DYNAMIC(CHttpBlockingSocket, CBlockingSocket)

namespace
{
// Waits up to nSecs until the socket can be read (fRead) or written.
int WaitReady(SOCKET s, BOOL fRead, int nSecs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {nSecs, 0};
    return select(0, fRead ? &set : NULL, fRead ? NULL : &set, NULL, &tv);
}

// Waits until the socket can be read, at the latest until the tick count dwDeadline.
int WaitReadableBefore(SOCKET s, DWORD dwDeadline)
{
    LONG lLeft = (LONG)(dwDeadline - GetTickCount());
    if (lLeft <= 0)
        return 0;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {lLeft / 1000, (lLeft % 1000) * 1000};
    return select(0, &set, NULL, NULL, &tv);
}
}

// ---------------------------------------------------------------------------

CBlockingSocketException::CBlockingSocketException(LPCSTR pszOperation)
    : m_strMessage(pszOperation), m_nError(WSAGetLastError())
{
}

BOOL CBlockingSocketException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext)
{
    if (pnHelpContext != NULL)
        *pnHelpContext = 0;
    if (lpszError == NULL || nMaxError == 0)
        return TRUE;
    CString strText;
    if (m_nError != 0)
        strText.Format("%s error #%d", (LPCSTR)m_strMessage, m_nError);
    else
        strText.Format("%s error", (LPCSTR)m_strMessage);
    UINT n = 0;
    while (strText[(int)n] != '\0')
    {
        UINT nChar = (IsDBCSLeadByte((BYTE)strText[(int)n]) && strText[(int)n + 1] != '\0') ? 2 : 1;
        if (n + nChar > nMaxError - 1)
            break;
        n += nChar;
    }
    memcpy(lpszError, (LPCSTR)strText, n);
    lpszError[n] = '\0';
    return TRUE;
}

// ---------------------------------------------------------------------------

void CBlockingSocket::Create(int nType)
{
    m_hSocket = socket(AF_INET, nType, 0);
    if (m_hSocket == INVALID_SOCKET)
    {
        m_hSocket = 0;
        throw new CBlockingSocketException("Create");
    }
}

void CBlockingSocket::Bind(const sockaddr* psa)
{
    if (bind(m_hSocket, psa, sizeof(sockaddr)) == SOCKET_ERROR)
        throw new CBlockingSocketException("Bind");
}

void CBlockingSocket::Listen()
{
    if (listen(m_hSocket, 5) == SOCKET_ERROR)
        throw new CBlockingSocketException("Listen");
}

BOOL CBlockingSocket::Accept(CBlockingSocket& sConnect, sockaddr* psa)
{
    int nLength = sizeof(sockaddr);
    sConnect.m_hSocket = accept(m_hSocket, psa, &nLength);
    if (sConnect.m_hSocket == INVALID_SOCKET)
    {
        sConnect.m_hSocket = 0;
        // Closing the socket from another thread interrupts the wait; some
        // Winsock versions report that as an aborted operation.
        int nError = WSAGetLastError();
        if (nError == WSAEINTR || nError == ERROR_OPERATION_ABORTED)
            return FALSE;
        throw new CBlockingSocketException("Accept");
    }
    return TRUE;
}

void CBlockingSocket::Close()
{
    closesocket(m_hSocket);
    m_hSocket = 0;
}

int CBlockingSocket::CloseIfOpen()
{
    if (m_hSocket == 0)
        return 0;
    int nResult = closesocket(m_hSocket);
    m_hSocket = 0;
    return nResult;
}

int CBlockingSocket::Send(const char* pch, int nSize, int nSecs)
{
    if (WaitReady(m_hSocket, FALSE, nSecs) == 0)
        throw new CBlockingSocketException("Send timeout");
    int nBytesSent = send(m_hSocket, pch, nSize, 0);
    if (nBytesSent == SOCKET_ERROR)
        throw new CBlockingSocketException("Send");
    return nBytesSent;
}

int CBlockingSocket::Write(const char* pch, int nSize, int nSecs)
{
    int nBytesSent = 0;
    while (nBytesSent < nSize)
        nBytesSent += Send(pch + nBytesSent, nSize - nBytesSent, nSecs);
    return nSize;
}

int CBlockingSocket::Receive(char* pch, int nSize, int nSecs)
{
    if (WaitReady(m_hSocket, TRUE, nSecs) == 0)
        throw new CBlockingSocketException("Receive timeout");
    int nBytesReceived = recv(m_hSocket, pch, nSize, 0);
    if (nBytesReceived == SOCKET_ERROR)
        throw new CBlockingSocketException("Receive");
    return nBytesReceived;
}

// ---------------------------------------------------------------------------

CHttpBlockingSocket::CHttpBlockingSocket() : m_pReadBuf(new char[nSizeRecv]), m_nReadBuf(0)
{
}

CHttpBlockingSocket::~CHttpBlockingSocket()
{
    delete[] m_pReadBuf;
}

int CHttpBlockingSocket::ReadHeaderLine(char* pch, int nSize, int nSecs)
{
    return ReadLine(pch, nSize, nSecs, 0, FALSE);
}

int CHttpBlockingSocket::ReadHeaderLineBefore(char* pch, int nSize, DWORD dwDeadline)
{
    return ReadLine(pch, nSize, 0, dwDeadline, TRUE);
}

int CHttpBlockingSocket::ReadLine(char* pch, int nSize, int nSecs, DWORD dwDeadline, BOOL fDeadline)
{
    int nScanned = 0;
    char* pLineFeed = (char*)memchr(m_pReadBuf, '\n', m_nReadBuf);
    while (pLineFeed == NULL)
    {
        nScanned = m_nReadBuf;
        int nBytes;
        if (fDeadline)
        {
            if (WaitReadableBefore(m_hSocket, dwDeadline) <= 0)
                throw new CBlockingSocketException("Receive timeout");
            nBytes = recv(m_hSocket, m_pReadBuf + m_nReadBuf, nSizeRecv - m_nReadBuf, 0);
            if (nBytes == SOCKET_ERROR)
                throw new CBlockingSocketException("Receive");
        }
        else
        {
            nBytes = Receive(m_pReadBuf + m_nReadBuf, nSizeRecv - m_nReadBuf, nSecs);
        }
        if (nBytes <= 0)
            throw new CBlockingSocketException("ReadHeaderLine");
        m_nReadBuf += nBytes;
        pLineFeed = (char*)memchr(m_pReadBuf + nScanned, '\n', m_nReadBuf - nScanned);
    }
    int nLineLength = (int)(pLineFeed - m_pReadBuf) + 1;
    int nCopy = nLineLength < nSize - 1 ? nLineLength : nSize - 1;
    if (nCopy < 0)
        nCopy = 0;
    memcpy(pch, m_pReadBuf, nCopy);
    if (nSize > 0)
        pch[nCopy] = '\0';
    m_nReadBuf -= nLineLength;
    memmove(m_pReadBuf, m_pReadBuf + nLineLength, m_nReadBuf);
    return nCopy;
}
