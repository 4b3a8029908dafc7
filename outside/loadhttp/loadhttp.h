// The HTTP transfer libraries: vgl_loadhttp.dll (Post) and loadhttp.dll (Get).
//
//   int __stdcall Post(LoadHttpRequest* pRequest, LOADHTTP_REPLY_CALLBACK pfnReply,
//                      void* pContext, const char* pBody, int cbBody);
//       Sends a multipart/form-data POST of the body (its boundary is the body's
//       first line without its two leading hyphens) and returns the HTTP status.
//       Every piece of the reply body is handed to the callback with event
//       LOADHTTP_EVENT_REPLY and the piece as a zero-terminated text; a zero byte
//       in the piece ends the text and is handed on as an empty text of its own
//       (the rest of the piece follows as the next text).
//
//   int __stdcall Get(LoadHttpRequest* pRequest, LOADHTTP_PROGRESS_CALLBACK pfnProgress,
//                     void* pContext);
//       Downloads the URL into the file pRequest->pszLocalFile (written only
//       when the server answers 200) and returns the HTTP status; the progress
//       callback hears the stages LOADHTTP_STAGE_*.
//
// Both return a negative LOADHTTP_E_* code when no HTTP status was received.
// Each call is written to the journal: the file named by the environment
// variable VGL_LOADHTTP_JOURNAL, else "loadhttp.log" beside the library.
#ifndef VGL_OUTSIDE_LOADHTTP_H
#define VGL_OUTSIDE_LOADHTTP_H

#include <windows.h>

// The request record of Post and Get: the one declaration that the libraries and their
// callers share. It is passed within one process, so its pointers follow the target; the
// union is 260 bytes on every target, so the texts after it keep their place behind it
// (540 bytes in all on i686, 548 on x86_64).
#define LOADHTTP_CB_LOCAL_FILE 260
#pragma pack(push, 4)
struct LoadHttpRequest
{
    const char* pszUrl;         // "http://host[:port]/path"
    DWORD dwServerPort;         // used when the URL names no port
    const char* pszProxyHost;
    DWORD dwProxyPort;
    DWORD dwUseProxy;
    union
    {
        char szLocalFile[LOADHTTP_CB_LOCAL_FILE];   // unused by Post: left empty
        struct
        {
            const char* pszLocalFile;   // Get: the file that receives the download
            BYTE abReserved[LOADHTTP_CB_LOCAL_FILE - sizeof(const char*)];
        } get;
    };
    char szProxyUser[128];      // at most 127 characters
    char szProxyPassword[128];
    DWORD dwTag;                // 96 for Post, 19 for Get
};
#pragma pack(pop)

// Two pointers and three DWORDs, the union, the two texts and the tag.
#ifdef __cplusplus
#define LOADHTTP_CHECK(expr) static_assert(expr, "LoadHttpRequest layout")
#else
#define LOADHTTP_CHECK(expr) _Static_assert(expr, "LoadHttpRequest layout")
#endif
LOADHTTP_CHECK(__builtin_offsetof(struct LoadHttpRequest, szLocalFile) == 2 * sizeof(void*) + 12);
LOADHTTP_CHECK(__builtin_offsetof(struct LoadHttpRequest, get.pszLocalFile) == 2 * sizeof(void*) + 12);
LOADHTTP_CHECK(__builtin_offsetof(struct LoadHttpRequest, szProxyUser) == 2 * sizeof(void*) + 272);
LOADHTTP_CHECK(__builtin_offsetof(struct LoadHttpRequest, szProxyPassword) == 2 * sizeof(void*) + 400);
LOADHTTP_CHECK(__builtin_offsetof(struct LoadHttpRequest, dwTag) == 2 * sizeof(void*) + 528);
LOADHTTP_CHECK(sizeof(struct LoadHttpRequest) == 2 * sizeof(void*) + 532);

enum
{
    LOADHTTP_EVENT_CONNECTED = 1,
    LOADHTTP_EVENT_SENT = 2,
    LOADHTTP_EVENT_STATUS = 3,  // text: the status line
    LOADHTTP_EVENT_REPLY = 10,  // text: one piece of the reply body
    LOADHTTP_EVENT_DONE = 11,

    LOADHTTP_STAGE_START = 0,
    LOADHTTP_STAGE_CONNECTING = 1,
    LOADHTTP_STAGE_CONNECTED = 2,
    LOADHTTP_STAGE_SENT = 3,
    LOADHTTP_STAGE_HEADER = 4,  // value: the content length (-1 when none)
    LOADHTTP_STAGE_DATA = 5,    // value: bytes received so far
    LOADHTTP_STAGE_DONE = 6,

    LOADHTTP_E_ARGUMENT = -1,
    LOADHTTP_E_RESOLVE = -2,
    LOADHTTP_E_CONNECT = -3,
    LOADHTTP_E_SEND = -4,
    LOADHTTP_E_RECEIVE = -5,
    LOADHTTP_E_REPLY = -6,      // no HTTP status line
    LOADHTTP_E_FILE = -7,       // Get: the local file cannot be written
    LOADHTTP_E_WINSOCK = -8
};

typedef int (*LOADHTTP_REPLY_CALLBACK)(int nEvent, const char* pszText, void* pContext);
typedef int (*LOADHTTP_PROGRESS_CALLBACK)(int nStage, int nValue, void* pContext);

#ifdef __cplusplus
extern "C" {
#endif
// vgl_loadhttp.dll (linked at load time) and loadhttp.dll (bound by name, "Get").
int __stdcall Post(LoadHttpRequest* pRequest, LOADHTTP_REPLY_CALLBACK pfnReply, void* pContext,
                   const char* pBody, int cbBody);
int __stdcall Get(LoadHttpRequest* pRequest, LOADHTTP_PROGRESS_CALLBACK pfnProgress, void* pContext);
typedef int(__stdcall* LOADHTTP_PFN_GET)(LoadHttpRequest* pRequest, LOADHTTP_PROGRESS_CALLBACK pfnProgress,
                                         void* pContext);
#ifdef __cplusplus
}
#endif

#endif
