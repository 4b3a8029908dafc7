// The client's part of the configuration store's start-up: its scan setting classes write
// the default scan configuration from the settings file.
#include "Configuration.h"

#include "CommonScanINI.h"
#include "ExclusionFileINI.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "ScheduleScan.h"

void CreateDefaultConfigurationSettings(BOOL fHttpBased, const TCHAR* pszVglScanIni)
{
    VGLTRACE(1, "--> CreateDefaultConfigurationSettings(BOOL fHttpBased = %d, const TCHAR* pszVglScanIni = %s)",
             fHttpBased, pszVglScanIni);
    LPCSTR pszKeyPath = NS_RegistryKey::GetCurrentVersionKeyName();
    CExclusionFileINI exclusion;
    CRealTimeScanINI realTime;
    CManualScanINI manual;
    CScheduleScanINI schedule;
    exclusion.ReadIniFile(pszVglScanIni);
    realTime.ReadIniFile(pszVglScanIni);
    manual.ReadIniFile(pszVglScanIni);
    schedule.ReadIniFile(pszVglScanIni);
    exclusion.WriteRegistry(pszKeyPath, HKEY_LOCAL_MACHINE);
    realTime.WriteRegistry(pszKeyPath, HKEY_LOCAL_MACHINE);
    manual.WriteRegistry(pszKeyPath, HKEY_LOCAL_MACHINE);
    schedule.WriteRegistry(pszKeyPath, HKEY_LOCAL_MACHINE);
    if (fHttpBased)
    {
        CRemoteScanINI remote;
        remote.ReadIniFile(pszVglScanIni);
        remote.WriteRegistry(pszKeyPath, HKEY_LOCAL_MACHINE);
    }
    VGLTRACE(2, "<-- CreateDefaultConfigurationSettings(BOOL fHttpBased = %d, const TCHAR* pszVglScanIni = %s)",
             fHttpBased, pszVglScanIni);
}

void NS_RegistryKey::Construct()
{
    ConstructWith(&CreateDefaultConfigurationSettings);
}
