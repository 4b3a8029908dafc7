// The scan-configuration records of the file-based database, one per client and kind of
// settings, keyed by the client GUID: each wrapper moves one record between the settings
// objects and the configuration library, and creates a missing record from the client's own
// current settings.
#ifndef VGL_DATABASESCANCFG_H
#define VGL_DATABASESCANCFG_H

#include "afx.h"

#include "ledra.h"

class CCommonScanINI;
class CManualScanINI;
class CRealTimeScanINI;
class CRemoteScanINI;
class CScheduleScanINI;
class CExclusionFileINI;

// Copies the text into a buffer of cb bytes, cut at a character boundary when it is longer.
void copyRecordText(char* pszBuffer, int cb, LPCSTR pszText);

class SCommonScanCfg
{
public:
    SCommonScanCfg();

    // The client's record into this one: on success it holds the server's values. A client
    // without one gets it made from its current settings first.
    virtual int RetrieveRecord(const CString& strFolder, const CString& strGuid);
    virtual int RemoveRecord(const CString& strFolder, const CString& strGuid);
    // Writes this record as the client's.
    virtual int UpdateRecord(const CString& strFolder, const CString& strGuid);
    // The record as the settings class writes an INI file (members the record lacks keep the
    // class defaults).
    virtual void WriteIniFile(const CString& strIniFile);
    virtual ~SCommonScanCfg();

protected:
    // The library's entries of one record type.
    template <class TRecord>
    struct SLibrary
    {
        int(LEDRAAPI* pfnRetrieve)(char*, TRecord*);
        int(LEDRAAPI* pfnUpdate)(char*, TRecord*);
        int(LEDRAAPI* pfnRemove)(char*, TRecord*);
        const char* pszRetrieve;
        const char* pszUpdate;
        const char* pszRemove;
    };

    enum CallKind
    {
        CALL_RETRIEVE,
        CALL_UPDATE,
        CALL_REMOVE
    };

    // Copies the GUID, calls the library and traces a failure.
    template <class TRecord>
    int Call(const SLibrary<TRecord>& library, CallKind call, TRecord& record,
             const CString& strFolder, const CString& strGuid);

    // The retrieval with the creation of a missing record (fFromSettings: filled from the
    // client's current settings by FillFromCurrentSettings, else left empty).
    template <class TRecord>
    int Retrieve(const SLibrary<TRecord>& library, TRecord& record, const CString& strFolder,
                 const CString& strGuid, BOOL fFromSettings);

    virtual void FillFromCurrentSettings() {}

    // The common fields from a settings object.
    template <class TRecord>
    void CopyCommon(TRecord& record, const CCommonScanINI& ini);
    // The common members the record carries into a settings object.
    template <class TRecord>
    void CopyCommonTo(const TRecord& record, CCommonScanINI& ini) const;

    char m_szGUID[LEDRA_CB_GUID];
    char m_szExtList[LEDRA_CB_CFG_TEXT];
    char m_szMoveDir[LEDRA_CB_CFG_TEXT];
    char m_szCleanFailedMoveDir[LEDRA_CB_CFG_TEXT];
};

class SManualScanCfg : public SCommonScanCfg
{
public:
    SManualScanCfg();
    void CopyFrom(const CManualScanINI& ini);

    virtual int RetrieveRecord(const CString& strFolder, const CString& strGuid);
    virtual int RemoveRecord(const CString& strFolder, const CString& strGuid);
    virtual int UpdateRecord(const CString& strFolder, const CString& strGuid);
    virtual void WriteIniFile(const CString& strIniFile);

    MAMUAL_SCAN_CFG_TAG m_record;

protected:
    virtual void FillFromCurrentSettings();
};

class SRealtimeScanCfg : public SCommonScanCfg
{
public:
    SRealtimeScanCfg();
    void CopyFrom(const CRealTimeScanINI& ini);

    virtual int RetrieveRecord(const CString& strFolder, const CString& strGuid);
    virtual int RemoveRecord(const CString& strFolder, const CString& strGuid);
    virtual int UpdateRecord(const CString& strFolder, const CString& strGuid);
    virtual void WriteIniFile(const CString& strIniFile);

    REALTIME_SCAN_CFG_TAG m_record;

protected:
    virtual void FillFromCurrentSettings();
};

// The scan the server starts.
class SRemoteScanCfg : public SCommonScanCfg
{
public:
    SRemoteScanCfg();
    void CopyFrom(const CRemoteScanINI& ini);

    virtual int RetrieveRecord(const CString& strFolder, const CString& strGuid);
    virtual int RemoveRecord(const CString& strFolder, const CString& strGuid);
    virtual int UpdateRecord(const CString& strFolder, const CString& strGuid);
    virtual void WriteIniFile(const CString& strIniFile);

    SCAN_NOW_CFG_TAG m_record;

protected:
    virtual void FillFromCurrentSettings();
};

class SScheduleScanCfg : public SCommonScanCfg
{
public:
    SScheduleScanCfg();
    void CopyFrom(const CScheduleScanINI& ini);

    virtual int RetrieveRecord(const CString& strFolder, const CString& strGuid);
    virtual int RemoveRecord(const CString& strFolder, const CString& strGuid);
    virtual int UpdateRecord(const CString& strFolder, const CString& strGuid);
    virtual void WriteIniFile(const CString& strIniFile);

    PRESCHEDULE_SCAN_CFG_TAG m_record;

protected:
    virtual void FillFromCurrentSettings();
};

// The exclusion list: AllowCfg and up to twenty entries. A client without a record gets
// an empty one.
class SExclusionFileCfg
{
public:
    SExclusionFileCfg();
    // AllowCfg and the first twenty entries; the rest of the buffers emptied.
    void CopyFrom(const CExclusionFileINI& ini);

    virtual int RetrieveRecord(const CString& strFolder, const CString& strGuid);
    virtual int RemoveRecord(const CString& strFolder, const CString& strGuid);
    virtual int UpdateRecord(const CString& strFolder, const CString& strGuid);
    virtual void WriteIniFile(const CString& strIniFile);

    EXCLUSION_FILE_LIST_TAG m_record;

private:
    int Call(int nCall, const CString& strFolder, const CString& strGuid);

    char m_szGUID[LEDRA_CB_GUID];
    char m_aszEntries[LEDRA_EXCLUSION_COUNT][LEDRA_CB_EXCLUSION];
};

#endif
