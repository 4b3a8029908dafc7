// Quarantine upload: posts an infected file's backup ("VSBF") file to the
// server's receiving CGI program through the HTTP transfer library
// vgl_loadhttp.dll. The server acknowledges with "cgiRecvFile_OK".
#ifndef VGL_QUARANTINEUPLOAD_H
#define VGL_QUARANTINEUPLOAD_H

#include <windows.h>

// The request record handed to Post: the transfer library's own (zero-filled first).
#include "loadhttp.h"

enum
{
    QU_OK = 0,
    QU_CANNOT_OPEN = 1,
    QU_CANNOT_SIZE = 2,             // error: errno
    QU_SHORT_READ = 3,
    QU_HTTP_STATUS = 4,             // error: the HTTP status
    QU_NO_ENGINE = 5,               // error: the system error code
    QU_NOT_ACKNOWLEDGED = 7,
    QU_NO_VERIFY = 8,               // the Verify digest cannot be computed

    LOAD_HTTP_REQUEST_TAG = 96,
    LOAD_HTTP_REPLY_EVENT = 10
};

extern const char g_szQuarantineBoundary[];     // the body's boundary line, CR LF included

// Uploads the backup file; the result is one of QU_*; *pnError as noted there
// (0 otherwise).
int UploadQuarantineFile(const char* pszBackupFile, const char* pszComputerName,
                         const char* pszServer, DWORD dwServerPort, const char* pszCgiPath,
                         int* pnError, BOOL fUseProxy, const char* pszProxyServer,
                         DWORD dwProxyPort, const char* pszProxyUser, const char* pszProxyPassword);

// The multipart body: boundary, part header (computer name and Verify digest),
// the file's bytes, CR LF, boundary. *ppBody is a malloc'ed block with a zero
// after the body, freed by the caller; *pcbBody excludes that zero. Results
// QU_OK, QU_CANNOT_OPEN, QU_CANNOT_SIZE, QU_SHORT_READ, QU_NO_ENGINE or QU_NO_VERIFY.
int buildQuarantineUploadBody(const char* pszBackupFile, const char* pszComputerName,
                              char** ppBody, int* pcbBody, int* pnError);

// MD5 (32 lower-case hex digits) of the keyed hex form of the original path
// followed by the computer name. FALSE (pszDigest empty) when the text cannot be
// scrambled: more than 511 characters, or no memory.
BOOL computeQuarantineVerify(const char* pszOriginalPath, const char* pszComputerName,
                             char* pszDigest, UINT cbDigest);

// What the reply callback has seen of the reply: whether it held "cgiRecvFile_OK",
// and the end of the reply so far (the acknowledgement may be split across pieces).
struct SUploadReply
{
    int fAcknowledged;
    char szTail[16];
};

// The reply callback (pContext: an SUploadReply, zero-filled first): event 10 texts
// are the reply's pieces in order, an empty text a zero byte of the reply, which
// no acknowledgement spans.
int onUploadReply(int nEvent, const char* pszText, void* pContext);

#endif
