// File-based mode: the uninstall program's own glue to the server's database libraries.
// It only removes: every record of this client (selected by its GUID) from the configuration,
// client and scan-log databases below the master folder. No database lock is taken: the
// client has been stopped before.
#ifndef VGL_UNINSTALLDATABASE_H
#define VGL_UNINSTALLDATABASE_H

#include "afx.h"

#include "ledra.h"

// The database folders below the product key's "MasterDirectory".
CString getFileDbFolder();          // + "FILEDB"
CString getFileDbConfigFolder();    // + "FILEDB\Config"
CString getFileDbDataFolder();      // + "FILEDB\Data"
CString getFileDbLogFolder();       // + "FILEDB\Log"

// The text of DatabaseDataGetLastError's code: string 333 for 0 down to 350 for -17; empty
// for any other code.
CString getDatabaseErrorText();
CString getDatabaseErrorText(int nCode);

// The configuration records. Construction zeroes the record and points its text fields at
// the wrapper's buffers; RemoveRecord copies the GUID, calls the library and traces a failure.
class SCommonScanCfg
{
public:
    SCommonScanCfg();
    virtual int RetrieveRecord(const CString& strMasterDir, const CString& strGuid);
    virtual int RemoveRecord(const CString& strMasterDir, const CString& strGuid);
    virtual int UpdateRecord(const CString& strMasterDir, const CString& strGuid);
    virtual ~SCommonScanCfg();

protected:
    void CopyGuid(const CString& strGuid);

    char m_szGUID[LEDRA_CB_GUID];
    char m_szExtList[LEDRA_CB_CFG_TEXT];
    char m_szMoveDir[LEDRA_CB_CFG_TEXT];
    char m_szCleanFailedMoveDir[LEDRA_CB_CFG_TEXT];
};

class SManualScanCfg : public SCommonScanCfg
{
public:
    SManualScanCfg();
    virtual int RemoveRecord(const CString& strMasterDir, const CString& strGuid);
    MAMUAL_SCAN_CFG_TAG m_record;
};

class SRealtimeScanCfg : public SCommonScanCfg
{
public:
    SRealtimeScanCfg();
    virtual int RemoveRecord(const CString& strMasterDir, const CString& strGuid);
    REALTIME_SCAN_CFG_TAG m_record;
};

class SRemoteScanCfg : public SCommonScanCfg
{
public:
    SRemoteScanCfg();
    virtual int RemoveRecord(const CString& strMasterDir, const CString& strGuid);
    SCAN_NOW_CFG_TAG m_record;
};

class SScheduleScanCfg : public SCommonScanCfg
{
public:
    SScheduleScanCfg();
    virtual int RemoveRecord(const CString& strMasterDir, const CString& strGuid);
    PRESCHEDULE_SCAN_CFG_TAG m_record;
};

class SExclusionFileCfg
{
public:
    SExclusionFileCfg();
    virtual int RetrieveRecord(const CString& strMasterDir, const CString& strGuid);
    virtual int RemoveRecord(const CString& strMasterDir, const CString& strGuid);
    virtual int UpdateRecord(const CString& strMasterDir, const CString& strGuid);
    virtual ~SExclusionFileCfg();

    EXCLUSION_FILE_LIST_TAG m_record;

private:
    char m_szGUID[LEDRA_CB_GUID];
    char m_aszEntries[LEDRA_EXCLUSION_COUNT][LEDRA_CB_EXCLUSION];
};

// The client's information record.
class SClientInfo
{
public:
    SClientInfo();
    int RemoveRecord(const CString& strMasterDir, const CString& strGuid);

    CLIENT_INFO_TAG m_record;

private:
    char m_szGUID[LEDRA_CB_GUID];
    char m_szComputer[LEDRA_CB_COMPUTER];
    char m_szPlatform[LEDRA_CB_PLATFORM];
    char m_szField4[LEDRA_CB_CI_FIELD4];
    char m_szDomain[LEDRA_CB_DOMAIN];
    char m_szDriverVersion[LEDRA_CB_DRIVER_VERSION];
    char m_szField9[LEDRA_CB_CI_FIELD9];
};

// The client's event record.
class SClientEvent
{
public:
    SClientEvent();
    void SetGuid(const CString& strGuid);

    CLIENT_EVENT_TAG m_record;

private:
    char m_szGUID[LEDRA_CB_GUID];
    char m_aszDate[LEDRA_EVENT_SLOTS][LEDRA_CB_DATE];
    char m_aszTime[LEDRA_EVENT_SLOTS][LEDRA_CB_TIME];
};

// One scan log's records of a client: the four logs share the record layout.
class SScanLogRecord
{
public:
    SScanLogRecord();
    void SetGuid(const CString& strGuid);

    SCAN_LOG_TAG m_record;

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

class SManualScanLog : public SScanLogRecord
{
public:
    int RemoveAllRecord(const CString& strMasterDir, const CString& strGuid);
};

class SRealtimeScanLog : public SScanLogRecord
{
public:
    int RemoveAllRecord(const CString& strMasterDir, const CString& strGuid);
};

class SRemoteScanLog : public SScanLogRecord
{
public:
    int RemoveAllRecord(const CString& strMasterDir, const CString& strGuid);
};

class SScheduleScanLog : public SScanLogRecord
{
public:
    int RemoveAllRecord(const CString& strMasterDir, const CString& strGuid);
};

// The four removals of the uninstall sequence, in this order. Each returns TRUE only when
// every library call it made succeeded; a failed call does not stop the calls after it.
BOOL removeClientInfoRecord(const CString& strDataFolder, const CString& strGuid);
BOOL removeClientEventRecord(const CString& strDataFolder, const CString& strGuid);
// Manual, real-time, scheduled, scan-now and exclusion-list configuration.
BOOL removeCfgRecord(const CString& strConfigFolder, const CString& strGuid);
// Manual, real-time, scheduled and scan-now logs.
BOOL removeAllLog(const CString& strLogFolder, const CString& strGuid);

#endif
