// The server paths of the CGI programs and the stored passwords.
#include "RegistryKey.h"

#include "CryptString.h"
#include "KeyedCipher.h"
#include "LogTracker.h"
#include "MessageDigest5.h"
#include "RegistryKeyAccess.h"

#include <string.h>
#include <vector>

using namespace NS_RegistryKeyAccess;

namespace
{
// A stored password must read back through the 128-byte read of "Internet Settings".
enum
{
    INTERNET_SETTINGS_MAX_TEXT = 127,
    DIGEST_CRYPT_BUFFER_SIZE = 256,
    MD5_HEX_BUFFER_SIZE = 33
};

const char s_szNullPassword[] = "null";

inline CString Text(LPCSTR pszName)
{
    return getString(NS_RegistryKey::GetCurrentVersionKeyName(), pszName);
}

BOOL IsCryptText(LPCSTR pszText)
{
    return strncmp(pszText, CRYPT_MARKER, CRYPT_MARKER_LEN) == 0;
}

// The keyed hex form back to text.
CString KeyedHexToText(LPCSTR pszHex)
{
    int nSize = 3 * (int)strlen(pszHex) + 3;
    std::vector<char> buffer(nSize, '\0');
    PWDDecrypt(&buffer[0], pszHex, &nSize);
    buffer.back() = '\0';
    return CString(&buffer[0]);
}

// A "!CRYPT!" text unwrapped in a buffer sized from its length; empty when it cannot be.
CString UnwrapCryptText(LPCSTR pszText)
{
    std::vector<char> buffer(pszText, pszText + strlen(pszText) + 1);
    if (!NewDecryptStr(&buffer[0]))
        return CString();
    return CString(&buffer[0]);
}

// A stored proxy password in either form, as plain text; the decoder chosen is traced
// under the function's name when one is given.
CString DecodeProxyPassword(LPCSTR pszFunction, const CString& strStored)
{
    if (!IsCryptText(strStored))
    {
        if (pszFunction != NULL)
            VGLTRACE(3, "[%s] use PWDDecrypt to decrypt %s", pszFunction, (LPCSTR)strStored);
        return KeyedHexToText(strStored);
    }
    if (pszFunction != NULL)
        VGLTRACE(3, "[%s] use NewDecryptStr to decrypt %s", pszFunction, (LPCSTR)strStored);
    CString strPassword = UnwrapCryptText(strStored);
    if (strPassword == s_szNullPassword)
        strPassword.Empty();
    return strPassword;
}

CString GetPasswordDigest(LPCSTR pszValueName)
{
    CString strStored = Text(pszValueName);
    if (strStored.IsEmpty())
        return strStored;
    if (!IsCryptText(strStored))
    {
        CString strPassword = KeyedHexToText(strStored);
        char szDigest[MD5_HEX_BUFFER_SIZE] = "";
        CMessageDigest5 md5;
        md5.GetHexDigest((LPCSTR)strPassword, (UINT)strPassword.GetLength(), szDigest,
                         sizeof(szDigest));
        return CString(szDigest);
    }
    // This form carries the digest itself.
    char szBuffer[DIGEST_CRYPT_BUFFER_SIZE];
    lstrcpynA(szBuffer, strStored, sizeof(szBuffer));
    NewDecryptStr(szBuffer);
    return CString(szBuffer);
}

// The stored path; when it is missing or empty, the default is stored and returned.
CString GetCgiWithStoredDefault(LPCSTR pszValueName, LPCSTR pszDefault)
{
    LPCSTR pszKey = NS_RegistryKey::GetCurrentVersionKeyName();
    CRegKey key;
    if (openKey(key, pszKey, KEY_READ) != ERROR_SUCCESS)
        return CString();
    CString strPath;
    queryString(key, pszValueName, strPath);
    if (!strPath.IsEmpty())
        return strPath;
    key.Close();
    if (openKey(key, pszKey, KEY_WRITE) != ERROR_SUCCESS)
        return CString();
    writeString(key, pszValueName, pszDefault);
    return CString(pszDefault);
}

// Refuses a stored form that the 128-byte read would not give back.
BOOL FitsInternetSettings(LPCSTR pszFunction, LPCSTR pszStored)
{
    int nLength = (int)strlen(pszStored);
    if (nLength <= INTERNET_SETTINGS_MAX_TEXT)
        return TRUE;
    VGLTRACE(12, "%s: the password is too long: its stored form has %d characters, at most %d "
             "can be read back; nothing stored", pszFunction, nLength, INTERNET_SETTINGS_MAX_TEXT);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
}
}

namespace NS_RegistryKey
{
// ---- CGI paths ----

CString GetCgiCheckIP() { return Text("CgiCheckIP"); }
CString GetCgiOnStart() { return Text("CgiOnStart"); }
CString GetCgiOnClose() { return Text("CgiOnClose"); }
CString GetCgiOnScan() { return Text("CgiOnScan"); }
CString GetCgiOnUpdate() { return Text("CgiOnUpdate"); }
CString GetCgiOnUninstall() { return Text("CgiOnUninstall"); }
CString GetCgiOnLog() { return Text("CgiOnLog"); }
CString GetCgiOnRequestIni() { return Text("CgiOnRequestIni"); }
CString GetCgiOnRequestUpdate() { return Text("CgiOnRequestUpdate"); }
CString GetCgiOnRequestAlertMessage() { return Text("CgiOnRequestAlertMessage"); }
CString GetCgiOnRequestConfiguration() { return Text("CgiOnRequestConfiguration"); }

CString GetCgiOnExclusionFileConfiguration()
{
    return g_fHttpBased ? Text("CgiOnExclusionFileConfiguration") : CString("ExclusiveFile");
}

CString GetCgiOnManualScanConfiguration()
{
    return g_fHttpBased ? Text("CgiOnManualScanConfiguration") : CString("ManualScan");
}

CString GetCgiOnRealtimeScanConfiguration()
{
    return g_fHttpBased ? Text("CgiOnRealtimeScanConfiguration") : CString("RealtimeScan");
}

CString GetCgiOnScheduleScanConfiguration()
{
    return g_fHttpBased ? Text("CgiOnScheduleScanConfiguration") : CString("ScheduleScan");
}

CString GetCgiOnRequestHotFix()
{
    CString strPath = Text("CgiOnRequestHotFix");
    if (strPath.IsEmpty())
        strPath = "/Vigilon/Cgi/cgiRqHotFix.exe";
    return strPath;
}

CString GetCgiOnScanResult()
{
    return GetCgiWithStoredDefault("CgiOnScanResult", "/Vigilon/Cgi/CgiOnScanResult.dll");
}

CString GetCgiOnZavuzResult()
{
    return GetCgiWithStoredDefault("CgiOnZavuzResult", "/Vigilon/Cgi/cgiRqOpp.exe");
}

CString GetCgiOnQueryClientBindPort()
{
    return GetCgiWithStoredDefault("cgiOnQueryClientBindPort",
                                   "/Vigilon/Cgi/cgiOnQueryClientBindPort.exe");
}

CString GetCgiOnSpecialLog()
{
    return GetCgiWithStoredDefault("CgiOnSpecialLog", "/Vigilon/Cgi/cgiOnSpecialLog.exe");
}

// ---- stored passwords ----

CString GetProxyPassword()
{
    VGLTRACE(1, "--> NS_RegistryKey::GetProxyPassword()");
    CString strPassword = DecodeProxyPassword("GetProxyPassword", Text("ProxyPassword"));
    VGLTRACE(2, "<-- NS_RegistryKey::GetProxyPassword()");
    return strPassword;
}

CString GetInternetProxyPassword()
{
    VGLTRACE(1, "--> NS_RegistryKey::GetInternetProxyPassword()");
    CString strPassword = DecodeProxyPassword(NULL, GetInternetSettingsString("ProxyPassword"));
    VGLTRACE(2, "<-- NS_RegistryKey::GetInternetProxyPassword()");
    return strPassword;
}

BOOL SetInternetProxyPassword(const char* pszPassword)
{
    if (pszPassword == NULL)
        pszPassword = "";
    std::vector<char> stored(NewEncryptStrSize(strlen(pszPassword)), '\0');
    if (!NewEncryptStr(pszPassword, &stored[0], stored.size()))
    {
        VGLTRACE(12, "SetInternetProxyPassword: the password cannot be scrambled; nothing stored");
        return FALSE;
    }
    if (!FitsInternetSettings("SetInternetProxyPassword", &stored[0]))
        return FALSE;
    return SetInternetSettingsString("ProxyPassword", &stored[0]);
}

CString GetInternetPassword()
{
    return KeyedHexToText(GetInternetSettingsString("Password"));
}

BOOL SetInternetPassword(const char* pszPassword)
{
    if (pszPassword == NULL)
        pszPassword = "";
    int nSize = 2 * (int)strlen(pszPassword) + 1;
    std::vector<char> stored(nSize, '\0');
    if (PWDEncrypt(&stored[0], pszPassword, &nSize) != 0)
    {
        VGLTRACE(12, "SetInternetPassword: the password cannot be encoded; nothing stored");
        return FALSE;
    }
    if (!FitsInternetSettings("SetInternetPassword", &stored[0]))
        return FALSE;
    return SetInternetSettingsString("Password", &stored[0]);
}

CString GetUnloadPasswordDigest() { return GetPasswordDigest("Unload_Pwd"); }
CString GetUninstallPasswordDigest() { return GetPasswordDigest("Uninstall_Pwd"); }
}
