// Start-up of the configuration store: first-time creation of the product key from the
// settings file, migration after an older client, the values refreshed at every start
// and the default scan configuration.
#ifndef VGL_CONFIGURATION_H
#define VGL_CONFIGURATION_H

#include "afx.h"

namespace NS_RegistryKey
{
    // Once per process, before the other start-up of the client.
    void Construct();
    // The product key holds "GUID" and "Mode".
    BOOL IsRegistryInitialized();
    void CreateRegistry();
    // A value of the current mode or a configuration subkey is missing.
    BOOL IsMigrationNeeded();
    BOOL HasAllConfigurationSubKey();
    // Rewrites the mode's values from the settings file.
    void CreateMigrationValue(BOOL fHttpBased);
    // "Internet Settings" with its defaults, unless it exists.
    void CreateInternetSettings();
    // Seven page and feature switches of the settings file's "Global Setting".
    void VglUpdINI_Sec_GlobalSetting();
    BOOL CopyGlobalSettingSwitch(LPCSTR pszIniFile, LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszValueName);
    // NULL: as "Show In Task Manager" says.
    void ApplyShowInTaskManager(const BOOL* pfShow);
    void ReadFQDNFirst();
}

// The scan settings of an INI file into the configuration subkeys.
void CreateDefaultConfigurationSettings(BOOL fHttpBased, const TCHAR* pszVglScanIni);
// "Schedule Update" from the settings file, unless it exists.
void CreateScheduleUpdateSettings();

#endif
