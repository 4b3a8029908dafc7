// NS_Configuration: the client's five global scan-setting objects, loaded from the registry
// at start-up and renewed from the server.
#ifndef VGL_SERVERSETTINGS_H
#define VGL_SERVERSETTINGS_H

#include "afx.h"

#include "CommonScanINI.h"
#include "ExclusionFileINI.h"
#include "ScheduleScan.h"

extern CManualScanINI g_ManualScanINI;
extern CRealTimeScanINI g_RealTimeScanINI;
extern CScheduleScanINI g_ScheduleScanINI;
extern CExclusionFileINI g_ExclusionFileINI;
extern CRemoteScanINI g_RemoteScanINI;

namespace NS_Configuration
{
    // The kind of settings asked for (the server's EVENT parameter).
    enum EVENT
    {
        CONFIG_ALL = 0,
        CONFIG_MANUAL_SCAN = 1,
        CONFIG_REALTIME_SCAN = 2,
        CONFIG_SCHEDULE_SCAN = 3,
        CONFIG_SCAN_NOW = 4,
        CONFIG_EXCLUSION = 5
    };

    // The first start after installation sets *pfFirstTimeStartUp (which may be NULL);
    // then the settings objects are loaded from the registry. Exceptions are traced and
    // swallowed.
    void Construct(BOOL* pfFirstTimeStartUp);
    // Deletes the temporary settings file fetched from the server; may be called twice.
    void Destruct();
    // The five objects from the product key, in the order manual, real-time, schedule,
    // exclusion, remote.
    void ReadProfileSettings();
    // The same objects from an INI file. An object whose section the file lacks keeps its
    // values; so do the objects' global-setting values when "Global Setting" is missing.
    void ReadProfileSettings(LPCSTR pszIniFile);
    // The five objects into the product key.
    void WriteProfileSettings();
    // One kind of settings from the server (HTTP mode: its configuration program; file-based
    // mode: the client's record) into the INI file; FALSE on any failure, shown to the user
    // with fDisplayErrMsg unless the transfer was cancelled.
    BOOL GetIni(LPCSTR pszINIFile, EVENT nEvent, BOOL fIntranet, BOOL fDisplayErrMsg);
    // The temporary file of the settings last fetched; empty before the first fetch.
    CString GetTempSettingsFile();
    // Fetches the scan settings from the server (falling back to the registry); TRUE when
    // the server's copy was used. With fFromServer FALSE only the registry is read.
    BOOL ReadProfileSettingFromServer(BOOL fFromServer, BOOL fIntranet, BOOL fDisplayErrMsg);
    // One kind of settings from an INI file into its object (kept when the file lacks its
    // section) and into the product key.
    void ReadProfileSettingKind(EVENT nEvent, LPCSTR pszIniFile);

    CManualScanINI& GetManualScanINI();
    CRealTimeScanINI& GetRealTimeScanINI();
    CScheduleScanINI& GetScheduleScanINI();
    CRemoteScanINI& GetRemoteScanINI();
    CExclusionFileINI& GetExclusionFileINI();
    CCommonScanINI& GetManualScanINIBase();
    CCommonScanINI& GetRealTimeScanINIBase();
    CCommonScanINI& GetScheduleScanINIBase();
    CExclusionFileINI& GetExclusionFileINIBase();
}

// A settings request the server refused, with its return code; thrown by value.
class CCgiIniException
{
public:
    explicit CCgiIniException(int nCode) : m_nCode(nCode) {}
    int GetCode() const { return m_nCode; }

private:
    int m_nCode;
};

// One local configuration report: a private copy of a scan settings object or of the
// exclusion list, as it was when the user applied it.
class SLocalCfgLog
{
public:
    SLocalCfgLog();
    explicit SLocalCfgLog(const CCommonScanINI& ini);
    explicit SLocalCfgLog(const CExclusionFileINI& ini);
    SLocalCfgLog(const SLocalCfgLog& other);
    SLocalCfgLog& operator=(const SLocalCfgLog& other);
    ~SLocalCfgLog();

    // The configuration query of the copy for its kind's program (an empty path for a kind
    // that has none); pszRelease may be NULL.
    void GetQuery(CString& strOut, const CString& strGuid, const char* pszRelease) const;
    // The copy into its record of the configuration folder; the database's result.
    int UpdateRecord(const CString& strFolder, const CString& strGuid) const;

    BOOL m_fScanINI;
    CCommonScanINI* m_pScanINI;             // when m_fScanINI
    CExclusionFileINI* m_pExclusionINI;     // otherwise
    int m_nRetry;
    CTime m_time;

private:
    void CopyFrom(const SLocalCfgLog& other);
    void Free();
};

#endif
