#include "Vexor.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "LogTracker.h"

namespace {

const int ENGINE_START_MODE = 2;

class CEngineLock
{
public:
    explicit CEngineLock(CCriticalSection& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CEngineLock() { m_lock.Unlock(); }

private:
    CCriticalSection& m_lock;
};

// Each entry with its NUL, then a final NUL, in a buffer one byte longer than needed.
std::vector<char> PackMultiString(const CStringArray& arr)
{
    int nLength = 1;
    for (int i = 0; i < arr.GetSize(); ++i)
        nLength += arr[i].GetLength() + 1;
    std::vector<char> buffer(nLength + 1, 0);
    char* p = &buffer[0];
    for (int i = 0; i < arr.GetSize(); ++i)
    {
        memcpy(p, (LPCSTR)arr[i], arr[i].GetLength());
        p += arr[i].GetLength() + 1;
    }
    return buffer;
}

void SplitVersion(DWORD dwVersion, int* pnMajor, int* pnMinor)
{
    if (pnMajor)
        *pnMajor = int(dwVersion >> 16);
    if (pnMinor)
        *pnMinor = int(dwVersion & 0xFFFF);
}

}  // namespace

void CVexorVXD::ReleaseEvent(LPVOID pEvent)
{
    if (pEvent)
        IOT_FreeEvent(pEvent);
}

BOOL CVexorVXD::SetOption34(DWORD dwValue) { return IOT_SetOption34(dwValue); }
BOOL CVexorVXD::SetOption33(DWORD dwValue) { return IOT_SetOption33(dwValue); }

BOOL CVexorVXD::SetCompressedLayer(int nLayer)
{
    return IOT_SetCompressedLayer(nLayer, CVexorVirtual::typeManual);
}

BOOL CVexorVXD::SetBackupDirectory(LPCSTR pszFolder, int nType) { return IOT_SetBackupDirectory(pszFolder, nType); }

BOOL CVexorVXD::SetAction(int nAction) { return IOT_SetFirstAction(nAction, NULL, CVexorVirtual::typeManual); }

BOOL CVexorVXD::SetDirectory49(LPCSTR pszFolder) { return IOT_SetDirectory49(pszFolder); }

BOOL CVexorVXD::RegisterScanCallback(IOT_EventCallback pfnCallback, LPVOID pContext)
{
    return IOT_SetScanCallback(pContext, pfnCallback);
}

int CVexorVXD::SetZipCleanFlag(BOOL fClean, int nType) { return IOT_SetZipCleanFlag(fClean, nType); }
BOOL CVexorVXD::SetBackupEncodeFlag(BOOL fEncode) { return IOT_SetBackupEncodeFlag(fEncode); }
int CVexorVXD::GetZipCleanFlag(int nType) { return IOT_GetZipCleanFlag(nType); }

BOOL CVexorVXD::GetDefaultPatternFile(CString& strPath)
{
    char szPath[260];
    memset(szPath, 0, sizeof szPath);
    BOOL fResult = IOT_GetDefaultPatternFile(szPath);
    szPath[sizeof szPath - 1] = 0;
    strPath = szPath;
    return fResult;
}

BOOL CVexorVXD::GetValue39(int* pnValue) { return IOT_GetValue39((DWORD*)pnValue); }
BOOL CVexorVXD::GetVirusCount(int* pnCount) { return IOT_GetVirusCount((DWORD*)pnCount); }
int CVexorVXD::GetVirusNameList(LPVOID pBuffer) { return IOT_GetVirusNameList(pBuffer); }

BOOL CVexorVXD::GetEngineVersion(int* pnMajor, int* pnMinor)
{
    DWORD dwVersion = 0;
    if (!IOT_GetEngineVersion(&dwVersion))
        return FALSE;
    SplitVersion(dwVersion, pnMajor, pnMinor);
    return TRUE;
}

int CVexorVXD::ScanFile(LPCSTR pszPath, int /*nReserved*/)
{
    CEngineLock lock(m_lock);
    return IOT_ScanFile(pszPath);
}

BOOL CVexorVXD::StopScan() { return IOT_StopScan(); }
DWORD CVexorVXD::ActOnFile(LPCSTR pszPath, int nAction) { return IOT_ActOnFile(nAction, pszPath); }
int CVexorVXD::ScanMemory(BPMINFO* pInfo) { return DoScanMemory(pInfo); }
BOOL CVexorVXD::ScanBootSector(char cDrive, BPMINFO* pInfo) { return DoScanBootSector(cDrive, pInfo); }
BOOL CVexorVXD::ScanBootSector(char cDrive) { return ScanBootSector(cDrive, NULL); }
BOOL CVexorVXD::ScanPartition(char cDrive, BPMINFO* pInfo) { return DoScanPartition(cDrive, pInfo); }
BOOL CVexorVXD::ScanPartition(char cDrive) { return ScanPartition(cDrive, NULL); }
int CVexorVXD::CleanBPVirus(char cDrive, BPMINFO* pInfo) { return DoCleanBPVirus(cDrive, pInfo); }
BOOL CVexorVXD::SetPathPair51(LPCSTR pszName, LPCSTR pszFolder) { return IOT_SetPathPair51(pszName, pszFolder); }

BOOL CVexorVXD::SetMaxCompressedFileCount(int nCount, int nType)
{
    return IOT_SetMaxCompressedFileCount(nCount, nType);
}

int CVexorVXD::GetMaxCompressedFileCount(int nType) { return IOT_GetMaxCompressedFileCount(nType); }

BOOL CVexorVXD::SetMaxExtractFileSize(DWORD dwBytes, int nType) { return IOT_SetMaxExtractFileSize(dwBytes, nType); }

int CVexorVXD::GetMaxExtractFileSize(int nType) { return IOT_GetMaxExtractFileSize(nType); }
BOOL CVexorVXD::SetOleLayer(int nLayer, int nType) { return IOT_SetOleLayer(nLayer, nType); }
int CVexorVXD::GetOleLayer(int nType) { return IOT_GetOleLayer(nType); }
int CVexorVXD::GetBackupEncodeFlag() { return IOT_GetBackupEncodeFlag(); }

BOOL CVexorVXD::EncodeFile(LPCSTR pszSource, LPCSTR pszDestination)
{
    return IOT_EncodeFile(pszSource, pszDestination);
}

BOOL CVexorVXD::GetFilterVersion(int* pnMajor, int* pnMinor)
{
    DWORD dwVersion = 0;
    if (!IOT_GetFilterVersion(&dwVersion))
        return FALSE;
    SplitVersion(dwVersion, pnMajor, pnMinor);
    return TRUE;
}

int CVexorVXD::GetIntelliScanFlag(int nType) { return IOT_GetIntelliScanFlag(nType); }
BOOL CVexorVXD::SetIntelliScanFlag(BOOL fFlag, int nType) { return IOT_SetIntelliScanFlag(nType, fFlag); }
int CVexorVXD::GetActiveActionFlag(int nType) { return IOT_GetActiveActionFlag(nType); }
BOOL CVexorVXD::SetActiveActionFlag(BOOL fFlag, int nType) { return IOT_SetActiveActionFlag(nType, fFlag); }

BOOL CVexorVXD::Initialize(LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder, int* pnResult)
{
    VGLTRACE(1, "-->CVexorVXD::Initialize(%s)", pszDriverFolder ? pszDriverFolder : "");
    BOOL fResult = IOT_StartMode(pnResult, pContext, pfnCallback, pszDriverFolder, ENGINE_START_MODE);
    VGLTRACE(2, "<--CVexorVXD::Initialize() = %d, result = %d, init status = %d", fResult, pnResult ? *pnResult : 0,
             IOT_GetInitError());
    return fResult;
}

BOOL CVexorVXD::InitializeWithPattern(LPVOID pContext, IOT_EventCallback pfnCallback, LPCSTR pszDriverFolder,
                                      int* pnResult, LPCSTR pszPatternName, int* pnNameMatches)
{
    VGLTRACE(1, "-->CVexorVXD::InitializeWithPattern(%s, %s)", pszDriverFolder ? pszDriverFolder : "",
             pszPatternName ? pszPatternName : "");
    BOOL fResult = IOT_Start(pnResult, pContext, pfnCallback, pszDriverFolder, pszPatternName, pnNameMatches,
                             ENGINE_START_MODE);
    VGLTRACE(2, "<--CVexorVXD::InitializeWithPattern() = %d, result = %d", fResult, pnResult ? *pnResult : 0);
    return fResult;
}

BOOL CVexorVXD::Uninitialize()
{
    VGLTRACE(1, "-->CVexorVXD::Uninitialize()");
    BOOL fResult = IOT_Stop();
    VGLTRACE(2, "<--CVexorVXD::Uninitialize() = %d", fResult);
    return fResult;
}

BOOL CVexorVXD::Hook(LPCSTR pszFileTypes)
{
    VGLTRACE(3, "CVexorVXD::Hook(%s)", pszFileTypes ? pszFileTypes : "");
    return IOT_Hook(pszFileTypes);
}

BOOL CVexorVXD::Unhook()
{
    VGLTRACE(3, "CVexorVXD::Unhook()");
    return IOT_Unhook();
}

BOOL CVexorVXD::TurnOnRealTimeScan() { return IOT_TurnOnRealTimeScan(); }
BOOL CVexorVXD::TurnOffRealTimeScan() { return IOT_TurnOffRealTimeScan(); }
BOOL CVexorVXD::RegisterConnectNotify(HWND hWnd, UINT uMessage) { return IOT_RegisterConnectNotify(hWnd, uMessage); }
BOOL CVexorVXD::AddExceptionProcess(DWORD dwProcessId) { return IOT_AddExceptionProcess(dwProcessId); }
BOOL CVexorVXD::DeleteExceptionProcess(DWORD dwProcessId) { return IOT_DeleteExceptionProcess(dwProcessId); }
BOOL CVexorVXD::SetFilterString(LPCSTR pszFileTypes) { return IOT_SetFilterString(pszFileTypes); }
BOOL CVexorVXD::SetIOFilter(DWORD dwMask) { return IOT_SetIOFilter(dwMask); }
BOOL CVexorVXD::SetScanNetworkFileFlag(BOOL fScan) { return IOT_SetScanNetworkFileFlag(fScan); }

BOOL CVexorVXD::SetRealtimeCompressedLayer(int nLayer)
{
    return IOT_SetCompressedLayer(nLayer, CVexorVirtual::typeRealtime);
}

BOOL CVexorVXD::SetFirstAction(int nAction, LPCSTR pszText, int nType)
{
    return IOT_SetFirstAction(nAction, pszText, nType);
}

BOOL CVexorVXD::SetSecondAction(int nAction, LPCSTR pszText, int nType)
{
    return IOT_SetSecondAction(nAction, pszText, nType);
}

BOOL CVexorVXD::SetMoveFolder(LPCSTR pszFolder, int nType) { return IOT_SetMoveFolder(pszFolder, nType); }
BOOL CVexorVXD::SetSecondMoveFolder(LPCSTR pszFolder, int nType) { return IOT_SetSecondMoveFolder(pszFolder, nType); }

BOOL CVexorVXD::SetRenameExtension(LPCSTR pszExtension, int nType)
{
    return IOT_SetRenameExtension(pszExtension, nType);
}

BOOL CVexorVXD::SetSecondRenameExtension(LPCSTR pszExtension, int nType)
{
    return IOT_SetSecondRenameExtension(pszExtension, nType);
}

BOOL CVexorVXD::SetBackupIfClean(BOOL fBackup, int nType) { return IOT_SetBackupIfClean(fBackup, nType); }

BOOL CVexorVXD::SetExcludedFileNames(const CStringArray& arrNames)
{
    std::vector<char> buffer = PackMultiString(arrNames);
    return IOT_SetExcludedFileNames(&buffer[0]);
}

BOOL CVexorVXD::SetExcludedPaths(const CStringArray& arrPaths)
{
    std::vector<char> buffer = PackMultiString(arrPaths);
    return IOT_SetExcludedPaths(&buffer[0]);
}

int CVexorVXD::SetEnviromentType(int nType) { return IOT_SetEnviromentType(nType); }

int CVexorVXD::EnviromentTypeOf(UINT uCodePage)
{
    switch (uCodePage)
    {
    case 932:
        return 2;
    case 936:
    case 949:
    case 950:
        return 1;
    }
    return 0;
}

int CVexorVXD::GetEnviromentType() { return EnviromentTypeOf(GetACP()); }

BOOL CVexorVXD::SetForbiddenList(LPCSTR pszMultiString) { return IOT_SetForbiddenList(pszMultiString); }

int CVexorVXD::GetInitError() { return IOT_GetInitError(); }

BOOL CVexorVXD::IsPatternError()
{
    int nError = GetInitError();
    return nError == -83 || (nError >= -4 && nError <= -1);
}

int CVexorVXD::DoScanMemory(BPMINFO* pInfo)
{
    CEngineLock lock(m_lock);
    return IOT_ScanMemory(pInfo);
}

BOOL CVexorVXD::DoScanBootSector(char cDrive, BPMINFO* pInfo)
{
    BPMINFO local;
    memset(&local, 0, sizeof local);
    CEngineLock lock(m_lock);
    return IOT_ScanBootSector(cDrive, pInfo ? pInfo : &local) == -1;
}

BOOL CVexorVXD::DoScanPartition(char cDrive, BPMINFO* pInfo)
{
    BPMINFO local;
    memset(&local, 0, sizeof local);
    CEngineLock lock(m_lock);
    return IOT_ScanPartition(cDrive, pInfo ? pInfo : &local) == -1;
}

int CVexorVXD::DoCleanBPVirus(char cDrive, BPMINFO* pInfo)
{
    CEngineLock lock(m_lock);
    return IOT_CleanBPVirus(cDrive, pInfo);
}

namespace {

// Appends a text to the multi-string in the buffer.
void AppendFolder(char* pszList, LPCSTR pszFolder)
{
    char* p = pszList;
    while (*p)
        p += strlen(p) + 1;
    strcpy(p, pszFolder);
    p[strlen(pszFolder) + 1] = 0;
}

BOOL ReadAltStartup(LPCSTR pszSubKey, char* pszValue)
{
    HKEY hKey = NULL;
    pszValue[0] = 0;
    if (RegOpenKeyExA(HKEY_USERS, pszSubKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return FALSE;
    DWORD cb = 259, dwType = 0;
    LONG l = RegQueryValueExA(hKey, "AltStartup", NULL, &dwType, (BYTE*)pszValue, &cb);
    RegCloseKey(hKey);
    if (l != ERROR_SUCCESS)
        pszValue[0] = 0;
    pszValue[259] = 0;
    return pszValue[0] != 0;
}

}  // namespace

void getExcelStartupFolder(char* pszList, int /*nSize*/)
{
    char szValue[260];
    BOOL fFound = FALSE;
    static const char* const s_apszIni[] = {"excel4.ini", "excel5.ini"};
    for (int i = 0; i < 2; ++i)
    {
        GetPrivateProfileStringA("Microsoft Excel", "AltStartup", "", szValue, sizeof szValue, s_apszIni[i]);
        if (szValue[0])
        {
            AppendFolder(pszList, szValue);
            fFound = TRUE;
        }
    }
    if (ReadAltStartup(".Default\\Software\\Microsoft\\Excel\\7.0\\Microsoft Excel", szValue))
    {
        AppendFolder(pszList, szValue);
        fFound = TRUE;
    }
    if (ReadAltStartup(".Default\\Software\\Microsoft\\Office\\8.0\\Excel\\Microsoft Excel", szValue))
        AppendFolder(pszList, szValue);
    if (fFound)
        return;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_USERS, ".Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Extensions", 0,
                      KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    char szCommand[260] = "";
    DWORD cb = 259, dwType = 0;
    LONG l = RegQueryValueExA(hKey, "xls", NULL, &dwType, (BYTE*)szCommand, &cb);
    RegCloseKey(hKey);
    if (l != ERROR_SUCCESS || !szCommand[0])
        return;
    szCommand[259] = 0;
    char* pSpace = strrchr(szCommand, ' ');
    if (pSpace)
        *pSpace = 0;
    char szDrive[_MAX_DRIVE], szDir[_MAX_DIR];
    _splitpath(szCommand, szDrive, szDir, NULL, NULL);
    char szFolder[260];
    _snprintf(szFolder, sizeof szFolder - 1, "%s%sxlStart", szDrive, szDir);
    szFolder[sizeof szFolder - 1] = 0;
    AppendFolder(pszList, szFolder);
}
