// Start-up of the configuration store: first-time creation of the product key from the
// settings file, migration after an older client, the values refreshed at every start
// and the default scan configuration.
#ifndef VGL_CONFIGURATION_H
#define VGL_CONFIGURATION_H

#include "afx.h"

// Writes the scan settings of an INI file into the configuration subkeys.
typedef void (*PFN_DEFAULT_CONFIGURATION)(BOOL fHttpBased, const TCHAR* pszVglScanIni);

namespace NS_RegistryKey
{
    // The client's start-up, once per process before the rest of its start-up:
    // ConstructWith (CreateDefaultConfigurationSettings). Defined by the client, whose
    // scan setting classes write the default scan configuration.
    void Construct();
    // The start-up of the store; pfnDefaults writes the default scan configuration at
    // the first start and at a migration (NULL: none is written).
    void ConstructWith(PFN_DEFAULT_CONFIGURATION pfnDefaults);
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
    // "FqdnFirstOnOff" into g_fFQDNFirst (0 when missing); returns the flag. Without the
    // product key the flag stays as it was.
    BOOL ReadFQDNFirst();
}

// The client's (Tavmont/settings): the scan settings of an INI file into the
// configuration subkeys.
void CreateDefaultConfigurationSettings(BOOL fHttpBased, const TCHAR* pszVglScanIni);
// "Schedule Update" from the settings file, unless it exists.
void CreateScheduleUpdateSettings();

#endif
