// The server's push command as text: the tables of known keys that INI texts and tokens are
// parsed into, the decoding of a command's token and the check of its signature. Needs
// nothing of Windows but its basic types (also built natively, for fuzzing).
#ifndef VGL_NOTIFICATIONTOKEN_H
#define VGL_NOTIFICATIONTOKEN_H

#include <windows.h>

#include <stddef.h>
#include <string>
#include <vector>

namespace NS_Notification
{
    // One known key of a table: its value points into the entry's own buffer, or is NULL
    // when the key was not in the last parsed text. Values are cut to 127 bytes.
    struct SINIEntry
    {
        const char* m_pszName;
        char* m_pszValue;
        char m_szBuffer[128];
    };

    // Hears of each key of a parsed text and whether the table took it.
    typedef void (*PFN_INI_ENTRY_TRACE)(const char* pszKey, BOOL fTaken);

    // Parses KEY=VALUE tokens of the text (cut and decoded in place) into the table: every
    // value is cleared first; a key is taken by the first entry of its name (any case), a
    // later duplicate replaces the earlier value, unknown keys are skipped; keys and values
    // are trimmed. FALSE when the text has no token, or when pszFirstLine is given and the
    // first key does not begin with it (the table then stays empty).
    BOOL renewIniEntries(char* pszText, SINIEntry* pTable, size_t nCount, const char* pszDelimiter,
                         const char* pszFirstLine, PFN_INI_ENTRY_TRACE pfTrace);
    // The value as text ("" when absent) and as a number (0 when absent).
    const char* iniEntryText(const SINIEntry& entry);
    int iniEntryNumber(const SINIEntry& entry);
    // The entry of that name, NULL when the table has none.
    SINIEntry* findIniEntry(SINIEntry* pTable, size_t nCount, const char* pszName);

    // The keys of a command's token, in the order of g_notificationTokenTable.
    enum ETokenKey
    {
        TOKEN_DELAY, TOKEN_USEPROXY, TOKEN_PROXY, TOKEN_PROXYPORT, TOKEN_PROXYLOGIN, TOKEN_PROXYPWD,
        TOKEN_SERVER, TOKEN_SERVERPORT, TOKEN_MESSAGE, TOKEN_ROLLBACK, TOKEN_PTNFILE, TOKEN_KSX95_VERSION,
        TOKEN_ENGINE95_VERSION, TOKEN_HOTFIX, TOKEN_TIME, TOKEN_IP, TOKEN_NT_ENGINE_ROLLBACK,
        TOKEN_95_ENGINE_ROLLBACK, TOKEN_NONSYNPROXYSETTING, NOTIFICATION_TOKEN_KEYS
    };
    extern SINIEntry g_notificationTokenTable[NOTIFICATION_TOKEN_KEYS];

    // The values one command acts on, copied out of the token table.
    struct SNotificationToken
    {
        int nDelay;
        int nUseProxy;
        std::string strProxy;
        int nProxyPort;
        std::string strServer;
        int nServerPort;
        int nMessage;
        int nRollback;
        std::string strTime;
        std::string strIP;
        std::string str95EngineRollback;
        int nNonSynProxySetting;
    };
    void readNotificationToken(const SINIEntry* pTable, SNotificationToken& token);

    // How far a request's command got in parsing.
    enum ENotificationParse
    {
        NOTIFY_PARSED = 0,          // the table holds the token's values
        NOTIFY_NO_QUERY,            // empty request or no "?": nothing to carry out
        NOTIFY_DECRYPT_ERROR,       // the token could not be deciphered: rejected
        NOTIFY_NO_SIGNATURE,        // no "&IP=": rejected
        NOTIFY_EMPTY,               // nothing left after decoding
        NOTIFY_TABLE_FAILED,        // no key=value token in it
        NOTIFY_UNSIGNED_PAIRS       // text after the signature, or a key given twice: rejected
    };
    struct SNotificationRequest
    {
        std::string strToken;       // after the first "?", deciphered when it was enciphered
        std::string strMessage;     // the signed part: the token up to the first "&IP="
    };
    // The token after the first "?" of the request, deciphered with the keyed cipher when
    // fEncrypted, its signed part split off and its %XX-decoded text parsed into the table
    // (NOTIFICATION_TOKEN_KEYS entries, "&" between the pairs). Only the signed part may
    // count: a token with anything after the signature, or with a key given twice, is refused.
    int parseNotificationRequest(const char* pszRequest, BOOL fEncrypted, SINIEntry* pTable,
                                 SNotificationRequest& request, PFN_INI_ENTRY_TRACE pfTrace);

    // The signature the server puts in IP: the MD5 (32 lower-case hex digits) of the keyed
    // text made of two fixed numbers, the client's GUID and the signed part.
    std::string notificationDigest(const char* pszGuid, const char* pszMessage);
    // Whether a command of this TIME comes before the last one carried out (stored): the
    // texts sort by time; an equal time is the same second and is not older.
    BOOL isOlderCommandTime(const char* pszStored, const char* pszTime);

    // How a command's TIME stands against the last one carried out (pszStored) and the latest
    // TIME the client takes (pszLatest: its clock a day ahead, same format; NULL: no bound).
    enum ECommandTime
    {
        COMMAND_TIME_NEWER = 0,     // later than the stored one, or nothing stored
        COMMAND_TIME_SAME,          // the second of the stored one: another command of it
        COMMAND_TIME_OLDER,         // before the stored one: refused
        COMMAND_TIME_AHEAD          // after pszLatest: refused and not stored
    };
    int judgeCommandTime(const char* pszStored, const char* pszTime, const char* pszLatest);

    // The signatures of the commands carried out at the latest TIME: a signed message is
    // carried out once, other commands of the same second still are.
    class CCarriedOutCommands
    {
    public:
        BOOL IsRepeat(const std::string& strTime, const std::string& strDigest) const;
        // A later TIME forgets the signatures of the earlier one.
        void Remember(const std::string& strTime, const std::string& strDigest);

    private:
        std::string m_strTime;
        std::vector<std::string> m_digests;
    };
}

#endif
