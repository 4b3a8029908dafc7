// Pattern and engine download through the update library Ruderire.DLL: the sources tried
// (other update source, the client's own server in each proxy mode, the maker's update
// service), the records handed to the library, and the support files it needs.
#include "Updates.h"

#include "ConnectServer.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "OtherProducts.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"
#include "TavmontDlg.h"
#include "UpdateLibrary.h"
#include "resource_ids.h"

#include <stdio.h>
#include <string.h>

#include <vector>

void GetURLInfo(char* pszUrl, CString& strServer, int& nPort, const char*& pszPath, size_t cbUrl)
{
    strServer.Empty();
    nPort = 80;
    pszPath = NULL;
    if (pszUrl == NULL || _strnicmp(pszUrl, "http://", 7) != 0)
        return;
    char* pszSlash = strchr(pszUrl + 7, '/');
    if (pszSlash == NULL)
    {
        size_t cb = strlen(pszUrl);
        if (cb + 2 > cbUrl)
        {
            VGLTRACE(12, "GetURLInfo: the URL fills its buffer, no room for \"/\": no server");
            return;
        }
        pszUrl[cb] = '/';
        pszUrl[cb + 1] = '\0';
        pszSlash = pszUrl + cb;
    }
    CString strHost(pszUrl + 7, (int)(pszSlash - pszUrl - 7));
    int nColon = strHost.Find(':');
    if (nColon >= 0)
    {
        int n = atoi(strHost.Mid(nColon + 1));
        if (n != 0)
            nPort = n;
        strHost = strHost.Left(nColon);
    }
    strServer = strHost;
    pszPath = pszSlash;
}

BOOL getFileVersionLow(const char* pszFile, DWORD* pdwVersion)
{
    VS_FIXEDFILEINFO info;
    if (!getFixedFileVersion(pszFile, &info))
        return FALSE;
    if (pdwVersion != NULL)
        *pdwVersion = info.dwFileVersionLS;
    return TRUE;
}

namespace NS_Notification
{
namespace
{
CCriticalSection g_csDownload;
char g_szNFServerUrl[KVU_URL_BUFFER_SIZE];
char g_szOtherServerUrl[KVU_URL_BUFFER_SIZE];
char g_szDirectUpdateUrl[KVU_URL_BUFFER_SIZE];

// The product record (40 bytes), and the source and destination records of the update
// library (its own declarations, ruderire.h).
typedef KvuServer SNovafetchSource;
typedef KvuDestination SNovafetchDestination;
static_assert(sizeof(SKvuOptions) == 40, "product record");

CString libraryPath()
{
    return getModulePath() + "Ruderire.DLL";
}

HMODULE loadUpdateLibrary()
{
    return ::LoadLibraryExA(libraryPath(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

CString systemErrorText(DWORD dwError)
{
    CSystemError error(dwError, NULL, 0);
    CString str = error.GetErrorMessage();
    if (str.IsEmpty())
        str.Format("(%lu)", dwError);
    return str;
}

const char* componentName(int nComponent)
{
    return nComponent == NOVAFETCH_ENGINE ? "Engine" : "Pattern";
}
}

void ReportLibraryLoadFailure(DWORD dwError, BOOL fDisplayErrMsg)
{
    CString strText = systemErrorText(dwError);
    VGLTRACE(12, "LoadLibraryEx(%s) failed: %s", (LPCSTR)libraryPath(), (LPCSTR)strText);
    if (fDisplayErrMsg)
        ::MessageBoxA(NULL, strText, NULL, MB_OK | MB_ICONSTOP);
}

int NovafetchCallback(int nEvent, DWORD dwValue, SNovafetchContext* pContext)
{
    if (pContext == NULL)
        return TRUE;
    SConnectSettings& settings = GetConnectSettings();
    DWORD dwStatus = 0;
    switch (nEvent)
    {
    case 1: dwStatus = pContext->fIntranet ? 20 : 21; break;
    case 4: dwStatus = 31; break;
    case 5: dwStatus = 41; break;
    case 6: dwStatus = 50; break;
    default: break;
    }
    if (dwStatus != 0)
    {
        if (pContext->fIntranet)
        {
            CTavmontDlg::OnPatternDownloadProgress(NULL, 0, dwStatus, &dwValue, sizeof dwValue, pContext->pMainWnd);
            if (nEvent == 4)
                CTavmontDlg::OnPatternDownloadBegin(dwValue, pContext->pMainWnd);
        }
        else
        {
            if (settings.m_pfStatus != NULL)
                settings.m_pfStatus(NULL, 0, dwStatus, &dwValue, sizeof dwValue, settings.m_pvContext);
            if (nEvent == 4 && settings.m_pfContentLength != NULL)
                settings.m_pfContentLength(dwValue, settings.m_pvContext);
        }
    }
    return IsCanceled(pContext->fIntranet) ? FALSE : TRUE;
}

namespace
{
int __cdecl NovafetchProgress(int nEvent, DWORD dwValue, void* pvContext)
{
    return NovafetchCallback(nEvent, dwValue, (SNovafetchContext*)pvContext);
}
}

BOOL BuildNovafetchUrl(char* pszOut, size_t cbOut, const char* pszServer, const char* pszPath)
{
    CString strUrl = joinUrlPath(CString("http://") + pszServer, pszPath != NULL ? pszPath : "");
    if ((size_t)strUrl.GetLength() >= cbOut)
    {
        VGLTRACE(12, "The update URL is longer than %u bytes: no server", (unsigned)(cbOut - 1));
        if (cbOut > 0)
            pszOut[0] = '\0';
        return FALSE;
    }
    memcpy(pszOut, (LPCSTR)strUrl, strUrl.GetLength() + 1);
    return TRUE;
}

void GetNFServer(CString& strServer, int& nPort, const char*& pszUpdateUrl)
{
    CString strIni = getWindowsDirectoryPath() + "\\Vglscan.ini";
    ::GetPrivateProfileStringA(NS_RegistryKey::g_pszIniProgramVersionSection, "Master_Pattern_URL", "",
                               g_szNFServerUrl, sizeof g_szNFServerUrl, strIni);
    GetURLInfo(g_szNFServerUrl, strServer, nPort, pszUpdateUrl, sizeof g_szNFServerUrl);
}

BOOL GetOtherServer(CString& strServer, int& nPort, const char*& pszUpdateUrl)
{
    int nError = 0;
    g_szOtherServerUrl[0] = '\0';
    if (!GetServerURL(getModulePath() + "ous.ini", g_szOtherServerUrl, sizeof g_szOtherServerUrl, &nError))
    {
        VGLTRACE(12, "[GetOtherServer] GetServerURL Failed! error=%d, %s|%d", nError, __FILE__, __LINE__);
        return FALSE;
    }
    GetURLInfo(g_szOtherServerUrl, strServer, nPort, pszUpdateUrl, sizeof g_szOtherServerUrl);
    return !strServer.IsEmpty();
}

int Novafetch_Try(PFN_KVUGETERRORSTRING pfGetErrorString, PFN_KVUMAKEVERSION pfMakeVersion, int nProxySetting,
                  const char* pszServer, int nPort, const char* pszUpdateUrl, const char* pszTargetDir,
                  CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg, CString* pstrError, int nComponent,
                  const char* pszLibraryPath)
{
    DWORD dwPatternVersion = 0;
    int nPattern = 0;
    if (!GetPatternVersion(&dwPatternVersion, &nPattern))
    {
        VGLTRACE(12, "[Novafetch_Try] GetPatternVersion failed, %s|%d", __FILE__, __LINE__);
        return -1;
    }
    SConnectProfile& profile = GetConnectSettings().Profile(fIntranet);
    if (fIntranet)
        profile.LoadIntranet();
    else
        profile.LoadInternet();

    char szUrl[KVU_URL_BUFFER_SIZE];
    if (!BuildNovafetchUrl(szUrl, sizeof szUrl, pszServer, pszUpdateUrl))
        return NOVAFETCH_NO_LIBRARY;

    SKvuOptions product = {};
    product.dwLeading = 40;
    product.adwField[0] = 4;
    product.adwField[1] = (DWORD)nPattern;
    product.adwField[2] = 2;
    CString strEngine = GetEngineVersion("");
    product.adwField[3] = pfMakeVersion != NULL ? pfMakeVersion(strEngine) : 0;
    product.adwField[4] = 17;
    DWORD dwMajor = 0, dwMinor = 0;
    GetModuleVersion(&dwMajor, &dwMinor);
    product.adwField[5] = (dwMajor << 16) + (decimalToBCD(dwMinor) << 8);
    product.adwField[6] = (DWORD)GetLanguageCode();
    product.adwField[7] = 1;
    product.wOptionBits = (WORD)nComponent;

    CString strInternetProxy, strInternetLogin, strInternetPassword;
    SNovafetchSource source = {};
    source.pszUrl = szUrl;
    source.nPort = nPort;
    source.pszUser = profile.m_strUsername;
    source.pszPassword = profile.m_strUserPassword;
    switch (nProxySetting)
    {
    case PS_NORMAL_PROXY:
        source.pszProxyLogin = profile.m_strProxyUsername;
        source.pszProxyPassword = profile.m_strProxyPassword;
        source.pszProxyServer = profile.m_strProxyServer;
        source.fUseProxy = profile.m_fUseProxy;
        source.nProxyPort = profile.m_nProxyPort;
        break;
    case PS_NO_PROXY:
    case PS_DEFAULT_BROWSER_PROXY:
        break;
    case PS_INTERNET_PROXY:
        strInternetProxy = NS_RegistryKey::GetInternetSettingsString("ProxyServer");
        strInternetLogin = NS_RegistryKey::GetInternetSettingsString("ProxyLogin");
        strInternetPassword = NS_RegistryKey::GetInternetProxyPassword();     // stored scrambled
        source.pszProxyLogin = strInternetLogin;
        source.pszProxyPassword = strInternetPassword;
        source.pszProxyServer = strInternetProxy;
        source.fUseProxy = NS_RegistryKey::GetInternetSettingsDword("UseProxy");
        source.nProxyPort = NS_RegistryKey::GetInternetSettingsDword("ProxyPort");
        break;
    default:
        VGLTRACE(12, "    Try unknown setting(%d), %s|%d", nProxySetting, __FILE__, __LINE__);
        break;
    }
    SNovafetchDestination destination = {};
    destination.pszTarget = pszTargetDir;
    destination.pszUser = source.pszUser;
    destination.pszPassword = source.pszPassword;
    SNovafetchContext context = { pMainWnd, fIntranet };

    BOOL fCacheOn = NS_RegistryKey::GetNFCacheOnOff() == 1;
    DWORD dwEngineLow = 0;
    getFileVersionLow(getModulePath() + "vexor32.vxd", &dwEngineLow);
    BYTE abResult[300] = {};
    SKvuServer* pServer = (SKvuServer*)&source;
    VGLTRACE(3, "[Novafetch_Try] %s from %s (proxy setting %d: %s:%lu, %d)", componentName(nComponent), szUrl,
             nProxySetting, source.pszProxyServer != NULL ? source.pszProxyServer : "", (unsigned long)source.nProxyPort,
             (int)source.fUseProxy);
    int nResult = DoKvuUpdate(&product, pServer, &destination, fCacheOn ? 0x1022 : 0x21022, abResult,
                              NovafetchProgress, &context, dwEngineLow, 0, 0, 0, 0, NULL, 0, pszLibraryPath);
    if (nResult == 7 || nResult == 46)
    {
        VGLTRACE(3, "KvuUpdate patch.exe update fail try full pattern, %s", __FILE__);
        nResult = DoKvuUpdate(&product, pServer, &destination, fCacheOn ? 0x62 : 0x20062, abResult,
                              NovafetchProgress, &context, dwEngineLow, 0, 0, 0, 0, NULL, 0, pszLibraryPath);
    }
    if (nResult == 27 && source.fUseProxy)
    {
        source.fUseProxy = 0;
        VGLTRACE(3, "Try the non-proxy settings, %s|%d", __FILE__, __LINE__);
        int nAgain = DoKvuUpdate(&product, pServer, &destination, fCacheOn ? 0x22 : 0x20022, abResult,
                                 NovafetchProgress, &context, dwEngineLow, 0, 0, 0, 0, NULL, 0, pszLibraryPath);
        nResult = nAgain != 0 ? 27 : 0;
    }
    VGLTRACE(3, "[Novafetch_Try] result %d", nResult);
    if (nResult == 0 || nResult == 4 || nResult == 10 || nResult == 34)
        return nResult;
    if (pfGetErrorString != NULL)
    {
        if (GetLanguageCode() == 4)
            DoKvuSetProperty("MsgCodePage", "932", pszLibraryPath);
        char szText[1024] = "";
        if (pfGetErrorString(nResult, szText, sizeof szText))
        {
            VGLTRACE(12, "%s", szText);
            CString strMessage;
            strMessage.Format(IDS_UPDATE_LIBRARY_ERROR, szText);
            if (pstrError != NULL)
                *pstrError = strMessage;
            if (fDisplayErrMsg)
                ::MessageBoxA(NULL, strMessage, NULL, MB_OK | MB_ICONEXCLAMATION);
        }
    }
    return nResult;
}

int Novafetch(int nComponent, SINIEntry tableINI[], CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg,
              const char* pszTargetDir)
{
    CSingleLock lock(&g_csDownload, TRUE);
    const char* pszName = componentName(nComponent);
    VGLTRACE(1, "--> NS_Notification::Novafetch(%s, fIntranet = %d)", pszName, fIntranet);
    HMODULE hLibrary = loadUpdateLibrary();
    if (hLibrary == NULL)
    {
        Active_GetMissFiles(fIntranet);
        hLibrary = loadUpdateLibrary();
        if (hLibrary == NULL)
        {
            ReportLibraryLoadFailure(::GetLastError(), fDisplayErrMsg);
            return NOVAFETCH_NO_LIBRARY;
        }
    }
    PFN_KVUGETERRORSTRING pfGetErrorString =
        (PFN_KVUGETERRORSTRING)::GetProcAddress(hLibrary, "KvuGetErrorString");
    PFN_KVUMAKEVERSION pfMakeVersion = (PFN_KVUMAKEVERSION)::GetProcAddress(hLibrary, "KvuMakeVersion");
    if (pfGetErrorString == NULL || pfMakeVersion == NULL)
    {
        VGLTRACE(12, "GetProcessAddress() fail, %s|%d", __FILE__, __LINE__);
        ::FreeLibrary(hLibrary);
        return NOVAFETCH_NO_LIBRARY;
    }
    CString strLibrary = libraryPath();
    int nResult = NOVAFETCH_NO_LIBRARY;
    BOOL fDone = FALSE;
    // Any attempt's success or negative result ends the cascade.
    auto attempt = [&](int nProxy, const CString& strServer, int nPort, const char* pszUrl, BOOL fIntra,
                       BOOL fShow) {
        nResult = Novafetch_Try(pfGetErrorString, pfMakeVersion, nProxy, strServer, nPort, pszUrl, pszTargetDir,
                                pMainWnd, fIntra, fShow, NULL, nComponent, strLibrary);
        if (nResult < 0)
        {
            VGLTRACE(12, "[Novafetch] Novafetch_Try Failed! err=%d, %s|%d", nResult, __FILE__, __LINE__);
            fDone = TRUE;
        }
        else if (nResult == 0)
            fDone = TRUE;
        return fDone;
    };

    CString strServer;
    int nPort = 80;
    const char* pszUrl = NULL;
    if (NS_RegistryKey::GetAllowUpdateFromOtherNF() && GetOtherServer(strServer, nPort, pszUrl))
    {
        if (!attempt(PS_NO_PROXY, strServer, nPort, pszUrl, fIntranet, FALSE))
            attempt(PS_NORMAL_PROXY, strServer, nPort, pszUrl, fIntranet, FALSE);
    }

    if (!fDone)
    {
        const char* pszUpdateUrl = iniEntryText(tableINI[0]);
        SConnectProfile& profile = GetConnectSettings().Profile(fIntranet);
        if (fIntranet)
            profile.LoadIntranet();
        else
            profile.LoadInternet();
        CString strFull = profile.m_strServerName;
        int nServerPort = profile.m_nServerPort;
        if (!fIntranet)
            attempt(PS_NORMAL_PROXY, strFull, nServerPort, pszUpdateUrl, FALSE, fDisplayErrMsg);
        else
        {
            CString strShort;
            BOOL fShort = profile.GetComputerName(TRUE, strShort);
            CString astrNames[2];
            int nPasses = 0;
            if (fShort)
            {
                BOOL fFqdn = NS_RegistryKey::IsFQDNFirst();
                astrNames[nPasses++] = fFqdn ? strFull : strShort;
                astrNames[nPasses++] = fFqdn ? strShort : strFull;
            }
            else
                astrNames[nPasses++] = strFull;
            for (int i = 0; i < nPasses && !fDone; ++i)
            {
                VGLTRACE(3, "Try %s, %s|%d", (LPCSTR)astrNames[i], __FILE__, __LINE__);
                for (int nProxy = PS_NORMAL_PROXY; nProxy <= PS_DEFAULT_BROWSER_PROXY && !fDone; ++nProxy)
                    attempt(nProxy, astrNames[i], nServerPort, pszUpdateUrl, TRUE, FALSE);
            }
        }
    }

    if (!fDone && NS_RegistryKey::GetAllowUpdateFromKVNF())
    {
        GetNFServer(strServer, nPort, pszUrl);
        if (!attempt(PS_INTERNET_PROXY, strServer, nPort, pszUrl, fIntranet, FALSE) && nResult > 0 &&
            NS_RegistryKey::GetInternetSettingsDword("UseProxy"))
            attempt(PS_NO_PROXY, strServer, nPort, pszUrl, fIntranet, FALSE);
    }
    ::FreeLibrary(hLibrary);
    VGLTRACE(2, "<-- NS_Notification::Novafetch(%s) = %d", pszName, nResult);
    return nResult;
}

BOOL WriteMissingFile(const CString& strPath, const CAccBuffer& body)
{
    if (isFileExist(strPath))
        return TRUE;
    if (body.GetLength() <= 0)
    {
        VGLTRACE(12, "[Active_GetMissFiles] empty reply for %s: not written", (LPCSTR)strPath);
        return FALSE;
    }
    CString strTemp = strPath + ".tmp";
    HANDLE hFile = ::CreateFileA(strTemp, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        VGLTRACE(12, "[Active_GetMissFiles] CreateFile(%s) failed, error %lu", (LPCSTR)strTemp, ::GetLastError());
        return FALSE;
    }
    DWORD cbWritten = 0;
    BOOL fWritten = ::WriteFile(hFile, body.GetData(), (DWORD)body.GetLength(), &cbWritten, NULL) &&
                    cbWritten == (DWORD)body.GetLength();
    ::CloseHandle(hFile);
    // The rename does not replace: a file that appeared meanwhile is kept.
    if (!fWritten || !::MoveFileA(strTemp, strPath))
    {
        VGLTRACE(12, "[Active_GetMissFiles] %s not written, error %lu", (LPCSTR)strPath, ::GetLastError());
        ::DeleteFileA(strTemp);
        return FALSE;
    }
    return TRUE;
}

BOOL Active_GetMissFiles(BOOL fIntranet)
{
    static const char* const s_apszFiles[] = {"Unzip.DLL", "Zlib.DLL", "Patch.EXE"};
    VGLTRACE(1, "--> NS_Notification::Active_GetMissFiles(fIntranet = %d)", fIntranet);
    BOOL fResult = TRUE;
    for (size_t i = 0; i < sizeof s_apszFiles / sizeof s_apszFiles[0] && fResult; ++i)
    {
        CString strPath = getModulePath() + s_apszFiles[i];
        if (isFileExist(strPath))
            continue;
        NS_RegistryKey::STimeout timeouts;
        NS_RegistryKey::GetTimeout(&timeouts, 0, fIntranet);
        CAccBuffer reply;
        fResult = ConnectServer(reply, joinUrlPath("Vigilon/Service", s_apszFiles[i]), &timeouts, NULL, NULL, NULL,
                                NULL, fIntranet, NULL);
        if (fResult)
            WriteMissingFile(strPath, reply);
    }
    VGLTRACE(2, "<-- NS_Notification::Active_GetMissFiles() = %d", fResult);
    return fResult;
}

BOOL DirectUpdatePatternEngine(CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg, PFN_PHASE_BEGIN pfBegin,
                               PFN_PHASE_END pfEnd, PFN_PHASE_CANCEL pfCancel, void* pvThis)
{
    VGLTRACE(1, "--> NS_Notification::DirectUpdatePatternEngine(fIntranet = %d)", fIntranet);
    SConnectProfile& internet = GetConnectSettings().m_internet;
    internet.LoadInternet();
    BOOL fUseProxy = NS_RegistryKey::GetInternetSettingsDword("UseProxy");
    CString strServer;
    int nPort = 80;
    const char* pszUrl = NULL;
    if (fIntranet)
        GetNFServer(strServer, nPort, pszUrl);
    else
    {
        CString strName = internet.m_strServerName;
        if (_strnicmp(strName, "http://", 7) != 0)
            strName = "http://" + strName;
        g_szDirectUpdateUrl[0] = '\0';
        if ((size_t)strName.GetLength() < sizeof g_szDirectUpdateUrl)
        {
            memcpy(g_szDirectUpdateUrl, (LPCSTR)strName, strName.GetLength() + 1);
            GetURLInfo(g_szDirectUpdateUrl, strServer, nPort, pszUrl, sizeof g_szDirectUpdateUrl);
        }
        else
            VGLTRACE(12, "[DirectUpdatePatternEngine] the server name is too long: no server");
        if (internet.m_nServerPort != 0)
            nPort = internet.m_nServerPort;
    }
    if (strServer.IsEmpty())
    {
        VGLTRACE(12, "[DirectUpdatePatternEngine] strServer is Empty, %s|%d", __FILE__, __LINE__);
        return FALSE;
    }
    HMODULE hLibrary = loadUpdateLibrary();
    if (hLibrary == NULL)
    {
        Active_GetMissFiles(fIntranet);
        hLibrary = loadUpdateLibrary();
        if (hLibrary == NULL)
        {
            DWORD dwError = ::GetLastError();
            VGLTRACE(12, "[DirectUpdatePatternEngine] LoadLibraryEx(%s) Failed! err=%lu, %s|%d",
                     (LPCSTR)libraryPath(), dwError, __FILE__, __LINE__);
            ReportLibraryLoadFailure(dwError, fDisplayErrMsg);
            return FALSE;
        }
    }
    PFN_KVUGETERRORSTRING pfGetErrorString =
        (PFN_KVUGETERRORSTRING)::GetProcAddress(hLibrary, "KvuGetErrorString");
    PFN_KVUMAKEVERSION pfMakeVersion = (PFN_KVUMAKEVERSION)::GetProcAddress(hLibrary, "KvuMakeVersion");
    if (pfGetErrorString == NULL || pfMakeVersion == NULL)
    {
        VGLTRACE(12, "GetProcessAddress() fail, %s|%d", __FILE__, __LINE__);
        ::FreeLibrary(hLibrary);
        return FALSE;
    }
    CString strLibrary = libraryPath();
    BOOL fPattern = FALSE, fEngine = FALSE, fFailed = FALSE;
    CString strServerName = strServer;
    auto fetch = [&](int nComponent, const CString& strDir) {
        int nResult = 0;
        if (fUseProxy)
            nResult = Novafetch_Try(pfGetErrorString, pfMakeVersion, PS_INTERNET_PROXY, strServerName, nPort, pszUrl,
                                    strDir, pMainWnd, fIntranet, FALSE, NULL, nComponent, strLibrary);
        if (!fUseProxy || (nResult != 0 && nResult != 4))
            nResult = Novafetch_Try(pfGetErrorString, pfMakeVersion, PS_NO_PROXY, strServerName, nPort, pszUrl,
                                    strDir, pMainWnd, fIntranet, fDisplayErrMsg, NULL, nComponent, strLibrary);
        if (nResult < 0)
            fFailed = TRUE;
        return nResult == 0 || nResult == 4;
    };

    CString strPatternDir = getTempDirectory() + PATTERN_UPDATE_FOLDER;
    if (pfBegin != NULL)
        pfBegin(18, pvThis);
    if (!createDirectory(strPatternDir, FALSE))
    {
        ::FreeLibrary(hLibrary);
        return FALSE;
    }
    CString strCopy;
    if (!CopyOriginalPatternFile(strPatternDir, strCopy))
        VGLTRACE(12, "[DirectUpdatePatternEngine] Copy Pattern file to temp update dir, incremental update will be "
                     "failed.! , %s|%d",
                 __FILE__, __LINE__);
    fPattern = fetch(NOVAFETCH_PATTERN, strPatternDir);
    if (pfEnd != NULL)
        pfEnd(18, pvThis);
    if (!fFailed && !(pfCancel != NULL && pfCancel(pvThis)))
    {
        CString strEngineDir = getTempDirectory() + ENGINE_UPDATE_FOLDER;
        if (pfBegin != NULL)
            pfBegin(22, pvThis);
        if (!createDirectory(strEngineDir, FALSE))
        {
            ::FreeLibrary(hLibrary);
            return FALSE;
        }
        fEngine = fetch(NOVAFETCH_ENGINE, strEngineDir);
        if (pfEnd != NULL)
            pfEnd(22, pvThis);
    }
    ::FreeLibrary(hLibrary);
    // A copy the library left as it was is not a new pattern.
    DeleteUnchangedPatternCopy(strCopy);
    if (fFailed)
    {
        // The library could not be run at all: nothing was fetched and nothing is reported.
        VGLTRACE(12, "[DirectUpdatePatternEngine] the update library failed: no hand-over, %s|%d", __FILE__, __LINE__);
        return FALSE;
    }
    BOOL fCancel = pfCancel != NULL && pfCancel(pvThis);
    CStringArray arrPatterns;
    collectFiles(arrPatterns, strPatternDir, "*.*", TRUE);
    BOOL fNewPattern = fPattern && arrPatterns.GetSize() > 0;
    CStringArray arrEngines;
    collectFiles(arrEngines, getTempDirectory() + ENGINE_UPDATE_FOLDER, "*.vxd", TRUE);
    BOOL fNewEngine = fEngine && arrEngines.GetSize() > 0;
    PostUpdate(pMainWnd, fNewPattern, fNewEngine, FALSE, FALSE, NULL, CString(), CString(), fIntranet,
               fDisplayErrMsg, fCancel);
    VGLTRACE(2, "<-- NS_Notification::DirectUpdatePatternEngine() = %d", fPattern && fEngine);
    return fPattern && fEngine;
}
}
