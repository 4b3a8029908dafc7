#include "SystemInfo.h"

#include "LogTracker.h"
#include "StringUtils.h"

#include <ctype.h>
#include <string.h>
#include <vector>

namespace
{
    const char SHELL_FOLDERS_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    // Largest answer a network provider may ask us to allocate.
    const DWORD MAX_NET_ANSWER = 0x10000;

    // A string value read into a buffer of cbBuffer bytes; empty when the key or value is
    // missing or the value does not fit.
    CString readRegString(HKEY hRoot, LPCSTR pszKey, LPCSTR pszValue, DWORD cbBuffer)
    {
        CString strResult;
        HKEY hKey = NULL;
        if (RegOpenKeyExA(hRoot, pszKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
            return strResult;
        std::vector<char> buffer(cbBuffer + 1, '\0');
        DWORD dwType = 0;
        DWORD cb = cbBuffer;
        if (RegQueryValueExA(hKey, pszValue, NULL, &dwType, (LPBYTE)&buffer[0], &cb) == ERROR_SUCCESS &&
            (dwType == REG_SZ || dwType == REG_EXPAND_SZ))
        {
            // The value need not carry its terminator; never read past what was written.
            buffer[cb < cbBuffer ? cb : cbBuffer - 1] = '\0';
            strResult = &buffer[0];
        }
        RegCloseKey(hKey);
        return strResult;
    }

    BOOL isPlatformNT()
    {
        return getPlatformId() == VER_PLATFORM_WIN32_NT;
    }

    // The whole version resource of a file; empty without one.
    std::vector<BYTE> readVersionInfo(LPCSTR pszFile)
    {
        std::vector<BYTE> block;
        if (!pszFile || !*pszFile)
            return block;
        DWORD dwHandle = 0;
        DWORD cb = GetFileVersionInfoSizeA(pszFile, &dwHandle);
        if (cb == 0)
            return block;
        block.resize(cb);
        if (!GetFileVersionInfoA(pszFile, 0, cb, &block[0]))
            block.clear();
        return block;
    }

    // The text of a string entry, measured inside the resource block.
    BOOL queryVersionText(std::vector<BYTE>& block, LPCSTR pszSubBlock, LPCSTR& pszText, size_t& cchText)
    {
        LPVOID pv = NULL;
        UINT uLen = 0;
        if (!VerQueryValueA(&block[0], (LPSTR)pszSubBlock, &pv, &uLen) || !pv)
            return FALSE;
        const BYTE* p = (const BYTE*)pv;
        const BYTE* pBegin = &block[0];
        const BYTE* pEnd = pBegin + block.size();
        if (p < pBegin || p >= pEnd)
            return FALSE;
        pszText = (LPCSTR)p;
        cchText = strnlen(pszText, pEnd - p);
        return TRUE;
    }
}

CString getLocalComputerName()
{
    char szName[100] = "";
    DWORD cch = sizeof(szName);
    if (GetComputerNameA(szName, &cch))
    {
        szName[sizeof(szName) - 1] = '\0';
        return CString(szName);
    }
    return readRegString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                         "ComputerName", sizeof(szName));
}

DWORD getPlatformId()
{
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info))
        return 0;
    return info.dwPlatformId;
}

CString getWorkgroupName()
{
    if (isPlatformNT())
        return readRegString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                             "CachePrimaryDomain", 100);
    return readRegString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP",
                         "Workgroup", 100);
}

CString getDomainName()
{
    CString strComputer = getLocalComputerName();
    CString strDomain = getWorkgroupName();
    VGLTRACE(1, "-->::getDomainName(), computer(%s), workgroup(%s)", (LPCSTR)strComputer, (LPCSTR)strDomain);
    if (isPlatformNT() || strDomain.IsEmpty())
    {
        char szParent[128] = "";
        DWORD cb = sizeof(szParent);
        DWORD dwError = 0;
        getNetResourceParent(strComputer, szParent, &cb, &dwError);
        if (szParent[0])
            strDomain = szParent;
        else if (dwError == ERROR_MORE_DATA && cb > sizeof(szParent) && cb <= MAX_NET_ANSWER)
        {
            std::vector<char> parent(cb, '\0');
            getNetResourceParent(strComputer, &parent[0], &cb, &dwError);
            if (parent[0] && strlen(&parent[0]) < sizeof(szParent))
                strDomain = &parent[0];
        }
    }
    VGLTRACE(2, "<--::getDomainName() = %s", (LPCSTR)strDomain);
    return strDomain;
}

BOOL getNetResourceParent(LPCSTR pszName, LPSTR pszParent, LPDWORD pcbParent, LPDWORD pdwError)
{
    HMODULE hMpr = LoadLibraryA("mpr.dll");
    PFN_WNETGETRESOURCEINFORMATION pfnGetInformation = NULL;
    PFN_WNETGETRESOURCEPARENT pfnGetParent = NULL;
    if (hMpr)
    {
        pfnGetInformation = (PFN_WNETGETRESOURCEINFORMATION)GetProcAddress(hMpr, "WNetGetResourceInformationA");
        pfnGetParent = (PFN_WNETGETRESOURCEPARENT)GetProcAddress(hMpr, "WNetGetResourceParentA");
    }
    BOOL fResult = getNetResourceParentWith(pfnGetInformation, pfnGetParent, pszName, pszParent,
                                            pcbParent, pdwError);
    if (hMpr)
        FreeLibrary(hMpr);
    return fResult;
}

BOOL getNetResourceParentWith(PFN_WNETGETRESOURCEINFORMATION pfnGetInformation,
                              PFN_WNETGETRESOURCEPARENT pfnGetParent, LPCSTR pszName,
                              LPSTR pszParent, LPDWORD pcbParent, LPDWORD pdwError)
{
    DWORD dwError = 0;
    CString strRemote(pszName ? pszName : "");
    if (strRemote.Left(2) != "\\\\")
        strRemote = "\\\\" + strRemote;
    VGLTRACE(1, "-->::getNetResourceParent(pszName = %s)", (LPCSTR)strRemote);

    if (pfnGetInformation && pfnGetParent && pszParent && pcbParent)
    {
        NETRESOURCEA resource;
        memset(&resource, 0, sizeof(resource));
        resource.dwScope = RESOURCE_GLOBALNET;
        resource.lpRemoteName = strRemote.GetBuffer(0);

        LPSTR pszSystem = NULL;
        DWORD cbInfo = 0;
        DWORD dwAnswer = pfnGetInformation(&resource, NULL, &cbInfo, &pszSystem);
        if (dwAnswer == ERROR_MORE_DATA && cbInfo >= sizeof(NETRESOURCEA) && cbInfo <= MAX_NET_ANSWER)
        {
            std::vector<BYTE> info(cbInfo, 0);
            dwAnswer = pfnGetInformation(&resource, &info[0], &cbInfo, &pszSystem);
            NETRESOURCEA* pInfo = (NETRESOURCEA*)&info[0];
            if (dwAnswer != NO_ERROR)
                dwError = dwAnswer;
            else if (!pInfo->lpProvider || !strstr(pInfo->lpProvider, "Netware"))
            {
                DWORD cbParent = 0;
                dwAnswer = pfnGetParent(pInfo, NULL, &cbParent);
                if (dwAnswer != ERROR_MORE_DATA)
                    dwError = dwAnswer;
                else if (cbParent < sizeof(NETRESOURCEA) || cbParent > MAX_NET_ANSWER)
                    dwError = ERROR_NOT_ENOUGH_MEMORY;
                else
                {
                    std::vector<BYTE> parent(cbParent, 0);
                    dwAnswer = pfnGetParent(pInfo, &parent[0], &cbParent);
                    const NETRESOURCEA* pParent = (const NETRESOURCEA*)&parent[0];
                    if (dwAnswer != NO_ERROR)
                        dwError = dwAnswer;
                    else if (pParent->lpRemoteName)
                    {
                        DWORD cbNeeded = (DWORD)strlen(pParent->lpRemoteName) + 1;
                        if (cbNeeded <= *pcbParent)
                            memcpy(pszParent, pParent->lpRemoteName, cbNeeded);
                        else
                        {
                            *pcbParent = cbNeeded;
                            dwError = ERROR_MORE_DATA;
                        }
                    }
                }
            }
        }
        strRemote.ReleaseBuffer();
    }

    if (pdwError)
        *pdwError = dwError;
    VGLTRACE(2, "<--::getNetResourceParent(), dwError = %lu", dwError);
    return dwError == 0;
}

CString getProgramsFolder()
{
    return readRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Programs", MAX_PATH);
}

CString getDesktopFolder()
{
    return readRegString(HKEY_CURRENT_USER, SHELL_FOLDERS_KEY, "Desktop", MAX_PATH);
}

CString getCommonProgramsFolder()
{
    return readRegString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS_KEY, "Common Programs", MAX_PATH);
}

CString getHtmlFileOpenCommand()
{
    CString strCommand = readRegString(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command", NULL, 1024);
    if (strCommand.GetLength() < 2)
        return strCommand;
    CString strRest = strCommand.Mid(1);
    int nQuote = strRest.ReverseFind('"');
    if (nQuote < 0)
        return strCommand;
    return strRest.Left(nQuote);
}

CString getComClassLocalServer()
{
    return readRegString(HKEY_CLASSES_ROOT, "CLSID\\{60403D81-872B-11CF-ACC8-0080C82BE3B6}\\LocalServer32",
                         NULL, MAX_PATH);
}

BOOL getFixedFileVersion(LPCSTR pszFile, VS_FIXEDFILEINFO* pInfo)
{
    std::vector<BYTE> block = readVersionInfo(pszFile);
    if (block.empty())
        return FALSE;
    LPVOID pv = NULL;
    UINT uLen = 0;
    if (!VerQueryValueA(&block[0], (LPSTR)"\\", &pv, &uLen) || !pv || uLen < sizeof(VS_FIXEDFILEINFO))
        return FALSE;
    *pInfo = *(const VS_FIXEDFILEINFO*)pv;
    return TRUE;
}

BOOL getFileVersionNumbers(LPCSTR pszFile, int& nMajor, int& nMinor, int& nBuild)
{
    VS_FIXEDFILEINFO info;
    if (!getFixedFileVersion(pszFile, &info))
        return FALSE;
    nMajor = HIWORD(info.dwFileVersionMS);
    nMinor = LOWORD(info.dwFileVersionMS);
    nBuild = HIWORD(info.dwFileVersionLS);
    return TRUE;
}

BOOL getFileVersionString(LPCSTR pszFile, LPSTR pszOut, int cbOut)
{
    if (!pszOut || cbOut <= 0)
        return FALSE;
    std::vector<BYTE> block = readVersionInfo(pszFile);
    if (block.empty())
        return FALSE;

    LPCSTR pszText = NULL;
    size_t cchText = 0;
    BOOL fFound = FALSE;
    LPVOID pv = NULL;
    UINT uLen = 0;
    if (VerQueryValueA(&block[0], (LPSTR)"\\VarFileInfo\\Translation", &pv, &uLen) && pv &&
        uLen >= 2 * sizeof(WORD))
    {
        const WORD* pwTranslation = (const WORD*)pv;
        char szSubBlock[64];
        wsprintfA(szSubBlock, "\\StringFileInfo\\%04hX%04hX\\FileVersion", pwTranslation[0], pwTranslation[1]);
        fFound = queryVersionText(block, szSubBlock, pszText, cchText);
    }
    if (!fFound)
        fFound = queryVersionText(block, "\\StringFileInfo\\040904E4\\FileVersion", pszText, cchText);
    if (!fFound)
        return FALSE;

    // The text comes from the file: cut it to the caller's buffer.
    size_t cchCopy = cchText < (size_t)(cbOut - 1) ? cchText : (size_t)(cbOut - 1);
    memcpy(pszOut, pszText, cchCopy);
    pszOut[cchCopy] = '\0';
    return TRUE;
}

CString formatGuid(const GUID& guid)
{
    CString str;
    str.Format("%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", (unsigned long)guid.Data1,
               guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
               guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return str;
}

BOOL isLowColorDisplay()
{
    HDC hdc = GetDC(NULL);
    if (!hdc)
        return FALSE;
    int nColors = (GetDeviceCaps(hdc, RASTERCAPS) & RC_PALETTE) ? GetDeviceCaps(hdc, SIZEPALETTE)
                                                                 : GetDeviceCaps(hdc, NUMCOLORS);
    ReleaseDC(NULL, hdc);
    // -1: more colours than a palette holds.
    return nColors >= 0 && nColors < 256;
}

BOOL isIPAddress(LPCSTR pszText)
{
    if (!pszText || !*pszText || isAllDigits(pszText))
        return FALSE;
    CStringArray arrParts;
    splitString('.', pszText, arrParts, SCharAdapter());
    if (arrParts.GetSize() != 4)
        return FALSE;
    for (int i = 0; i < arrParts.GetSize(); ++i)
    {
        const CString& strPart = arrParts.GetAt(i);
        int nValue = 0;
        for (int j = 0; j < strPart.GetLength(); ++j)
        {
            char ch = strPart[j];
            if (ch < '0' || ch > '9')
                return FALSE;
            nValue = nValue * 10 + (ch - '0');
            if (nValue > 255)
                return FALSE;
        }
    }
    return TRUE;
}

BOOL getComputerNameInServerName(LPCSTR pszServer, CString& strComputerName)
{
    if (!pszServer || !*pszServer || isdigit((unsigned char)pszServer[0]))
        return FALSE;
    CStringArray arrParts;
    splitString('.', pszServer, arrParts, SCharAdapter());
    if (arrParts.GetSize() == 0)
        return FALSE;
    strComputerName = arrParts.GetAt(0);
    return TRUE;
}
