// The text side of the server's push commands and INI replies: tables of known keys, the
// decoding of a command's token and its signature, the command time rule; the language code;
// the address the client reports and the server's choice of it; the client-setup names; the
// disk reserve.
#include "Notification.h"

#include "KeyedCipher.h"
#include "Misutils.h"
#include "StringUtils.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "LoopbackHttpServer.h"

#include <string>
#include <vector>

using namespace NS_Notification;

namespace
{
const char CLIENT_GUID[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

std::vector<std::string> Values(const SINIEntry* pTable, size_t nCount)
{
    std::vector<std::string> values;
    for (size_t i = 0; i < nCount; ++i)
        values.push_back(pTable[i].m_pszValue != NULL ? pTable[i].m_pszValue : "(null)");
    return values;
}

std::string KeyedHex(const std::string& strText)
{
    std::vector<char> out(2 * strText.size() + 1);
    int nSize = (int)out.size();
    EXPECT_EQ(0, PWDEncrypt(&out[0], strText.c_str(), &nSize));
    return &out[0];
}
}

TEST(IniTableTest, KeysValuesAndTheFirstLine)
{
    struct Case
    {
        const char* pszText;
        const char* pszFirstLine;
        BOOL fResult;
        std::vector<std::string> values;    // Update_URL, Ptnfile_Version, KsxNT_Version
    } cases[] = {
        {"[INI_UPDATE_SECTION]\n Update_URL = /Download \r\nptnfile_version=578\r\nUnknown=1\n", "[INI_UPDATE_SECTION]",
         TRUE, {"/Download", "578", "(null)"}},
        // A later duplicate wins; a key without "=" has an empty value; escapes are decoded.
        {"Update_URL=/a\nUpdate_URL=/b%20c\nKsxNT_Version\n", NULL, TRUE, {"/b c", "(null)", ""}},
        // Another section: nothing is taken, not even what was there before.
        {"[INI_CRITICAL_SECTION]\nPtnfile_Version=578\n", "[INI_UPDATE_SECTION]", FALSE,
         {"(null)", "(null)", "(null)"}},
        {"", NULL, FALSE, {"(null)", "(null)", "(null)"}},
    };
    for (const Case& c : cases)
    {
        RenewIniTable("Update_URL=/before", g_iniUpdateSection, INI_UPDATE_SECTION_KEYS, "\n", NULL);
        EXPECT_EQ(c.fResult, RenewIniTable(c.pszText, g_iniUpdateSection, INI_UPDATE_SECTION_KEYS, "\n",
                                           c.pszFirstLine))
            << c.pszText;
        EXPECT_EQ(c.values, Values(g_iniUpdateSection, 3)) << c.pszText;
    }
}

TEST(IniTableTest, LongValuesAreCutTo127Bytes)
{
    std::string strText = "Update_URL=" + std::string(200, 'u');
    ASSERT_TRUE(RenewIniTable(strText.c_str(), g_iniUpdateSection, INI_UPDATE_SECTION_KEYS, "\n", NULL));
    EXPECT_EQ(std::string(127, 'u'), g_iniUpdateSection[0].m_pszValue);
}

TEST(PushTokenTest, EncipheredAndPlainTokens)
{
    // The signature of a known message, as the server computes it.
    EXPECT_EQ("8609040e6f7d2492a898039d3a740a9a",
              notificationDigest(CLIENT_GUID, "MESSAGE=29&TIME=20300101120000"));

    std::string strSigned = "DELAY=3&SERVER=srv%2Dname&SERVERPORT=8080&PROXY=p&USEPROXY=1&MESSAGE=22"
                            "&TIME=20300101120000&95_ENGINE_ROLLBACK=6.150&NONSYNPROXYSETTING=1";
    std::string strToken = strSigned + "&IP=" + notificationDigest(CLIENT_GUID, strSigned.c_str());
    for (BOOL fEncrypted : {TRUE, FALSE})
    {
        std::string strRequest = "/?" + (fEncrypted ? KeyedHex(strToken) : strToken);
        SINIEntry table[NOTIFICATION_TOKEN_KEYS];
        memcpy(table, g_notificationTokenTable, sizeof(table));
        SNotificationRequest request;
        ASSERT_EQ(NOTIFY_PARSED, parseNotificationRequest(strRequest.c_str(), fEncrypted, table, request, NULL));
        EXPECT_EQ(strToken, request.strToken);
        EXPECT_EQ(strSigned, request.strMessage);
        SNotificationToken token;
        readNotificationToken(table, token);
        EXPECT_EQ(3, token.nDelay);
        EXPECT_EQ("srv-name", token.strServer);
        EXPECT_EQ(8080, token.nServerPort);
        EXPECT_EQ("p", token.strProxy);
        EXPECT_EQ(0, token.nProxyPort);           // missing: 0
        EXPECT_EQ(1, token.nUseProxy);
        EXPECT_EQ(22, token.nMessage);
        EXPECT_EQ("20300101120000", token.strTime);
        EXPECT_EQ("6.150", token.str95EngineRollback);
        EXPECT_EQ(1, token.nNonSynProxySetting);
        EXPECT_EQ(notificationDigest(CLIENT_GUID, request.strMessage.c_str()), token.strIP);
    }
}

TEST(PushTokenTest, RequestsThatCarryNoCommand)
{
    struct Case
    {
        const char* pszRequest;
        BOOL fEncrypted;
        int nResult;
    } cases[] = {
        {"", FALSE, NOTIFY_NO_QUERY},
        {"/CAVIT", FALSE, NOTIFY_NO_QUERY},
        {"/?CAVIT", FALSE, NOTIFY_NO_SIGNATURE},
        {"/?CAVIT", TRUE, NOTIFY_NO_SIGNATURE},              // deciphers to bytes without "&IP="
        {"/?MESSAGE=29&ip=x", FALSE, NOTIFY_NO_SIGNATURE},   // the marker is case-sensitive
        {"/?&IP=", FALSE, NOTIFY_PARSED},
        {"/?%00&IP=1", FALSE, NOTIFY_EMPTY},                 // decodes to an empty text
    };
    for (const Case& c : cases)
    {
        SINIEntry table[NOTIFICATION_TOKEN_KEYS];
        memcpy(table, g_notificationTokenTable, sizeof(table));
        SNotificationRequest request;
        EXPECT_EQ(c.nResult, parseNotificationRequest(c.pszRequest, c.fEncrypted, table, request, NULL))
            << c.pszRequest;
    }
}

TEST(PushTokenTest, OnlyTheSignedPairsCount)
{
    std::string strSigned = "MESSAGE=29&TIME=20300101120000";
    std::string strToken = strSigned + "&IP=" + notificationDigest(CLIENT_GUID, strSigned.c_str());
    struct Case
    {
        std::string strRequest;
        int nResult;
    } cases[] = {
        {"/?" + strToken, NOTIFY_PARSED},
        // Pairs after the signature, plainly and hidden in an escape of its value.
        {"/?" + strToken + "&MESSAGE=12&TIME=29991231235959&SERVER=x", NOTIFY_UNSIGNED_PAIRS},
        {"/?" + strToken + "&SERVER=x", NOTIFY_UNSIGNED_PAIRS},
        {"/?" + strToken + "%26SERVER%3Dx", NOTIFY_UNSIGNED_PAIRS},
        {"/?" + strToken + "&", NOTIFY_UNSIGNED_PAIRS},
        // A key twice in the signed part, in any case or escaped.
        {"/?MESSAGE=29&message=12&IP=1", NOTIFY_UNSIGNED_PAIRS},
        {"/?MESSAGE=29&MES%53AGE=12&IP=1", NOTIFY_UNSIGNED_PAIRS},
        {"/?MESSAGE=29%26IP%3D1&IP=1", NOTIFY_UNSIGNED_PAIRS},
    };
    for (const Case& c : cases)
    {
        for (BOOL fEncrypted : {TRUE, FALSE})
        {
            std::string strRequest = fEncrypted ? "/?" + KeyedHex(c.strRequest.substr(2)) : c.strRequest;
            SINIEntry table[NOTIFICATION_TOKEN_KEYS];
            memcpy(table, g_notificationTokenTable, sizeof(table));
            SNotificationRequest request;
            EXPECT_EQ(c.nResult, parseNotificationRequest(strRequest.c_str(), fEncrypted, table, request, NULL))
                << c.strRequest << " enciphered " << fEncrypted;
        }
    }
}

TEST(PushTokenTest, CommandTimeAgainstTheStoredOneAndTheClientsClock)
{
    const char* pszLatest = "20261212120000";   // the client's clock a day ahead
    struct Case
    {
        const char* pszStored;
        const char* pszTime;
        int nResult;
    } cases[] = {
        {"", "20261211120000", COMMAND_TIME_NEWER},
        {"20261211120000", "20261211120001", COMMAND_TIME_NEWER},
        {"20261211120000", "20261211120000", COMMAND_TIME_SAME},
        {"20261211120000", "20261211115959", COMMAND_TIME_OLDER},
        {"20261211120000", "", COMMAND_TIME_OLDER},
        {"", "20261212120000", COMMAND_TIME_NEWER},     // a day ahead is still taken
        {"", "20261212120001", COMMAND_TIME_AHEAD},     // later is not, stored or not
        {"20261211120000", "29991231235959", COMMAND_TIME_AHEAD},
        {"", "9", COMMAND_TIME_AHEAD},                   // sorts after any real time
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.nResult, judgeCommandTime(c.pszStored, c.pszTime, pszLatest)) << c.pszStored << " " << c.pszTime;
}

TEST(PushTokenTest, ASignedMessageIsCarriedOutOncePerTime)
{
    CCarriedOutCommands carriedOut;
    EXPECT_FALSE(carriedOut.IsRepeat("20261211120000", "a"));
    carriedOut.Remember("20261211120000", "a");
    EXPECT_TRUE(carriedOut.IsRepeat("20261211120000", "a"));
    EXPECT_FALSE(carriedOut.IsRepeat("20261211120000", "b"));    // another command of that second
    carriedOut.Remember("20261211120000", "b");
    EXPECT_TRUE(carriedOut.IsRepeat("20261211120000", "a"));
    EXPECT_TRUE(carriedOut.IsRepeat("20261211120000", "b"));
    carriedOut.Remember("20261211120001", "c");                  // a later time forgets the earlier
    EXPECT_FALSE(carriedOut.IsRepeat("20261211120000", "a"));
    EXPECT_TRUE(carriedOut.IsRepeat("20261211120001", "c"));
}

TEST(PushTokenTest, OnlyAnEarlierTimeIsOlder)
{
    EXPECT_FALSE(isOlderCommandTime("", "20300101120000"));
    EXPECT_FALSE(isOlderCommandTime("20300101120000", "20300101120000"));   // several in one second
    EXPECT_FALSE(isOlderCommandTime("20300101120000", "20300101120001"));
    EXPECT_TRUE(isOlderCommandTime("20300101120000", "20300101115959"));
    EXPECT_TRUE(isOlderCommandTime("20300101120000", ""));
}

class NotificationSettingsTest : public ProductKeyTest
{
};

TEST_F(NotificationSettingsTest, LanguageCode)
{
    struct Case
    {
        const char* pszCode;
        int nCode;
    } cases[] = {{NULL, 1}, {"ZH_CN", 8}, {"zh_tw", 2}, {"de", 32}, {"pt", 1}, {"it", 512}};
    for (const Case& c : cases)
    {
        WritePrivateProfileStringA("INI_SERVER_SECTION", "Language_Code", c.pszCode, SettingsFilePath().c_str());
        EXPECT_EQ(c.nCode, GetLanguageCode()) << (c.pszCode ? c.pszCode : "(none)");
    }
}

TEST_F(NotificationSettingsTest, AddressByTemplate)
{
    char szA[] = "192.168.1.5", szB[] = "10.20.3.4", szC[] = "10.20.9.9";
    char* apszList[] = {szA, szB, szC, NULL};
    EXPECT_EQ("10.20.3.4", std::string(ChooseAddressByTemplate(apszList, "10.20.X.x")));
    EXPECT_EQ("10.20.9.9", std::string(ChooseAddressByTemplate(apszList, "10.20.9.")));     // empty part matches
    EXPECT_EQ("192.168.1.5", std::string(ChooseAddressByTemplate(apszList, "10.20.X")));  // not four parts
    EXPECT_EQ("192.168.1.5", std::string(ChooseAddressByTemplate(apszList, "172.16.X.X")));
    char* apszEmpty[] = {NULL};
    EXPECT_EQ("", std::string(ChooseAddressByTemplate(apszEmpty, "X.X.X.X")));
}

TEST_F(NotificationSettingsTest, TheServerChoosesAnAddress)
{
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Start());
    WriteString(NULL, "Server", "127.0.0.1");
    WriteDword(NULL, "ServerPort", server.Port());
    WriteDword(NULL, "UseProxy", 0);
    WriteString(NULL, "CgiCheckIP", "/Vigilon/Cgi/cgiCheckIP.dll");
    AllowConnect(TRUE);
    char szA[] = "10.0.0.1", szB[] = "10.0.0.2";
    char* apszList[] = {szA, szB, NULL};
    struct Case
    {
        const char* pszReply;
        int nIndex;
    } cases[] = {{"2", 1}, {"1", 0}, {"0", 0}, {"3", 0}, {"", 0}};
    for (const Case& c : cases)
    {
        server.Reply(200, c.pszReply);
        EXPECT_EQ(c.nIndex, CheckIP(apszList)) << c.pszReply;
    }
    EXPECT_EQ("GET /Vigilon/Cgi/cgiCheckIP.dll?IP=10.0.0.1;10.0.0.2 HTTP/1.1", server.Requests()[0].RequestLine());
    // Forced mobile, or no answer: the first address.
    size_t nRequests = server.Requests().size();
    server.Reply(200, "2");
    NS_RegistryKey::g_fForceMobile = TRUE;
    EXPECT_EQ(0, CheckIP(apszList));
    NS_RegistryKey::g_fForceMobile = FALSE;
    EXPECT_EQ(nRequests, server.Requests().size());
    server.Stop();
    EXPECT_EQ(0, CheckIP(apszList));
}

TEST_F(NotificationSettingsTest, ClientSetupNamesAreStored)
{
    std::string strIni = SettingsFilePath();
    WritePrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_MENU_MAIN_ITEM", "Kept", strIni.c_str());
    CheckShortCutChange("[INI_CRITICAL_SECTION]\nUninst=1\n[INI_CLIENT_SETUP_SECTION]\n"
                        "95_MENU_FOLDER=Vigilon Tools\nOLD_95_MENU_FOLDER=Old One;Older\n"
                        "95_UNINSTALL_DISPLAY_NAME=Vigilon Client\n");
    char szValue[128];
    GetPrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_MENU_FOLDER", "", szValue, sizeof(szValue), strIni.c_str());
    EXPECT_STREQ("Vigilon Tools", szValue);
    GetPrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_UNINSTALL_DISPLAY_NAME", "", szValue, sizeof(szValue),
                             strIni.c_str());
    EXPECT_STREQ("Vigilon Client", szValue);
    // A name the server does not send keeps the settings file's.
    GetPrivateProfileStringA("INI_CLIENT_SETUP_SECTION", "95_MENU_MAIN_ITEM", "", szValue, sizeof(szValue),
                             strIni.c_str());
    EXPECT_STREQ("Kept", szValue);
}

TEST_F(NotificationSettingsTest, DiskReserveOfNoMegabytesIsAnEmptyFile)
{
    std::string strReserve = std::string((LPCSTR)getModulePath()) + "Reserve";
    WriteDword(NULL, "DiskReserved", 0);
    NS_RegistryKey::g_fHttpBased = TRUE;
    ReserveDiskSpace();
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(strReserve.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0u, data.nFileSizeLow);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(strReserve.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(strReserve.c_str());
}
