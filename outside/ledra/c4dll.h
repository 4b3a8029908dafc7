// c4dll.dll: the database engine under the three database libraries (ledra.h).
//
// Each table is one database file "<table>.db" in the folder the caller names (SQLite 3
// format, so any SQLite tool reads it), holding one table of the same name whose columns
// are the record's fields. A configuration, client-information or client-event table keeps
// one record per client GUID (compared without regard to case); a log table keeps every
// record added, each with its own ID.
//
// Every operation is one transaction: a record is written whole or not at all, also when
// the process is killed in the middle (the next user of the file rolls the rest back).
// Several processes, on one computer or on several sharing the folder, may use a file at
// once: the files' own locks order them; a call waits up to C4_BUSY_WAIT_MS for another
// (VGL_LEDRA_BUSY_MS in the environment sets another wait), then fails with LEDRA_E_BUSY.
//
// Texts are the ANSI code page's in the records and UTF-8 in the files. A retrieved text
// that does not fit the field's buffer is cut at a character boundary.
#ifndef VGL_C4DLL_H
#define VGL_C4DLL_H

#include "ledra.h"

#ifdef __cplusplus
extern "C" {
#endif

#define C4API __stdcall
#define C4_BUSY_WAIT_MS 30000

enum
{
    C4_TEXT = 1,     // char* to a buffer of cbText bytes
    C4_INT = 2,
    C4_FLOAT = 3
};

enum
{
    C4_KEYED = 1,    // one record per GUID
    C4_LOG = 2       // any number of records per GUID
};

// One field of a record: its column name, kind and place.
typedef struct C4FIELD
{
    const char* pszName;
    int nKind;
    int nOffset;
    int cbText;      // C4_TEXT: the buffer size, terminator included
} C4FIELD;

typedef struct C4TABLE
{
    const char* pszName;     // table and file name
    const char* pszFolder;   // the folder below FILEDB it lives in: "Config", "Data", "Log"
    int nKind;               // C4_KEYED or C4_LOG
    int cbRecord;
    int nFields;
    const C4FIELD* pFields;  // the first is the GUID
} C4TABLE;

enum
{
    C4T_MANUAL_SCAN_CFG = 0,
    C4T_REALTIME_SCAN_CFG,
    C4T_SCAN_NOW_CFG,
    C4T_PRESCHEDULE_SCAN_CFG,
    C4T_EXCLUSION_FILE_CFG,
    C4T_CLIENT_INFO,
    C4T_CLIENT_EVENT,
    C4T_MANUAL_SCAN_LOG,
    C4T_REALTIME_SCAN_LOG,
    C4T_PRESCHEDULE_SCAN_LOG,
    C4T_SCAN_NOW_LOG,
    C4T_COUNT
};

// The table's description; NULL beyond the list.
const C4TABLE* C4API c4GetTable(int nTable);

// The operations. pszCaller names the library function for the journal (may be NULL).
// Each returns 1 on success; 0 on failure with the cause in c4GetLastError.
int C4API c4Retrieve(const char* pszCaller, int nTable, const char* pszFolder, void* pRecord);
// Keyed tables: writes the record (a new one or over the client's).
int C4API c4Update(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord);
// Keyed tables: LEDRA_E_NOT_FOUND when the client has none.
int C4API c4Remove(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord);
// Log tables.
int C4API c4Append(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord);
int C4API c4RemoveAll(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord);

// Calls pfn for each record (of pszGuid only, unless NULL) in ID order (log tables) or GUID
// order (keyed tables), with a record whose texts point at buffers that live until pfn
// returns; keyed tables pass 0 as the ID. Reads one consistent state of the file. A non-zero
// return of pfn stops the walk. Returns the number of records passed, -1 on failure.
typedef int(C4API* C4ENUMPROC)(void* pvContext, long long nId, const void* pRecord);
int C4API c4Enumerate(int nTable, const char* pszFolder, const char* pszGuid, C4ENUMPROC pfn,
                      void* pvContext);

// Log tables: removes the one record of that ID.
int C4API c4RemoveId(int nTable, const char* pszFolder, long long nId);

// Checks the table's file as a whole: 1 when it is sound or does not exist yet.
int C4API c4Check(int nTable, const char* pszFolder);

// The calling thread's last failure (LEDRA_E_*), 0 after a success.
int C4API c4GetLastError(void);

#ifdef __cplusplus
}
#endif

#endif
