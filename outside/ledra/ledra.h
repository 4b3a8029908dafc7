// The server's database libraries of file-based mode:
//   LedraCfg.dll  scan-configuration records (folder FILEDB\Config)
//   LedraDat.dll  client information and client events (FILEDB\Data)
//   LedraLog.dll  the four scan logs (FILEDB\Log)
// all three over the database engine c4dll.dll (c4dll.h).
//
// Every function takes the database folder and one record, returns non-zero on success
// and 0 on failure; DatabaseDataGetLastError (LedraDat.dll) then gives the cause, one of
// the LEDRA_E_* codes, for the calling thread. The record's first field, the client's GUID
// text, selects the client. A retrieval copies the stored texts into the buffers the
// record's text fields point at; the buffer sizes are fixed per field (LEDRA_CB_*).
//
// The records are passed within one process, between a program and the libraries built for
// the same target: text fields are char*, so a record's layout follows the target (4-byte
// fields throughout on i686; on x86_64 the pointers take 8 bytes and are 8-aligned). What the
// libraries write to their files is the fields' values by column name, never a record's bytes.
#ifndef VGL_LEDRA_H
#define VGL_LEDRA_H

#ifdef __cplusplus
extern "C" {
#endif

#define LEDRAAPI __stdcall

// Error codes of DatabaseDataGetLastError.
#define LEDRA_OK 0
#define LEDRA_E_ARGUMENT (-1)     // missing folder, record or GUID
#define LEDRA_E_FOLDER (-2)       // the database folder does not exist
#define LEDRA_E_OPEN (-3)         // a database file cannot be opened or created
#define LEDRA_E_BUSY (-4)         // another process held the file past the wait
#define LEDRA_E_DAMAGED (-5)      // the file is damaged or not a database
#define LEDRA_E_READ (-6)
#define LEDRA_E_WRITE (-7)
#define LEDRA_E_NOT_FOUND (-8)    // no record of this client
#define LEDRA_E_MEMORY (-9)
#define LEDRA_E_FULL (-10)        // the disk is full
#define LEDRA_E_ACCESS (-11)      // access denied
#define LEDRA_E_LAYOUT (-12)      // the file holds a table of another layout
#define LEDRA_E_ENGINE (-13)      // the database engine failed
#define LEDRA_E_TABLE (-14)       // no such table
#define LEDRA_E_READONLY (-15)    // the file or its folder is read-only
#define LEDRA_E_LOCK (-16)        // the file's locks cannot be taken
#define LEDRA_E_UNKNOWN (-17)

// Text buffer sizes, terminator included.
#define LEDRA_CB_GUID 37
#define LEDRA_CB_CFG_TEXT 255          // ExtList, MoveDir, CleanFailedMoveDir
#define LEDRA_CB_EXCLUSION 128
#define LEDRA_EXCLUSION_COUNT 20
#define LEDRA_CB_COMPUTER 51
#define LEDRA_CB_PLATFORM 23
#define LEDRA_CB_CI_FIELD4 16
#define LEDRA_CB_DOMAIN 51
#define LEDRA_CB_DRIVER_VERSION 21
#define LEDRA_CB_CI_FIELD9 21
#define LEDRA_CB_DATE 9                // "YYYYMMDD"
#define LEDRA_CB_TIME 7                // "hhmmss"
#define LEDRA_EVENT_SLOTS 11
#define LEDRA_CB_LOGIN 35
#define LEDRA_CB_VIRUS 129
#define LEDRA_CB_FILE 129
#define LEDRA_CB_COMPRESSED_FILE 129
#define LEDRA_CB_DIRECTORY 255

// ---- configuration records (LedraCfg.dll) ----

// Manual scan (the name is the library's).
typedef struct MAMUAL_SCAN_CFG_TAG
{
    char* m_pszGUID_F;
    int m_nENABLE_F;
    int m_nALLOWCFG_F;
    int m_nSCANMEMORY_F;
    int m_nSCANBOOT_F;
    int m_nSCANCOMPRESSED_F;
    int m_nCOMPRESSEDLAYER_F;
    int m_nSCANALLFILES_F;
    char* m_pszEXTLIST_F;
    int m_nVIRUSFOUNDACTION_F;
    int m_nBKUPIFCLEAN_F;
    char* m_pszMOVEDIR_F;
    int m_nCLEANFAILEDACTION_F;
    char* m_pszCLEANFAILEDMOVEDIR_F;
} MAMUAL_SCAN_CFG_TAG;

typedef struct REALTIME_SCAN_CFG_TAG
{
    char* m_pszGUID_F;
    int m_nENABLE_F;
    int m_nALLOWCFG_F;
    int m_nSCANBOOT_F;
    int m_nSCANSHUTDOWN_F;
    int m_nSCANCOMPRESSED_F;
    int m_nCOMPRESSEDLAYER_F;
    int m_nSCANALLFILES_F;
    char* m_pszEXTLIST_F;
    int m_nVIRUSFOUNDACTION_F;
    int m_nBKUPIFCLEAN_F;
    char* m_pszMOVEDIR_F;
    int m_nCLEANFAILEDACTION_F;
    char* m_pszCLEANFAILEDMOVEDIR_F;
} REALTIME_SCAN_CFG_TAG;

// The scan the server starts.
typedef struct SCAN_NOW_CFG_TAG
{
    char* m_pszGUID_F;
    int m_nSCANMEMORY_F;
    int m_nSCANBOOT_F;
    int m_nSCANCOMPRESSED_F;
    int m_nCOMPRESSEDLAYER_F;
    int m_nSCANALLFILES_F;
    char* m_pszEXTLIST_F;
    int m_nRESERVED1_F;        // the client writes 0 and never reads them
    int m_nRESERVED2_F;
    int m_nRESERVED3_F;
    int m_nVIRUSFOUNDACTION_F;
    int m_nBKUPIFCLEAN_F;
    char* m_pszMOVEDIR_F;
    int m_nCLEANFAILEDACTION_F;
    char* m_pszCLEANFAILEDMOVEDIR_F;
} SCAN_NOW_CFG_TAG;

typedef struct PRESCHEDULE_SCAN_CFG_TAG
{
    char* m_pszGUID_F;
    int m_nENABLE_F;
    int m_nALLOWCFG_F;
    int m_nSCANMEMORY_F;
    int m_nSCANBOOT_F;
    int m_nSCANCOMPRESSED_F;
    int m_nCOMPRESSEDLAYER_F;
    int m_nSCANALLFILES_F;
    char* m_pszEXTLIST_F;
    int m_nVIRUSFOUNDACTION_F;
    int m_nBKUPIFCLEAN_F;
    char* m_pszMOVEDIR_F;
    int m_nCLEANFAILEDACTION_F;
    char* m_pszCLEANFAILEDMOVEDIR_F;
    int m_nFREQUENCY_F;        // 0, 1 monthly, 2 weekly, 3 daily
    int m_nHOUR_F;             // 1..12
    int m_nMINUTE_F;
    int m_nAMPM_F;             // 1 AM, 2 PM
    int m_nDAYOFMONTH_F;
    int m_nDAYOFWEEK_F;        // 1 Monday .. 7 Sunday
} PRESCHEDULE_SCAN_CFG_TAG;

typedef struct EXCLUSION_FILE_LIST_TAG
{
    char* m_pszGUID_F;
    int m_nALLOWCFG_F;
    char* m_ppszEXCLUSIONFILE_F[LEDRA_EXCLUSION_COUNT];   // empty text beyond the list
} EXCLUSION_FILE_LIST_TAG;

// ---- client records (LedraDat.dll) ----

typedef struct CLIENT_INFO_TAG
{
    char* m_pszGUID_F;
    char* m_pszCOMPUTERNAME_F;
    char* m_pszPLATFORM_F;
    char* m_pszFIELD4_F;          // the client leaves it empty
    char* m_pszDOMAIN_F;          // domain or workgroup
    int m_nPATTERNVERSION_F;
    float m_fPROGRAMVERSION_F;    // major + minor / 100
    char* m_pszDRIVERVERSION_F;   // the engine driver's file version, "X.XXX"
    char* m_pszFIELD9_F;          // the client leaves it empty
    int m_nALLOWUNINSTALL_F;
    int m_nALLOWUNLOAD_F;
    int m_nUSEPROXY_F;
    int m_nHTTPMODE_F;            // 1 HTTP, 0 file-based
} CLIENT_INFO_TAG;

// The date and time of the latest event of each kind.
typedef struct CLIENT_EVENT_SLOT
{
    char* m_pszDATE_F;            // "%04d%02d%02d"
    char* m_pszTIME_F;            // "%02d%02d%02d"
} CLIENT_EVENT_SLOT;

typedef struct CLIENT_EVENT_TAG
{
    char* m_pszGUID_F;
    CLIENT_EVENT_SLOT m_aSLOT_F[LEDRA_EVENT_SLOTS];
    int m_nONLINE_F;
} CLIENT_EVENT_TAG;

// ---- scan-log records (LedraLog.dll), one layout for the four logs ----

typedef struct SCAN_LOG_TAG
{
    char* m_pszGUID_F;
    char* m_pszLOGIN_F;
    char* m_pszDATE_F;            // "%04d%02d%02d"
    char* m_pszTIME_F;            // "%02d%02d%02d"
    char* m_pszVIRUS_F;
    char* m_pszFILE_F;            // name and extension
    char* m_pszCOMPRESSEDFILE_F;
    char* m_pszDIRECTORY_F;       // drive and folder
    int m_nFIRSTACTION_F;
    int m_nFIRSTRESULT_F;         // 1 succeeded, -1 failed
    int m_nSECONDACTION_F;
    int m_nSECONDRESULT_F;
} SCAN_LOG_TAG;

typedef SCAN_LOG_TAG MANUAL_SCAN_LOG_TAG;
typedef SCAN_LOG_TAG REALTIME_SCAN_LOG_TAG;
typedef SCAN_LOG_TAG PRESCHEDULE_SCAN_LOG_TAG;
typedef SCAN_LOG_TAG SCAN_NOW_LOG_TAG;

// The layouts: the i686 size (the original 32-bit records) and the x86_64 one.
#ifdef __cplusplus
#define LEDRA_STATIC_ASSERT(expr, text) static_assert(expr, text)
#else
#define LEDRA_STATIC_ASSERT(expr, text) _Static_assert(expr, text)
#endif
#define LEDRA_CHECK_SIZE(type, size32, size64) \
    LEDRA_STATIC_ASSERT(sizeof(type) == (sizeof(char*) == 4 ? (size32) : (size64)), #type)
LEDRA_STATIC_ASSERT(sizeof(char*) == 4 || sizeof(char*) == 8, "pointer size");
LEDRA_STATIC_ASSERT(sizeof(int) == 4 && sizeof(float) == 4, "field size");
LEDRA_CHECK_SIZE(MAMUAL_SCAN_CFG_TAG, 56, 80);
LEDRA_CHECK_SIZE(REALTIME_SCAN_CFG_TAG, 56, 80);
LEDRA_CHECK_SIZE(SCAN_NOW_CFG_TAG, 60, 88);
LEDRA_CHECK_SIZE(PRESCHEDULE_SCAN_CFG_TAG, 80, 104);
LEDRA_CHECK_SIZE(EXCLUSION_FILE_LIST_TAG, 88, 176);
LEDRA_CHECK_SIZE(CLIENT_INFO_TAG, 52, 80);
LEDRA_CHECK_SIZE(CLIENT_EVENT_SLOT, 8, 16);
LEDRA_CHECK_SIZE(CLIENT_EVENT_TAG, 96, 192);
LEDRA_CHECK_SIZE(SCAN_LOG_TAG, 48, 80);

// ---- LedraCfg.dll ----
int LEDRAAPI DatabaseMSRetrieveRecord(char* pszFolder, MAMUAL_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseMSUpdateRecord(char* pszFolder, MAMUAL_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseMSRemoveRecord(char* pszFolder, MAMUAL_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseRTRetrieveRecord(char* pszFolder, REALTIME_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseRTUpdateRecord(char* pszFolder, REALTIME_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseRTRemoveRecord(char* pszFolder, REALTIME_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseSNRetrieveRecord(char* pszFolder, SCAN_NOW_CFG_TAG* pRecord);
int LEDRAAPI DatabaseSNUpdateRecord(char* pszFolder, SCAN_NOW_CFG_TAG* pRecord);
int LEDRAAPI DatabaseSNRemoveRecord(char* pszFolder, SCAN_NOW_CFG_TAG* pRecord);
int LEDRAAPI DatabasePSRetrieveRecord(char* pszFolder, PRESCHEDULE_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabasePSUpdateRecord(char* pszFolder, PRESCHEDULE_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabasePSRemoveRecord(char* pszFolder, PRESCHEDULE_SCAN_CFG_TAG* pRecord);
int LEDRAAPI DatabaseEFRetrieveRecord(char* pszFolder, EXCLUSION_FILE_LIST_TAG* pRecord);
int LEDRAAPI DatabaseEFUpdateRecord(char* pszFolder, EXCLUSION_FILE_LIST_TAG* pRecord);
int LEDRAAPI DatabaseEFRemoveRecord(char* pszFolder, EXCLUSION_FILE_LIST_TAG* pRecord);

// ---- LedraDat.dll ----
// The trailing int is reserved: callers pass 0.
int LEDRAAPI DatabaseCIRetrieveRecord(char* pszFolder, CLIENT_INFO_TAG* pRecord, int nReserved);
int LEDRAAPI DatabaseCIUpdateRecord(char* pszFolder, CLIENT_INFO_TAG* pRecord);
int LEDRAAPI DatabaseCIRemoveRecord(char* pszFolder, CLIENT_INFO_TAG* pRecord, int nReserved);
int LEDRAAPI DatabaseCERetrieveRecord(char* pszFolder, CLIENT_EVENT_TAG* pRecord);
int LEDRAAPI DatabaseCEUpdateRecord(char* pszFolder, CLIENT_EVENT_TAG* pRecord);
int LEDRAAPI DatabaseCERemoveRecord(char* pszFolder, CLIENT_EVENT_TAG* pRecord);
// The last failure of the calling thread in any of the three libraries (LEDRA_E_*).
int LEDRAAPI DatabaseDataGetLastError(void);

// ---- LedraLog.dll ----
// Each added record is kept; RemoveAll removes every record of the GUID (none is no failure).
int LEDRAAPI DatabaseMSLAddNewRecord(char* pszFolder, MANUAL_SCAN_LOG_TAG* pRecord);
int LEDRAAPI DatabaseRTLAddNewRecord(char* pszFolder, REALTIME_SCAN_LOG_TAG* pRecord);
int LEDRAAPI DatabasePSLAddNewRecord(char* pszFolder, PRESCHEDULE_SCAN_LOG_TAG* pRecord);
int LEDRAAPI DatabaseSNLAddNewRecord(char* pszFolder, SCAN_NOW_LOG_TAG* pRecord);
int LEDRAAPI DatabaseMSLRemoveAll(char* pszFolder, MANUAL_SCAN_LOG_TAG* pRecord, int nReserved);
int LEDRAAPI DatabaseRTLRemoveAll(char* pszFolder, REALTIME_SCAN_LOG_TAG* pRecord, int nReserved);
int LEDRAAPI DatabasePSLRemoveAll(char* pszFolder, PRESCHEDULE_SCAN_LOG_TAG* pRecord, int nReserved);
int LEDRAAPI DatabaseSNLRemoveAll(char* pszFolder, SCAN_NOW_LOG_TAG* pRecord, int nReserved);

#ifdef __cplusplus
}
#endif

#endif
