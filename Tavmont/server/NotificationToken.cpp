#include "NotificationToken.h"

#include "KeyValueText.h"
#include "KeyedCipher.h"
#include "MessageDigest5.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace NS_Notification
{
SINIEntry g_notificationTokenTable[NOTIFICATION_TOKEN_KEYS] = {
    {"DELAY", NULL, ""},          {"USEPROXY", NULL, ""},     {"PROXY", NULL, ""},
    {"PROXYPORT", NULL, ""},      {"PROXYLOGIN", NULL, ""},   {"PROXYPWD", NULL, ""},
    {"SERVER", NULL, ""},         {"SERVERPORT", NULL, ""},   {"MESSAGE", NULL, ""},
    {"ROLLBACK", NULL, ""},       {"PTNFILE", NULL, ""},      {"Ksx95_Version", NULL, ""},
    {"Engine95_Version", NULL, ""}, {"HotFIX", NULL, ""},     {"TIME", NULL, ""},
    {"IP", NULL, ""},             {"NT_ENGINE_ROLLBACK", NULL, ""}, {"95_ENGINE_ROLLBACK", NULL, ""},
    {"NONSYNPROXYSETTING", NULL, ""}};

namespace
{
// The two numbers of the signed text, shared with the server.
const DWORD s_dwNotifySalt1 = 0x5C3A91D7;
const DWORD s_dwNotifySalt2 = 0x93B04E6F;

// At most 127 bytes, never half a double-byte character.
void storeValue(SINIEntry& entry, const char* pszValue)
{
    size_t n = 0;
    while (pszValue[n] != '\0')
    {
        size_t nChar = (size_t)textCharLength(pszValue + n);
        if (n + nChar > sizeof(entry.m_szBuffer) - 1)
            break;
        n += nChar;
    }
    memcpy(entry.m_szBuffer, pszValue, n);
    entry.m_szBuffer[n] = '\0';
    trimSpaces(entry.m_szBuffer);
    entry.m_pszValue = entry.m_szBuffer;
}

// Whether a key (any case, trimmed) comes twice among the pairs of the decoded text.
BOOL hasRepeatedKey(const std::string& strDecoded)
{
    std::string strText = strDecoded;
    char** ppPairs = splitKeyValuePairs(&strText[0], "&");
    if (ppPairs == NULL)
        return TRUE;
    BOOL fRepeated = FALSE;
    for (char** pp = ppPairs; pp[0] != NULL && !fRepeated; pp += 2)
    {
        trimSpaces(pp[0]);
        for (char** ppEarlier = ppPairs; ppEarlier != pp && !fRepeated; ppEarlier += 2)
            fRepeated = equalNoCase(ppEarlier[0], pp[0]);
    }
    freeKeyValuePairs(ppPairs);
    return fRepeated;
}
}

BOOL renewIniEntries(char* pszText, SINIEntry* pTable, size_t nCount, const char* pszDelimiter,
                     const char* pszFirstLine, PFN_INI_ENTRY_TRACE pfTrace)
{
    for (size_t i = 0; i < nCount; ++i)
        pTable[i].m_pszValue = NULL;
    char** ppPairs = splitKeyValuePairs(pszText, pszDelimiter);
    if (ppPairs == NULL || ppPairs[0] == NULL)
    {
        freeKeyValuePairs(ppPairs);
        return FALSE;
    }
    if (pszFirstLine != NULL && strncmp(ppPairs[0], pszFirstLine, strlen(pszFirstLine)) != 0)
    {
        freeKeyValuePairs(ppPairs);
        return FALSE;
    }
    for (char** pp = ppPairs; pp[0] != NULL; pp += 2)
    {
        trimSpaces(pp[0]);
        SINIEntry* pEntry = findIniEntry(pTable, nCount, pp[0]);
        if (pfTrace != NULL)
            pfTrace(pp[0], pEntry != NULL);
        if (pEntry != NULL)
            storeValue(*pEntry, pp[1]);
    }
    freeKeyValuePairs(ppPairs);
    return TRUE;
}

SINIEntry* findIniEntry(SINIEntry* pTable, size_t nCount, const char* pszName)
{
    for (size_t i = 0; i < nCount; ++i)
    {
        if (equalNoCase(pTable[i].m_pszName, pszName))
            return &pTable[i];
    }
    return NULL;
}

const char* iniEntryText(const SINIEntry& entry)
{
    return entry.m_pszValue != NULL ? entry.m_pszValue : "";
}

int iniEntryNumber(const SINIEntry& entry)
{
    return entry.m_pszValue != NULL ? atoi(entry.m_pszValue) : 0;
}

void readNotificationToken(const SINIEntry* pTable, SNotificationToken& token)
{
    token.nDelay = iniEntryNumber(pTable[TOKEN_DELAY]);
    token.nUseProxy = iniEntryNumber(pTable[TOKEN_USEPROXY]);
    token.strProxy = iniEntryText(pTable[TOKEN_PROXY]);
    token.nProxyPort = iniEntryNumber(pTable[TOKEN_PROXYPORT]);
    token.strServer = iniEntryText(pTable[TOKEN_SERVER]);
    token.nServerPort = iniEntryNumber(pTable[TOKEN_SERVERPORT]);
    token.nMessage = iniEntryNumber(pTable[TOKEN_MESSAGE]);
    token.nRollback = iniEntryNumber(pTable[TOKEN_ROLLBACK]);
    token.strTime = iniEntryText(pTable[TOKEN_TIME]);
    token.strIP = iniEntryText(pTable[TOKEN_IP]);
    token.str95EngineRollback = iniEntryText(pTable[TOKEN_95_ENGINE_ROLLBACK]);
    token.nNonSynProxySetting = iniEntryNumber(pTable[TOKEN_NONSYNPROXYSETTING]);
}

int parseNotificationRequest(const char* pszRequest, BOOL fEncrypted, SINIEntry* pTable,
                             SNotificationRequest& request, PFN_INI_ENTRY_TRACE pfTrace)
{
    request.strToken.clear();
    request.strMessage.clear();
    const char* pszQuery = pszRequest != NULL ? strchr(pszRequest, '?') : NULL;
    if (pszQuery == NULL)
        return NOTIFY_NO_QUERY;
    request.strToken = pszQuery + 1;
    if (fEncrypted)
    {
        int nSize = (int)request.strToken.size() + 1;
        std::vector<char> plain((size_t)nSize, '\0');
        if (PWDDecrypt(&plain[0], request.strToken.c_str(), &nSize) != 0)
            return NOTIFY_DECRYPT_ERROR;
        request.strToken = &plain[0];
    }
    size_t nPos = request.strToken.find("&IP=");
    if (nPos == std::string::npos)
        return NOTIFY_NO_SIGNATURE;
    request.strMessage = request.strToken.substr(0, nPos);
    // Only the text before "&IP=" is signed: the signature must end the token, and an
    // escape in it could decode to another pair.
    if (request.strToken.find_first_of("&%", nPos + 4) != std::string::npos)
        return NOTIFY_UNSIGNED_PAIRS;
    std::string strDecoded = urlDecodeText(request.strToken.c_str());
    // A decoded zero byte ends the text.
    strDecoded.resize(strlen(strDecoded.c_str()));
    if (strDecoded.empty())
        return NOTIFY_EMPTY;
    if (hasRepeatedKey(strDecoded))
        return NOTIFY_UNSIGNED_PAIRS;
    if (!renewIniEntries(&strDecoded[0], pTable, NOTIFICATION_TOKEN_KEYS, "&", NULL, pfTrace))
        return NOTIFY_TABLE_FAILED;
    return NOTIFY_PARSED;
}

std::string notificationDigest(const char* pszGuid, const char* pszMessage)
{
    const char* pszFormat = "[zpxNotify] error=%d,clinet=%s,server=%s, return %d";
    int nLength = snprintf(NULL, 0, pszFormat, (int)s_dwNotifySalt1, pszGuid, pszMessage, (int)s_dwNotifySalt2);
    std::vector<char> text((size_t)nLength + 1);
    snprintf(&text[0], text.size(), pszFormat, (int)s_dwNotifySalt1, pszGuid, pszMessage, (int)s_dwNotifySalt2);
    char szDigest[33] = "";
    CMessageDigest5 md5;
    md5.GetHexDigest(&text[0], (UINT)nLength, szDigest, sizeof(szDigest));
    return szDigest;
}

BOOL isOlderCommandTime(const char* pszStored, const char* pszTime)
{
    return pszStored != NULL && pszStored[0] != '\0' && strcmp(pszStored, pszTime != NULL ? pszTime : "") > 0;
}

int judgeCommandTime(const char* pszStored, const char* pszTime, const char* pszLatest)
{
    if (pszTime == NULL)
        pszTime = "";
    if (pszLatest != NULL && strcmp(pszTime, pszLatest) > 0)
        return COMMAND_TIME_AHEAD;
    if (isOlderCommandTime(pszStored, pszTime))
        return COMMAND_TIME_OLDER;
    if (pszStored != NULL && pszStored[0] != '\0' && strcmp(pszStored, pszTime) == 0)
        return COMMAND_TIME_SAME;
    return COMMAND_TIME_NEWER;
}

BOOL CCarriedOutCommands::IsRepeat(const std::string& strTime, const std::string& strDigest) const
{
    if (strTime != m_strTime)
        return FALSE;
    for (size_t i = 0; i < m_digests.size(); ++i)
    {
        if (m_digests[i] == strDigest)
            return TRUE;
    }
    return FALSE;
}

void CCarriedOutCommands::Remember(const std::string& strTime, const std::string& strDigest)
{
    if (strTime != m_strTime)
    {
        m_strTime = strTime;
        m_digests.clear();
    }
    if (!IsRepeat(strTime, strDigest))
        m_digests.push_back(strDigest);
}
}
