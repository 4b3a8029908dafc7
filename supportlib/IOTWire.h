// The records that cross between the filter driver (filter32.vxd) and its client library: fixed-
// width fields only, the same bytes in a 32-bit and a 64-bit build. No pointer, handle or code
// address travels in them: texts are offsets into a record's data area, and an event names the
// channel it belongs to by the registration id the library gave when it registered the channel.
#pragma once

#include <windows.h>
#include <stddef.h>

#define IOT_MAX_LAYERS 20

enum { IOT_EVENT_PROGRESS = 0, IOT_EVENT_VIRUS = 1 };

// An event as a callback receives it: the texts are pointers into memory that comes with the
// event (IOT_FreeEvent releases both).
struct IOT_EVENT
{
    int nKind;                           // 0 progress, 1 virus found
    LPVOID pContext;                     // the context registered with the channel's callback
    LPSTR pszFile;                       // the file scanned
    LPSTR pszVirus;                      // virus name (kind 1)
    LPSTR pszMovedFile;                  // path after the engine moved the file (kind 1)
    LPSTR apszLayers[IOT_MAX_LAYERS];    // compressed-file layers, the infected member first
    int nLayerCount;                     // 0 not compressed, -1 an archive nested too deep, else 1..20
    int nFirstResult;                    // non-zero: success
    int nFirstAction;
    int nSecondResult;
    int nSecondAction;
};

#pragma pack(push, 1)
// An event record: this header, then the data area (the texts, each NUL-terminated).
struct IOT_WIRE_EVENT
{
    INT32 nKind;
    UINT32 dwRegistration;               // the channel's registration id
    UINT32 dwSequence;                   // the driver's number of the record
    UINT32 dwFileAt;                     // offsets into the data area
    UINT32 dwVirusAt;
    UINT32 dwMovedAt;
    UINT32 adwLayerAt[IOT_MAX_LAYERS];   // the first nLayerCount are used
    INT32 nLayerCount;
    BYTE abReserved108[84];
    INT32 nFirstResult;
    INT32 nFirstAction;
    INT32 nSecondResult;
    INT32 nSecondAction;
    BYTE abReserved208[33];
    UINT32 dwLength;                     // the whole record, header and data area
};

// Requests 1 (real-time events) and 24 (scan events): the calling thread receives the channel's
// events; the driver tells it that events wait with an asynchronous procedure call, and request
// 4 hands them over one at a time.
struct IOT_EVENT_REQUEST
{
    UINT32 dwRegistration;
    UINT32 dwReserved4;
    char szDriverFolder[260];
    char szPatternName[260];
    BYTE bMode;
};

// A boot-sector, partition or memory virus; the virus name starts at byte 9.
struct BPMINFO
{
    BYTE abDriver[9];
    char szVirusName[24];
};

struct IOT_BPM_REPLY
{
    BPMINFO info;
    INT32 nResult;
};

// A value, a text and the channel (100 real-time, 200 on-demand) it is meant for.
struct IOT_TYPED_BLOCK
{
    INT32 nValue;
    char szText[260];
    INT32 nType;
};

struct IOT_FLAG_BLOCK
{
    INT32 nError;
    BYTE bFlag;
    BYTE abPad[3];
    INT32 nType;
    BYTE abZero[24];
};

struct IOT_TWO_PATH_BLOCK
{
    UINT32 dwStatus;
    char szSource[260];
    char szDestination[260];
};

// Request 13. A window handle is significant in its low 32 bits on every Windows (32- and
// 64-bit programs share windows that way): it travels as 32 bits, sign-extended back.
struct IOT_CONNECT_NOTIFY
{
    INT32 nWindow;
    UINT32 uMessage;
};

// Requests 14 and 15.
struct IOT_PROCESS_PAIR
{
    UINT32 dwCaller;
    UINT32 dwProcessId;
};

// Request 46: this header, then nCapacity records of 29 bytes.
struct IOT_NAME_LIST
{
    UINT32 dwReserved;
    INT32 nCapacity;
};

struct IOT_NAME_RECORD
{
    INT32 nIndex;
    UINT32 dwFlags;
    BYTE abReserved[4];
    char szName[17];
};
#pragma pack(pop)

static_assert(sizeof(IOT_WIRE_EVENT) == 245, "event record header");
static_assert(offsetof(IOT_WIRE_EVENT, dwFileAt) == 12 && offsetof(IOT_WIRE_EVENT, adwLayerAt) == 24 &&
                  offsetof(IOT_WIRE_EVENT, nLayerCount) == 104 && offsetof(IOT_WIRE_EVENT, nFirstResult) == 192 &&
                  offsetof(IOT_WIRE_EVENT, nSecondAction) == 204 && offsetof(IOT_WIRE_EVENT, dwLength) == 241,
              "event record fields");
static_assert(sizeof(IOT_EVENT_REQUEST) == 529 && offsetof(IOT_EVENT_REQUEST, szPatternName) == 268 &&
                  offsetof(IOT_EVENT_REQUEST, bMode) == 528,
              "event request");
static_assert(sizeof(BPMINFO) == 33 && sizeof(IOT_BPM_REPLY) == 37, "boot-area reply");
static_assert(sizeof(IOT_TYPED_BLOCK) == 268 && offsetof(IOT_TYPED_BLOCK, nType) == 264, "typed block");
static_assert(sizeof(IOT_FLAG_BLOCK) == 36 && offsetof(IOT_FLAG_BLOCK, nType) == 8, "flag block");
static_assert(sizeof(IOT_TWO_PATH_BLOCK) == 524 && offsetof(IOT_TWO_PATH_BLOCK, szDestination) == 264,
              "two-path block");
static_assert(sizeof(IOT_CONNECT_NOTIFY) == 8 && sizeof(IOT_PROCESS_PAIR) == 8, "pair requests");
static_assert(sizeof(IOT_NAME_LIST) == 8 && sizeof(IOT_NAME_RECORD) == 29, "virus name list");

#define IOT_WIRE_EVENT_HEADER 245u
// No event record is longer: the library receives records into a buffer of this size.
#define IOT_WIRE_EVENT_MAX 65536u

// Registration ids of the library's two channels.
#define IOT_REGISTRATION_REALTIME 1u
#define IOT_REGISTRATION_SCAN     2u

// Packs an event into a record at pRecord (cbRecord bytes; NULL: only the length is wanted). A
// NULL text is sent empty. Returns the record's length, or 0 when the event cannot be carried
// (a layer count outside -1..20, or a record longer than IOT_WIRE_EVENT_MAX or than cbRecord).
DWORD IOT_PackEvent(const IOT_EVENT* pEvent, UINT32 dwRegistration, UINT32 dwSequence, BYTE* pRecord,
                    DWORD cbRecord);
// Checks a received record of cbRecord bytes: its length, kind and layer count, and that every
// text it names starts inside its data area and ends with a NUL there. Fills the length of the
// data area and the registration id. FALSE for a record that must not be used.
BOOL IOT_CheckWireEvent(const BYTE* pRecord, DWORD cbRecord, DWORD* pcbData, UINT32* pdwRegistration);
// Builds the event from a record that IOT_CheckWireEvent accepts (checked again here): the data
// area is copied to pData (cbData bytes, at least the data area's length) and the event's texts
// point into that copy. The context is left NULL. FALSE, with the event untouched, otherwise.
BOOL IOT_UnpackEvent(const BYTE* pRecord, DWORD cbRecord, IOT_EVENT* pEvent, char* pData, DWORD cbData);
