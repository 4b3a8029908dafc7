// The client's own records in the file-based database: its information record (the PC and
// its versions), its event record (the time of the latest event of each kind) and one log
// record per virus found.
#ifndef VGL_DATABASECLIENTRECORDS_H
#define VGL_DATABASECLIENTRECORDS_H

#include "afx.h"

#include "ledra.h"

class CLogReportItem;

// Status-log types that fill a slot of the event record.
enum
{
    EVENT_TYPE_SETTINGS = 5,     // slot 8: a new client's first settings
    EVENT_TYPE_START = 6,        // slot 10
    EVENT_TYPE_CLOSE = 7         // slot 9
};

class SClientInfo
{
public:
    SClientInfo();

    // Renews the client's record in the data folder: the PC's name, platform and versions;
    // a record that was found keeps the server's permissions, a new one takes the client's
    // and is followed by the client's configuration records and a first-settings event.
    int UpdateStatus(const CString& strFolder, const CString& strGuid);

    CLIENT_INFO_TAG m_record;

private:
    char m_szGUID[LEDRA_CB_GUID];
    char m_szComputerName[LEDRA_CB_COMPUTER];
    char m_szPlatform[LEDRA_CB_PLATFORM];
    char m_szField4[LEDRA_CB_CI_FIELD4];
    char m_szDomain[LEDRA_CB_DOMAIN];
    char m_szDriverVersion[LEDRA_CB_DRIVER_VERSION];
    char m_szField9[LEDRA_CB_CI_FIELD9];
};

class SStatusLog
{
public:
    SStatusLog();

    // Writes the time into the slot of the status type (and the online flag) of the
    // client's event record, created when missing. Returns the write's result.
    int UpdateStatus(const CString& strFolder, const CString& strGuid, int nType, const CTime& time);

    // The slot a status type fills, -1 for none; the online flag it sets, -1 to leave it.
    static int SlotOfType(int nType);
    static int OnlineOfType(int nType);

    CLIENT_EVENT_TAG m_record;

private:
    char m_szGUID[LEDRA_CB_GUID];
    char m_aszDate[LEDRA_EVENT_SLOTS][LEDRA_CB_DATE];
    char m_aszTime[LEDRA_EVENT_SLOTS][LEDRA_CB_TIME];
};

// One virus-log record; each kind of scan has a log of its own.
class SScanLog
{
public:
    SScanLog();
    virtual ~SScanLog();

    // The item into the log folder: the library's result.
    virtual int AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item) = 0;

    SCAN_LOG_TAG m_record;

protected:
    typedef int(LEDRAAPI* PFN_ADD)(char*, SCAN_LOG_TAG*);
    int Add(PFN_ADD pfnAdd, const char* pszName, const CString& strFolder, const CString& strGuid,
            const CLogReportItem& item);

private:
    char m_szGUID[LEDRA_CB_GUID];
    char m_szLogin[LEDRA_CB_LOGIN];
    char m_szDate[LEDRA_CB_DATE];
    char m_szTime[LEDRA_CB_TIME];
    char m_szVirus[LEDRA_CB_VIRUS];
    char m_szFile[LEDRA_CB_FILE];
    char m_szCompressedFile[LEDRA_CB_COMPRESSED_FILE];
    char m_szDirectory[LEDRA_CB_DIRECTORY];
};

class SManualScanLog : public SScanLog
{
public:
    virtual int AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item);
};

class SRealtimeScanLog : public SScanLog
{
public:
    virtual int AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item);
};

class SScheduleScanLog : public SScanLog
{
public:
    virtual int AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item);
};

class SRemoteScanLog : public SScanLog
{
public:
    virtual int AddRecord(const CString& strFolder, const CString& strGuid, const CLogReportItem& item);
};

#endif
