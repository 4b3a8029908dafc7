// The files and folders no scan touches: section "Exclusion File Configuration", moved
// between an INI file, the product key and the server's query text.
#ifndef VGL_EXCLUSIONFILEINI_H
#define VGL_EXCLUSIONFILEINI_H

#include "afx.h"
#include "afxcoll.h"

extern const char g_pszExclusionFileSection[];   // "Exclusion File Configuration"

class CExclusionFileINI
{
public:
    enum { MAX_ENTRIES = 20 };

    explicit CExclusionFileINI(LPCSTR pszSection = g_pszExclusionFileSection);
    CExclusionFileINI(const CExclusionFileINI& other);
    // Copies AllowCfg and the entries; the section stays this object's.
    CExclusionFileINI& operator=(const CExclusionFileINI& other);
    virtual ~CExclusionFileINI();

    virtual void ReadRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void ReadIniFile(LPCSTR pszIniFile);
    virtual void WriteRegistry(LPCSTR pszKeyPath, HKEY hRoot);
    virtual void WriteIniFile(LPCSTR pszIniFile);
    virtual CExclusionFileINI* Clone() const;
    virtual CString BuildCgiQuery(LPCSTR pszCgiPath, LPCSTR pszGUID, LPCSTR pszRelease);

    // Drive-qualified entries ("C:\Temp"); an entry of one character goes to both lists.
    BOOL GetExcludedPaths(CStringArray& arrOut) const;
    // Every other entry (names, relative paths, network paths).
    BOOL GetExcludedFileNames(CStringArray& arrOut) const;

    LPCSTR m_pszSection;
    BOOL m_fAllowCfg;
    CStringArray m_arrEntries;
};

#endif
