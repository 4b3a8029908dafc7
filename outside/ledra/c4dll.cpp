// c4dll.dll: record tables of the database libraries over SQLite (see c4dll.h).
//
// Every call is written to the journal: the file named by VGL_LEDRA_JOURNAL, else
// "Ledra.log" beside the library.
#include <windows.h>

#include "c4dll.h"
#include "journal.h"
#include "sqlite3.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
CJournal g_journal("Ledra.log", "VGL_LEDRA_JOURNAL");
DWORD g_tlsError = TLS_OUT_OF_INDEXES;

// ---- the tables ----

#define TXT(T, name, cb) { #name, C4_TEXT, (int)offsetof(T, m_psz##name##_F), cb }
#define NUM(T, name) { #name, C4_INT, (int)offsetof(T, m_n##name##_F), 0 }

#define SCAN_ACTIONS(T)                                                                   \
    TXT(T, EXTLIST, LEDRA_CB_CFG_TEXT), NUM(T, VIRUSFOUNDACTION), NUM(T, BKUPIFCLEAN),       \
        TXT(T, MOVEDIR, LEDRA_CB_CFG_TEXT), NUM(T, CLEANFAILEDACTION),                       \
        TXT(T, CLEANFAILEDMOVEDIR, LEDRA_CB_CFG_TEXT)

const C4FIELD s_manualScanCfg[] = {
    TXT(MAMUAL_SCAN_CFG_TAG, GUID, LEDRA_CB_GUID), NUM(MAMUAL_SCAN_CFG_TAG, ENABLE),
    NUM(MAMUAL_SCAN_CFG_TAG, ALLOWCFG), NUM(MAMUAL_SCAN_CFG_TAG, SCANMEMORY),
    NUM(MAMUAL_SCAN_CFG_TAG, SCANBOOT), NUM(MAMUAL_SCAN_CFG_TAG, SCANCOMPRESSED),
    NUM(MAMUAL_SCAN_CFG_TAG, COMPRESSEDLAYER), NUM(MAMUAL_SCAN_CFG_TAG, SCANALLFILES),
    SCAN_ACTIONS(MAMUAL_SCAN_CFG_TAG),
};

const C4FIELD s_realtimeScanCfg[] = {
    TXT(REALTIME_SCAN_CFG_TAG, GUID, LEDRA_CB_GUID), NUM(REALTIME_SCAN_CFG_TAG, ENABLE),
    NUM(REALTIME_SCAN_CFG_TAG, ALLOWCFG), NUM(REALTIME_SCAN_CFG_TAG, SCANBOOT),
    NUM(REALTIME_SCAN_CFG_TAG, SCANSHUTDOWN), NUM(REALTIME_SCAN_CFG_TAG, SCANCOMPRESSED),
    NUM(REALTIME_SCAN_CFG_TAG, COMPRESSEDLAYER), NUM(REALTIME_SCAN_CFG_TAG, SCANALLFILES),
    SCAN_ACTIONS(REALTIME_SCAN_CFG_TAG),
};

const C4FIELD s_scanNowCfg[] = {
    TXT(SCAN_NOW_CFG_TAG, GUID, LEDRA_CB_GUID), NUM(SCAN_NOW_CFG_TAG, SCANMEMORY),
    NUM(SCAN_NOW_CFG_TAG, SCANBOOT), NUM(SCAN_NOW_CFG_TAG, SCANCOMPRESSED),
    NUM(SCAN_NOW_CFG_TAG, COMPRESSEDLAYER), NUM(SCAN_NOW_CFG_TAG, SCANALLFILES),
    TXT(SCAN_NOW_CFG_TAG, EXTLIST, LEDRA_CB_CFG_TEXT), NUM(SCAN_NOW_CFG_TAG, RESERVED1),
    NUM(SCAN_NOW_CFG_TAG, RESERVED2), NUM(SCAN_NOW_CFG_TAG, RESERVED3),
    NUM(SCAN_NOW_CFG_TAG, VIRUSFOUNDACTION), NUM(SCAN_NOW_CFG_TAG, BKUPIFCLEAN),
    TXT(SCAN_NOW_CFG_TAG, MOVEDIR, LEDRA_CB_CFG_TEXT), NUM(SCAN_NOW_CFG_TAG, CLEANFAILEDACTION),
    TXT(SCAN_NOW_CFG_TAG, CLEANFAILEDMOVEDIR, LEDRA_CB_CFG_TEXT),
};

const C4FIELD s_prescheduleScanCfg[] = {
    TXT(PRESCHEDULE_SCAN_CFG_TAG, GUID, LEDRA_CB_GUID), NUM(PRESCHEDULE_SCAN_CFG_TAG, ENABLE),
    NUM(PRESCHEDULE_SCAN_CFG_TAG, ALLOWCFG), NUM(PRESCHEDULE_SCAN_CFG_TAG, SCANMEMORY),
    NUM(PRESCHEDULE_SCAN_CFG_TAG, SCANBOOT), NUM(PRESCHEDULE_SCAN_CFG_TAG, SCANCOMPRESSED),
    NUM(PRESCHEDULE_SCAN_CFG_TAG, COMPRESSEDLAYER), NUM(PRESCHEDULE_SCAN_CFG_TAG, SCANALLFILES),
    SCAN_ACTIONS(PRESCHEDULE_SCAN_CFG_TAG), NUM(PRESCHEDULE_SCAN_CFG_TAG, FREQUENCY),
    NUM(PRESCHEDULE_SCAN_CFG_TAG, HOUR), NUM(PRESCHEDULE_SCAN_CFG_TAG, MINUTE),
    NUM(PRESCHEDULE_SCAN_CFG_TAG, AMPM), NUM(PRESCHEDULE_SCAN_CFG_TAG, DAYOFMONTH),
    NUM(PRESCHEDULE_SCAN_CFG_TAG, DAYOFWEEK),
};

// Entry i (1..20) of the list: its own pointer in the array.
#define EXF(i)                                                                             \
    { "EXCLUSIONFILE" #i, C4_TEXT,                                                         \
      (int)offsetof(EXCLUSION_FILE_LIST_TAG, m_ppszEXCLUSIONFILE_F[(i) - 1]),               \
      LEDRA_CB_EXCLUSION }

const C4FIELD s_exclusionFileCfg[] = {
    TXT(EXCLUSION_FILE_LIST_TAG, GUID, LEDRA_CB_GUID), NUM(EXCLUSION_FILE_LIST_TAG, ALLOWCFG),
    EXF(1), EXF(2), EXF(3), EXF(4), EXF(5), EXF(6), EXF(7), EXF(8), EXF(9), EXF(10),
    EXF(11), EXF(12), EXF(13), EXF(14), EXF(15), EXF(16), EXF(17), EXF(18), EXF(19), EXF(20),
};

const C4FIELD s_clientInfo[] = {
    TXT(CLIENT_INFO_TAG, GUID, LEDRA_CB_GUID),
    TXT(CLIENT_INFO_TAG, COMPUTERNAME, LEDRA_CB_COMPUTER),
    TXT(CLIENT_INFO_TAG, PLATFORM, LEDRA_CB_PLATFORM),
    TXT(CLIENT_INFO_TAG, FIELD4, LEDRA_CB_CI_FIELD4),
    TXT(CLIENT_INFO_TAG, DOMAIN, LEDRA_CB_DOMAIN),
    NUM(CLIENT_INFO_TAG, PATTERNVERSION),
    { "PROGRAMVERSION", C4_FLOAT, (int)offsetof(CLIENT_INFO_TAG, m_fPROGRAMVERSION_F), 0 },
    TXT(CLIENT_INFO_TAG, DRIVERVERSION, LEDRA_CB_DRIVER_VERSION),
    TXT(CLIENT_INFO_TAG, FIELD9, LEDRA_CB_CI_FIELD9),
    NUM(CLIENT_INFO_TAG, ALLOWUNINSTALL),
    NUM(CLIENT_INFO_TAG, ALLOWUNLOAD),
    NUM(CLIENT_INFO_TAG, USEPROXY),
    NUM(CLIENT_INFO_TAG, HTTPMODE),
};

#define SLOT(i)                                                                            \
    { "DATE" #i, C4_TEXT, (int)offsetof(CLIENT_EVENT_TAG, m_aSLOT_F[i].m_pszDATE_F), LEDRA_CB_DATE }, \
    { "TIME" #i, C4_TEXT, (int)offsetof(CLIENT_EVENT_TAG, m_aSLOT_F[i].m_pszTIME_F), LEDRA_CB_TIME }

const C4FIELD s_clientEvent[] = {
    TXT(CLIENT_EVENT_TAG, GUID, LEDRA_CB_GUID),
    SLOT(0), SLOT(1), SLOT(2), SLOT(3), SLOT(4), SLOT(5), SLOT(6), SLOT(7), SLOT(8), SLOT(9),
    SLOT(10),
    NUM(CLIENT_EVENT_TAG, ONLINE),
};

const C4FIELD s_scanLog[] = {
    TXT(SCAN_LOG_TAG, GUID, LEDRA_CB_GUID),
    TXT(SCAN_LOG_TAG, LOGIN, LEDRA_CB_LOGIN),
    TXT(SCAN_LOG_TAG, DATE, LEDRA_CB_DATE),
    TXT(SCAN_LOG_TAG, TIME, LEDRA_CB_TIME),
    TXT(SCAN_LOG_TAG, VIRUS, LEDRA_CB_VIRUS),
    TXT(SCAN_LOG_TAG, FILE, LEDRA_CB_FILE),
    TXT(SCAN_LOG_TAG, COMPRESSEDFILE, LEDRA_CB_COMPRESSED_FILE),
    TXT(SCAN_LOG_TAG, DIRECTORY, LEDRA_CB_DIRECTORY),
    NUM(SCAN_LOG_TAG, FIRSTACTION),
    NUM(SCAN_LOG_TAG, FIRSTRESULT),
    NUM(SCAN_LOG_TAG, SECONDACTION),
    NUM(SCAN_LOG_TAG, SECONDRESULT),
};

static_assert(sizeof(s_clientEvent) / sizeof(C4FIELD) == 1 + 2 * LEDRA_EVENT_SLOTS + 1,
              "event slots");
static_assert(sizeof(s_exclusionFileCfg) / sizeof(C4FIELD) == 2 + LEDRA_EXCLUSION_COUNT,
              "exclusion entries");

#define TABLE(name, folder, kind, T, fields)                                               \
    { name, folder, kind, (int)sizeof(T), (int)(sizeof(fields) / sizeof(C4FIELD)), fields }

const C4TABLE s_tables[C4T_COUNT] = {
    TABLE("ManualScanCfg", "Config", C4_KEYED, MAMUAL_SCAN_CFG_TAG, s_manualScanCfg),
    TABLE("RealtimeScanCfg", "Config", C4_KEYED, REALTIME_SCAN_CFG_TAG, s_realtimeScanCfg),
    TABLE("ScanNowCfg", "Config", C4_KEYED, SCAN_NOW_CFG_TAG, s_scanNowCfg),
    TABLE("PrescheduleScanCfg", "Config", C4_KEYED, PRESCHEDULE_SCAN_CFG_TAG,
          s_prescheduleScanCfg),
    TABLE("ExclusionFileCfg", "Config", C4_KEYED, EXCLUSION_FILE_LIST_TAG, s_exclusionFileCfg),
    TABLE("ClientInfo", "Data", C4_KEYED, CLIENT_INFO_TAG, s_clientInfo),
    TABLE("ClientEvent", "Data", C4_KEYED, CLIENT_EVENT_TAG, s_clientEvent),
    TABLE("ManualScanLog", "Log", C4_LOG, SCAN_LOG_TAG, s_scanLog),
    TABLE("RealtimeScanLog", "Log", C4_LOG, SCAN_LOG_TAG, s_scanLog),
    TABLE("PrescheduleScanLog", "Log", C4_LOG, SCAN_LOG_TAG, s_scanLog),
    TABLE("ScanNowLog", "Log", C4_LOG, SCAN_LOG_TAG, s_scanLog),
};

// ---- errors ----

void setError(int nError)
{
    if (g_tlsError != TLS_OUT_OF_INDEXES)
        TlsSetValue(g_tlsError, (LPVOID)(INT_PTR)nError);
}

int fromSqlite(int rc)
{
    switch (rc & 0xFF)
    {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return LEDRA_OK;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return LEDRA_E_BUSY;
    case SQLITE_NOMEM:
        return LEDRA_E_MEMORY;
    case SQLITE_READONLY:
        return LEDRA_E_READONLY;
    case SQLITE_IOERR:
        switch (rc)
        {
        case SQLITE_IOERR_READ:
        case SQLITE_IOERR_SHORT_READ:
            return LEDRA_E_READ;
        case SQLITE_IOERR_LOCK:
        case SQLITE_IOERR_RDLOCK:
        case SQLITE_IOERR_UNLOCK:
        case SQLITE_IOERR_CHECKRESERVEDLOCK:
            return LEDRA_E_LOCK;
        default:
            return LEDRA_E_WRITE;
        }
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return LEDRA_E_DAMAGED;
    case SQLITE_FULL:
        return LEDRA_E_FULL;
    case SQLITE_CANTOPEN:
        return LEDRA_E_OPEN;
    case SQLITE_PROTOCOL:
        return LEDRA_E_LOCK;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return LEDRA_E_ACCESS;
    case SQLITE_ERROR:
        return LEDRA_E_LAYOUT;
    case SQLITE_INTERNAL:
    case SQLITE_MISUSE:
    case SQLITE_SCHEMA:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
    case SQLITE_CONSTRAINT:
        return LEDRA_E_ENGINE;
    default:
        return LEDRA_E_UNKNOWN;
    }
}

// Thrown inside an operation; the operation's boundary turns it into the result.
struct CFailure
{
    int nError;
};

void fail(int nError)
{
    throw CFailure{nError};
}

// ---- texts ----

std::wstring toWide(const char* psz, size_t cb, UINT nCodePage)
{
    if (cb == 0)
        return std::wstring();
    int cch = MultiByteToWideChar(nCodePage, 0, psz, (int)cb, NULL, 0);
    if (cch <= 0)
        return std::wstring();
    std::wstring str(cch, L'\0');
    MultiByteToWideChar(nCodePage, 0, psz, (int)cb, &str[0], cch);
    return str;
}

std::string fromWide(const std::wstring& str, UINT nCodePage)
{
    if (str.empty())
        return std::string();
    int cb = WideCharToMultiByte(nCodePage, 0, str.data(), (int)str.size(), NULL, 0, NULL, NULL);
    if (cb <= 0)
        return std::string();
    std::string out(cb, '\0');
    WideCharToMultiByte(nCodePage, 0, str.data(), (int)str.size(), &out[0], cb, NULL, NULL);
    return out;
}

// The text of a record field, read within its buffer: at most cb - 1 bytes.
std::string fieldText(const char* psz, int cb)
{
    if (psz == NULL)
        return std::string();
    size_t n = 0;
    while (n < (size_t)cb - 1 && psz[n] != '\0')
        n++;
    return fromWide(toWide(psz, n, CP_ACP), CP_UTF8);
}

// Copies a stored (UTF-8) text into a field buffer of cb bytes, cut at a character boundary.
void putText(char* pszOut, int cb, const unsigned char* pszUtf8, int cbUtf8)
{
    if (pszOut == NULL || cb <= 0)
        return;
    std::string str = fromWide(toWide((const char*)pszUtf8, cbUtf8 > 0 ? cbUtf8 : 0, CP_UTF8), CP_ACP);
    size_t nKeep = 0;
    while (nKeep < str.size())
    {
        size_t nNext = nKeep + (IsDBCSLeadByte((BYTE)str[nKeep]) && nKeep + 1 < str.size() ? 2 : 1);
        if (nNext > (size_t)cb - 1)
            break;
        nKeep = nNext;
    }
    memcpy(pszOut, str.data(), nKeep);
    pszOut[nKeep] = '\0';
}

std::string recordGuid(const C4TABLE& table, const void* pRecord)
{
    const C4FIELD& field = table.pFields[0];
    const char* psz = *(char* const*)((const char*)pRecord + field.nOffset);
    return fieldText(psz, field.cbText);
}

const char* orNull(const char* psz)
{
    return psz ? psz : "(null)";
}

// ---- SQL ----

std::string quoted(const char* pszName)
{
    return std::string("\"") + pszName + "\"";
}

std::string columnList(const C4TABLE& table)
{
    std::string str;
    for (int i = 0; i < table.nFields; i++)
    {
        if (i)
            str += ", ";
        str += table.pFields[i].pszName;
    }
    return str;
}

std::string createSql(const C4TABLE& table)
{
    std::string str = "CREATE TABLE IF NOT EXISTS " + quoted(table.pszName) + " (";
    if (table.nKind == C4_LOG)
        str += "ID INTEGER PRIMARY KEY AUTOINCREMENT, ";
    for (int i = 0; i < table.nFields; i++)
    {
        const C4FIELD& field = table.pFields[i];
        if (i)
            str += ", ";
        str += field.pszName;
        if (i == 0)
            str += table.nKind == C4_KEYED ? " TEXT NOT NULL COLLATE NOCASE PRIMARY KEY"
                                           : " TEXT NOT NULL COLLATE NOCASE";
        else if (field.nKind == C4_TEXT)
            str += " TEXT NOT NULL DEFAULT ''";
        else if (field.nKind == C4_INT)
            str += " INTEGER NOT NULL DEFAULT 0";
        else
            str += " REAL NOT NULL DEFAULT 0";
    }
    str += ");";
    if (table.nKind == C4_LOG)
        str += "CREATE INDEX IF NOT EXISTS " + quoted((std::string(table.pszName) + "_GUID").c_str()) +
               " ON " + quoted(table.pszName) + " (GUID);";
    return str;
}

// How long a call waits for another process's lock: C4_BUSY_WAIT_MS, or the milliseconds
// VGL_LEDRA_BUSY_MS names (tests).
int busyWait()
{
    char szValue[16] = "";
    if (GetEnvironmentVariableA("VGL_LEDRA_BUSY_MS", szValue, sizeof(szValue)) && atoi(szValue) > 0)
        return atoi(szValue);
    return C4_BUSY_WAIT_MS;
}

// One open database file for the length of one operation.
class CDatabase
{
public:
    CDatabase(const C4TABLE& table, const char* pszFolder) : m_db(NULL), m_fInTransaction(false)
    {
        if (pszFolder == NULL || *pszFolder == '\0')
            fail(LEDRA_E_ARGUMENT);
        DWORD dwAttributes = GetFileAttributesA(pszFolder);
        if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
            fail(LEDRA_E_FOLDER);
        std::string strPath = FilePath(table, pszFolder);
        std::string strUtf8 = fromWide(toWide(strPath.data(), strPath.size(), CP_ACP), CP_UTF8);
        int rc = sqlite3_open_v2(strUtf8.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 NULL);
        if (rc == SQLITE_OK)
        {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_timeout(m_db, busyWait());
            // A rollback journal beside the file, flushed before every commit.
            rc = sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;", NULL,
                              NULL, NULL);
            if (rc != SQLITE_OK)
                rc = sqlite3_extended_errcode(m_db);
        }
        if (rc != SQLITE_OK)
        {
            sqlite3_close_v2(m_db);
            m_db = NULL;
            int nError = fromSqlite(rc);
            fail(nError == LEDRA_E_LAYOUT ? LEDRA_E_OPEN : nError);
        }
    }

    ~CDatabase()
    {
        if (m_fInTransaction)
            sqlite3_exec(m_db, "ROLLBACK", NULL, NULL, NULL);
        sqlite3_close_v2(m_db);
    }

    sqlite3* Handle() const { return m_db; }

    static std::string FilePath(const C4TABLE& table, const char* pszFolder)
    {
        std::string strPath = pszFolder;
        if (!strPath.empty() && strPath[strPath.size() - 1] != '\\' && strPath[strPath.size() - 1] != '/')
            strPath += '\\';
        return strPath + table.pszName + ".db";
    }

    void Exec(const std::string& strSql)
    {
        int rc = sqlite3_exec(m_db, strSql.c_str(), NULL, NULL, NULL);
        if (rc != SQLITE_OK)
            fail(fromSqlite(sqlite3_extended_errcode(m_db)));
    }

    // fWrite: takes the write lock at once, so two writers never both wait to upgrade.
    void Begin(bool fWrite)
    {
        Exec(fWrite ? "BEGIN IMMEDIATE" : "BEGIN");
        m_fInTransaction = true;
    }

    void Commit()
    {
        Exec("COMMIT");
        m_fInTransaction = false;
    }

private:
    sqlite3* m_db;
    bool m_fInTransaction;
};

class CStatement
{
public:
    CStatement(CDatabase& db, const std::string& strSql) : m_db(db), m_pStmt(NULL)
    {
        int rc = sqlite3_prepare_v2(db.Handle(), strSql.c_str(), -1, &m_pStmt, NULL);
        if (rc != SQLITE_OK)
            fail(fromSqlite(sqlite3_extended_errcode(db.Handle())));
    }
    ~CStatement() { sqlite3_finalize(m_pStmt); }

    sqlite3_stmt* Handle() const { return m_pStmt; }

    void BindText(int nIndex, const std::string& str)
    {
        Check(sqlite3_bind_text(m_pStmt, nIndex, str.c_str(), (int)str.size(), SQLITE_TRANSIENT));
    }

    // Binds every field of the record, from parameter nFirst on.
    void BindRecord(const C4TABLE& table, const void* pRecord, int nFirst)
    {
        const char* pBase = (const char*)pRecord;
        for (int i = 0; i < table.nFields; i++)
        {
            const C4FIELD& field = table.pFields[i];
            int nIndex = nFirst + i;
            if (field.nKind == C4_TEXT)
                BindText(nIndex, fieldText(*(char* const*)(pBase + field.nOffset), field.cbText));
            else if (field.nKind == C4_INT)
                Check(sqlite3_bind_int(m_pStmt, nIndex, *(const int*)(pBase + field.nOffset)));
            else
                Check(sqlite3_bind_double(m_pStmt, nIndex, *(const float*)(pBase + field.nOffset)));
        }
    }

    // The current row's columns from nFirst on into the record's fields and buffers;
    // fKeepGuid leaves the GUID field as it is.
    void ReadRecord(const C4TABLE& table, void* pRecord, int nFirst, bool fKeepGuid)
    {
        char* pBase = (char*)pRecord;
        for (int i = fKeepGuid ? 1 : 0; i < table.nFields; i++)
        {
            const C4FIELD& field = table.pFields[i];
            int nColumn = nFirst + i;
            if (field.nKind == C4_TEXT)
                putText(*(char**)(pBase + field.nOffset), field.cbText,
                        sqlite3_column_text(m_pStmt, nColumn), sqlite3_column_bytes(m_pStmt, nColumn));
            else if (field.nKind == C4_INT)
                *(int*)(pBase + field.nOffset) = sqlite3_column_int(m_pStmt, nColumn);
            else
                *(float*)(pBase + field.nOffset) = (float)sqlite3_column_double(m_pStmt, nColumn);
        }
    }

    // true: a row; false: done.
    bool Step()
    {
        int rc = sqlite3_step(m_pStmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(fromSqlite(sqlite3_extended_errcode(m_db.Handle())));
        return false;
    }

private:
    void Check(int rc)
    {
        if (rc != SQLITE_OK)
            fail(fromSqlite(rc));
    }

    CDatabase& m_db;
    sqlite3_stmt* m_pStmt;
};

const C4TABLE& tableOf(int nTable, int nKind)
{
    if (nTable < 0 || nTable >= C4T_COUNT)
        fail(LEDRA_E_TABLE);
    const C4TABLE& table = s_tables[nTable];
    if (nKind && table.nKind != nKind)
        fail(LEDRA_E_TABLE);
    return table;
}

// The GUID of a record passed in; an empty one is refused.
std::string requireGuid(const C4TABLE& table, const void* pRecord)
{
    if (pRecord == NULL)
        fail(LEDRA_E_ARGUMENT);
    std::string strGuid = recordGuid(table, pRecord);
    if (strGuid.empty())
        fail(LEDRA_E_ARGUMENT);
    return strGuid;
}

enum Operation
{
    OP_RETRIEVE,
    OP_UPDATE,
    OP_REMOVE,
    OP_APPEND,
    OP_REMOVE_ALL
};

void run(Operation op, int nTable, const char* pszFolder, void* pRecord)
{
    const C4TABLE& table = tableOf(nTable, op == OP_APPEND || op == OP_REMOVE_ALL ? C4_LOG : C4_KEYED);
    std::string strGuid = requireGuid(table, pRecord);
    CDatabase db(table, pszFolder);
    std::string strTable = quoted(table.pszName);
    switch (op)
    {
    case OP_RETRIEVE:
    {
        db.Begin(false);
        db.Exec(createSql(table));
        CStatement select(db, "SELECT " + columnList(table) + " FROM " + strTable + " WHERE GUID = ?1");
        select.BindText(1, strGuid);
        if (!select.Step())
            fail(LEDRA_E_NOT_FOUND);
        // The GUID buffer keeps the caller's text.
        select.ReadRecord(table, pRecord, 0, true);
        db.Commit();
        break;
    }
    case OP_UPDATE:
    case OP_APPEND:
    {
        db.Begin(true);
        db.Exec(createSql(table));
        std::string strSql = "INSERT INTO " + strTable + " (" + columnList(table) + ") VALUES (";
        for (int i = 0; i < table.nFields; i++)
            strSql += i ? ", ?" : "?";
        strSql += ")";
        // A client's record is replaced whole; its GUID keeps the text it was first written with.
        if (op == OP_UPDATE)
        {
            strSql += " ON CONFLICT (GUID) DO UPDATE SET ";
            for (int i = 1; i < table.nFields; i++)
                strSql += std::string(i > 1 ? ", " : "") + table.pFields[i].pszName + " = excluded." +
                          table.pFields[i].pszName;
        }
        CStatement insert(db, strSql);
        insert.BindRecord(table, pRecord, 1);
        insert.Step();
        db.Commit();
        break;
    }
    case OP_REMOVE:
    case OP_REMOVE_ALL:
    {
        db.Begin(true);
        db.Exec(createSql(table));
        CStatement remove(db, "DELETE FROM " + strTable + " WHERE GUID = ?1");
        remove.BindText(1, strGuid);
        remove.Step();
        int nRemoved = sqlite3_changes(db.Handle());
        db.Commit();
        if (op == OP_REMOVE && nRemoved == 0)
            fail(LEDRA_E_NOT_FOUND);
        break;
    }
    }
}

int guarded(const char* pszCaller, Operation op, int nTable, const char* pszFolder, void* pRecord)
{
    int nError = LEDRA_OK;
    try
    {
        run(op, nTable, pszFolder, pRecord);
    }
    catch (const CFailure& failure)
    {
        nError = failure.nError;
    }
    catch (const std::bad_alloc&)
    {
        nError = LEDRA_E_MEMORY;
    }
    catch (...)
    {
        nError = LEDRA_E_UNKNOWN;
    }
    setError(nError);
    std::string strGuid;
    if (pRecord && nTable >= 0 && nTable < C4T_COUNT)
        strGuid = recordGuid(s_tables[nTable], pRecord);
    if (nError == LEDRA_OK)
        g_journal.Write("%s(%s, %s) = 1", pszCaller ? pszCaller : "c4", orNull(pszFolder), strGuid.c_str());
    else
        g_journal.Write("%s(%s, %s) = 0, error %d", pszCaller ? pszCaller : "c4", orNull(pszFolder),
                        strGuid.c_str(), nError);
    return nError == LEDRA_OK ? 1 : 0;
}

// Buffers for the texts of one enumerated record.
struct CRecordBuffers
{
    explicit CRecordBuffers(const C4TABLE& table) : record(table.cbRecord, 0)
    {
        texts.reserve(table.nFields);
        for (int i = 0; i < table.nFields; i++)
        {
            const C4FIELD& field = table.pFields[i];
            if (field.nKind != C4_TEXT)
                continue;
            texts.push_back(std::vector<char>(field.cbText, 0));
            *(char**)(&record[0] + field.nOffset) = &texts.back()[0];
        }
    }
    std::vector<char> record;
    std::vector<std::vector<char> > texts;   // reserved up front: the pointers stay put
};
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        g_tlsError = TlsAlloc();
    else if (dwReason == DLL_PROCESS_DETACH && g_tlsError != TLS_OUT_OF_INDEXES)
        TlsFree(g_tlsError);
    return TRUE;
}

const C4TABLE* C4API c4GetTable(int nTable)
{
    return nTable >= 0 && nTable < C4T_COUNT ? &s_tables[nTable] : NULL;
}

int C4API c4Retrieve(const char* pszCaller, int nTable, const char* pszFolder, void* pRecord)
{
    return guarded(pszCaller, OP_RETRIEVE, nTable, pszFolder, pRecord);
}

int C4API c4Update(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord)
{
    return guarded(pszCaller, OP_UPDATE, nTable, pszFolder, (void*)pRecord);
}

int C4API c4Remove(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord)
{
    return guarded(pszCaller, OP_REMOVE, nTable, pszFolder, (void*)pRecord);
}

int C4API c4Append(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord)
{
    return guarded(pszCaller, OP_APPEND, nTable, pszFolder, (void*)pRecord);
}

int C4API c4RemoveAll(const char* pszCaller, int nTable, const char* pszFolder, const void* pRecord)
{
    return guarded(pszCaller, OP_REMOVE_ALL, nTable, pszFolder, (void*)pRecord);
}

int C4API c4Enumerate(int nTable, const char* pszFolder, const char* pszGuid, C4ENUMPROC pfn,
                      void* pvContext)
{
    int nError = LEDRA_OK;
    int nCount = 0;
    try
    {
        const C4TABLE& table = tableOf(nTable, 0);
        if (pfn == NULL)
            fail(LEDRA_E_ARGUMENT);
        CDatabase db(table, pszFolder);
        db.Begin(false);
        db.Exec(createSql(table));
        std::string strSql = "SELECT " + std::string(table.nKind == C4_LOG ? "ID" : "0") + ", " +
                             columnList(table) + " FROM " + quoted(table.pszName);
        if (pszGuid)
            strSql += " WHERE GUID = ?1";
        strSql += table.nKind == C4_LOG ? " ORDER BY ID" : " ORDER BY GUID";
        CStatement select(db, strSql);
        if (pszGuid)
            select.BindText(1, fieldText(pszGuid, LEDRA_CB_GUID));
        CRecordBuffers buffers(table);
        while (select.Step())
        {
            select.ReadRecord(table, &buffers.record[0], 1, false);
            nCount++;
            if (pfn(pvContext, sqlite3_column_int64(select.Handle(), 0), &buffers.record[0]))
                break;
        }
        db.Commit();
    }
    catch (const CFailure& failure)
    {
        nError = failure.nError;
    }
    catch (...)
    {
        nError = LEDRA_E_UNKNOWN;
    }
    setError(nError);
    return nError == LEDRA_OK ? nCount : -1;
}

int C4API c4RemoveId(int nTable, const char* pszFolder, long long nId)
{
    int nError = LEDRA_OK;
    try
    {
        const C4TABLE& table = tableOf(nTable, C4_LOG);
        CDatabase db(table, pszFolder);
        db.Begin(true);
        db.Exec(createSql(table));
        CStatement remove(db, "DELETE FROM " + quoted(table.pszName) + " WHERE ID = ?1");
        sqlite3_bind_int64(remove.Handle(), 1, nId);
        remove.Step();
        int nRemoved = sqlite3_changes(db.Handle());
        db.Commit();
        if (nRemoved == 0)
            fail(LEDRA_E_NOT_FOUND);
    }
    catch (const CFailure& failure)
    {
        nError = failure.nError;
    }
    catch (...)
    {
        nError = LEDRA_E_UNKNOWN;
    }
    setError(nError);
    g_journal.Write("c4RemoveId(%s, %d, %lld) = %d", orNull(pszFolder), nTable, nId, nError);
    return nError == LEDRA_OK ? 1 : 0;
}

int C4API c4Check(int nTable, const char* pszFolder)
{
    int nError = LEDRA_OK;
    try
    {
        const C4TABLE& table = tableOf(nTable, 0);
        if (pszFolder && GetFileAttributesA(CDatabase::FilePath(table, pszFolder).c_str()) ==
                             INVALID_FILE_ATTRIBUTES)
        {
            setError(LEDRA_OK);
            return 1;
        }
        CDatabase db(table, pszFolder);
        CStatement check(db, "PRAGMA integrity_check");
        if (!check.Step())
            fail(LEDRA_E_DAMAGED);
        const unsigned char* pszResult = sqlite3_column_text(check.Handle(), 0);
        if (pszResult == NULL || strcmp((const char*)pszResult, "ok") != 0)
            fail(LEDRA_E_DAMAGED);
    }
    catch (const CFailure& failure)
    {
        nError = failure.nError;
    }
    catch (...)
    {
        nError = LEDRA_E_UNKNOWN;
    }
    setError(nError);
    return nError == LEDRA_OK ? 1 : 0;
}

int C4API c4GetLastError(void)
{
    if (g_tlsError == TLS_OUT_OF_INDEXES)
        return LEDRA_E_UNKNOWN;
    return (int)(INT_PTR)TlsGetValue(g_tlsError);
}
}
