// The scan setting classes: INI, registry, query and engine forms of one section.
#include "CommonScanINI.h"

#include "Globals.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "Vexor.h"

#include "resource_ids.h"

#include <stdlib.h>
#include <string.h>

const char g_pszManualScanSection[] = "Manual Scan Configuration";
const char g_pszRealTimeScanSection[] = "Real Time Scan Configuration";
const char g_pszRemoteScanSection[] = "Scan Now Configuration";
const char g_pszScheduleScanSection[] = "Prescheduled Scan Configuration";
const char g_pszGlobalSettingSection[] = "Global Setting";

namespace
{
enum
{
    MAX_COMPRESSED_LAYER = 20,
    EXT_LIST_REGISTRY_MAX = 1023,
    FOLDER_REGISTRY_MAX = 259,
    NO_LIMIT = 0x7FFFFFFF,
    BYTES_PER_MEGABYTE = 1048576
};

const char s_szRenameExtension[] = ".Vir";
const char s_szBackupFolder[] = "Backup";
const char* const s_apszCompressedExtensions[] = {
    ".ZIP", ".ARJ", ".LZH", ".LHA", ".EX_", ".CO_", ".CAB", ".GZ", ".RAR", ".Z", ".TAR", ".JAR", ".WAR"};

CString LoadText(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return str;
}

CString ReadIni(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszDefault, LPCSTR pszIniFile)
{
    return getProfileString(pszSection, pszKey, pszDefault, pszIniFile);
}

void WriteIni(LPCSTR pszSection, LPCSTR pszKey, LPCSTR pszValue, LPCSTR pszIniFile)
{
    WritePrivateProfileStringA(pszSection, pszKey, pszValue, pszIniFile);
}

void WriteIniNumber(LPCSTR pszSection, LPCSTR pszKey, int nValue, LPCSTR pszIniFile)
{
    CString str;
    str.Format("%d", nValue);
    WriteIni(pszSection, pszKey, str, pszIniFile);
}

BOOL QueryDword(HKEY hKey, LPCSTR pszName, DWORD& dwOut)
{
    DWORD dwType = 0, dwValue = 0, cb = sizeof(dwValue);
    if (RegQueryValueExA(hKey, pszName, NULL, &dwType, (LPBYTE)&dwValue, &cb) != ERROR_SUCCESS ||
        dwType != REG_DWORD || cb != sizeof(dwValue))
        return FALSE;
    dwOut = dwValue;
    return TRUE;
}

BOOL QueryFlag(HKEY hKey, LPCSTR pszName, BOOL fMissing)
{
    DWORD dwValue = 0;
    if (!QueryDword(hKey, pszName, dwValue))
        return fMissing;
    return dwValue != 0;
}

int QueryNumber(HKEY hKey, LPCSTR pszName, int nMissing)
{
    DWORD dwValue = 0;
    return QueryDword(hKey, pszName, dwValue) ? (int)dwValue : nMissing;
}

// A text value cut to nMax characters; empty when missing or not a text.
CString QueryText(HKEY hKey, LPCSTR pszName, int nMax)
{
    DWORD dwType = 0, cb = 0;
    if (RegQueryValueExA(hKey, pszName, NULL, &dwType, NULL, &cb) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ) || cb == 0)
        return CString();
    CString str;
    LPSTR pszBuffer = str.GetBuffer((int)cb + 1);
    if (RegQueryValueExA(hKey, pszName, NULL, NULL, (LPBYTE)pszBuffer, &cb) != ERROR_SUCCESS)
        cb = 0;
    pszBuffer[cb] = '\0';
    str.ReleaseBuffer();
    if (str.GetLength() > nMax)
        str = str.Left(nMax);
    return str;
}

void SetDword(HKEY hKey, LPCSTR pszName, DWORD dwValue)
{
    RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue));
}

void SetText(HKEY hKey, LPCSTR pszName, LPCSTR pszText)
{
    RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszText, lstrlenA(pszText) + 1);
}

// Appends every compressed-file extension the text does not already contain.
void AppendCompressedExtensions(CString& str)
{
    for (LPCSTR pszExt : s_apszCompressedExtensions)
    {
        if (str.Find(pszExt) < 0)
            str += pszExt;
    }
}

void SplitExtensions(LPCSTR pszList, CStringArray& arrOut)
{
    SFileExtensionAdapter adapter;
    splitString('.', pszList, arrOut, adapter);
}
}

// ---- CCommonScanINI ----

CCommonScanINI::CCommonScanINI(LPCSTR pszSection, BOOL fEnable, LPCSTR pszExtList)
    : m_fEnable(fEnable),
      m_fAllowCfg(TRUE),
      m_fScanBoot(TRUE),
      m_fScanMemory(TRUE),
      m_fScanCompressed(TRUE),
      m_fBkUpIfClean(TRUE),
      m_fScanAllFiles(TRUE),
      m_nCompressedLayer(MAX_COMPRESSED_LAYER),
      m_strExtList(pszExtList),
      m_nVirusFoundAction(SCAN_ACTION_CLEAN),
      m_nCleanFailedAction(SCAN_ACTION_LEAVE),
      m_pszSection(pszSection),
      m_fIntelliScan(FALSE),
      m_fActiveAction(FALSE),
      m_nCompressedFileCount(0),
      m_nMaximumExtractFileSize(0),
      m_fZipCleanOnOff(FALSE),
      m_nOleLayer(0),
      m_fPopupVirusFoundOnOff(TRUE)
{
}

CCommonScanINI::~CCommonScanINI()
{
}

int CCommonScanINI::ToEngineAction(int nAction)
{
    switch (nAction)
    {
    case SCAN_ACTION_LEAVE: return VEXOR_ACTION_NONE;
    case SCAN_ACTION_DELETE: return VEXOR_ACTION_DELETE;
    case SCAN_ACTION_RENAME: return VEXOR_ACTION_RENAME;
    case SCAN_ACTION_MOVE: return VEXOR_ACTION_MOVE;
    default: return VEXOR_ACTION_CLEAN;
    }
}

BOOL CCommonScanINI::ParseYesWord(LPCSTR pszText)
{
    return lstrcmpiA(pszText, "YES") == 0 || lstrcmpiA(pszText, "ON") == 0 ||
           lstrcmpiA(pszText, "1") == 0;
}

int CCommonScanINI::ParseActionWord(LPCSTR pszText)
{
    static const struct { LPCSTR pszWord; LPCSTR pszNumber; int nAction; } s_words[] = {
        {"Leave", "1", SCAN_ACTION_LEAVE},   {"Delete", "2", SCAN_ACTION_DELETE},
        {"Rename", "3", SCAN_ACTION_RENAME}, {"Move", "4", SCAN_ACTION_MOVE},
        {"Clean", "5", SCAN_ACTION_CLEAN}};
    for (const auto& word : s_words)
    {
        if (lstrcmpiA(pszText, word.pszWord) == 0 || lstrcmpiA(pszText, word.pszNumber) == 0)
            return word.nAction;
    }
    return SCAN_ACTION_LEAVE;
}

LPCSTR CCommonScanINI::ActionWord(int nAction)
{
    switch (nAction)
    {
    case SCAN_ACTION_DELETE: return "Delete";
    case SCAN_ACTION_RENAME: return "Rename";
    case SCAN_ACTION_MOVE: return "Move";
    case SCAN_ACTION_CLEAN: return "Clean";
    default: return "Leave";
    }
}

void CCommonScanINI::ReadIniFile(LPCSTR pszIniFile)
{
    VGLTRACE(1, "--> CCommonScanINI::ReadIniFile(%s) [%s]", pszIniFile, m_pszSection);
    LPCSTR s = m_pszSection;
    LPCSTR g = g_pszGlobalSettingSection;
    m_fEnable = ParseYesWord(ReadIni(s, "Enable", "YES", pszIniFile));
    m_fAllowCfg = ParseYesWord(ReadIni(s, "AllowCfg", "NO", pszIniFile));
    m_fScanBoot = ParseYesWord(ReadIni(s, "ScanBoot", "YES", pszIniFile));
    m_fScanMemory = ParseYesWord(ReadIni(s, "ScanMemory", "YES", pszIniFile));
    m_fScanCompressed = ParseYesWord(ReadIni(s, "ScanCompressed", "YES", pszIniFile));
    m_fScanAllFiles = ParseYesWord(ReadIni(s, "ScanAllFiles", "NO", pszIniFile));
    m_fBkUpIfClean = ParseYesWord(ReadIni(s, "BkUpIfClean", "NO", pszIniFile));
    m_nCompressedLayer = atoi(ReadIni(s, "CompressedLayer", "4", pszIniFile));
    m_nVirusFoundAction = ParseActionWord(ReadIni(s, "VirusFoundAction", "Clean", pszIniFile));
    m_nCleanFailedAction = ParseActionWord(ReadIni(s, "CleanFailedAction", "Rename", pszIniFile));
    m_strExtList = ReadIni(s, "ExtList", g_pszDefaultExtList, pszIniFile);
    m_strMoveDir = makeAbsolutePath(ReadIni(s, "MoveDir", "", pszIniFile));
    m_strCleanFailedMoveDir = makeAbsolutePath(ReadIni(s, "CleanFailedMoveDir", "", pszIniFile));
    m_fIntelliScan = ParseYesWord(ReadIni(s, "IntelliScan", "NO", pszIniFile));
    m_fActiveAction = ParseYesWord(ReadIni(s, "ActiveAction", "NO", pszIniFile));
    m_nCompressedFileCount = atoi(ReadIni(g, "CompressedFileCount", "100", pszIniFile));
    m_fZipCleanOnOff = ParseYesWord(ReadIni(g, "ZipCleanOnOff", "NO", pszIniFile));
    m_nOleLayer = atoi(ReadIni(g, "OleLayer", "3", pszIniFile));
    m_nMaximumExtractFileSize = atoi(ReadIni(g, "MaximumExtractFileSize", "2", pszIniFile));
    m_fPopupVirusFoundOnOff = ParseYesWord(ReadIni(g, "PopupVirusFoundOnOff", "YES", pszIniFile));
    if (m_nCompressedLayer < 0 || m_nCompressedLayer > MAX_COMPRESSED_LAYER)
        m_nCompressedLayer = 0;
    VGLTRACE(2, "<-- CCommonScanINI::ReadIniFile(%s) [%s]", pszIniFile, m_pszSection);
}

void CCommonScanINI::WriteIniFile(LPCSTR pszIniFile)
{
    VGLTRACE(1, "--> CCommonScanINI::WriteIniFile(%s) [%s]", pszIniFile, m_pszSection);
    LPCSTR s = m_pszSection;
    LPCSTR g = g_pszGlobalSettingSection;
    WriteIni(s, "Enable", YesNo(m_fEnable), pszIniFile);
    WriteIni(s, "AllowCfg", YesNo(m_fAllowCfg), pszIniFile);
    WriteIni(s, "ScanBoot", YesNo(m_fScanBoot), pszIniFile);
    WriteIni(s, "ScanMemory", YesNo(m_fScanMemory), pszIniFile);
    WriteIni(s, "ScanCompressed", YesNo(m_fScanCompressed), pszIniFile);
    WriteIni(s, "ScanAllFiles", YesNo(m_fScanAllFiles), pszIniFile);
    WriteIni(s, "BkUpIfClean", YesNo(m_fBkUpIfClean), pszIniFile);
    WriteIniNumber(s, "CompressedLayer", m_nCompressedLayer, pszIniFile);
    WriteIni(s, "ExtList", m_strExtList, pszIniFile);
    WriteIni(s, "MoveDir", makeAbsolutePath(m_strMoveDir), pszIniFile);
    WriteIni(s, "CleanFailedMoveDir", makeAbsolutePath(m_strCleanFailedMoveDir), pszIniFile);
    WriteIni(s, "VirusFoundAction", ActionWord(m_nVirusFoundAction), pszIniFile);
    WriteIni(s, "CleanFailedAction", ActionWord(m_nCleanFailedAction), pszIniFile);
    WriteIni(s, "IntelliScan", YesNo(m_fIntelliScan), pszIniFile);
    WriteIni(s, "ActiveAction", YesNo(m_fActiveAction), pszIniFile);
    WriteIniNumber(g, "CompressedFileCount", m_nCompressedFileCount, pszIniFile);
    WriteIni(g, "ZipCleanOnOff", YesNo(m_fZipCleanOnOff), pszIniFile);
    WriteIniNumber(g, "OleLayer", m_nOleLayer, pszIniFile);
    WriteIniNumber(g, "MaximumExtractFileSize", m_nMaximumExtractFileSize, pszIniFile);
    WriteIni(g, "PopupVirusFoundOnOff", YesNo(m_fPopupVirusFoundOnOff), pszIniFile);
    VGLTRACE(2, "<-- CCommonScanINI::WriteIniFile(%s) [%s]", pszIniFile, m_pszSection);
}

BOOL CCommonScanINI::OpenSectionKey(HKEY hRoot, LPCSTR pszKeyPath, BOOL fCreate, HKEY* phKey) const
{
    *phKey = NULL;
    if (!fCreate)
    {
        CString strPath = joinPath(pszKeyPath, m_pszSection);
        return RegOpenKeyExA(hRoot, strPath, 0, KEY_ALL_ACCESS, phKey) == ERROR_SUCCESS;
    }
    HKEY hParent = NULL;
    if (RegCreateKeyExA(hRoot, pszKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &hParent, NULL) != ERROR_SUCCESS)
        return FALSE;
    LONG lResult = RegCreateKeyExA(hParent, m_pszSection, 0, NULL, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, NULL, phKey, NULL);
    RegCloseKey(hParent);
    return lResult == ERROR_SUCCESS;
}

void CCommonScanINI::ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    VGLTRACE(1, "--> CCommonScanINI::ReadRegistry(%s) [%s]", pszKeyPath, m_pszSection);
    HKEY hKey = NULL;
    if (!OpenSectionKey(hRoot, pszKeyPath, FALSE, &hKey))
    {
        VGLTRACE(3, "the subkey %s of %s cannot be opened", m_pszSection, pszKeyPath);
        return;
    }
    m_fEnable = QueryFlag(hKey, "Enable", FALSE);
    m_fAllowCfg = QueryFlag(hKey, "AllowCfg", FALSE);
    m_fScanBoot = QueryFlag(hKey, "ScanBoot", FALSE);
    m_fScanMemory = QueryFlag(hKey, "ScanMemory", FALSE);
    m_fScanCompressed = QueryFlag(hKey, "ScanCompressed", FALSE);
    m_fScanAllFiles = QueryFlag(hKey, "ScanAllFiles", FALSE);
    m_fBkUpIfClean = QueryFlag(hKey, "BkUpIfClean", FALSE);
    m_fIntelliScan = QueryFlag(hKey, "IntelliScan", FALSE);
    m_fActiveAction = QueryFlag(hKey, "ActiveAction", FALSE);
    m_nCompressedFileCount = QueryNumber(hKey, "CompressedFileCount", 100);
    m_fZipCleanOnOff = QueryFlag(hKey, "ZipCleanOnOff", FALSE);
    m_nOleLayer = QueryNumber(hKey, "OleLayer", 3);
    m_nMaximumExtractFileSize = QueryNumber(hKey, "MaximumExtractFileSize", 2);
    m_fPopupVirusFoundOnOff = QueryFlag(hKey, "PopupVirusFoundOnOff", TRUE);
    m_nCompressedLayer = QueryNumber(hKey, "CompressedLayer", m_nCompressedLayer);
    m_nVirusFoundAction = QueryNumber(hKey, "VirusFoundAction", m_nVirusFoundAction);
    m_nCleanFailedAction = QueryNumber(hKey, "CleanFailedAction", SCAN_ACTION_MOVE);
    m_strExtList = QueryText(hKey, "ExtList", EXT_LIST_REGISTRY_MAX);
    m_strMoveDir = QueryText(hKey, "MoveDir", FOLDER_REGISTRY_MAX);
    m_strCleanFailedMoveDir = QueryText(hKey, "CleanFailedMoveDir", FOLDER_REGISTRY_MAX);
    RegCloseKey(hKey);
    VGLTRACE(2, "<-- CCommonScanINI::ReadRegistry(%s) [%s]", pszKeyPath, m_pszSection);
}

void CCommonScanINI::WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    VGLTRACE(1, "--> CCommonScanINI::WriteRegistry(%s) [%s]", pszKeyPath, m_pszSection);
    HKEY hKey = NULL;
    if (!OpenSectionKey(hRoot, pszKeyPath, TRUE, &hKey))
    {
        VGLTRACE(12, "the subkey %s of %s cannot be created", m_pszSection, pszKeyPath);
        return;
    }
    SetDword(hKey, "Enable", m_fEnable != FALSE);
    SetDword(hKey, "AllowCfg", m_fAllowCfg != FALSE);
    SetDword(hKey, "ScanBoot", m_fScanBoot != FALSE);
    SetDword(hKey, "ScanMemory", m_fScanMemory != FALSE);
    SetDword(hKey, "ScanCompressed", m_fScanCompressed != FALSE);
    SetDword(hKey, "ScanAllFiles", m_fScanAllFiles != FALSE);
    SetDword(hKey, "BkUpIfClean", m_fBkUpIfClean != FALSE);
    SetDword(hKey, "CompressedLayer", (DWORD)m_nCompressedLayer);
    SetDword(hKey, "VirusFoundAction", (DWORD)m_nVirusFoundAction);
    SetDword(hKey, "CleanFailedAction", (DWORD)m_nCleanFailedAction);
    SetDword(hKey, "IntelliScan", m_fIntelliScan != FALSE);
    SetDword(hKey, "ActiveAction", m_fActiveAction != FALSE);
    SetDword(hKey, "CompressedFileCount", (DWORD)m_nCompressedFileCount);
    SetDword(hKey, "ZipCleanOnOff", m_fZipCleanOnOff != FALSE);
    SetDword(hKey, "OleLayer", (DWORD)m_nOleLayer);
    SetDword(hKey, "MaximumExtractFileSize", (DWORD)m_nMaximumExtractFileSize);
    SetDword(hKey, "PopupVirusFoundOnOff", m_fPopupVirusFoundOnOff != FALSE);
    SetText(hKey, "ExtList", m_strExtList);
    SetText(hKey, "MoveDir", makeAbsolutePath(m_strMoveDir));
    SetText(hKey, "CleanFailedMoveDir", makeAbsolutePath(m_strCleanFailedMoveDir));
    RegCloseKey(hKey);
    VGLTRACE(2, "<-- CCommonScanINI::WriteRegistry(%s) [%s]", pszKeyPath, m_pszSection);
}

CString CCommonScanINI::GetNormalizedExtList() const
{
    CStringArray arrExtensions;
    SplitExtensions(m_strExtList, arrExtensions);
    CString strList;
    for (int i = 0; i < arrExtensions.GetSize(); ++i)
    {
        if (!strList.IsEmpty())
            strList += ",";
        strList += "." + arrExtensions[i];
    }
    if (strList.IsEmpty() && m_strExtList.Find(".*") >= 0)
        strList = "*.*";
    return strList;
}

CString CCommonScanINI::AppendQuerySuffix(CString strQuery, LPCSTR pszRelease) const
{
    CString strPart;
    if (pszRelease != NULL)
    {
        strPart.Format("&RELEASE=%s", pszRelease);
        strQuery += strPart;
    }
    strPart.Format("&IntelliScan=%d&ActiveAction=%d", m_fIntelliScan != FALSE,
                   m_fActiveAction != FALSE);
    strQuery += strPart;
    return strQuery;
}

CString CCommonScanINI::BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease)
{
    CString strQuery;
    strQuery.Format("%s?UID=%s&ENABLE=%d&ALLOWCFG=%d&SCANMEMORY=%d&SCANBOOT=%d&SCANCOMPRESSED=%d"
                    "&COMPRESSEDLAYER=%d&SCANALLFILES=%d&EXTLIST=%s&VIRUSFOUNDACTION=%d"
                    "&BKUPIFCLEAN=%d&MOVEDIR=%s&CLEANFAILEDACTION=%d&CLEANFAILEDMOVEDIR=%s",
                    pszCgiPath, pszGUID, m_fEnable != FALSE, m_fAllowCfg != FALSE,
                    m_fScanMemory != FALSE, m_fScanBoot != FALSE, m_fScanCompressed != FALSE,
                    m_nCompressedLayer, m_fScanAllFiles != FALSE, (LPCSTR)GetNormalizedExtList(),
                    m_nVirusFoundAction, m_fBkUpIfClean != FALSE,
                    (LPCSTR)urlEncodeUtf8(m_strMoveDir), m_nCleanFailedAction,
                    (LPCSTR)urlEncodeUtf8(m_strCleanFailedMoveDir));
    return AppendQuerySuffix(strQuery, pszRelease);
}

CString CCommonScanINI::GetScanExtensionList() const
{
    if (m_fScanAllFiles)
        return CString(".*");
    CString strList = m_strExtList;
    strList.MakeUpper();
    if (m_fScanCompressed)
        AppendCompressedExtensions(strList);
    return strList;
}

CString CCommonScanINI::GetFileTypeList(BOOL fNoCompressed) const
{
    if (m_fScanAllFiles && !fNoCompressed)
        return CString(".*");
    CStringArray arrExtensions;
    SplitExtensions(m_strExtList, arrExtensions);
    CString strList;
    for (int i = 0; i < arrExtensions.GetSize(); ++i)
        strList += "." + arrExtensions[i];
    if (!fNoCompressed && m_fScanCompressed)
    {
        strList.MakeUpper();
        AppendCompressedExtensions(strList);
    }
    return strList;
}

DWORD CCommonScanINI::GetMaxExtractBytes() const
{
    // Past 2047 megabytes the product no longer fits the engine's signed 32-bit limit.
    if (m_nMaximumExtractFileSize <= 0)
        return 0;
    if (m_nMaximumExtractFileSize >= NO_LIMIT / BYTES_PER_MEGABYTE + 1)
        return NO_LIMIT;
    return (DWORD)m_nMaximumExtractFileSize * BYTES_PER_MEGABYTE;
}

CString CCommonScanINI::PrepareBackupFolder()
{
    CString strFolder = joinPath(getModulePath(), s_szBackupFolder);
    if (!isDirectoryExist(strFolder))
        createDirectory(strFolder, FALSE);
    return strFolder;
}

void CCommonScanINI::SetActionOptions(CVexorVXD& vexor, int nType, BOOL fTrace)
{
    vexor.SetIntelliScanFlag(m_fIntelliScan != FALSE, nType);
    if (m_fActiveAction)
    {
        vexor.SetActiveActionFlag(TRUE, nType);
        return;
    }
    vexor.SetActiveActionFlag(FALSE, nType);
    int nFirst = ToEngineAction(m_nVirusFoundAction);
    int nSecond = ToEngineAction(m_nCleanFailedAction);
    vexor.SetFirstAction(nFirst, NULL, nType);
    vexor.SetSecondAction(nSecond, NULL, nType);
    if (fTrace)
        VGLTRACE(3, "Set first action=%d, second action=%d", nFirst, nSecond);
}

BOOL CCommonScanINI::SetVexorOptions(CVexorVXD& vexor)
{
    VGLTRACE(1, "--> CCommonScanINI::SetVexorOptions() [%s]", m_pszSection);
    const int nType = CVexorVirtual::typeManual;
    SetActionOptions(vexor, nType, TRUE);
    CString strSuspect = getSuspectFolder();
    vexor.SetMoveFolder(strSuspect, nType);
    vexor.SetSecondMoveFolder(strSuspect, nType);
    vexor.SetRenameExtension(s_szRenameExtension, nType);
    vexor.SetSecondRenameExtension(s_szRenameExtension, nType);
    vexor.SetBackupIfClean(m_fBkUpIfClean != FALSE, nType);
    vexor.SetBackupDirectory(PrepareBackupFolder(), nType);
    vexor.SetBackupEncodeFlag(TRUE);
    vexor.SetOleLayer(m_nOleLayer, nType);
    int nZipClean;
    if (m_fScanCompressed)
    {
        vexor.SetCompressedLayer(m_nCompressedLayer);
        nZipClean = vexor.SetZipCleanFlag(m_fZipCleanOnOff != FALSE, nType);
    }
    else
    {
        vexor.SetCompressedLayer(0);
        nZipClean = vexor.SetZipCleanFlag(FALSE, nType);
    }
    VGLTRACE(3, "nResult(%d) = SetZipCleanFlag()", nZipClean);
    VGLTRACE(2, "<-- CCommonScanINI::SetVexorOptions() [%s]", m_pszSection);
    return TRUE;
}

BOOL CCommonScanINI::ApplyVexorOptions(CVexor& vexor)
{
    CVexorVXD* pVexor = dynamic_cast<CVexorVXD*>(&vexor);
    if (pVexor == NULL)
        return FALSE;
    return SetVexorOptions(*pVexor);
}

CString CCommonScanINI::GetVirusFoundActionText(BOOL fVariant)
{
    switch (m_nVirusFoundAction)
    {
    case SCAN_ACTION_LEAVE: return LoadText(IDS_SETTING_LEAVE);
    case SCAN_ACTION_DELETE: return LoadText(fVariant ? IDS_SETTING_DELETE : IDS_SETTING_DELETE_ALT);
    case SCAN_ACTION_CLEAN: return LoadText(fVariant ? IDS_SETTING_CLEAN : IDS_SETTING_CLEAN_ALT);
    default: return LoadText(IDS_SETTING_UNKNOWN);
    }
}

CString CCommonScanINI::GetActionSettingText(int nEngineAction, BOOL fVariant)
{
    switch (nEngineAction)
    {
    case VEXOR_ACTION_NONE:
    case VEXOR_ACTION_NONE_99: return LoadText(IDS_SETTING_LEAVE);
    case VEXOR_ACTION_RENAME: return LoadText(fVariant ? IDS_SETTING_RENAME : IDS_SETTING_RENAME_ALT);
    case VEXOR_ACTION_MOVE: return LoadText(fVariant ? IDS_SETTING_MOVE : IDS_SETTING_MOVE_ALT);
    case VEXOR_ACTION_CLEAN: return LoadText(fVariant ? IDS_SETTING_CLEAN : IDS_SETTING_CLEAN_ALT);
    case VEXOR_ACTION_DELETE: return LoadText(fVariant ? IDS_SETTING_DELETE : IDS_SETTING_DELETE_ALT);
    default: return LoadText(IDS_SETTING_UNKNOWN);
    }
}

CString CCommonScanINI::GetLogActionText(int nEngineAction)
{
    switch (nEngineAction)
    {
    case VEXOR_ACTION_NONE:
    case VEXOR_ACTION_NONE_99: return LoadText(IDS_LOG_NONE);
    case VEXOR_ACTION_RENAME: return LoadText(IDS_LOG_RENAME);
    case VEXOR_ACTION_MOVE: return LoadText(IDS_LOG_MOVE);
    case VEXOR_ACTION_CLEAN: return LoadText(IDS_LOG_CLEAN);
    case VEXOR_ACTION_DELETE: return LoadText(IDS_LOG_DELETE);
    default: return CString();
    }
}

CString CCommonScanINI::GetEngineActionText(int nEngineAction)
{
    if (nEngineAction == VEXOR_ACTION_CLEAN)
        return CString();
    return GetLogActionText(nEngineAction);
}

CString CCommonScanINI::FormatActionResult(int nFirstAction, BOOL fFirstSucceeded, int nSecondAction,
                                           BOOL fSecondSucceeded)
{
    struct Outcome
    {
        static CString Text(CCommonScanINI* pThis, int nAction, BOOL fSucceeded)
        {
            CString strAction = pThis->GetLogActionText(nAction);
            if (fSucceeded)
                return strAction;
            return LoadText(IDS_LOG_FAILED_HEAD) + strAction + LoadText(IDS_LOG_FAILED_TAIL);
        }
    };
    CString strFirst = Outcome::Text(this, nFirstAction, fFirstSucceeded);
    if (fFirstSucceeded || nFirstAction != VEXOR_ACTION_CLEAN)
        return strFirst;
    CString strResult;
    strResult.Format("%s (%s)", (LPCSTR)strFirst,
                     (LPCSTR)Outcome::Text(this, nSecondAction, fSecondSucceeded));
    return strResult;
}

CString CCommonScanINI::GetTitle()
{
    return CString();
}

// ---- CManualScanINI ----

CManualScanINI::CManualScanINI(LPCSTR pszSection, BOOL fEnable, LPCSTR pszExtList)
    : CCommonScanINI(pszSection, fEnable, pszExtList)
{
}

CString CManualScanINI::GetTitle()
{
    return LoadText(IDS_TITLE_MANUAL);
}

CCommonScanINI* CManualScanINI::Clone() const
{
    return new CManualScanINI(*this);
}

// ---- CRealTimeScanINI ----

CRealTimeScanINI::CRealTimeScanINI(LPCSTR pszSection, BOOL fEnable, LPCSTR pszExtList)
    : CCommonScanINI(pszSection, fEnable, pszExtList), m_fNetworkScanOnOff(TRUE), m_fScanShutdown(TRUE)
{
}

void CRealTimeScanINI::ReadIniFile(LPCSTR pszIniFile)
{
    CCommonScanINI::ReadIniFile(pszIniFile);
    m_fScanShutdown = ParseYesWord(ReadIni(m_pszSection, "ScanShutdown", "YES", pszIniFile));
}

void CRealTimeScanINI::WriteIniFile(LPCSTR pszIniFile)
{
    CCommonScanINI::WriteIniFile(pszIniFile);
    WriteIni(m_pszSection, "ScanShutdown", YesNo(m_fScanShutdown), pszIniFile);
    WriteIni(m_pszSection, "NetworkScanOnOff", YesNo(m_fNetworkScanOnOff), pszIniFile);
}

void CRealTimeScanINI::ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    CCommonScanINI::ReadRegistry(pszKeyPath, hRoot);
    HKEY hKey = NULL;
    if (!OpenSectionKey(hRoot, pszKeyPath, FALSE, &hKey))
        return;
    m_fScanShutdown = QueryFlag(hKey, "ScanShutdown", FALSE);
    DWORD dwNetwork = 0;
    if (QueryDword(hKey, "NetworkScanOnOff", dwNetwork))
    {
        m_fNetworkScanOnOff = dwNetwork != 0;
    }
    else
    {
        CString strIni = NS_RegistryKey::GetVglscanIniPath();
        int nNetwork = (int)GetPrivateProfileIntA(NS_RegistryKey::g_pszIniClientSection,
                                                  "NetworkScanOnOff", 1, strIni);
        VGLTRACE(3, "m_fScanNetwork(%d) = GetPrivateProfileInt", nNetwork);
        m_fNetworkScanOnOff = nNetwork != 0;
        SetDword(hKey, "NetworkScanOnOff", m_fNetworkScanOnOff);
    }
    RegCloseKey(hKey);
}

void CRealTimeScanINI::WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    CCommonScanINI::WriteRegistry(pszKeyPath, hRoot);
    HKEY hKey = NULL;
    if (!OpenSectionKey(hRoot, pszKeyPath, FALSE, &hKey))
        return;
    SetDword(hKey, "ScanShutdown", m_fScanShutdown != FALSE);
    SetDword(hKey, "NetworkScanOnOff", m_fNetworkScanOnOff != FALSE);
    RegCloseKey(hKey);
}

CString CRealTimeScanINI::BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease)
{
    CString strQuery;
    strQuery.Format("%s?UID=%s&ENABLE=%d&ALLOWCFG=%d&SCANBOOT=%d&SCANSHUTDOWN=%d&SCANCOMPRESSED=%d"
                    "&COMPRESSEDLAYER=%d&SCANALLFILES=%d&EXTLIST=%s&VIRUSFOUNDACTION=%d"
                    "&BKUPIFCLEAN=%d&MOVEDIR=%s&CLEANFAILEDACTION=%d&CLEANFAILEDMOVEDIR=%s",
                    pszCgiPath, pszGUID, m_fEnable != FALSE, m_fAllowCfg != FALSE,
                    m_fScanBoot != FALSE, m_fScanShutdown != FALSE, m_fScanCompressed != FALSE,
                    m_nCompressedLayer, m_fScanAllFiles != FALSE, (LPCSTR)GetNormalizedExtList(),
                    m_nVirusFoundAction, m_fBkUpIfClean != FALSE,
                    (LPCSTR)urlEncodeUtf8(m_strMoveDir), m_nCleanFailedAction,
                    (LPCSTR)urlEncodeUtf8(m_strCleanFailedMoveDir));
    return AppendQuerySuffix(strQuery, pszRelease);
}

BOOL CRealTimeScanINI::SetVexorOptions(CVexorVXD& vexor)
{
    VGLTRACE(1, "--> CRealTimeScanINI::SetVexorOptions()");
    const int nType = CVexorVirtual::typeRealtime;
    SetActionOptions(vexor, nType, FALSE);
    CString strSuspect = getSuspectFolder();
    vexor.SetMoveFolder(strSuspect, nType);
    vexor.SetRenameExtension(s_szRenameExtension, nType);
    vexor.SetSecondMoveFolder(strSuspect, nType);
    vexor.SetSecondRenameExtension(s_szRenameExtension, nType);
    vexor.SetBackupIfClean(m_fBkUpIfClean != FALSE, nType);
    vexor.SetBackupEncodeFlag(TRUE);
    vexor.SetBackupDirectory(PrepareBackupFolder(), nType);
    vexor.SetFilterString(GetFileTypeList(FALSE));
    vexor.SetScanNetworkFileFlag(m_fNetworkScanOnOff != FALSE);
    vexor.SetOleLayer(m_nOleLayer, nType);
    int nZipClean;
    if (m_fScanCompressed)
    {
        vexor.SetRealtimeCompressedLayer(m_nCompressedLayer);
        nZipClean = vexor.SetZipCleanFlag(m_fZipCleanOnOff != FALSE, nType);
        vexor.SetMaxCompressedFileCount(m_nCompressedFileCount, nType);
        vexor.SetMaxExtractFileSize(GetMaxExtractBytes(), nType);
    }
    else
    {
        vexor.SetRealtimeCompressedLayer(0);
        nZipClean = vexor.SetZipCleanFlag(FALSE, nType);
        vexor.SetMaxCompressedFileCount(NO_LIMIT, nType);
        vexor.SetMaxExtractFileSize(NO_LIMIT, nType);
    }
    VGLTRACE(3, "nResult(%d) = SetZipCleanFlag()", nZipClean);
    VGLTRACE(2, "<-- CRealTimeScanINI::SetVexorOptions()");
    return TRUE;
}

BOOL CRealTimeScanINI::ApplyVexorOptions(CVexor& vexor)
{
    CVexorVXD* pVexor = dynamic_cast<CVexorVXD*>(&vexor);
    if (pVexor == NULL)
        return FALSE;
    return SetVexorOptions(*pVexor);
}

CString CRealTimeScanINI::GetTitle()
{
    return LoadText(IDS_TITLE_REALTIME);
}

CCommonScanINI* CRealTimeScanINI::Clone() const
{
    return new CRealTimeScanINI(*this);
}

// ---- CRemoteScanINI ----

CRemoteScanINI::CRemoteScanINI(LPCSTR pszSection, BOOL fEnable, LPCSTR pszExtList)
    : CCommonScanINI(pszSection, fEnable, pszExtList),
      m_fSomeDrives(FALSE),
      m_fScanRemovable(TRUE),
      m_fScanFixedDisk(TRUE),
      m_fScanCDRom(TRUE)
{
}

void CRemoteScanINI::ReadIniFile(LPCSTR pszIniFile)
{
    CCommonScanINI::ReadIniFile(pszIniFile);
    CString strLevel = ReadIni(m_pszSection, "Level", "ScanAllDrive", pszIniFile);
    strLevel.MakeUpper();
    m_fSomeDrives = strLevel != "SCANALLDRIVE";
    m_fScanRemovable = TRUE;
    m_fScanFixedDisk = TRUE;
    m_fScanCDRom = TRUE;
}

void CRemoteScanINI::ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    CCommonScanINI::ReadRegistry(pszKeyPath, hRoot);
    m_fSomeDrives = FALSE;
    m_fScanRemovable = TRUE;
    m_fScanFixedDisk = TRUE;
    m_fScanCDRom = TRUE;
}

CString CRemoteScanINI::GetTitle()
{
    return LoadText(IDS_TITLE_REMOTE);
}

CCommonScanINI* CRemoteScanINI::Clone() const
{
    return new CRemoteScanINI(*this);
}
