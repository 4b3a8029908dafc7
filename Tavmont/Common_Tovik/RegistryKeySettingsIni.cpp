// The client settings file "Vglscan.ini" in the Windows folder and the values it seeds.
#include "RegistryKey.h"

#include "Misutils.h"
#include "RegistryKeyAccess.h"
#include "StringUtils.h"

using namespace NS_RegistryKeyAccess;

namespace
{
const char s_szSettingsFile[] = "Vglscan.ini";
const char s_szPollingRangeValue[] = "Filebase Polling Range";
const char s_szIPTemplateValue[] = "IP Template";

enum { DEFAULT_POLLING_RANGE = 360 };

DWORD IniPollingRange()
{
    return (DWORD)iniInt(NS_RegistryKey::g_pszIniClientSection, "Filebase_Polling_Range",
                         DEFAULT_POLLING_RANGE);
}
}

namespace NS_RegistryKey
{
const char g_pszIniServerSection[] = "INI_SERVER_SECTION";
const char g_pszIniProgramVersionSection[] = "INI_PROGRAM_VERSION_SECTION";
const char g_pszIniClientSection[] = "INI_CLIENT_SECTION";
const char g_pszGlobalSetting[] = "Global Setting";
const char g_pszIniClientSetupSection[] = "INI_CLIENT_SETUP_SECTION";
const char g_pszIniClientSetup31xSection[] = "INI_CLIENT_SETUP_31X_SECTION";

CString GetVglscanIniPath()
{
    return joinPath(getWindowsDirectoryPath(), s_szSettingsFile);
}

int GetClientUseCgiOnScanResult()
{
    return iniInt(g_pszIniClientSection, "Client_Use_CgiOnScanResult", 0);
}

CString GetIniMasterDomainName()
{
    return iniString(g_pszIniServerSection, "Master_DomainName", "");
}

void SetIniMasterDomainName(const char* pszName)
{
    WritePrivateProfileStringA(g_pszIniServerSection, "Master_DomainName", pszName,
                               GetVglscanIniPath());
}

BOOL ResetFilebasePollingRange()
{
    CRegKey key;
    if (openKey(key, GetCurrentVersionKeyName(), KEY_WRITE) != ERROR_SUCCESS)
        return FALSE;
    writeDword(key, s_szPollingRangeValue, IniPollingRange());
    return TRUE;
}

DWORD GetFilebasePollingRange(BOOL fFromIni)
{
    CRegKey key;
    if (openKey(key, GetCurrentVersionKeyName(), KEY_READ_WRITE) != ERROR_SUCCESS)
        return DEFAULT_POLLING_RANGE;
    DWORD dwRange = 0;
    if (!fFromIni && queryDword(key, s_szPollingRangeValue, dwRange))
        return dwRange;
    dwRange = IniPollingRange();
    writeDword(key, s_szPollingRangeValue, dwRange);
    return dwRange;
}

CString GetIPTemplate()
{
    CRegKey key;
    if (openKey(key, GetCurrentVersionKeyName(), KEY_READ_WRITE) != ERROR_SUCCESS)
        return CString();
    CString strTemplate;
    if (queryString(key, s_szIPTemplateValue, strTemplate))
        return strTemplate;
    strTemplate = iniString(g_pszIniClientSection, "Internal_IP_Template", "");
    if (!strTemplate.IsEmpty())
        writeString(key, s_szIPTemplateValue, strTemplate);
    return strTemplate;
}
}
