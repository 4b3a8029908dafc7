// The server's global settings ("[Global Setting]"): values of the product key, the watchdog
// key and the "Schedule Update" subkey, the scan settings, the shell extension's registration
// and the watchdog's.
#include "Notification.h"

#include "ClientMessages.h"
#include "LogTracker.h"
#include "RegistryKey.h"
#include "ServerSettings.h"
#include "SettingsLock.h"
#include "StringUtils.h"
#include "TavmontDlg.h"
#include "Updates.h"
#include "Utils_RegKey.h"
#include "WatchDog.h"
#include "resource_ids.h"

#include <stdlib.h>

using namespace NS_Notification;

namespace
{
CCriticalSection g_csGlobalSettings;

enum
{
    GS_NFCACHE = 0,
    GS_COMPRESSED_FILE_COUNT,
    GS_PATTERN_TOO_OLD_MESSAGE,
    GS_PATTERN_TOO_OLD_DAYS,
    GS_WATCHDOG_INTERVAL,
    GS_WATCHDOG_RETRY,
    GS_DISK_RESERVED,
    GS_SCHEDULE_UPDATE_INTERVAL,
    GS_SCHEDULE_CHECK_GLOBAL,
    GS_NETWORK_SCAN,
    GS_SHELL_EXTENSION,
    GS_SPLASH,
    GS_POPUP_VIRUS_FOUND,
    GS_ZIP_CLEAN,
    GS_PATTERN_TOO_OLD_WARNING,
    GS_WATCHDOG,
    GS_FQDN_FIRST,
    GS_OLE_LAYER,
    GS_MAX_EXTRACT_SIZE
};

struct SValue
{
    BOOL fPresent;
    BOOL fEmpty;
    CString strText;
    int n;
    BOOL f;
};

SValue valueOf(int i)
{
    SValue v;
    v.fPresent = g_iniGlobalSetting[i].m_pszValue != NULL;
    v.strText = v.fPresent ? g_iniGlobalSetting[i].m_pszValue : "";
    v.strText.TrimLeft();
    v.strText.TrimRight();
    v.fEmpty = v.strText.IsEmpty();
    v.n = atoi(v.strText);
    v.f = v.n != 0;
    if (v.fPresent)
        VGLTRACE(3, "%s: strEntryValue = %s)", g_iniGlobalSetting[i].m_pszName, (LPCSTR)v.strText);
    return v;
}

HKEY openKey(LPCSTR pszPath, REGSAM sam)
{
    HKEY hKey = NULL;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszPath, 0, sam, &hKey) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

void productKeyPass(PFN_PHASE_CANCEL pfCancel, void* pvThis)
{
    HKEY hKey = openKey(NS_RegistryKey::GetCurrentVersionKeyName(), KEY_ALL_ACCESS);
    if (hKey == NULL)
        return;
    for (int i = 0; i < INI_GLOBAL_SETTING_KEYS; ++i)
    {
        if (pfCancel != NULL && pfCancel(pvThis))
            break;
        SValue v;
        switch (i)
        {
        case GS_NFCACHE:
            v = valueOf(i);
            if (v.fPresent)
                setRegistryDword(hKey, "NFCacheOnOff", (DWORD)v.n);
            break;
        case GS_PATTERN_TOO_OLD_MESSAGE:
            v = valueOf(i);
            if (v.fPresent && !v.fEmpty)
                setRegistryString(hKey, "PatternTooOldPopupMessage", v.strText);
            break;
        case GS_PATTERN_TOO_OLD_DAYS:
        case GS_DISK_RESERVED:
            v = valueOf(i);
            if (v.fPresent && !v.fEmpty)
                setRegistryDword(hKey, g_iniGlobalSetting[i].m_pszName, (DWORD)v.n);
            break;
        case GS_SPLASH:
            v = valueOf(i);
            if (v.fPresent && !v.fEmpty)
                setRegistryDword(hKey, "ShowSplash", (DWORD)v.f);
            break;
        case GS_PATTERN_TOO_OLD_WARNING:
            v = valueOf(i);
            if (v.fPresent && !v.fEmpty)
                setRegistryDword(hKey, "PatternTooOldWarningOnOff", (DWORD)v.f);
            break;
        case GS_WATCHDOG:
            v = valueOf(i);
            if (!v.fPresent)
                break;
            if (!v.fEmpty)
                setRegistryDword(hKey, "WatchDogOnOff", (DWORD)v.f);
            if (v.f)
                RegWatchDog_Vgl();
            else
                UnRegWatchDog_Vgl();
            break;
        case GS_FQDN_FIRST:
            v = valueOf(i);
            if (!v.fPresent)
                break;
            if (!v.fEmpty)
                setRegistryDword(hKey, "FqdnFirstOnOff", (DWORD)v.f);
            NS_RegistryKey::UpdateServerIP();
            break;
        default:
            break;
        }
    }
    ::RegCloseKey(hKey);
}

void watchDogPass()
{
    HKEY hKey = openKey(NS_RegistryKey::GetWatchDogKeyName(), KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    if (hKey == NULL)
        return;
    static const struct
    {
        int i;
        const char* pszValueName;
    } s_entries[] = {{GS_WATCHDOG_INTERVAL, "Default Retry Interval"}, {GS_WATCHDOG_RETRY, "Default Retry Count"}};
    for (const auto& entry : s_entries)
    {
        SValue v = valueOf(entry.i);
        if (!v.fPresent || v.fEmpty)
            continue;
        setRegistryDword(hKey, entry.pszValueName, (DWORD)v.n);
        if (NS_RegistryKey::GetWatchDogOnOff())
            RegWatchDog_Vgl();
    }
    ::RegCloseKey(hKey);
}

void scheduleUpdatePass()
{
    CString strKey;
    strKey.Format("%s\\%s", NS_RegistryKey::GetCurrentVersionKeyName(), NS_RegistryKey::GetScheduleUpdateKeyName());
    HKEY hKey = openKey(strKey, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    if (hKey == NULL)
        return;
    SValue v = valueOf(GS_SCHEDULE_UPDATE_INTERVAL);
    if (v.fPresent && !v.fEmpty)
        setRegistryDword(hKey, "ScheduleUpdateInterval", (DWORD)v.n * 60);
    v = valueOf(GS_SCHEDULE_CHECK_GLOBAL);
    if (v.fPresent && !v.fEmpty)
        setRegistryDword(hKey, "ScheduleCheckGlobalSetting", (DWORD)v.n * 3600);
    ::RegCloseKey(hKey);
}

void registerShellExtension(BOOL fRegister)
{
    CString strLibrary = joinPath(NS_RegistryKey::GetApplicationPath(), "KvdShell.Dll");
    if (::GetFileAttributesA(strLibrary) == INVALID_FILE_ATTRIBUTES)
        return;
    HMODULE hLibrary = ::LoadLibraryExA(strLibrary, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (hLibrary == NULL)
    {
        VGLTRACE(12, "    %s cannot be loaded, error %lu", (LPCSTR)strLibrary, ::GetLastError());
        return;
    }
    typedef HRESULT(__stdcall * PFN_REGISTER)();
    PFN_REGISTER pfn = (PFN_REGISTER)::GetProcAddress(hLibrary, fRegister ? "DllRegisterServer" : "DllUnregisterServer");
    if (pfn != NULL)
    {
        HRESULT hr = pfn();
        VGLTRACE(3, "    %s of %s: 0x%lX", fRegister ? "DllRegisterServer" : "DllUnregisterServer",
                 (LPCSTR)strLibrary, (unsigned long)hr);
    }
    ::FreeLibrary(hLibrary);
}

void scanSettingsPass()
{
    CRealTimeScanINI& realTime = NS_Configuration::GetRealTimeScanINI();
    CManualScanINI& manual = NS_Configuration::GetManualScanINI();
    CScheduleScanINI& schedule = NS_Configuration::GetScheduleScanINI();
    CRemoteScanINI& scanNow = NS_Configuration::GetRemoteScanINI();
    CCommonScanINI* apAll[] = {&realTime, &manual, &schedule, &scanNow};

    SValue v = valueOf(GS_SHELL_EXTENSION);
    if (v.fPresent && !v.fEmpty)
        registerShellExtension(v.f);
    SValue compressed = valueOf(GS_COMPRESSED_FILE_COUNT), network = valueOf(GS_NETWORK_SCAN),
           popup = valueOf(GS_POPUP_VIRUS_FOUND), zip = valueOf(GS_ZIP_CLEAN), ole = valueOf(GS_OLE_LAYER),
           extract = valueOf(GS_MAX_EXTRACT_SIZE);
    // Each object is changed and written under its own lock (real-time workers copy them).
    for (CCommonScanINI* p : apAll)
    {
        CSettingsLock lock(p);
        if (p == &realTime)
        {
            if (compressed.fPresent && !compressed.fEmpty)
                realTime.SetCompressedFileCount(compressed.n);
            if (network.fPresent && !network.fEmpty)
                realTime.SetNetworkScan(network.f);
            if (extract.fPresent && !extract.fEmpty)
                realTime.SetMaximumExtractFileSize(extract.n);
        }
        if ((p == &realTime || p == &schedule) && popup.fPresent && !popup.fEmpty)
            p->SetPopupVirusFound(popup.f);
        if (zip.fPresent && !zip.fEmpty)
            p->SetZipClean(zip.f);
        if (ole.fPresent && !ole.fEmpty)
            p->SetOleLayer(ole.n);
        p->WriteRegistry(NS_RegistryKey::GetCurrentVersionKeyName(), HKEY_LOCAL_MACHINE);
    }
}
}

BOOL UpdateGlobalSettingsEx(CTavmontDlg* pMainWnd, BOOL, BOOL, BOOL fIntranet, BOOL fDisplayErrMsg,
                            PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd, PFN_PHASE_CANCEL pfCancel, PFN_PHASE_COUNT,
                            void* pvThis)
{
    VGLTRACE(1, "--> UpdateGlobalSettingsEx(fIntranet = %d)", fIntranet);
    if (!NS_RegistryKey::IsHttpBased())
        return TRUE;
    if (pfCancel != NULL && pfCancel(pvThis))
        return TRUE;
    if (pfBegin != NULL)
        pfBegin(26, pvThis);
    CAccBuffer reply;
    BOOL fFetched = GetServerIni(reply, fIntranet, fDisplayErrMsg, 1);
    if (pfEnd != NULL)
        pfEnd(26, pvThis);
    if (!fFetched)
    {
        VGLTRACE(2, "<-- UpdateGlobalSettingsEx(), the request failed");
        return FALSE;
    }
    CString strText;
    reply.GetString(strText);
    if (pfCancel != NULL && pfCancel(pvThis))
        return TRUE;

    CSingleLock lock(&g_csGlobalSettings, TRUE);
    if (strText.IsEmpty() ||
        !RenewIniTable(strText, g_iniGlobalSetting, INI_GLOBAL_SETTING_KEYS, "\n", "[Global Setting]"))
    {
        VGLTRACE(12, "    the global settings cannot be read");
        if (fDisplayErrMsg)
        {
            CString strError;
            strError.LoadString(IDS_SERVER_INI_BAD);
            ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
        }
        return TRUE;
    }
    productKeyPass(pfCancel, pvThis);
    watchDogPass();
    scheduleUpdatePass();
    scanSettingsPass();
    if (pMainWnd != NULL)
    {
        VGLTRACE(3, "[UpdateGlobalSettingsEx] PostMessage WM_UPDATE_CONFIGURATION");
        pMainWnd->PostMessage(WM_UPDATE_CONFIGURATION, 0, 0);
    }
    VGLTRACE(2, "<-- UpdateGlobalSettingsEx(), TRUE");
    return TRUE;
}
