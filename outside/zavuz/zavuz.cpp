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
//       mark. Returns 1 on success, 0 when the file or section cannot be read
//       or the filter driver refuses the policy, ZAVUZ_E_PORTS when the
//       trusted-port list is not a comma list of ports.
//
// The policy reaches the filter driver through the engine callback: start
// (1, the pattern folder), the mode (3, "outbreak" or "normal"), the blocked
// ports less the trusted ones (4, "p1,p2"), the folder of the policy (5), the
// blocked shares (6) and the denied file types (7) (lists of texts ending with
// an empty text), then stop (2). The section's "BlockPorts", "BlockShares" and
// "DenyFileTypes" are comma lists. Lifting sends "normal" and empty lists.
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

std::vector<std::string> splitList(const std::string& strList)
{
    std::vector<std::string> items;
    size_t nPos = 0;
    while (nPos <= strList.size())
    {
        size_t nEnd = strList.find(',', nPos);
        if (nEnd == std::string::npos)
            nEnd = strList.size();
        std::string strItem = strList.substr(nPos, nEnd - nPos);
        size_t nFirst = strItem.find_first_not_of(" \t");
        size_t nLast = strItem.find_last_not_of(" \t");
        if (nFirst != std::string::npos)
            items.push_back(strItem.substr(nFirst, nLast - nFirst + 1));
        nPos = nEnd + 1;
    }
    return items;
}

// "a\0b\0\0": the texts, then an empty one.
std::vector<char> multiString(const std::vector<std::string>& items)
{
    std::vector<char> buffer;
    for (const std::string& item : items)
    {
        buffer.insert(buffer.end(), item.begin(), item.end());
        buffer.push_back('\0');
    }
    buffer.push_back('\0');
    buffer.push_back('\0');
    return buffer;
}

std::string profileText(const char* pszFile, const char* pszSection, const char* pszKey)
{
    char sz[2048] = "";
    GetPrivateProfileStringA(pszSection, pszKey, "", sz, sizeof(sz), pszFile);
    return sz;
}

// Sends the policy (or, lifted, the normal state) to the filter driver; true when every
// request was taken. Called with g_lock held.
bool driveFilter(const char* pszFile, const char* pszSection, bool fApply, const std::vector<int>& trustedPorts)
{
    OPP_ENGINE_CALLBACK pfn = g_pfnEngine;
    if (pfn == NULL)
    {
        g_journal.Write("no engine callback: the filter driver is not told");
        return true;
    }
    std::string strBlockedPorts;
    std::vector<std::string> shares, types;
    if (fApply)
    {
        for (const std::string& strPort : splitList(profileText(pszFile, pszSection, "BlockPorts")))
        {
            int nPort = atoi(strPort.c_str());
            bool fTrusted = false;
            for (int nTrusted : trustedPorts)
                fTrusted = fTrusted || nTrusted == nPort;
            if (nPort <= 0 || fTrusted)
                continue;
            strBlockedPorts += (strBlockedPorts.empty() ? "" : ",") + std::to_string(nPort);
        }
        shares = splitList(profileText(pszFile, pszSection, "BlockShares"));
        types = splitList(profileText(pszFile, pszSection, "DenyFileTypes"));
    }
    std::string strFolder = pszFile;
    size_t nSlash = strFolder.find_last_of("\\/");
    strFolder.erase(nSlash == std::string::npos ? 0 : nSlash);
    std::vector<char> shareList = multiString(shares), typeList = multiString(types);
    std::string strMode = fApply ? "outbreak" : "normal";

    int nStarted = pfn(1, (void*)g_strPatternPath.c_str());
    bool fTaken = pfn(3, (void*)strMode.c_str()) != 0;
    fTaken = pfn(4, (void*)strBlockedPorts.c_str()) != 0 && fTaken;
    fTaken = pfn(5, (void*)strFolder.c_str()) != 0 && fTaken;
    fTaken = pfn(6, &shareList[0]) != 0 && fTaken;
    fTaken = pfn(7, &typeList[0]) != 0 && fTaken;
    pfn(2, NULL);
    g_journal.Write("filter driver: start %d, mode %s, ports %s, shares %u, file types %u -> %s", nStarted,
                    strMode.c_str(), strBlockedPorts.c_str(), (unsigned)shares.size(), (unsigned)types.size(),
                    fTaken ? "taken" : "refused");
    return fTaken;
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
        {
            // A driver that cannot be told does not keep the policy's mark in place.
            driveFilter(pszFile, pszSection, false, ports);
            nResult = policy.Restore() ? 1 : 0;
        }
        else if (!parsePorts(pszTrustedPorts, ports))
            nResult = ZAVUZ_E_PORTS;
        else if (!driveFilter(pszFile, pszSection, true, ports))
            nResult = 0;
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
