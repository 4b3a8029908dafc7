// The synchronise, Internet settings, proxy and About dialogs from the language library's
// templates, run modally and driven from a timer of their own loop.
#include "AboutDlg.h"
#include "InternetSettingsDlg.h"
#include "ProxySettingDlg.h"
#include "SynchronizeDlg.h"

#include "ClientClock.h"
#include "KeyedCipher.h"
#include "RegistryKey.h"
#include "TavmontApp.h"
#include "resource_ids.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "../../server/tests/upgradelock_fixture.h"
#include "WindowTree.h"
#include "langlibrary.h"

#include <functional>
#include <string>
#include <vector>

namespace
{
std::string Text(UINT nID)
{
    CString str;
    str.LoadString(nID);
    return (LPCSTR)str;
}

std::string ItemText(HWND hDlg, int nID)
{
    char sz[512] = "";
    ::GetDlgItemTextA(hDlg, nID, sz, sizeof(sz));
    return sz;
}

bool ItemEnabled(HWND hDlg, int nID)
{
    return ::IsWindowEnabled(::GetDlgItem(hDlg, nID)) != FALSE;
}

void SetItem(HWND hDlg, int nID, const char* pszText)
{
    ::SetDlgItemTextA(hDlg, nID, pszText);
}

// A click as the user makes it: the box toggles and tells its dialog.
void Click(HWND hDlg, int nID)
{
    ::SendMessageA(::GetDlgItem(hDlg, nID), BM_CLICK, 0, 0);
}

// Drives the next dialog this thread shows: once its window (captioned so) is up, the script
// runs once inside the dialog's own loop. Message boxes captioned with string 104 are
// answered with OK and their texts kept.
class CModalDriver
{
public:
    CModalDriver(const char* pszCaption, std::function<void(HWND)> script)
        : m_strCaption(pszCaption), m_script(script)
    {
        s_pThis = this;
        m_nTimer = ::SetTimer(NULL, 0, 50, OnTimer);
    }
    ~CModalDriver()
    {
        ::KillTimer(NULL, m_nTimer);
        s_pThis = NULL;
    }

    std::vector<std::string> m_boxes;
    bool m_fRan = false;

private:
    static BOOL CALLBACK Find(HWND hWnd, LPARAM)
    {
        CModalDriver* pThis = s_pThis;
        char szCaption[256] = "";
        ::GetWindowTextA(hWnd, szCaption, sizeof(szCaption));
        if (!::IsWindowVisible(hWnd))
            return TRUE;
        if (Text(IDS_MESSAGE_CAPTION) == szCaption)
        {
            std::string strText;
            for (const std::string& str : VisibleTexts(WindowTree(hWnd), "Static"))
                strText += str;
            pThis->m_boxes.push_back(strText);
            ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
        }
        else if (pThis->m_strCaption == szCaption && !pThis->m_fRan)
        {
            pThis->m_fRan = true;
            pThis->m_script(hWnd);
        }
        return TRUE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        if (s_pThis != NULL)
            ::EnumThreadWindows(::GetCurrentThreadId(), Find, 0);
    }

    static CModalDriver* s_pThis;
    std::string m_strCaption;
    std::function<void(HWND)> m_script;
    UINT_PTR m_nTimer;
};
CModalDriver* CModalDriver::s_pThis = NULL;

const char* const INET = "Internet Settings";

class DialogsTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        ASSERT_TRUE(m_lang.Load() != NULL);
        InitializeUpgradeLockOnce();
        CreateKey();
    }
    void TearDown() override
    {
        CSynchronizeDlg::SetOperations(NULL);
        m_lang.Free();
        ProductKeyTest::TearDown();
    }

    static std::string Inet(const char* pszName) { return ReadString("Internet Settings", pszName); }
    static DWORD InetDword(const char* pszName) { return ReadDword("Internet Settings", pszName); }

    CLanguageLibrary m_lang;
};

// ---- Internet settings ----

TEST_F(DialogsTest, InternetSettingsRefuseBadAddressesAndPortsAndSaveNothing)
{
    WriteString("Internet Settings", "Server", "10.1.2.3");
    WriteDword("Internet Settings", "ServerPort", 8080);
    struct Case
    {
        const char* pszServer;
        const char* pszPort;
        bool fUseProxy;
        const char* pszProxy;
        const char* pszProxyPort;
        UINT nMessage;
        int nFocus;
    } cases[] = {
        { "update.example.com", "80", false, "", "", IDS_BAD_ADDRESS, IDC_INET_SERVER_LABEL },
        { "10.0.0.256", "80", false, "", "", IDS_BAD_ADDRESS, IDC_INET_SERVER_LABEL },
        // A bad port of either kind puts the focus on the proxy address.
        { "10.0.0.1", "70000", true, "10.0.0.9", "8080", IDS_BAD_PORT, IDC_INET_PROXY_SERVER },
        { "10.0.0.1", "", true, "10.0.0.9", "8080", IDS_BAD_PORT, IDC_INET_PROXY_SERVER },
        { "10.0.0.1", "80", true, "proxy.example.com", "8080", IDS_BAD_ADDRESS, IDC_INET_PROXY_SERVER },
        { "10.0.0.1", "80", true, "10.0.0.9", "0", IDS_BAD_PORT, IDC_INET_PROXY_SERVER },
    };
    for (const Case& c : cases)
    {
        HWND hFocus = NULL, hExpected = NULL;
        bool fOpenAfter = false;
        CModalDriver driver(INET, [&](HWND hDlg) {
            ::SetDlgItemTextA(hDlg, IDC_INET_SERVER, c.pszServer);
            SetItem(hDlg, IDC_INET_SERVER_PORT, c.pszPort);
            if (c.fUseProxy)
                Click(hDlg, IDC_INET_USE_PROXY);
            SetItem(hDlg, IDC_INET_PROXY_SERVER, c.pszProxy);
            SetItem(hDlg, IDC_INET_PROXY_PORT, c.pszProxyPort);
            ::SendMessageA(hDlg, WM_COMMAND, IDOK, 0);
            hFocus = ::GetFocus();
            hExpected = ::GetDlgItem(hDlg, c.nFocus);
            fOpenAfter = ::IsWindowVisible(hDlg) != FALSE;
            ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        });
        CInternetSettingsDlg dlg;
        EXPECT_EQ(IDCANCEL, dlg.DoModal()) << c.pszServer;
        EXPECT_TRUE(driver.m_fRan);
        ASSERT_EQ(1u, driver.m_boxes.size()) << c.pszServer << " " << c.pszPort;
        EXPECT_EQ(Text(c.nMessage), driver.m_boxes[0]) << c.pszServer << " " << c.pszPort;
        EXPECT_EQ(hExpected, hFocus) << c.pszServer << " " << c.pszPort << " focus on #" << ::GetDlgCtrlID(hFocus);
        EXPECT_TRUE(fOpenAfter);
        EXPECT_EQ("10.1.2.3", Inet("Server"));
        EXPECT_EQ(8080u, InetDword("ServerPort"));
        EXPECT_EQ("<missing>", Inet("ProxyServer"));
    }
}

TEST_F(DialogsTest, InternetSettingsSaveEveryValue)
{
    WriteString("", "Server", "192.168.7.7");
    WriteString("Internet Settings", "Server", "10.1.2.3");
    WriteDword("Internet Settings", "ServerPort", 8080);
    WriteDword("Internet Settings", "ProxyPort", 3128);
    WriteDword("", "AllowUpdateFromKVNF", 1);
    std::vector<std::string> rows;
    CModalDriver driver(INET, [&](HWND hDlg) {
        HWND hCombo = ::GetDlgItem(hDlg, IDC_INET_SERVER);
        for (int i = 0; i < (int)::SendMessageA(hCombo, CB_GETCOUNT, 0, 0); ++i)
        {
            char sz[300] = "";
            ::SendMessageA(hCombo, CB_GETLBTEXT, i, (LPARAM)sz);
            rows.push_back(sz);
        }
        EXPECT_EQ("10.1.2.3", ItemText(hDlg, IDC_INET_SERVER));
        EXPECT_EQ("8080", ItemText(hDlg, IDC_INET_SERVER_PORT));
        EXPECT_EQ("3128", ItemText(hDlg, IDC_INET_PROXY_PORT));
        ::SetDlgItemTextA(hDlg, IDC_INET_SERVER, "192.168.7.7");
        SetItem(hDlg, IDC_INET_SERVER_PORT, "8081");
        SetItem(hDlg, IDC_INET_USER_NAME, "updater");
        SetItem(hDlg, IDC_INET_PASSWORD, "s3cret");
        SetItem(hDlg, IDC_INET_PROXY_SERVER, "proxy.example.com");   // not used: not checked
        SetItem(hDlg, IDC_INET_PROXY_PORT, "");
        SetItem(hDlg, IDC_INET_PROXY_LOGIN, "plogin");
        SetItem(hDlg, IDC_INET_PROXY_PASSWORD, "ppass");
        ::SendMessageA(hDlg, WM_COMMAND, IDOK, 0);
    });
    CInternetSettingsDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(driver.m_boxes.empty());
    const std::vector<std::string> expectedRows = { "10.1.2.3", CInternetSettingsDlg::s_szMakerUpdateService,
                                                    "192.168.7.7" };
    EXPECT_EQ(expectedRows, rows);
    EXPECT_EQ("192.168.7.7", Inet("Server"));
    EXPECT_EQ(8081u, InetDword("ServerPort"));
    EXPECT_EQ("updater", Inet("User name"));
    EXPECT_NE("s3cret", Inet("Password"));             // stored scrambled
    EXPECT_STREQ("s3cret", NS_RegistryKey::GetInternetPassword());
    EXPECT_EQ(0u, InetDword("UseProxy"));
    EXPECT_EQ("proxy.example.com", Inet("ProxyServer"));
    EXPECT_EQ(80u, InetDword("ProxyPort"));               // the empty field reads 0
    EXPECT_EQ("plogin", Inet("ProxyLogin"));
    EXPECT_EQ(0u, Inet("ProxyPassword").find("!CRYPT!"));
    EXPECT_STREQ("ppass", NS_RegistryKey::GetInternetProxyPassword());
    EXPECT_EQ(0u, InetDword("Use Anonymous"));
}

TEST_F(DialogsTest, InternetSettingsEnablingFollowsTheBoxesAndTheLock)
{
    // The administrator's lock: the proxy cannot be changed, and OK writes it back as it was.
    WriteString("Internet Settings", "Server", "10.1.2.3");
    WriteDword("Internet Settings", "ServerPort", 80);
    WriteDword("Internet Settings", "UseProxy", 1);
    WriteString("Internet Settings", "ProxyServer", "10.9.9.9");
    WriteDword("Internet Settings", "ProxyPort", 8080);
    WriteString("Internet Settings", "ProxyLogin", "");
    WriteDword("", "ProxySettingOnOff", 0);
    CModalDriver driver(INET, [&](HWND hDlg) {
        for (int nID : { IDC_INET_USE_PROXY, IDC_INET_PROXY_SERVER, IDC_INET_PROXY_PORT, IDC_INET_PROXY_LOGIN,
                         IDC_INET_PROXY_PASSWORD })
            EXPECT_FALSE(ItemEnabled(hDlg, nID)) << nID;
        EXPECT_TRUE(ItemEnabled(hDlg, IDC_INET_USER_NAME));
        // Anonymous: no user name or password.
        Click(hDlg, IDC_INET_ANONYMOUS);
        EXPECT_FALSE(ItemEnabled(hDlg, IDC_INET_USER_NAME));
        EXPECT_FALSE(ItemEnabled(hDlg, IDC_INET_PASSWORD));
        Click(hDlg, IDC_INET_ANONYMOUS);
        EXPECT_TRUE(ItemEnabled(hDlg, IDC_INET_USER_NAME));
        ::SendMessageA(hDlg, WM_COMMAND, IDOK, 0);
    });
    CInternetSettingsDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(1u, InetDword("UseProxy"));
    EXPECT_EQ("10.9.9.9", Inet("ProxyServer"));
    EXPECT_EQ(8080u, InetDword("ProxyPort"));

    // Unlocked: the proxy fields follow the box; proxy credentials leave the user's login out.
    WriteDword("", "ProxySettingOnOff", 1);
    WriteDword("Internet Settings", "UseProxy", 0);
    CModalDriver driver2(INET, [&](HWND hDlg) {
        EXPECT_TRUE(ItemEnabled(hDlg, IDC_INET_USE_PROXY));
        EXPECT_FALSE(ItemEnabled(hDlg, IDC_INET_PROXY_SERVER));
        Click(hDlg, IDC_INET_USE_PROXY);
        EXPECT_TRUE(ItemEnabled(hDlg, IDC_INET_PROXY_SERVER));
        EXPECT_TRUE(ItemEnabled(hDlg, IDC_INET_USER_NAME));
        SetItem(hDlg, IDC_INET_PROXY_LOGIN, "plogin");
        EXPECT_FALSE(ItemEnabled(hDlg, IDC_INET_USER_NAME));
        SetItem(hDlg, IDC_INET_PROXY_LOGIN, "");
        EXPECT_TRUE(ItemEnabled(hDlg, IDC_INET_USER_NAME));
        ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
    });
    CInternetSettingsDlg dlg2;
    EXPECT_EQ(IDCANCEL, dlg2.DoModal());
    EXPECT_TRUE(driver2.m_fRan);
    EXPECT_EQ(0u, InetDword("UseProxy"));
}

// ---- proxy settings ----

TEST_F(DialogsTest, ProxySettingsTakeHostNamesAndRefuseAnEmptyAddressOrABadPort)
{
    // The older keyed form.
    char szOld[16];
    int nSize = sizeof(szOld);
    ASSERT_EQ(0, PWDEncrypt(szOld, "old", &nSize));
    WriteString("Internet Settings", "ProxyPassword", szOld);
    struct Case
    {
        const char* pszProxy;
        const char* pszPort;
        UINT nMessage;
    } cases[] = {
        { "", "8080", IDS_BAD_ADDRESS },
        { "proxy.example.com", "65536", IDS_BAD_PORT },
        { "proxy.example.com", "0", IDS_BAD_PORT },
        { "proxy.example.com", "8080", 0 },
    };
    for (const Case& c : cases)
    {
        CModalDriver driver("Proxy Settings", [&](HWND hDlg) {
            EXPECT_FALSE(ItemEnabled(hDlg, IDC_PROXY_SERVER));
            EXPECT_EQ("old", ItemText(hDlg, IDC_PROXY_PASSWORD));   // the plain older form is still read
            Click(hDlg, IDC_PROXY_USE);
            EXPECT_TRUE(ItemEnabled(hDlg, IDC_PROXY_SERVER));
            SetItem(hDlg, IDC_PROXY_SERVER, c.pszProxy);
            SetItem(hDlg, IDC_PROXY_PORT, c.pszPort);
            ::SendMessageA(hDlg, WM_COMMAND, IDOK, 0);
            if (::IsWindowVisible(hDlg))
                ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        });
        CProxySettingDlg dlg;
        INT_PTR nResult = dlg.DoModal();
        if (c.nMessage != 0)
        {
            EXPECT_EQ(IDCANCEL, nResult);
            ASSERT_EQ(1u, driver.m_boxes.size()) << c.pszProxy << ":" << c.pszPort;
            EXPECT_EQ(Text(c.nMessage), driver.m_boxes[0]);
            EXPECT_EQ("<missing>", Inet("ProxyServer"));
        }
        else
        {
            EXPECT_EQ(IDOK, nResult);
            EXPECT_TRUE(driver.m_boxes.empty());
            EXPECT_EQ(1u, InetDword("UseProxy"));
            EXPECT_EQ("proxy.example.com", Inet("ProxyServer"));
            EXPECT_EQ(8080u, InetDword("ProxyPort"));
            EXPECT_EQ(0u, Inet("ProxyPassword").find("!CRYPT!"));   // rewritten in the new form
            EXPECT_STREQ("old", NS_RegistryKey::GetInternetProxyPassword());
        }
    }
}

TEST_F(DialogsTest, ProxySettingsLockedKeepEveryFieldDisabled)
{
    WriteDword("", "ProxySettingOnOff", 0);
    WriteDword("Internet Settings", "UseProxy", 1);
    WriteString("Internet Settings", "ProxyServer", "10.9.9.9");
    CModalDriver driver("Proxy Settings", [&](HWND hDlg) {
        for (int nID : { IDC_PROXY_USE, IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_LOGIN, IDC_PROXY_PASSWORD })
            EXPECT_FALSE(ItemEnabled(hDlg, nID)) << nID;
        EXPECT_EQ("10.9.9.9", ItemText(hDlg, IDC_PROXY_SERVER));
        ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
    });
    CProxySettingDlg dlg;
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_TRUE(driver.m_fRan);
}

// ---- About ----

TEST(AboutDlg, PatternNumbers)
{
    const struct
    {
        int nNumber;
        const char* pszText;
    } cases[] = { { 0, "0" }, { 512, "512" }, { 999, "999" }, { 1000, " 0.010.00" }, { 1234567, "12.345.67" },
                  { 578, "578" }, { 123456789, "1234.567.89" } };
    for (const auto& c : cases)
        EXPECT_STREQ(c.pszText, CAboutDlg::FormatPattern(c.nNumber)) << c.nNumber;
}

TEST_F(DialogsTest, AboutShowsServerAndProxyInHttpModeAndTheFolderInFileMode)
{
    WriteString("", "GUID", "01234567-89ab-cdef-0123-456789abcdef");
    WriteString("", "Server", "10.20.30.40");
    WriteDword("", "ServerPort", 8080);
    WriteDword("", "UseProxy", 1);
    WriteString("", "ProxyServer", "10.0.0.99");
    WriteString("", "MasterDirectory", "\\\\server\\share\\Vigilon");
    struct Case
    {
        BOOL fHttpAtStart;
        DWORD dwModeNow;
        BOOL fMobile;
        const char* pszServer;
        const char* pszProxy;
        const char* pszMaster;
        UINT nMode;
        UINT nMobile;
    } cases[] = {
        { TRUE, 1, FALSE, "10.20.30.40 : 8080", "10.0.0.99 : 80", "", IDS_ABOUT_MODE_HTTP, IDS_ABOUT_MOBILE_OFF },
        { FALSE, 0, TRUE, "", "", "\\\\server\\share\\Vigilon", IDS_ABOUT_MODE_FILE, IDS_ABOUT_MOBILE_ON },
        // "Mode" changed since the start: the mode line follows the registry, the rest the start.
        { TRUE, 0, FALSE, "10.20.30.40 : 8080", "10.0.0.99 : 80", "", IDS_ABOUT_MODE_FILE, IDS_ABOUT_MOBILE_OFF },
    };
    for (const Case& c : cases)
    {
        NS_RegistryKey::g_fHttpBased = c.fHttpAtStart;
        NS_RegistryKey::g_fForceMobile = c.fMobile;
        WriteDword("", "Mode", c.dwModeNow);
        std::vector<SWindowInfo> tree;
        CModalDriver driver("About Vigilon", [&](HWND hDlg) {
            tree = WindowTree(hDlg);
            ::PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        });
        CAboutDlg dlg(NULL, NULL);
        EXPECT_EQ(IDOK, dlg.DoModal());
        auto text = [&](int nID) {
            const SWindowInfo* p = FindInTree(tree, "Static", nID);
            return p != NULL ? p->strText : std::string("<none>");
        };
        EXPECT_EQ(c.pszServer, text(IDC_ABOUT_SERVER)) << c.fHttpAtStart;
        EXPECT_EQ(c.pszProxy, text(IDC_ABOUT_PROXY));
        EXPECT_EQ(c.pszMaster, text(IDC_ABOUT_MASTER_DIRECTORY));
        EXPECT_EQ(Text(c.nMode), text(IDC_ABOUT_MODE));
        EXPECT_EQ(Text(c.nMobile), text(IDC_ABOUT_MOBILE));
        EXPECT_EQ("01234567-89ab-cdef-0123-456789abcdef", text(IDC_ABOUT_GUID));
        // The test program has no version resource: 1.0; the drivers are beside it.
        EXPECT_EQ("1.0", text(IDC_ABOUT_PROGRAM_VERSION));
        EXPECT_EQ(FileExists(BinFile("vexor32.vxd")) ? "6.150" : "", text(IDC_ABOUT_ENGINE_VERSION));
        EXPECT_EQ(FileExists(BinFile("filter32.vxd")) ? "5.100" : "", text(IDC_ABOUT_FILTER_VERSION));
    }
}

// ---- synchronise ----

// The operations the worker runs, as the test scripts them.
struct SFakeOperations
{
    static std::vector<std::string> s_calls;
    static BOOL s_fPolicy;
    static BOOL s_fResult;
    static HANDLE s_hRelease;           // set: a blocked operation may return
    static bool s_fBlock;               // the pattern download waits for s_hRelease, deaf to Cancel
    static bool s_fPollCancel;          // the pattern download waits for Cancel
    static std::string s_strInternetServerDuringSend;
    static NS_Notification::SServerAddress s_sentTo;
    static bool s_fSentToGiven;
    static bool s_fOwnsUpgradeLock;
    static std::vector<std::string> s_phaseLines;

    static void RecordPhaseLine()
    {
        HWND hDlg = ::FindWindowA(NULL, "Synchronize with the Server");
        if (hDlg != NULL)
            s_phaseLines.push_back(ItemText(hDlg, IDC_SYNC_PHASE));
    }
    static void Phase(int nCode, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd, void* pv)
    {
        pfBegin(nCode, pv);
        RecordPhaseLine();
        pfEnd(nCode, pv);
        RecordPhaseLine();
    }
    static BOOL Policy(BOOL fIntranet, BOOL, BOOL fApply, BOOL* pfFetched)
    {
        s_calls.push_back("policy" + std::to_string(fIntranet) + std::to_string(fApply));
        // A critical section keeps its owner's thread id (a DWORD) in a HANDLE field.
        s_fOwnsUpgradeLock = (DWORD)(DWORD_PTR)g_csUpgrade.OwningThread == ::GetCurrentThreadId();
        *pfFetched = s_fPolicy;
        return s_fPolicy;
    }
    static BOOL Global(CTavmontDlg*, BOOL, BOOL, BOOL fIntranet, BOOL, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                       PFN_PHASE_CANCEL, PFN_PHASE_COUNT, void* pv)
    {
        s_calls.push_back("global" + std::to_string(fIntranet));
        Phase(25, pfBegin, pfEnd, pv);
        return s_fResult;
    }
    static BOOL Settings(CTavmontDlg*, BOOL, BOOL, BOOL fIntranet, BOOL, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                         PFN_PHASE_CANCEL, PFN_PHASE_COUNT pfCount, LPVOID pv)
    {
        s_calls.push_back("settings" + std::to_string(fIntranet));
        Phase(17, pfBegin, pfEnd, pv);
        pfBegin(23, pv);
        pfCount(23, 2, 5, pv);
        RecordPhaseLine();
        pfEnd(23, pv);
        return s_fResult;
    }
    static BOOL Direct(CTavmontDlg*, BOOL fIntranet, BOOL, PFN_PHASE_BEGIN pfBegin, PFN_PHASE_END pfEnd,
                       PFN_PHASE_CANCEL pfCancel, void* pv)
    {
        s_calls.push_back("direct" + std::to_string(fIntranet));
        pfBegin(18, pv);
        if (s_fBlock)
            ::WaitForSingleObject(s_hRelease, 60000);
        while (s_fPollCancel && !pfCancel(pv))
            ::Sleep(20);
        // Late reports of a worker the dialog has let go of change nothing.
        pfBegin(22, pv);
        pfEnd(22, pv);
        return s_fResult;
    }
    static BOOL Send(const CTime&, int nType, const char*, BOOL fIntranet, BOOL, PFN_PHASE_BEGIN, PFN_PHASE_END,
                     PFN_PHASE_CANCEL, PFN_PHASE_COUNT, LPVOID, const NS_Notification::SServerAddress* pServer)
    {
        s_calls.push_back("status" + std::to_string(nType) + "/" + std::to_string(fIntranet));
        s_strInternetServerDuringSend = (LPCSTR)NS_RegistryKey::GetInternetServer();
        s_fSentToGiven = pServer != NULL;
        if (pServer != NULL)
            s_sentTo = *pServer;
        return TRUE;
    }
    static void Install()
    {
        s_calls.clear();
        s_phaseLines.clear();
        s_fPolicy = TRUE;
        s_fResult = TRUE;
        s_fBlock = false;
        s_fPollCancel = false;
        s_fSentToGiven = false;
        s_fOwnsUpgradeLock = false;
        if (s_hRelease == NULL)
            s_hRelease = ::CreateEventA(NULL, TRUE, FALSE, NULL);
        ::ResetEvent(s_hRelease);
        SSynchronizeOperations ops;
        ops.pfnUpdateOPPSetting = Policy;
        ops.pfnUpdateGlobalSettingsEx = Global;
        ops.pfnUpdateNewSettings = Settings;
        ops.pfnDirectUpdatePatternEngine = Direct;
        ops.pfnSendStatusLogNow = Send;
        CSynchronizeDlg::SetOperations(&ops);
    }
};
std::vector<std::string> SFakeOperations::s_calls;
BOOL SFakeOperations::s_fPolicy;
BOOL SFakeOperations::s_fResult;
HANDLE SFakeOperations::s_hRelease;
bool SFakeOperations::s_fBlock;
bool SFakeOperations::s_fPollCancel;
std::string SFakeOperations::s_strInternetServerDuringSend;
NS_Notification::SServerAddress SFakeOperations::s_sentTo;
bool SFakeOperations::s_fSentToGiven;
bool SFakeOperations::s_fOwnsUpgradeLock;
std::vector<std::string> SFakeOperations::s_phaseLines;

const char* const SYNC = "Synchronize with the Server";

// A thread that takes and leaves the upgrade lock, as a later update does.
unsigned __stdcall TakeUpgradeLock(void*)
{
    ::EnterCriticalSection(&g_csUpgrade);
    ::LeaveCriticalSection(&g_csUpgrade);
    return 0;
}

bool UpgradeLockFreeWithin(DWORD dwMs)
{
    HANDLE hThread = (HANDLE)_beginthreadex(NULL, 0, TakeUpgradeLock, NULL, 0, NULL);
    bool fFree = ::WaitForSingleObject(hThread, dwMs) == WAIT_OBJECT_0;
    ::CloseHandle(hThread);
    return fFree;
}

class SynchronizeTest : public DialogsTest
{
protected:
    void SetUp() override
    {
        DialogsTest::SetUp();
        SFakeOperations::Install();
        WriteString("", "Server", "10.20.30.40");
        WriteDword("", "ServerPort", 8080);
        WriteString("Internet Settings", "Server", "10.20.30.40");
        WriteDword("Internet Settings", "ServerPort", 80);
    }
};

TEST_F(SynchronizeTest, SameServerRenewsPolicyGlobalAndClientSettingsThenReports)
{
    CSynchronizeDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(dlg.IsSucceeded());
    EXPECT_FALSE(dlg.IsCancelled());
    const std::vector<std::string> calls = { "policy01", "global0", "settings0", "status15/0" };
    EXPECT_EQ(calls, SFakeOperations::s_calls);
    EXPECT_TRUE(SFakeOperations::s_fOwnsUpgradeLock);
    EXPECT_FALSE(SFakeOperations::s_fSentToGiven);
    EXPECT_TRUE(UpgradeLockFreeWithin(5000));
    const std::vector<std::string> lines = { Text(IDS_SYNC_GLOBAL_BEGIN), Text(IDS_SYNC_GLOBAL_END),
                                             Text(IDS_SYNC_SETTINGS_BEGIN), Text(IDS_SYNC_SETTINGS_END),
                                             Text(IDS_SYNC_COMPONENTS_BEGIN) + " (2/5)" };
    EXPECT_EQ(lines, SFakeOperations::s_phaseLines);

    // A failing step fails the whole; a failing policy runs no settings update.
    SFakeOperations::Install();
    SFakeOperations::s_fResult = FALSE;
    CSynchronizeDlg dlg2;
    EXPECT_EQ(IDOK, dlg2.DoModal());
    EXPECT_FALSE(dlg2.IsSucceeded());
    EXPECT_FALSE(dlg2.IsCancelled());

    SFakeOperations::Install();
    SFakeOperations::s_fPolicy = FALSE;
    CSynchronizeDlg dlg3;
    EXPECT_EQ(IDOK, dlg3.DoModal());
    EXPECT_FALSE(dlg3.IsSucceeded());
    EXPECT_EQ(std::vector<std::string>{ "policy01" }, SFakeOperations::s_calls);
}

TEST_F(SynchronizeTest, PhaseLinesShowEachStepsStartAndEnd)
{
    // The worker waits on the release event before the first step, so the lines can be read.
    SFakeOperations::s_fBlock = true;
    WriteString("Internet Settings", "Server", "10.99.99.99");
    std::vector<std::string> lines;
    CModalDriver driver(SYNC, [&](HWND hDlg) {
        // The dialog can show before the worker reaches phase 18: its lines arrive as sent messages.
        DWORD dwStart = ::GetTickCount();
        MSG msg;
        while (ItemText(hDlg, IDC_SYNC_PHASE) != Text(IDS_SYNC_PATTERN_BEGIN) && ::GetTickCount() - dwStart < 10000)
        {
            if (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                ::DispatchMessageA(&msg);
            else
                ::MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        }
        lines.push_back(ItemText(hDlg, IDC_SYNC_PHASE));    // phase 18 started
        ::SetEvent(SFakeOperations::s_hRelease);
    });
    CSynchronizeDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(Text(IDS_SYNC_PATTERN_BEGIN), lines[0]);
    EXPECT_TRUE(dlg.IsSucceeded());
}

TEST_F(SynchronizeTest, AnotherUpdateSourceSendsTheReportToTheServerWithoutTouchingTheSettings)
{
    WriteString("Internet Settings", "Server", "10.99.99.99");
    WriteDword("Internet Settings", "ServerPort", 8000);
    CSynchronizeDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(dlg.IsSucceeded());
    const std::vector<std::string> calls = { "direct0", "status15/0" };
    EXPECT_EQ(calls, SFakeOperations::s_calls);
    ASSERT_TRUE(SFakeOperations::s_fSentToGiven);
    EXPECT_STREQ("10.20.30.40", SFakeOperations::s_sentTo.m_strServer);
    EXPECT_EQ(8080, SFakeOperations::s_sentTo.m_nPort);
    EXPECT_EQ("10.99.99.99", SFakeOperations::s_strInternetServerDuringSend);
    EXPECT_EQ("10.99.99.99", Inet("Server"));
    EXPECT_EQ(8000u, InetDword("ServerPort"));
}

TEST_F(SynchronizeTest, CancelEndsAtOnceWhenTheWorkerGivesUp)
{
    WriteString("Internet Settings", "Server", "10.99.99.99");
    SFakeOperations::s_fPollCancel = true;
    DWORD dwCancelled = 0;
    std::string strButton;
    bool fButtonEnabled = true;
    CModalDriver driver(SYNC, [&](HWND hDlg) {
        dwCancelled = ::GetTickCount();
        ::SendMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        strButton = ItemText(hDlg, IDCANCEL);
        fButtonEnabled = ItemEnabled(hDlg, IDCANCEL);
    });
    CSynchronizeDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    DWORD dwTook = ::GetTickCount() - dwCancelled;
    EXPECT_LT(dwTook, 5000u);
    EXPECT_EQ(Text(IDS_SYNC_CANCELLING), strButton);
    EXPECT_FALSE(fButtonEnabled);
    EXPECT_TRUE(dlg.IsCancelled());
    EXPECT_FALSE(dlg.IsSucceeded());
    EXPECT_TRUE(UpgradeLockFreeWithin(5000));
}

TEST_F(SynchronizeTest, CancelOfAWorkerThatDoesNotEndLetsItGoAndTheLockFollowsItsEnd)
{
    WriteString("Internet Settings", "Server", "10.99.99.99");
    SFakeOperations::s_fBlock = true;
    DWORD dwCancelled = 0;
    bool fDisabled = false;
    CModalDriver driver(SYNC, [&](HWND hDlg) {
        dwCancelled = ::GetTickCount();
        ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);    // Escape pressed again while waiting
        fDisabled = true;
    });
    {
        CSynchronizeDlg dlg;
        EXPECT_EQ(IDOK, dlg.DoModal());
        DWORD dwTook = ::GetTickCount() - dwCancelled;
        EXPECT_GE(dwTook, (DWORD)CSynchronizeDlg::CANCEL_WAIT_MS - 500);
        EXPECT_LT(dwTook, (DWORD)CSynchronizeDlg::CANCEL_WAIT_MS + 4000);
        EXPECT_TRUE(dlg.IsCancelled());
        EXPECT_FALSE(dlg.IsSucceeded());
    }
    EXPECT_TRUE(fDisabled);
    // The worker still holds the lock; it was not killed with it.
    EXPECT_FALSE(UpgradeLockFreeWithin(300));
    // It ends later, reporting into a dialog that is gone: its reports are dropped.
    ::SetEvent(SFakeOperations::s_hRelease);
    EXPECT_TRUE(UpgradeLockFreeWithin(10000));
    const std::vector<std::string> calls = { "direct0", "status15/0" };
    EXPECT_EQ(calls, SFakeOperations::s_calls);
    NS_Notification::SConnectSettings& settings = NS_Notification::GetConnectSettings();
    EXPECT_TRUE(settings.m_pvContext == NULL);
}

TEST_F(SynchronizeTest, ProgressShowsRateSizeAndTimeLeft)
{
    SFakeOperations::s_fBlock = true;
    WriteString("Internet Settings", "Server", "10.99.99.99");
    struct Case
    {
        DWORD dwTotal, dwReceived;
        int nElapsed;
        std::string strRate, strRemaining;
    };
    char szRate[64], szSize[64], szTime[64];
    std::vector<Case> cases;
    // 3 MB at 20 KB/s, 3000 KB in.
    _snprintf(szRate, sizeof szRate, Text(IDS_SYNC_RATE_KB).c_str(), 20.0);
    _snprintf(szTime, sizeof szTime, Text(IDS_SYNC_TIME_LEFT).c_str(), 0, 3);
    _snprintf(szSize, sizeof szSize, Text(IDS_SYNC_SIZE_KB).c_str(), 3072ul, 3000ul);
    cases.push_back({ 3 * 1024 * 1024, 3000 * 1024, 150, szRate, std::string(szTime) + szSize });
    // Bytes only: 500 of 800 in 10 s.
    _snprintf(szRate, sizeof szRate, Text(IDS_SYNC_RATE_BYTES).c_str(), 50.0);
    _snprintf(szTime, sizeof szTime, Text(IDS_SYNC_TIME_LEFT).c_str(), 0, 6);
    _snprintf(szSize, sizeof szSize, Text(IDS_SYNC_SIZE_BYTES).c_str(), 800ul, 500ul);
    cases.push_back({ 800, 500, 10, szRate, std::string(szTime) + szSize });
    // No time yet: no rate, no time left.
    _snprintf(szRate, sizeof szRate, Text(IDS_SYNC_RATE_BYTES).c_str(), 0.0);
    _snprintf(szTime, sizeof szTime, Text(IDS_SYNC_TIME_LEFT).c_str(), 0, 0);
    _snprintf(szSize, sizeof szSize, Text(IDS_SYNC_SIZE_KB).c_str(), 100ul, 50ul);
    cases.push_back({ 100 * 1024, 50 * 1024, 0, szRate, std::string(szTime) + szSize });

    CSynchronizeDlg dlg;
    CModalDriver driver(SYNC, [&](HWND hDlg) {
        for (const Case& c : cases)
        {
            // The clock must not tick between the start put in place and the reading.
            for (;;)
            {
                CTime now = NS_Clock::GetCurrentTime();
                dlg.m_nPhase = 18;
                dlg.m_dwTotal = c.dwTotal;
                dlg.m_dwReceived = c.dwReceived;
                dlg.m_fDownloading = TRUE;
                dlg.m_tStart = now - CTimeSpan(0, 0, 0, c.nElapsed);
                dlg.UpdateProgress();
                if (NS_Clock::GetCurrentTime() == now)
                    break;
            }
            EXPECT_EQ(c.strRate, ItemText(hDlg, IDC_SYNC_RATE)) << c.dwTotal;
            EXPECT_EQ(c.strRemaining, ItemText(hDlg, IDC_SYNC_REMAINING)) << c.dwTotal;
            EXPECT_EQ((int)((double)c.dwReceived / c.dwTotal * 100),
                      (int)::SendDlgItemMessageA(hDlg, IDC_SYNC_PROGRESS, PBM_GETPOS, 0, 0));
        }
        dlg.m_fDownloading = FALSE;
        dlg.UpdateProgress();
        EXPECT_EQ("", ItemText(hDlg, IDC_SYNC_RATE));
        EXPECT_EQ("", ItemText(hDlg, IDC_SYNC_REMAINING));
        ::SetEvent(SFakeOperations::s_hRelease);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(driver.m_fRan);
}
}

namespace
{
TEST_F(SynchronizeTest, ConnectionStatesAndReceivedBytes)
{
    SFakeOperations::s_fBlock = true;
    WriteString("Internet Settings", "Server", "10.99.99.99");
    CSynchronizeDlg dlg;
    CModalDriver driver(SYNC, [&](HWND hDlg) {
        const struct
        {
            int nPhase;
            DWORD dwStatus;
            UINT nState;            // 0: the line stays as it was
        } cases[] = {
            { 18, 10, IDS_SYNC_RESOLVING }, { 18, 11, IDS_SYNC_RESOLVED }, { 18, 20, IDS_SYNC_CONNECTING },
            { 18, 21, IDS_SYNC_CONNECTED }, { 18, 30, IDS_SYNC_SENDING }, { 18, 31, IDS_SYNC_REQUEST_SENT },
            { 28, 10, IDS_SYNC_RESOLVING }, { 28, 31, 0 }, { 18, 99, 0 },
        };
        for (const auto& c : cases)
        {
            SetItem(hDlg, IDC_SYNC_STATE, "before");
            dlg.m_nPhase = c.nPhase;
            dlg.InternetStatus(FALSE, c.dwStatus, NULL, 0);
            EXPECT_EQ(c.nState != 0 ? Text(c.nState) : std::string("before"), ItemText(hDlg, IDC_SYNC_STATE))
                << c.nPhase << "/" << c.dwStatus;
        }
        // Bytes: a count replaces the total so far, or adds to it.
        dlg.m_nPhase = 18;
        dlg.ContentLength(1000);
        DWORD dwBytes = 300;
        dlg.InternetStatus(FALSE, 41, &dwBytes, sizeof(dwBytes));
        EXPECT_EQ(300u, dlg.m_dwReceived);
        dlg.InternetStatus(TRUE, 41, &dwBytes, sizeof(dwBytes));
        EXPECT_EQ(600u, dlg.m_dwReceived);
        EXPECT_EQ(60, (int)::SendDlgItemMessageA(hDlg, IDC_SYNC_PROGRESS, PBM_GETPOS, 0, 0));
        dlg.InternetStatus(FALSE, 50, NULL, 0);
        EXPECT_FALSE(dlg.m_fDownloading);
        EXPECT_EQ(0u, dlg.m_dwTotal);
        EXPECT_EQ(0, (int)::SendDlgItemMessageA(hDlg, IDC_SYNC_PROGRESS, PBM_GETPOS, 0, 0));
        ::SetEvent(SFakeOperations::s_hRelease);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(driver.m_fRan);
}
}

namespace
{
TEST_F(DialogsTest, EveryDialogStringIsThereAndTheFormatsTakeTheirNumbers)
{
    const UINT ids[] = {
        IDS_SYNC_SETTINGS_BEGIN, IDS_SYNC_SETTINGS_END, IDS_SYNC_PATTERN_BEGIN, IDS_SYNC_PATTERN_END,
        IDS_SYNC_PROGRAM_BEGIN, IDS_SYNC_PROGRAM_END, IDS_SYNC_ENGINE_BEGIN, IDS_SYNC_ENGINE_END,
        IDS_SYNC_COMPONENTS_BEGIN, IDS_SYNC_COMPONENTS_END, IDS_SYNC_GLOBAL_BEGIN, IDS_SYNC_GLOBAL_END,
        IDS_SYNC_POLICY_BEGIN, IDS_SYNC_POLICY_END, IDS_SYNC_VIRUS_LOGS_BEGIN, IDS_SYNC_VIRUS_LOGS_END,
        IDS_SYNC_STATUS_BEGIN, IDS_SYNC_STATUS_END, IDS_SYNC_PREPARING, IDS_SYNC_CANCELLED, IDS_SYNC_CANCELLING,
        IDS_SYNC_RESOLVING, IDS_SYNC_RESOLVED, IDS_SYNC_CONNECTING, IDS_SYNC_REQUEST_SENT, IDS_SYNC_CONNECTED,
        IDS_SYNC_SENDING, IDS_SYNC_CLOSED, IDS_BAD_ADDRESS, IDS_BAD_PORT, IDS_ABOUT_MOBILE_ON,
        IDS_ABOUT_MOBILE_OFF, IDS_HELP_FILE_NAME, IDS_ABOUT_MODE_HTTP, IDS_ABOUT_MODE_FILE, IDS_MESSAGE_CAPTION,
        IDS_SYNCHRONIZED, IDS_SYNCHRONIZE_FAILED,
    };
    for (UINT nID : ids)
        EXPECT_FALSE(Text(nID).empty()) << nID;
    char sz[128];
    _snprintf(sz, sizeof sz, Text(IDS_SYNC_SIZE_BYTES).c_str(), 800ul, 500ul);
    EXPECT_TRUE(strstr(sz, "800") != NULL && strstr(sz, "500") != NULL && strstr(sz, "800") < strstr(sz, "500")) << sz;
    _snprintf(sz, sizeof sz, Text(IDS_SYNC_SIZE_KB).c_str(), 3072ul, 3000ul);
    EXPECT_TRUE(strstr(sz, "3072") != NULL && strstr(sz, "3000") != NULL) << sz;
    _snprintf(sz, sizeof sz, Text(IDS_SYNC_RATE_KB).c_str(), 20.0);
    EXPECT_TRUE(strstr(sz, "20.0") != NULL) << sz;
    _snprintf(sz, sizeof sz, Text(IDS_SYNC_RATE_BYTES).c_str(), 512.0);
    EXPECT_TRUE(strstr(sz, "512") != NULL) << sz;
    _snprintf(sz, sizeof sz, Text(IDS_SYNC_TIME_LEFT).c_str(), 7, 5);
    EXPECT_TRUE(strstr(sz, "7") != NULL && strstr(sz, "05") != NULL) << sz;
    // Both pictures of the About box are there.
    for (UINT nID : { IDR_DIB_ABOUT, IDR_DIB_ABOUT16 })
        EXPECT_NO_THROW(CDIB dib(nID)) << nID;
}
}
