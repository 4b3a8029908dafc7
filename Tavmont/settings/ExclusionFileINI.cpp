// The exclusion list: INI, registry and query forms, split into paths and names.
#include "ExclusionFileINI.h"

#include "CommonScanINI.h"
#include "LogTracker.h"
#include "StringUtils.h"

const char g_pszExclusionFileSection[] = "Exclusion File Configuration";

namespace
{
enum { ENTRY_REGISTRY_MAX = 255 };

CString EntryKey(int n)
{
    CString strKey;
    strKey.Format("%s%d", "Exclude", n);
    return strKey;
}

// Two or more characters with a colon second, the first not a lead byte.
BOOL IsDriveQualified(const CString& strEntry)
{
    return strEntry.GetLength() >= 2 && !IsDBCSLeadByte((BYTE)strEntry[0]) && strEntry[1] == ':';
}
}

CExclusionFileINI::CExclusionFileINI(LPCSTR pszSection) : m_pszSection(pszSection), m_fAllowCfg(TRUE)
{
}

CExclusionFileINI::CExclusionFileINI(const CExclusionFileINI& other)
    : m_pszSection(other.m_pszSection), m_fAllowCfg(other.m_fAllowCfg)
{
    m_arrEntries.Copy(other.m_arrEntries);
}

CExclusionFileINI& CExclusionFileINI::operator=(const CExclusionFileINI& other)
{
    if (this != &other)
    {
        m_fAllowCfg = other.m_fAllowCfg;
        m_arrEntries.Copy(other.m_arrEntries);
    }
    return *this;
}

CExclusionFileINI::~CExclusionFileINI()
{
}

CExclusionFileINI* CExclusionFileINI::Clone() const
{
    return new CExclusionFileINI(*this);
}

void CExclusionFileINI::ReadIniFile(LPCSTR pszIniFile)
{
    VGLTRACE(1, "--> CExclusionFileINI::ReadIniFile(%s)", pszIniFile);
    m_fAllowCfg = CCommonScanINI::ParseYesWord(getProfileString(m_pszSection, "AllowCfg", "NO", pszIniFile));
    m_arrEntries.RemoveAll();
    for (int n = 1; n <= MAX_ENTRIES; ++n)
    {
        CString strEntry = getProfileString(m_pszSection, EntryKey(n), "", pszIniFile);
        if (!strEntry.IsEmpty())
            m_arrEntries.Add(strEntry);
    }
    VGLTRACE(2, "<-- CExclusionFileINI::ReadIniFile(%s), %d entries", pszIniFile,
             (int)m_arrEntries.GetSize());
}

void CExclusionFileINI::WriteIniFile(LPCSTR pszIniFile)
{
    VGLTRACE(1, "--> CExclusionFileINI::WriteIniFile(%s)", pszIniFile);
    WritePrivateProfileStringA(m_pszSection, "AllowCfg", CCommonScanINI::YesNo(m_fAllowCfg), pszIniFile);
    for (int n = 1; n <= MAX_ENTRIES; ++n)
    {
        LPCSTR pszEntry = n <= m_arrEntries.GetSize() ? (LPCSTR)m_arrEntries[n - 1] : "";
        WritePrivateProfileStringA(m_pszSection, EntryKey(n), pszEntry, pszIniFile);
    }
    VGLTRACE(2, "<-- CExclusionFileINI::WriteIniFile(%s)", pszIniFile);
}

void CExclusionFileINI::ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    VGLTRACE(1, "--> CExclusionFileINI::ReadRegistry(%s)", pszKeyPath);
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, joinPath(pszKeyPath, m_pszSection), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
    {
        VGLTRACE(3, "the subkey %s of %s cannot be opened", m_pszSection, pszKeyPath);
        return;
    }
    DWORD dwType = 0, dwValue = 0, cb = sizeof(dwValue);
    m_fAllowCfg = RegQueryValueExA(hKey, "AllowCfg", NULL, &dwType, (LPBYTE)&dwValue, &cb) == ERROR_SUCCESS &&
                  dwType == REG_DWORD && dwValue != 0;
    m_arrEntries.RemoveAll();
    for (int n = 1; n <= MAX_ENTRIES; ++n)
    {
        char szEntry[ENTRY_REGISTRY_MAX + 1] = "";
        cb = sizeof(szEntry);
        if (RegQueryValueExA(hKey, EntryKey(n), NULL, &dwType, (LPBYTE)szEntry, &cb) != ERROR_SUCCESS ||
            (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
            continue;
        szEntry[ENTRY_REGISTRY_MAX] = '\0';
        if (szEntry[0] != '\0')
            m_arrEntries.Add(szEntry);
    }
    RegCloseKey(hKey);
    VGLTRACE(2, "<-- CExclusionFileINI::ReadRegistry(%s), %d entries", pszKeyPath,
             (int)m_arrEntries.GetSize());
}

void CExclusionFileINI::WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot)
{
    VGLTRACE(1, "--> CExclusionFileINI::WriteRegistry(%s)", pszKeyPath);
    HKEY hParent = NULL, hKey = NULL;
    if (RegCreateKeyExA(hRoot, pszKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &hParent,
                        NULL) != ERROR_SUCCESS)
        return;
    LONG lResult = RegCreateKeyExA(hParent, m_pszSection, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                   NULL, &hKey, NULL);
    RegCloseKey(hParent);
    if (lResult != ERROR_SUCCESS)
        return;
    DWORD dwAllow = m_fAllowCfg != FALSE;
    RegSetValueExA(hKey, "AllowCfg", 0, REG_DWORD, (const BYTE*)&dwAllow, sizeof(dwAllow));
    for (int n = 1; n <= MAX_ENTRIES; ++n)
    {
        LPCSTR pszEntry = n <= m_arrEntries.GetSize() ? (LPCSTR)m_arrEntries[n - 1] : "";
        RegSetValueExA(hKey, EntryKey(n), 0, REG_SZ, (const BYTE*)pszEntry, lstrlenA(pszEntry) + 1);
    }
    RegCloseKey(hKey);
    VGLTRACE(2, "<-- CExclusionFileINI::WriteRegistry(%s)", pszKeyPath);
}

CString CExclusionFileINI::BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease)
{
    CString strQuery, strPart;
    strQuery.Format("%s?UID=%s&ALLOWCFG=%d", pszCgiPath, pszGUID, m_fAllowCfg != FALSE);
    for (int n = 1; n <= MAX_ENTRIES; ++n)
    {
        CString strEntry;
        if (n <= m_arrEntries.GetSize())
            strEntry = urlEncodeUtf8(m_arrEntries[n - 1]);
        strPart.Format("&EXCLUDE%d=%s", n, (LPCSTR)strEntry);
        strQuery += strPart;
    }
    if (pszRelease != NULL)
    {
        strPart.Format("&RELEASE=%s", pszRelease);
        strQuery += strPart;
    }
    return strQuery;
}

BOOL CExclusionFileINI::GetExcludedPaths(CStringArray& arrOut) const
{
    for (int i = 0; i < m_arrEntries.GetSize(); ++i)
    {
        const CString& strEntry = m_arrEntries[i];
        if (strEntry.GetLength() == 1 || IsDriveQualified(strEntry))
            arrOut.Add(strEntry);
    }
    return TRUE;
}

BOOL CExclusionFileINI::GetExcludedFileNames(CStringArray& arrOut) const
{
    for (int i = 0; i < m_arrEntries.GetSize(); ++i)
    {
        const CString& strEntry = m_arrEntries[i];
        if (strEntry.GetLength() == 1 || (strEntry.GetLength() >= 2 && !IsDriveQualified(strEntry)))
            arrOut.Add(strEntry);
    }
    return TRUE;
}
