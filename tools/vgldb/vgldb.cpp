// vgldb: lists and edits the records of the file-based database in a master folder, as
// the server's console would, through the database libraries.
//
//   vgldb init MASTER                          creates MASTER\FILEDB\Config, Data and Log
//   vgldb tables                               the tables, their short names and fields
//   vgldb list MASTER TABLE [GUID]             one line a record: [ID=n] FIELD=value ...
//   vgldb set MASTER TABLE GUID FIELD=VALUE... changes fields of the client's record (a new
//                                              record starts from zeros and empty texts)
//   vgldb add MASTER TABLE GUID FIELD=VALUE... adds a record to a log
//   vgldb remove MASTER TABLE GUID             removes the client's record, or all its log records
//   vgldb check MASTER                         checks every table's file
//   vgldb load MASTER GUID COUNT               writes COUNT rounds as a busy client would
//                                              (client information, event, a virus log
//                                              record) and prints the time taken
//
// TABLE is a table name or its short name (MS, RT, SN, PS, EF, CI, CE, MSL, RTL, PSL, SNL),
// without regard to case. Exit code 0 on success, 1 when a database call failed, 2 on a
// wrong command line.
#include <windows.h>

#include "c4dll.h"
#include "ledra.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
const char* const s_shortNames[C4T_COUNT] = {"MS", "RT", "SN", "PS", "EF", "CI",
                                             "CE", "MSL", "RTL", "PSL", "SNL"};

const char* errorText(int nError)
{
    switch (nError)
    {
    case LEDRA_OK: return "no error";
    case LEDRA_E_ARGUMENT: return "missing or invalid argument";
    case LEDRA_E_FOLDER: return "the database folder does not exist";
    case LEDRA_E_OPEN: return "a database file cannot be opened";
    case LEDRA_E_BUSY: return "the database is busy";
    case LEDRA_E_DAMAGED: return "a database file is damaged";
    case LEDRA_E_READ: return "read error";
    case LEDRA_E_WRITE: return "write error";
    case LEDRA_E_NOT_FOUND: return "no such record";
    case LEDRA_E_MEMORY: return "out of memory";
    case LEDRA_E_FULL: return "the disk is full";
    case LEDRA_E_ACCESS: return "access denied";
    case LEDRA_E_LAYOUT: return "a database file holds another table layout";
    case LEDRA_E_ENGINE: return "the database engine failed";
    case LEDRA_E_TABLE: return "no such table";
    case LEDRA_E_READONLY: return "read-only";
    case LEDRA_E_LOCK: return "the file's locks cannot be taken";
    default: return "unknown error";
    }
}

int failed(const char* pszWhat)
{
    int nError = c4GetLastError();
    fprintf(stderr, "vgldb: %s failed: error %d (%s)\n", pszWhat, nError, errorText(nError));
    return 1;
}

int usage()
{
    fprintf(stderr,
            "usage: vgldb init MASTER | tables | list MASTER TABLE [GUID] |\n"
            "       set MASTER TABLE GUID FIELD=VALUE... | add MASTER TABLE GUID FIELD=VALUE... |\n"
            "       remove MASTER TABLE GUID | check MASTER | load MASTER GUID COUNT\n");
    return 2;
}

int findTable(const char* pszName)
{
    for (int i = 0; i < C4T_COUNT; i++)
        if (_stricmp(pszName, c4GetTable(i)->pszName) == 0 || _stricmp(pszName, s_shortNames[i]) == 0)
            return i;
    return -1;
}

std::string folderOf(const std::string& strMaster, const C4TABLE& table)
{
    return strMaster + "\\FILEDB\\" + table.pszFolder;
}

// A record of a table with text buffers of its own.
class CRecord
{
public:
    explicit CRecord(const C4TABLE& table) : m_table(table), m_record(table.cbRecord, 0)
    {
        m_texts.reserve(table.nFields);
        for (int i = 0; i < table.nFields; i++)
        {
            const C4FIELD& field = table.pFields[i];
            if (field.nKind != C4_TEXT)
                continue;
            m_texts.push_back(std::vector<char>(field.cbText, 0));
            *(char**)(&m_record[0] + field.nOffset) = &m_texts.back()[0];
        }
    }

    void* Get() { return &m_record[0]; }

    // "NAME=value" into its field; false for an unknown field or a text that does not fit.
    bool Assign(const char* pszAssignment)
    {
        const char* pszEquals = strchr(pszAssignment, '=');
        if (pszEquals == NULL)
            return false;
        std::string strName(pszAssignment, pszEquals - pszAssignment);
        const char* pszValue = pszEquals + 1;
        for (int i = 1; i < m_table.nFields; i++)
        {
            const C4FIELD& field = m_table.pFields[i];
            if (_stricmp(strName.c_str(), field.pszName) != 0)
                continue;
            char* p = &m_record[0] + field.nOffset;
            if (field.nKind == C4_TEXT)
            {
                if (strlen(pszValue) >= (size_t)field.cbText)
                {
                    fprintf(stderr, "vgldb: %s holds at most %d characters\n", field.pszName,
                            field.cbText - 1);
                    return false;
                }
                strcpy(*(char**)p, pszValue);
            }
            else if (field.nKind == C4_INT)
                *(int*)p = atoi(pszValue);
            else
                *(float*)p = (float)atof(pszValue);
            return true;
        }
        fprintf(stderr, "vgldb: %s has no field %s\n", m_table.pszName, strName.c_str());
        return false;
    }

    bool SetGuid(const char* pszGuid)
    {
        if (strlen(pszGuid) >= LEDRA_CB_GUID)
        {
            fprintf(stderr, "vgldb: a GUID holds at most %d characters\n", LEDRA_CB_GUID - 1);
            return false;
        }
        strcpy(*(char**)&m_record[0], pszGuid);
        return true;
    }

private:
    const C4TABLE& m_table;
    std::vector<char> m_record;
    std::vector<std::vector<char> > m_texts;
};

void printRecord(const C4TABLE& table, long long nId, const void* pRecord)
{
    std::string strLine;
    if (table.nKind == C4_LOG)
        strLine = "ID=" + std::to_string(nId) + "\t";
    for (int i = 0; i < table.nFields; i++)
    {
        const C4FIELD& field = table.pFields[i];
        const char* p = (const char*)pRecord + field.nOffset;
        if (i)
            strLine += "\t";
        strLine += field.pszName;
        strLine += "=";
        if (field.nKind == C4_TEXT)
            strLine += *(char* const*)p;
        else if (field.nKind == C4_INT)
            strLine += std::to_string(*(const int*)p);
        else
        {
            char sz[32];
            sprintf(sz, "%.2f", *(const float*)p);
            strLine += sz;
        }
    }
    printf("%s\n", strLine.c_str());
}

int C4API printOne(void* pvTable, long long nId, const void* pRecord)
{
    printRecord(*(const C4TABLE*)pvTable, nId, pRecord);
    return 0;
}

int init(const std::string& strMaster)
{
    std::string strFileDb = strMaster + "\\FILEDB";
    CreateDirectoryA(strMaster.c_str(), NULL);
    CreateDirectoryA(strFileDb.c_str(), NULL);
    int nResult = 0;
    for (const char* pszName : {"Config", "Data", "Log"})
    {
        std::string strFolder = strFileDb + "\\" + pszName;
        CreateDirectoryA(strFolder.c_str(), NULL);
        DWORD dwAttributes = GetFileAttributesA(strFolder.c_str());
        if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            fprintf(stderr, "vgldb: cannot create %s\n", strFolder.c_str());
            nResult = 1;
        }
    }
    return nResult;
}

int tables()
{
    for (int i = 0; i < C4T_COUNT; i++)
    {
        const C4TABLE& table = *c4GetTable(i);
        printf("%s (%s) in FILEDB\\%s, %s:", table.pszName, s_shortNames[i], table.pszFolder,
               table.nKind == C4_KEYED ? "one record per client" : "a log");
        for (int f = 0; f < table.nFields; f++)
            printf(" %s", table.pFields[f].pszName);
        printf("\n");
    }
    return 0;
}

int edit(const char* pszCommand, const std::string& strMaster, const C4TABLE& table, int nTable,
         const char* pszGuid, int nAssignments, char** ppszAssignments)
{
    std::string strFolder = folderOf(strMaster, table);
    CRecord record(table);
    if (!record.SetGuid(pszGuid))
        return 2;
    bool fSet = strcmp(pszCommand, "set") == 0;
    if (fSet != (table.nKind == C4_KEYED))
    {
        fprintf(stderr, "vgldb: %s: use %s\n", table.pszName, fSet ? "add" : "set");
        return 2;
    }
    if (fSet && !c4Retrieve("vgldb", nTable, strFolder.c_str(), record.Get()) &&
        c4GetLastError() != LEDRA_E_NOT_FOUND)
        return failed("reading the record");
    for (int i = 0; i < nAssignments; i++)
        if (!record.Assign(ppszAssignments[i]))
            return 2;
    int fOk = fSet ? c4Update("vgldb", nTable, strFolder.c_str(), record.Get())
                   : c4Append("vgldb", nTable, strFolder.c_str(), record.Get());
    return fOk ? 0 : failed("writing the record");
}

int check(const std::string& strMaster)
{
    int nResult = 0;
    for (int i = 0; i < C4T_COUNT; i++)
    {
        const C4TABLE& table = *c4GetTable(i);
        std::string strFolder = folderOf(strMaster, table);
        if (c4Check(i, strFolder.c_str()))
            printf("%s: ok\n", table.pszName);
        else
        {
            int nError = c4GetLastError();
            printf("%s: error %d (%s)\n", table.pszName, nError, errorText(nError));
            nResult = 1;
        }
    }
    return nResult;
}

// Round i of a busy client: its information record, its event record and one virus-log
// record, each filled with texts and numbers that carry i, so a reader can tell a whole
// record from a torn one.
int load(const std::string& strMaster, const char* pszGuid, int nCount)
{
    std::string strData = strMaster + "\\FILEDB\\Data", strLog = strMaster + "\\FILEDB\\Log";
    char szGuid[LEDRA_CB_GUID] = "";
    lstrcpynA(szGuid, pszGuid, sizeof(szGuid));
    DWORD dwStart = GetTickCount();
    for (int i = 1; i <= nCount; i++)
    {
        char szRound[32], szComputer[LEDRA_CB_COMPUTER], szDate[LEDRA_CB_DATE], szTime[LEDRA_CB_TIME];
        char szVirus[LEDRA_CB_VIRUS], szFile[LEDRA_CB_FILE], szDirectory[LEDRA_CB_DIRECTORY];
        char szEmpty[LEDRA_CB_DIRECTORY] = "";
        sprintf(szRound, "%d", i);
        sprintf(szComputer, "PC-%d", i);
        sprintf(szDate, "%08d", i);
        sprintf(szTime, "%06d", i % 1000000);
        sprintf(szVirus, "Load.%d", i);
        sprintf(szFile, "file%d.exe", i);
        sprintf(szDirectory, "C:\\round\\%d\\", i);

        CLIENT_INFO_TAG info = {szGuid, szComputer, szRound, szEmpty, szRound, i, (float)i,
                                szRound, szEmpty, i, i, i, 0};
        if (!DatabaseCIUpdateRecord(&strData[0], &info))
            return failed("DatabaseCIUpdateRecord");
        CLIENT_EVENT_TAG event = {};
        event.m_pszGUID_F = szGuid;
        for (int s = 0; s < LEDRA_EVENT_SLOTS; s++)
        {
            event.m_aSLOT_F[s].m_pszDATE_F = szDate;
            event.m_aSLOT_F[s].m_pszTIME_F = szTime;
        }
        event.m_nONLINE_F = i;
        if (!DatabaseCEUpdateRecord(&strData[0], &event))
            return failed("DatabaseCEUpdateRecord");
        SCAN_LOG_TAG log = {szGuid, szRound, szDate, szTime, szVirus, szFile, szFile, szDirectory,
                            i, i, i, i};
        if (!DatabaseRTLAddNewRecord(&strLog[0], &log))
            return failed("DatabaseRTLAddNewRecord");
        // Where a watcher can see the progress.
        printf("round %d\n", i);
        fflush(stdout);
    }
    DWORD dwMs = GetTickCount() - dwStart;
    printf("%d rounds (3 writes each) in %lu ms: %.2f ms a write\n", nCount, dwMs,
           nCount ? (double)dwMs / (3.0 * nCount) : 0.0);
    return 0;
}
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    std::string strCommand = argv[1];
    if (strCommand == "tables" && argc == 2)
        return tables();
    if (argc < 3)
        return usage();
    std::string strMaster = argv[2];
    while (strMaster.size() > 3 && (strMaster.back() == '\\' || strMaster.back() == '/'))
        strMaster.pop_back();
    if (strCommand == "init" && argc == 3)
        return init(strMaster);
    if (strCommand == "check" && argc == 3)
        return check(strMaster);
    if (strCommand == "load" && argc == 5)
        return load(strMaster, argv[3], atoi(argv[4]));
    if (argc < 4)
        return usage();
    int nTable = findTable(argv[3]);
    if (nTable < 0)
    {
        fprintf(stderr, "vgldb: no table %s (see vgldb tables)\n", argv[3]);
        return 2;
    }
    const C4TABLE& table = *c4GetTable(nTable);
    std::string strFolder = folderOf(strMaster, table);
    if (strCommand == "list" && argc <= 5)
    {
        int nCount = c4Enumerate(nTable, strFolder.c_str(), argc == 5 ? argv[4] : NULL, printOne,
                                 (void*)&table);
        return nCount < 0 ? failed("listing") : 0;
    }
    if ((strCommand == "set" || strCommand == "add") && argc >= 5)
        return edit(strCommand.c_str(), strMaster, table, nTable, argv[4], argc - 5, argv + 5);
    if (strCommand == "remove" && argc == 5)
    {
        CRecord record(table);
        if (!record.SetGuid(argv[4]))
            return 2;
        int fOk = table.nKind == C4_KEYED ? c4Remove("vgldb", nTable, strFolder.c_str(), record.Get())
                                          : c4RemoveAll("vgldb", nTable, strFolder.c_str(), record.Get());
        return fOk ? 0 : failed("removing");
    }
    return usage();
}
