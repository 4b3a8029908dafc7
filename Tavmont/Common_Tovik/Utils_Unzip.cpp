#include "Utils_Unzip.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "StringUtils.h"
#include "SystemError.h"

namespace
{
// Releases the library on every way out.
class CLibrary
{
public:
    explicit CLibrary(HMODULE h) : m_h(h) {}
    ~CLibrary()
    {
        if (m_h != NULL)
            FreeLibrary(m_h);
    }
    FARPROC Find(LPCSTR pszName) const { return GetProcAddress(m_h, pszName); }

private:
    CLibrary(const CLibrary&);
    CLibrary& operator=(const CLibrary&);
    HMODULE m_h;
};
} // namespace

BOOL decompress(LPCSTR pszZipFile, LPCSTR pszTargetFolder)
{
    VGLTRACE(1, "-->::decompress(pszZipFile = %s, pszTargetFolder = %s)",
             pszZipFile ? pszZipFile : "", pszTargetFolder ? pszTargetFolder : "");
    CString strLibrary = joinPath(getModulePath(), "Unzip.dll");
    HMODULE hLibrary = LoadLibraryExA(strLibrary, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (hLibrary == NULL)
    {
        DWORD dwError = GetLastError();
        VGLTRACE(12, "::decompress(), LoadLibraryEx(%s) failed, %lu", (LPCSTR)strLibrary, dwError);
        THROW_SYSTEM_ERROR(dwError);
    }
    CLibrary library(hLibrary);

    PFN_UNZOPEN pfnOpen = (PFN_UNZOPEN)library.Find("unzOpen");
    PFN_DO_EXTRACT pfnExtract = (PFN_DO_EXTRACT)library.Find("do_extract");
    PFN_UNZCLOSE pfnClose = (PFN_UNZCLOSE)library.Find("unzClose");
    if (pfnOpen == NULL || pfnExtract == NULL || pfnClose == NULL)
    {
        VGLTRACE(12, "::decompress(), an entry point of %s is missing", (LPCSTR)strLibrary);
        return FALSE;
    }

    void* hZip = pfnOpen(pszZipFile);
    if (hZip == NULL)
    {
        VGLTRACE(12, "::decompress(), unzOpen(%s) failed", pszZipFile ? pszZipFile : "");
        return FALSE;
    }
    int nResult = pfnExtract(hZip, 0, pszTargetFolder, 0, 0);
    pfnClose(hZip);
    VGLTRACE(2, "<--::decompress(), do_extract = %d", nResult);
    return nResult == 0;
}
