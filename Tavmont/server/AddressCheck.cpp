// The address the client reports as its own (chosen by the address template, or by the server
// when the PC has several), the port the server assigns to the client's listener, and the
// Start-menu and uninstall names of the server's client-setup section.
#include "Notification.h"

#include "HostLookup.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "ShellUtils.h"
#include "StringUtils.h"
#include "SystemInfo.h"

namespace NS_Notification
{
namespace
{
int CountAddresses(char** ppszAddresses)
{
    int nCount = 0;
    while (ppszAddresses != NULL && ppszAddresses[nCount] != NULL)
        ++nCount;
    return nCount;
}

// The four dot-separated parts of an address or template; FALSE when it has another number.
BOOL SplitAddress(const CString& strText, CString astrParts[4])
{
    int nParts = 0;
    int nStart = 0;
    for (;;)
    {
        int nDot = strText.Find('.', nStart);
        CString strPart = nDot < 0 ? strText.Mid(nStart) : strText.Mid(nStart, nDot - nStart);
        if (nParts == 4)
            return FALSE;
        astrParts[nParts++] = strPart;
        if (nDot < 0)
            break;
        nStart = nDot + 1;
    }
    return nParts == 4;
}

BOOL PartMatches(const CString& strTemplate, const CString& strAddress)
{
    if (strTemplate.IsEmpty() || strAddress.IsEmpty())
        return TRUE;
    if (strTemplate[0] == 'X' || strTemplate[0] == 'x')
        return TRUE;
    return atoi(strTemplate) == atoi(strAddress);
}
}

int CheckIP(char** ppszAddresses)
{
    int nCount = CountAddresses(ppszAddresses);
    if (nCount == 0)
    {
        VGLTRACE(2, "<-- NS_Notification::CheckIP(%p), nRet(-1) ", (void*)ppszAddresses);
        return 0;
    }
    if (NS_RegistryKey::IsForceMobile())
        return 0;
    CString strQuery;
    strQuery.Format("%s?IP=%s", (LPCSTR)NS_RegistryKey::GetCgiCheckIP(), ppszAddresses[0]);
    for (int i = 1; i < nCount; ++i)
    {
        strQuery += ";";
        strQuery += ppszAddresses[i];
    }
    CAccBuffer reply;
    int nResult = 0;
    if (ConnectServer(reply, strQuery, NULL, NULL, NULL, NULL, NULL, TRUE, NULL))
    {
        int nCode = reply.GetReturnCode(0, 3);
        if (nCode >= 1 && nCode <= nCount)
            nResult = nCode - 1;
        VGLTRACE(3, "NS_Notification::CheckIP(): return code %d, %s", nCode, (LPCSTR)strQuery);
    }
    else
    {
        VGLTRACE(12, "NS_Notification::CheckIP(): %s failed", (LPCSTR)strQuery);
    }
    return nResult;
}

CString ChooseAddressByTemplate(char** ppszAddresses, const CString& strTemplate)
{
    if (CountAddresses(ppszAddresses) == 0)
        return CString();
    CString astrTemplate[4];
    if (SplitAddress(strTemplate, astrTemplate))
    {
        for (int i = 0; ppszAddresses[i] != NULL; ++i)
        {
            CString astrAddress[4];
            if (!SplitAddress(ppszAddresses[i], astrAddress))
                continue;
            BOOL fMatch = TRUE;
            for (int n = 0; n < 4 && fMatch; ++n)
                fMatch = PartMatches(astrTemplate[n], astrAddress[n]);
            if (fMatch)
                return ppszAddresses[i];
        }
    }
    return ppszAddresses[0];
}

CString GetClientIPAddress()
{
    CString strAddress;
    char** ppList = NULL;
    if (!getHostIPList(getLocalComputerName(), &ppList) || ppList == NULL)
        return strAddress;
    try
    {
        CString strTemplate = NS_RegistryKey::GetIPTemplate();
        int nCount = CountAddresses(ppList);
        if (!strTemplate.IsEmpty())
            strAddress = ChooseAddressByTemplate(ppList, strTemplate);
        else if (nCount > 1)
            strAddress = ppList[CheckIP(ppList)];
        else if (nCount == 1)
            strAddress = ppList[0];
    }
    catch (...)
    {
        VGLTRACE(13, "Exception(...) in NS_Notification::GetClientIPAddress()");
        strAddress = ppList[0] != NULL ? ppList[0] : "";
    }
    freeHostIPList(ppList);
    return strAddress;
}

BOOL QueryClientBindPort(CAccBuffer& reply, BOOL fIntranet, BOOL fDisplayErrMsg)
{
    VGLTRACE(1, "--> NS_Notification::QueryClientBindPort(fIntranet = %d, fDisplayErrMsg = %d)", fIntranet,
             fDisplayErrMsg);
    reply.Reset();
    NS_RegistryKey::STimeout timeouts;
    NS_RegistryKey::GetTimeout(&timeouts, NS_RegistryKey::STimeout::cgiRqIni, fIntranet);
    CString strError;
    BOOL fSuccess = ConnectServer(reply, urlEncode(NS_RegistryKey::GetCgiOnQueryClientBindPort()), &timeouts, NULL,
                                  NULL, ConnectCancelCallback, NULL, fIntranet, &strError);
    if (!fSuccess && fDisplayErrMsg && !IsCanceled(fIntranet))
        ::MessageBoxA(NULL, strError, NULL, MB_OK | MB_ICONSTOP);
    VGLTRACE(2, "<-- NS_Notification::QueryClientBindPort(), fSuccess = %d", fSuccess);
    return fSuccess;
}

void CheckShortCutChange(CString strIni)
{
    VGLTRACE(1, "--> NS_Notification::CheckShortCutChange()");
    CString strTarget;
    strTarget.Format("%s\\VGLSCAN.INI", (LPCSTR)getWindowsDirectoryPath());
    int nSection = strIni.Find("[INI_CLIENT_SETUP_SECTION]");
    if (nSection >= 0)
        strIni = strIni.Mid(nSection);
    CSingleLock lock(&g_csIniTable, TRUE);
    if (!RenewIniTable(strIni, g_iniClientSetupSection, INI_CLIENT_SETUP_SECTION_KEYS, "\n", NULL))
    {
        VGLTRACE(12, "RenewIniTable Failed!");
        return;
    }
    SINIEntry* pTable = g_iniClientSetupSection;
    const size_t nCount = INI_CLIENT_SETUP_SECTION_KEYS;
    // A name the section does not carry keeps what the settings file holds.
    auto store = [&](const char* pszKey) {
        SINIEntry* pEntry = findIniEntry(pTable, nCount, pszKey);
        if (pEntry != NULL && pEntry->m_pszValue != NULL)
            ::WritePrivateProfileStringA(NS_RegistryKey::g_pszIniClientSetupSection, pszKey, pEntry->m_pszValue,
                                         strTarget);
    };
    auto text = [&](const char* pszKey) { return iniEntryText(*findIniEntry(pTable, nCount, pszKey)); };

    renameStartMenuItem(text("95_MENU_FOLDER"), text("OLD_95_MENU_FOLDER"), START_MENU_GROUP, NULL);
    store("95_MENU_FOLDER");
    renameStartMenuItem(text("95_MENU_MAIN_ITEM"), text("OLD_95_MENU_MAIN_ITEM"), START_MENU_SHORTCUT,
                        text("95_MENU_FOLDER"));
    store("95_MENU_MAIN_ITEM");
    renameStartMenuItem(text("95_MENU_UNINSTALL_ITEM"), text("OLD_95_MENU_UNINSTALL_ITEM"), START_MENU_SHORTCUT,
                        text("95_MENU_FOLDER"));
    store("95_MENU_UNINSTALL_ITEM");
    // Without a key name the display name would land on the uninstall root itself.
    if (text("95_UNINSTALL_KEY_NAME")[0] != '\0')
        updateUninstallDisplayName(text("95_UNINSTALL_KEY_NAME"), text("95_UNINSTALL_DISPLAY_NAME"));
    store("95_UNINSTALL_DISPLAY_NAME");
    VGLTRACE(2, "<-- NS_Notification::CheckShortCutChange()");
}
}
