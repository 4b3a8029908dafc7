// ZaVuz.dll: applies and lifts an outbreak-prevention policy described by a
// section of a policy file.
//
//   int SetOppEngFun(OPP_ENGINE_CALLBACK)     the client's way to the filter driver
//   int SetOppEngFunNT(OPP_ENGINE_CALLBACK)   the same for Windows NT clients
//   int SetDWPatternPath(const char* folder)  non-zero when the folder exists
//   int ApplyZaVuz(file, section, trusted ports)
//       "Enable" 1 in the section applies the policy: the state to restore is
//       kept in "ZavuzRestore.ini" beside the policy file, which is the mark
//       that a policy is in force. "Enable" 0 lifts it again and removes the
//       mark. Returns 1 on success, 0 when the file or section cannot be read,
//       ZAVUZ_E_PORTS when the trusted-port list is not a comma list of ports.
//
// Every call is written to the journal: the file named by VGL_ZAVUZ_JOURNAL,
// else "ZaVuz.log" beside the library.
#include <windows.h>

#include "journal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

typedef int (*OPP_ENGINE_CALLBACK)(int nOperation, void* pvArgument);

namespace
{
const int ZAVUZ_E_PORTS = -3;
const char s_szRestoreFile[] = "ZavuzRestore.ini";
const char s_szRestoreSection[] = "Restore";

CRITICAL_SECTION g_lock;
OPP_ENGINE_CALLBACK g_pfnEngine = NULL;
OPP_ENGINE_CALLBACK g_pfnEngineNT = NULL;
std::string g_strPatternPath;
CJournal g_journal("ZaVuz.log", "VGL_ZAVUZ_JOURNAL");

const char* text(const char* psz)
{
    return psz ? psz : "(null)";
}

// The trusted ports: "p1,p2,...", each 1 to 65535; an empty or missing list is none.
bool parsePorts(const char* pszList, std::vector<int>& ports)
{
    if (pszList == NULL)
        return true;
    std::string strList = pszList;
    size_t nPos = 0;
    while (nPos < strList.size())
    {
        size_t nEnd = strList.find(',', nPos);
        if (nEnd == std::string::npos)
            nEnd = strList.size();
        std::string strPort = strList.substr(nPos, nEnd - nPos);
        char* pszStop = NULL;
        long nPort = strtol(strPort.c_str(), &pszStop, 10);
        if (strPort.empty() || *pszStop != '\0' || nPort < 1 || nPort > 65535)
            return false;
        ports.push_back((int)nPort);
        nPos = nEnd + 1;
    }
    return true;
}

std::string restorePath(const char* pszPolicyFile)
{
    std::string strPath = pszPolicyFile;
    size_t nSlash = strPath.find_last_of("\\/");
    strPath.erase(nSlash == std::string::npos ? 0 : nSlash + 1);
    return strPath + s_szRestoreFile;
}

// A policy in force: what is needed to restore the state before it.
class CPolicy
{
public:
    CPolicy(const char* pszFile, const char* pszSection)
        : m_strFile(pszFile), m_strSection(pszSection), m_strRestore(restorePath(pszFile)) {}

    bool Apply(const std::vector<int>& trustedPorts)
    {
        std::string strPorts;
        for (size_t i = 0; i < trustedPorts.size(); ++i)
        {
            char sz[16];
            sprintf(sz, "%s%d", i ? "," : "", trustedPorts[i]);
            strPorts += sz;
        }
        bool fWritten =
            WritePrivateProfileStringA(s_szRestoreSection, "Section", m_strSection.c_str(),
                                       m_strRestore.c_str()) &&
            WritePrivateProfileStringA(s_szRestoreSection, "TrustedPorts", strPorts.c_str(),
                                       m_strRestore.c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, m_strRestore.c_str());
        return fWritten;
    }

    // Nothing to restore is success too.
    bool Restore()
    {
        if (GetFileAttributesA(m_strRestore.c_str()) == INVALID_FILE_ATTRIBUTES)
            return true;
        return DeleteFileA(m_strRestore.c_str()) != FALSE;
    }

private:
    std::string m_strFile;
    std::string m_strSection;
    std::string m_strRestore;
};
}

extern "C" int __stdcall SetOppEngFun(OPP_ENGINE_CALLBACK pfn)
{
    EnterCriticalSection(&g_lock);
    g_pfnEngine = pfn;
    LeaveCriticalSection(&g_lock);
    g_journal.Write("SetOppEngFun %s", pfn ? "set" : "null");
    return 1;
}

extern "C" int __stdcall SetOppEngFunNT(OPP_ENGINE_CALLBACK pfn)
{
    EnterCriticalSection(&g_lock);
    g_pfnEngineNT = pfn;
    LeaveCriticalSection(&g_lock);
    g_journal.Write("SetOppEngFunNT %s", pfn ? "set" : "null");
    return 1;
}

extern "C" int __stdcall SetDWPatternPath(const char* pszPath)
{
    DWORD dwAttributes = pszPath ? GetFileAttributesA(pszPath) : INVALID_FILE_ATTRIBUTES;
    int nResult = dwAttributes != INVALID_FILE_ATTRIBUTES &&
                  (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (nResult)
    {
        EnterCriticalSection(&g_lock);
        g_strPatternPath = pszPath;
        LeaveCriticalSection(&g_lock);
    }
    g_journal.Write("SetDWPatternPath %s -> %d", text(pszPath), nResult);
    return nResult;
}

extern "C" int __stdcall ApplyZaVuz(const char* pszFile, const char* pszSection,
                                    const char* pszTrustedPorts)
{
    int nResult = 0;
    int nEnable = -1;
    std::vector<int> ports;
    EnterCriticalSection(&g_lock);
    if (pszFile != NULL && pszSection != NULL &&
        GetFileAttributesA(pszFile) != INVALID_FILE_ATTRIBUTES)
    {
        WritePrivateProfileStringA(NULL, NULL, NULL, pszFile);
        nEnable = (int)GetPrivateProfileIntA(pszSection, "Enable", -1, pszFile);
    }
    if (nEnable == 1 || nEnable == 0)
    {
        CPolicy policy(pszFile, pszSection);
        if (nEnable == 0)
            nResult = policy.Restore() ? 1 : 0;
        else if (!parsePorts(pszTrustedPorts, ports))
            nResult = ZAVUZ_E_PORTS;
        else
            nResult = policy.Apply(ports) ? 1 : 0;
    }
    LeaveCriticalSection(&g_lock);
    g_journal.Write("ApplyZaVuz %s [%s] ports=%s enable=%d -> %d", text(pszFile), text(pszSection),
                    text(pszTrustedPorts), nEnable, nResult);
    return nResult;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&g_lock);
    else if (dwReason == DLL_PROCESS_DETACH)
        DeleteCriticalSection(&g_lock);
    return TRUE;
}
