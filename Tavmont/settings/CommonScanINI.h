// The scan settings of one kind of scan: one INI section or registry subkey of settings
// that moves between an INI file, the product key, the server's query text and the
// engine. CManualScanINI, CRealTimeScanINI and CRemoteScanINI are the plain kinds; the
// scheduled scan adds its schedule in its own class.
#ifndef VGL_COMMONSCANINI_H
#define VGL_COMMONSCANINI_H

#include "afx.h"

class CVexor;
class CVexorVXD;

// Setting action codes (INI words "Leave", "Delete", "Rename", "Move", "Clean").
enum
{
    SCAN_ACTION_LEAVE = 1,
    SCAN_ACTION_DELETE = 2,
    SCAN_ACTION_RENAME = 3,
    SCAN_ACTION_MOVE = 4,
    SCAN_ACTION_CLEAN = 5
};

extern const char g_pszManualScanSection[];      // "Manual Scan Configuration"
extern const char g_pszRealTimeScanSection[];    // "Real Time Scan Configuration"
extern const char g_pszRemoteScanSection[];      // "Scan Now Configuration"
extern const char g_pszScheduleScanSection[];    // "Prescheduled Scan Configuration"
extern const char g_pszGlobalSettingSection[];   // "Global Setting"

class CCommonScanINI
{
public:
    CCommonScanINI(LPCSTR pszSection, BOOL fEnable = TRUE, LPCSTR pszExtList = ".*");
    virtual ~CCommonScanINI();

    // Registry form: subkey pszSection of pszKeyPath under hRoot. A key that cannot be
    // opened (read) or created (write) leaves everything unchanged.
    virtual void ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void ReadIniFile(LPCSTR pszIniFile);
    virtual void WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void WriteIniFile(LPCSTR pszIniFile);
    // The local configuration report; pszRelease may be NULL.
    virtual CString BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease);
    virtual CString GetVirusFoundActionText(BOOL fVariant);
    // Pushes the settings of a manual, scheduled or server-started scan.
    virtual BOOL SetVexorOptions(CVexorVXD& vexor);
    // SetVexorOptions when the engine object is a CVexorVXD, else FALSE.
    virtual BOOL ApplyVexorOptions(CVexor& vexor);
    virtual CString FormatActionResult(int nFirstAction, BOOL fFirstSucceeded, int nSecondAction,
                                       BOOL fSecondSucceeded);
    virtual CString GetActionSettingText(int nEngineAction, BOOL fVariant);
    virtual CString GetLogActionText(int nEngineAction);
    virtual CString GetEngineActionText(int nEngineAction);
    virtual CString GetTitle();
    // A new heap copy owned by the caller.
    virtual CCommonScanINI* Clone() const = 0;

    BOOL IsIntelliScan() const { return m_fIntelliScan; }
    BOOL IsActiveAction() const { return m_fActiveAction; }
    BOOL IsPopupVirusFound() const { return m_fPopupVirusFoundOnOff; }
    void SetCompressedFileCount(int nCount) { m_nCompressedFileCount = nCount; }
    void SetZipClean(BOOL fZipClean) { m_fZipCleanOnOff = fZipClean; }
    void SetOleLayer(int nLayer) { m_nOleLayer = nLayer; }
    void SetMaximumExtractFileSize(int nMegabytes) { m_nMaximumExtractFileSize = nMegabytes; }
    void SetPopupVirusFound(BOOL fPopup) { m_fPopupVirusFoundOnOff = fPopup; }
    int GetVirusFoundEngineAction() const { return ToEngineAction(m_nVirusFoundAction); }
    int GetCleanFailedEngineAction() const { return ToEngineAction(m_nCleanFailedAction); }
    LPCSTR GetSection() const { return m_pszSection; }

    // Extensions of the manual, scheduled and server-started scans.
    CString GetScanExtensionList() const;
    // The real-time filter string.
    CString GetFileTypeList(BOOL fNoCompressed) const;
    // ExtList as the query reports it: ".EXE,.COM"; "*.*" for an all-files list.
    CString GetNormalizedExtList() const;
    // The largest archive member the engine extracts, in bytes (at most 0x7FFFFFFF).
    DWORD GetMaxExtractBytes() const;

    // Setting action code -> engine action code.
    static int ToEngineAction(int nAction);
    // "YES", "ON", "1" in any case.
    static BOOL ParseYesWord(LPCSTR pszText);
    static int ParseActionWord(LPCSTR pszText);
    static LPCSTR YesNo(BOOL f) { return f ? "YES" : "NO"; }
    static LPCSTR ActionWord(int nAction);

    BOOL m_fEnable;
    BOOL m_fAllowCfg;
    BOOL m_fScanBoot;
    BOOL m_fScanMemory;
    BOOL m_fScanCompressed;
    BOOL m_fBkUpIfClean;
    BOOL m_fScanAllFiles;
    int m_nCompressedLayer;
    CString m_strExtList;
    CString m_strMoveDir;
    CString m_strCleanFailedMoveDir;
    int m_nVirusFoundAction;
    int m_nCleanFailedAction;
    LPCSTR m_pszSection;
    BOOL m_fIntelliScan;
    BOOL m_fActiveAction;
    int m_nCompressedFileCount;
    int m_nMaximumExtractFileSize;
    BOOL m_fZipCleanOnOff;
    int m_nOleLayer;
    BOOL m_fPopupVirusFoundOnOff;

protected:
    // Opens (fCreate: creates) pszKeyPath\section under hRoot with full access.
    BOOL OpenSectionKey(HKEY hRoot, LPCSTR pszKeyPath, BOOL fCreate, HKEY* phKey) const;
    // The common settings to the engine for one scan type, in the base order.
    void SetActionOptions(CVexorVXD& vexor, int nType, BOOL fTrace);
    // The Backup folder of the program folder, created when missing.
    static CString PrepareBackupFolder();
    // Appends "&RELEASE=" when a release text is given, then the IntelliScan and
    // ActiveAction part every query ends with.
    CString AppendQuerySuffix(CString strQuery, LPCSTR pszRelease) const;
};

class CManualScanINI : public CCommonScanINI
{
public:
    CManualScanINI(LPCSTR pszSection = g_pszManualScanSection, BOOL fEnable = TRUE,
                   LPCSTR pszExtList = ".*");

    virtual CString GetTitle();
    virtual CCommonScanINI* Clone() const;
};

class CRealTimeScanINI : public CCommonScanINI
{
public:
    CRealTimeScanINI(LPCSTR pszSection = g_pszRealTimeScanSection, BOOL fEnable = TRUE,
                     LPCSTR pszExtList = ".*");

    virtual void ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void ReadIniFile(LPCSTR pszIniFile);
    virtual void WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void WriteIniFile(LPCSTR pszIniFile);
    virtual CString BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease);
    virtual BOOL SetVexorOptions(CVexorVXD& vexor);
    virtual BOOL ApplyVexorOptions(CVexor& vexor);
    virtual CString GetTitle();
    virtual CCommonScanINI* Clone() const;

    void SetNetworkScan(BOOL fScan) { m_fNetworkScanOnOff = fScan; }

    BOOL m_fNetworkScanOnOff;
    BOOL m_fScanShutdown;
};

class CRemoteScanINI : public CCommonScanINI
{
public:
    CRemoteScanINI(LPCSTR pszSection = g_pszRemoteScanSection, BOOL fEnable = TRUE,
                   LPCSTR pszExtList = ".*");

    virtual void ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void ReadIniFile(LPCSTR pszIniFile);
    virtual CString GetTitle();
    virtual CCommonScanINI* Clone() const;

    BOOL m_fSomeDrives;      // "Level": 0 all drives, 1 some drives
    BOOL m_fScanRemovable;
    BOOL m_fScanFixedDisk;
    BOOL m_fScanCDRom;
};

#endif
