// Quarantine transfer: an infected file that the engine moved into the local suspect folder is
// handed on to the quarantine destination of the scan settings (the server's receiving program,
// "HTTP://host/...", or a shared folder), and the local copy is deleted once the destination has
// it. Also the client's download of a file over HTTP through the outside library loadhttp.dll.
#ifndef VGL_QUARANTINE_H
#define VGL_QUARANTINE_H

#include <windows.h>

// TRUE when the file reached the destination and the local copy was deleted; FALSE (the file
// stays) in isolated mode or when the transfer or the deletion failed.
BOOL QuarantineFile(const char* pszLocalFile, const char* pszDestination);
// Upload to the server named by an "HTTP://" destination.
BOOL HTTP_CopyFile(const char* pszLocalFile, const char* pszDestination);
// Copy into a shared folder, never over a file already there: the file's own name, then the
// extensions ".VIR", ".VI0" to ".VI9" and ".V10" to ".V99" in turn; FALSE when all are taken.
BOOL UNC_CopyFile(const char* pszLocalFile, const char* pszFolder);
// The client is forced off the network ("ForceMobile" non-zero).
BOOL isIsolatedMode();

// The request record of loadhttp.dll's Get: the library's own declaration.
#include "loadhttp.h"

typedef int (*PFN_HTTP_PROGRESS)(int nStage, int nValue, void* pContext);

// Downloads http://server<object> into the file; the library's result (200 for a download),
// -1 when loadhttp.dll or its "Get" cannot be had.
int HTTP_GetFile(const char* pszOutFile, PFN_HTTP_PROGRESS pfnProgress, void* pContext,
                 const char* pszServer, DWORD dwPort, const char* pszObject, BOOL fUseProxy,
                 const char* pszProxyServer, DWORD dwProxyPort, const char* pszProxyLogin,
                 const char* pszProxyPassword);

#endif
