// The mail-scan and wireless support pages against the outside programs they drive (the
// stand-ins' journals), and the download of client utilities from a small HTTP server.
#include <winsock2.h>

#include "PageMailScan.h"
#include "WirelessSupp.h"
#include "resource_ids.h"

#include "../../Common_Tovik/tests/productkey_fixture.h"
#include "WindowTree.h"
#include "langlibrary.h"

#include <process.h>

#include <string>
#include <vector>

namespace
{
// Answers this thread's message boxes (Yes or OK, or No) and presses Cancel of a progress
// window when asked to; keeps the boxes' texts.
struct Answerer
{
    static std::vector<std::string> s_texts;
    static bool s_fYes;
    static bool s_fCancelProgress;
    static BOOL CALLBACK Find(HWND hWnd, LPARAM)
    {
        std::vector<SWindowInfo> tree = WindowTree(hWnd);
        if (tree.empty() || tree[0].strClass != "#32770" || !tree[0].fVisible)
            return TRUE;
        if (FindInTree(tree, "msctls_progress32") != NULL)
        {
            if (s_fCancelProgress)
                PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(hWnd, IDCANCEL));
            return TRUE;
        }
        std::string strText;
        for (const SWindowInfo& info : tree)
            if (info.nId == 0xFFFF && info.strClass == "Static")
                strText += info.strText;
        if (strText.empty())
            return TRUE;
        s_texts.push_back(strText);
        int nAnswer = s_fYes ? IDYES : IDNO;
        if (GetDlgItem(hWnd, nAnswer) == NULL)
            nAnswer = GetDlgItem(hWnd, IDOK) != NULL ? IDOK : IDCANCEL;
        PostMessageA(hWnd, WM_COMMAND, nAnswer, 0);
        return TRUE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), Find, 0); }
    explicit Answerer(bool fYes = true, bool fCancelProgress = false)
    {
        s_texts.clear();
        s_fYes = fYes;
        s_fCancelProgress = fCancelProgress;
        m_nTimer = SetTimer(NULL, 0, 50, OnTimer);
    }
    ~Answerer() { KillTimer(NULL, m_nTimer); }
    UINT_PTR m_nTimer;
};
std::vector<std::string> Answerer::s_texts;
bool Answerer::s_fYes = true;
bool Answerer::s_fCancelProgress = false;

std::string ResourceText(UINT nId)
{
    CString str;
    str.LoadString(nId);
    return (LPCSTR)str;
}

// A small HTTP server on 127.0.0.1: files by path, every request line kept, a reply delay.
class CTinyHttpServer
{
public:
    CTinyHttpServer() : m_nPort(0), m_dwDelay(0), m_socket(INVALID_SOCKET), m_hThread(NULL)
    {
        InitializeCriticalSection(&m_cs);
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_socket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_socket, (sockaddr*)&addr, sizeof(addr));
        int cb = sizeof(addr);
        getsockname(m_socket, (sockaddr*)&addr, &cb);
        m_nPort = ntohs(addr.sin_port);
        listen(m_socket, 5);
        m_hThread = (HANDLE)_beginthreadex(NULL, 0, Serve, this, 0, NULL);
    }
    ~CTinyHttpServer()
    {
        closesocket(m_socket);
        WaitForSingleObject(m_hThread, 5000);
        CloseHandle(m_hThread);
        DeleteCriticalSection(&m_cs);
    }
    void AddFile(const std::string& strPath, const std::string& strBody) { m_files.push_back({ strPath, strBody }); }
    std::vector<std::string> Requests()
    {
        EnterCriticalSection(&m_cs);
        std::vector<std::string> v = m_requests;
        LeaveCriticalSection(&m_cs);
        return v;
    }
    int m_nPort;
    DWORD m_dwDelay;

private:
    static unsigned __stdcall Serve(void* pv)
    {
        CTinyHttpServer* p = (CTinyHttpServer*)pv;
        for (;;)
        {
            SOCKET s = accept(p->m_socket, NULL, NULL);
            if (s == INVALID_SOCKET)
                return 0;
            std::string strHead;
            char ab[1024];
            while (strHead.find("\r\n\r\n") == std::string::npos)
            {
                int n = recv(s, ab, sizeof(ab), 0);
                if (n <= 0)
                    break;
                strHead.append(ab, n);
            }
            std::string strLine = strHead.substr(0, strHead.find("\r\n"));
            EnterCriticalSection(&p->m_cs);
            p->m_requests.push_back(strLine);
            LeaveCriticalSection(&p->m_cs);
            std::string strPath = strLine.substr(strLine.find(' ') + 1);
            strPath = strPath.substr(0, strPath.find(' '));
            std::string strReply = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            for (auto& file : p->m_files)
                if (file.first == strPath)
                {
                    Sleep(p->m_dwDelay);
                    strReply = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(file.second.size()) + "\r\n\r\n" +
                               file.second;
                }
            send(s, strReply.data(), (int)strReply.size(), 0);
            shutdown(s, SD_SEND);
            closesocket(s);
        }
    }
    SOCKET m_socket;
    HANDLE m_hThread;
    CRITICAL_SECTION m_cs;
    std::vector<std::pair<std::string, std::string>> m_files;
    std::vector<std::string> m_requests;
};

// The lines of a journal that contain the text.
int CountLines(const std::string& strJournal, const std::string& strText)
{
    std::string strAll = ReadWholeFile(strJournal);
    int n = 0;
    for (size_t i = strAll.find(strText); i != std::string::npos; i = strAll.find(strText, i + 1))
        n++;
    return n;
}

bool WaitLines(const std::string& strJournal, const std::string& strText, int nCount, DWORD dwMs = 10000)
{
    DWORD dwStart = GetTickCount();
    while (CountLines(strJournal, strText) < nCount)
    {
        if (GetTickCount() - dwStart > dwMs)
            return false;
        PumpMessages(50);
    }
    return true;
}

// Saves the window's picture (as the screen shows it) as a bitmap file under artifacts/.
void SaveWindowPicture(HWND hWnd, const char* pszName)
{
    std::string strFolder = BinFolder() + "\\..\\artifacts";
    CreateDirectoryA(strFolder.c_str(), NULL);
    RECT rc;
    GetWindowRect(hWnd, &rc);
    int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    HDC hScreen = GetDC(NULL);
    HDC hMem = CreateCompatibleDC(hScreen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* pBits = NULL;
    HBITMAP hBitmap = CreateDIBSection(hScreen, &bi, DIB_RGB_COLORS, &pBits, NULL, 0);
    HGDIOBJ hOld = SelectObject(hMem, hBitmap);
    BitBlt(hMem, 0, 0, cx, cy, hScreen, rc.left, rc.top, SRCCOPY);
    SelectObject(hMem, hOld);
    DWORD cbRow = ((cx * 3 + 3) & ~3), cbBits = cbRow * cy;
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + cbBits;
    std::string strData((const char*)&fh, sizeof(fh));
    strData.append((const char*)&bi.bmiHeader, sizeof(bi.bmiHeader));
    strData.append((const char*)pBits, cbBits);
    WriteWholeFile(strFolder + "\\" + pszName + ".bmp", strData);
    DeleteObject(hBitmap);
    DeleteDC(hMem);
    ReleaseDC(NULL, hScreen);
}

void CloseWindows(const char* pszClass, const char* pszTitle)
{
    for (int i = 0; i < 20; i++)
    {
        HWND hWnd = FindWindowA(pszClass, pszTitle);
        if (hWnd == NULL)
            return;
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hWnd, &dwPid);
        PostMessageA(hWnd, WM_CLOSE, 0, 0);
        HANDLE hProcess = OpenProcess(SYNCHRONIZE, FALSE, dwPid);
        if (hProcess != NULL)
        {
            WaitForSingleObject(hProcess, 5000);
            CloseHandle(hProcess);
        }
    }
}

const char g_szMailScanKey[] = "Software\\Kavrel\\Kestrix\\MailScan";
}

class MailScanPageTest : public ProductKeyTest
{
protected:
    void SetUp() override
    {
        ProductKeyTest::SetUp();
        ASSERT_TRUE(m_lang.Load());
        ASSERT_TRUE(m_owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 0, 0, 640, 400, NULL,
                                     NULL));
        CloseWindows("Pop3Scan", NULL);
        m_strFolder = FreshScratchFolder("mailprogram") + "\\";
        GetCurrentDirectoryA(sizeof(m_szOldDir), m_szOldDir);
        SetCurrentDirectoryA(m_strFolder.c_str());
        CreateKey();
        WriteString(NULL, "Application Path", m_strFolder.c_str());
        WriteDword(NULL, "Mode", 1);
        DeleteMailScanKey();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_pszScvPluginKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_pszAerlumeKey);
    }

    void TearDown() override
    {
        if (m_page.get() != NULL && m_page->m_hWnd != NULL)
            m_page->DestroyWindow();
        m_page.reset();
        if (m_wireless.get() != NULL && m_wireless->m_hWnd != NULL)
            m_wireless->DestroyWindow();
        m_wireless.reset();
        CloseWindows("Pop3Scan", NULL);
        CloseWindows(NULL, g_pszOutlookScannerTitle);
        SetCurrentDirectoryA(m_szOldDir);
        DeleteMailScanKey();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_pszScvPluginKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_pszAerlumeKey);
        m_owner.DestroyWindow();
        m_lang.Free();
        ProductKeyTest::TearDown();
    }

    static void WriteString(const char* pszSubKey, const char* pszName, const char* pszValue)
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, KeyPath(pszSubKey).c_str()));
        key.SetValue(pszValue, pszName);
    }

    static void DeleteMailScanKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, g_szMailScanKey); }

    static void SetMail(const char* pszName, DWORD dw)
    {
        HKEY hKey;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, g_szMailScanKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL);
        RegSetValueExA(hKey, pszName, 0, REG_DWORD, (const BYTE*)&dw, sizeof(dw));
        RegCloseKey(hKey);
    }

    static DWORD GetMail(const char* pszName)
    {
        DWORD dw = 0xFFFF, cb = sizeof(dw);
        HKEY hKey;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szMailScanKey, 0, KEY_READ, &hKey) == ERROR_SUCCESS)
        {
            RegQueryValueExA(hKey, pszName, NULL, NULL, (BYTE*)&dw, &cb);
            RegCloseKey(hKey);
        }
        return dw;
    }

    void Install(const char* pszBinName, const char* pszAs = NULL)
    {
        ASSERT_TRUE(CopyFileA(BinFile(pszBinName).c_str(), (m_strFolder + (pszAs ? pszAs : pszBinName)).c_str(), FALSE))
            << pszBinName;
    }

    CPageMailScan& OpenPage()
    {
        m_page.reset(new CPageMailScan(&m_owner));
        EXPECT_TRUE(m_page->Create(CPageMailScan::IDD, &m_owner));
        m_page->ShowWindow(SW_SHOW);
        PumpMessages(50);
        return *m_page;
    }

    CWirelessSupp& OpenWireless()
    {
        m_wireless.reset(new CWirelessSupp(&m_owner));
        EXPECT_TRUE(m_wireless->Create(CWirelessSupp::IDD, &m_owner));
        m_wireless->ShowWindow(SW_SHOW);
        PumpMessages(50);
        return *m_wireless;
    }

    bool Enabled(CWnd& page, UINT nID) { return IsWindowEnabled(GetDlgItem(page.m_hWnd, nID)) != FALSE; }
    bool Checked(CWnd& page, UINT nID) { return IsDlgButtonChecked(page.m_hWnd, nID) == BST_CHECKED; }
    void Click(CWnd& page, UINT nID) { SendMessageA(GetDlgItem(page.m_hWnd, nID), BM_CLICK, 0, 0); }
    std::string Journal(const char* pszName) { return m_strFolder + pszName; }

    void ServeFrom(CTinyHttpServer& server)
    {
        WriteString(NULL, "Server", "127.0.0.1");
        WriteDword(NULL, "ServerPort", server.m_nPort);
        WriteString(NULL, "CgiOnSpecialLog", "/Vigilon/Cgi/cgiOnSpecialLog.exe");
    }

    CLanguageLibrary m_lang;
    CWnd m_owner;
    std::string m_strFolder;
    char m_szOldDir[MAX_PATH];
    std::unique_ptr<CPageMailScan> m_page;
    std::unique_ptr<CWirelessSupp> m_wireless;
};

TEST_F(MailScanPageTest, StatesFollowTheMailTrapTheKeyAndTheMode)
{
    // No mail trap, or one without version 10: nothing applies, the switch is off and grey.
    struct { const char* pszQuelmail; } absent[] = { { NULL }, { "pireg.exe" } };
    for (auto& c : absent)
    {
        if (c.pszQuelmail)
            Install(c.pszQuelmail, "Quelmail.exe");
        SetMail("OnOff", 1);
        CPageMailScan& page = OpenPage();
        EXPECT_FALSE(page.IsQuelmailInstalled());
        EXPECT_FALSE(Checked(page, IDC_MAIL_ON_OFF));
        EXPECT_FALSE(Enabled(page, IDC_MAIL_ON_OFF));
        EXPECT_FALSE(Enabled(page, IDC_MAIL_ACTION));
        EXPECT_FALSE(Enabled(page, IDC_MAIL_OUTLOOK_RUN));
        EXPECT_FALSE(FileExists(Journal("VUV3ADOR.log")));
        page.DestroyWindow();
    }
    // A missing key is made by the first read: every value it reads is written as 0.
    DeleteMailScanKey();
    Install("Quelmail.exe");
    Install("VUV3ADOR.DLL");
    OpenPage().DestroyWindow();
    EXPECT_EQ(0u, GetMail("OnOff"));
    EXPECT_EQ(0u, GetMail("Splash"));
    ASSERT_TRUE(WaitLines(Journal("Quelmail.log"), "start", 1));
    ASSERT_TRUE(WaitLines(Journal("VUV3ADOR.log"), "RestoreQuelmail", 1));
    CloseWindows("Pop3Scan", NULL);
    DeleteFileA(Journal("Quelmail.log").c_str());
    DeleteFileA(Journal("VUV3ADOR.log").c_str());

    // Installed, on, clean first: everything enabled; the trap is started once and told.
    SetMail("OnOff", 1);
    SetMail("Action", 3);
    SetMail("Action2nd", 4);
    SetMail("ZipClean", 1);
    SetMail("Splash", 0);
    CPageMailScan& page = OpenPage();
    EXPECT_TRUE(Checked(page, IDC_MAIL_ON_OFF));
    EXPECT_TRUE(Enabled(page, IDC_MAIL_ON_OFF));
    EXPECT_TRUE(Enabled(page, IDC_MAIL_ZIP_CLEAN));
    EXPECT_TRUE(Enabled(page, IDC_MAIL_ACTION2ND));
    EXPECT_TRUE(Checked(page, IDC_MAIL_ZIP_CLEAN));
    EXPECT_FALSE(Checked(page, IDC_MAIL_SPLASH));
    EXPECT_TRUE(Enabled(page, IDC_MAIL_SETUP));
    ASSERT_TRUE(WaitLines(Journal("Quelmail.log"), "settings changed", 1));
    // Applied once for the start, once for the first action read back.
    EXPECT_EQ(2, CountLines(Journal("VUV3ADOR.log"), "SetConfigKey HKLM Software\\Kavrel\\Kestrix\\VUV3Ador"));
    EXPECT_EQ(2, CountLines(Journal("VUV3ADOR.log"), "SetQuelmail"));
    // Refreshes while the trap runs start no second trap.
    page.Refresh();
    page.Refresh();
    ASSERT_TRUE(WaitLines(Journal("Quelmail.log"), "settings changed", 4));
    EXPECT_EQ(1, CountLines(Journal("Quelmail.log"), "start"));

    // Delete first: compressed cleaning and the second action go grey.
    SendDlgItemMessageA(page.m_hWnd, IDC_MAIL_ACTION, CB_SETCURSEL, 2, 0);
    SendMessageA(page.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_MAIL_ACTION, CBN_SELCHANGE), (LPARAM)GetDlgItem(page.m_hWnd, IDC_MAIL_ACTION));
    EXPECT_EQ(4u, GetMail("Action"));
    EXPECT_FALSE(Enabled(page, IDC_MAIL_ZIP_CLEAN));
    EXPECT_FALSE(Enabled(page, IDC_MAIL_ACTION2ND));
    EXPECT_TRUE(Enabled(page, IDC_MAIL_SPLASH));
    Click(page, IDC_MAIL_SPLASH);
    EXPECT_EQ(1u, GetMail("Splash"));
    // Off: the trap's library restores the mail programs.
    Click(page, IDC_MAIL_ON_OFF);
    EXPECT_EQ(0u, GetMail("OnOff"));
    EXPECT_FALSE(Enabled(page, IDC_MAIL_ACTION));
    EXPECT_EQ(1, CountLines(Journal("VUV3ADOR.log"), "RestoreQuelmail"));
    // On again: the notice, then the library puts the trap in place.
    {
        Answerer answer;
        Click(page, IDC_MAIL_ON_OFF);
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_MAIL_SCAN_ON), Answerer::s_texts[0]);
    }
    EXPECT_EQ(1u, GetMail("OnOff"));
    EXPECT_GE(CountLines(Journal("VUV3ADOR.log"), "SetQuelmail"), 2);
    SaveWindowPicture(page.m_hWnd, "page_mail_scan");
    page.DestroyWindow();

    // File-based mode: no downloads; the Outlook run button follows its program only.
    WriteDword(NULL, "Mode", 0);
    SetMail("OnOff", 0);
    Install("PostrixOutLook.exe");
    CPageMailScan& fileBased = OpenPage();
    EXPECT_FALSE(Enabled(fileBased, IDC_MAIL_SETUP));
    EXPECT_FALSE(Enabled(fileBased, IDC_MAIL_OUTLOOK_INSTALL));
    EXPECT_TRUE(Enabled(fileBased, IDC_MAIL_OUTLOOK_RUN));
    EXPECT_FALSE(fileBased.DownloadClientUtility("Vez3Odez.exe"));
}

TEST_F(MailScanPageTest, DownloadReplacesTheUtilityAndCountsIt)
{
    CTinyHttpServer server;
    server.AddFile("/Vigilon/ClientUtility/Vez3Odez.exe", "new set-up program");
    server.AddFile("/Vigilon/ClientUtility/PostrixOutLook.exe", ReadWholeFile(BinFile("PostrixOutLook.exe")));
    ServeFrom(server);
    EXPECT_EQ("/Vigilon/ClientUtility/", std::string(CPageMailScan::GetUtilityFolder("/Vigilon/Cgi/cgiOnSpecialLog.exe")));
    EXPECT_EQ("/ClientUtility/", std::string(CPageMailScan::GetUtilityFolder("cgi")));
    CPageMailScan& page = OpenPage();
    Install("Quelmail.exe");
    WriteWholeFile(m_strFolder + "Vez3Odez.exe", "old set-up program");
    {
        Answerer answer;
        EXPECT_TRUE(page.DownloadClientUtility("Vez3Odez.exe"));
        EXPECT_TRUE(Answerer::s_texts.empty());
    }
    EXPECT_EQ("new set-up program", ReadWholeFile(m_strFolder + "Vez3Odez.exe"));
    EXPECT_FALSE(FileExists(m_strFolder + "TempDownloadFile.$$$"));
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0u, requests[0].find("GET /Vigilon/ClientUtility/Vez3Odez.exe ")) << requests[0];
    EXPECT_EQ(0u, requests[1].find("GET /vigilon/cgi/cgiShowPage.exe?ID=9732&File=Vez3Odez.exe "));

    // The same file again: the information message, nothing replaced, nothing counted.
    {
        Answerer answer;
        EXPECT_FALSE(page.DownloadClientUtility("Vez3Odez.exe"));
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_UTILITY_SAME), Answerer::s_texts[0]);
    }
    EXPECT_EQ(3u, server.Requests().size());
    // A file the server does not have: message 374.
    {
        Answerer answer;
        EXPECT_FALSE(page.DownloadClientUtility("Missing.exe"));
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_MAIL_DOWNLOAD_FAILED), Answerer::s_texts[0]);
    }
    EXPECT_EQ(4u, server.Requests().size());

    // The Outlook scanner, absent: asked, downloaded, then started (hidden).
    {
        Answerer answer(true);
        Click(page, IDC_MAIL_OUTLOOK_INSTALL);
        ASSERT_GE(Answerer::s_texts.size(), 1u);
        EXPECT_EQ(ResourceText(IDS_MAIL_ASK_OUTLOOK), Answerer::s_texts[0]);
    }
    EXPECT_TRUE(Enabled(page, IDC_MAIL_OUTLOOK_RUN));
    ASSERT_TRUE(WaitLines(Journal("PostrixOutLook.log"), "start", 1));
    EXPECT_EQ(1, CountLines(Journal("PostrixOutLook.log"), "show=0"));
    SaveWindowPicture(page.m_hWnd, "page_mail_scan_outlook");
}

TEST_F(MailScanPageTest, SetupButtonAsksDownloadsClosesTheTrapAndRunsTheSetup)
{
    CTinyHttpServer server;
    server.AddFile("/Vigilon/ClientUtility/Vez3Odez.exe", ReadWholeFile(BinFile("Vez3Odez.exe")));
    ServeFrom(server);
    SetMail("OnOff", 1);
    CPageMailScan& page = OpenPage();
    // Not installed, and the user says no: scanning is switched off, nothing is fetched.
    {
        Answerer answer(false);
        Click(page, IDC_MAIL_SETUP);
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_MAIL_ASK_SETUP), Answerer::s_texts[0]);
    }
    EXPECT_EQ(0u, GetMail("OnOff"));
    EXPECT_TRUE(server.Requests().empty());
    // Yes: fetched, counted, started hidden, and scanning switched on with its notice.
    {
        Answerer answer(true);
        Click(page, IDC_MAIL_SETUP);
        ASSERT_EQ(2u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_MAIL_SCAN_ON), Answerer::s_texts[1]);
    }
    EXPECT_EQ(2u, server.Requests().size());
    ASSERT_TRUE(WaitLines(Journal("Vez3Odez.log"), "show=0", 1));
    EXPECT_TRUE(Checked(page, IDC_MAIL_ON_OFF));
    EXPECT_EQ(1u, GetMail("OnOff"));

    // Installed and running: the set-up program is fetched again without a question, and the
    // running trap is closed before its set-up program is replaced.
    Install("Quelmail.exe");
    Install("VUV3ADOR.DLL");
    page.Refresh();
    ASSERT_TRUE(WaitLines(Journal("Quelmail.log"), "start", 1));
    server.AddFile("/Vigilon/ClientUtility/Vez3Odez.exe", "a newer set-up program");
    // The target held open: the copy fails, the user gives up, and the download still counts.
    HANDLE hHeld = CreateFileA((m_strFolder + "Vez3Odez.exe").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    {
        Answerer answer(false);
        EXPECT_TRUE(page.DownloadClientUtility("Vez3Odez.exe"));
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_UTILITY_COPY_FAILED), Answerer::s_texts[0]);
    }
    CloseHandle(hHeld);
    ASSERT_TRUE(WaitLines(Journal("Quelmail.log"), "close", 1));
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(4u, requests.size());
    EXPECT_EQ(0u, requests[3].find("GET /vigilon/cgi/cgiShowPage.exe?ID=9732&File=Vez3Odez.exe "));
}

TEST_F(MailScanPageTest, ServerValuesHaveDefaultsAndAnEmptyServerDownloadsNothing)
{
    CPageMailScan& page = OpenPage();
    CPageMailScan::SServerSettings settings;
    EXPECT_FALSE(page.GetServerSettings(settings));   // no "Server"
    WriteString(NULL, "Server", "127.0.0.1");
    ASSERT_TRUE(page.GetServerSettings(settings));
    EXPECT_EQ(80u, settings.dwServerPort);
    EXPECT_EQ(0u, settings.dwUseProxy);
    EXPECT_EQ(80u, settings.dwProxyPort);
    // Outside text is read into its 260 bytes or not at all.
    std::string strLong(300, 'a');
    WriteString(NULL, "ProxyServer", strLong.c_str());
    CString strRead = "old";
    EXPECT_FALSE(page.ReadRegistryString(NS_RegistryKey::GetCurrentVersionKeyName(), "ProxyServer", strRead));
    EXPECT_TRUE(strRead.IsEmpty());
    std::string strFits(259, 'b');
    WriteString(NULL, "ProxyServer", strFits.c_str());
    EXPECT_TRUE(page.ReadRegistryString(NS_RegistryKey::GetCurrentVersionKeyName(), "ProxyServer", strRead));
    EXPECT_EQ(strFits, std::string(strRead));
    WriteDword(NULL, "Mode", 0);
    EXPECT_FALSE(page.GetServerSettings(settings));
}

TEST_F(MailScanPageTest, CancelledDownloadLeavesNothingAndCountsNothing)
{
    CTinyHttpServer server;
    server.AddFile("/Vigilon/ClientUtility/Vez3Odez.exe", std::string(200000, 'x'));
    server.m_dwDelay = 1500;
    ServeFrom(server);
    WriteWholeFile(m_strFolder + "Vez3Odez.exe", "old set-up program");
    CPageMailScan& page = OpenPage();
    {
        Answerer answer(true, true);
        EXPECT_FALSE(page.DownloadClientUtility("Vez3Odez.exe"));
    }
    EXPECT_TRUE(ReadWholeFile(m_strFolder + "Vez3Odez.exe") == "old set-up program");
    EXPECT_FALSE(FileExists(m_strFolder + "TempDownloadFile.$$$"));
    Sleep(200);
    EXPECT_EQ(1u, server.Requests().size());
    // The set-up button then runs no set-up program.
    Install("Quelmail.exe");
    {
        Answerer answer(true, true);
        Click(page, IDC_MAIL_SETUP);
    }
    Sleep(500);
    EXPECT_FALSE(FileExists(Journal("Vez3Odez.log")));
}

TEST_F(MailScanPageTest, WirelessPageInstallsRunsAndRegisters)
{
    // Switches and mode.
    WriteDword(NULL, "CheckPointSecureClientOnOff", 0);
    CWirelessSupp& page = OpenWireless();
    EXPECT_FALSE(Enabled(page, IDC_WIRELESS_SCV));
    EXPECT_TRUE(Enabled(page, IDC_WIRELESS_INSTALL));
    EXPECT_FALSE(Enabled(page, IDC_WIRELESS_RUN));
    page.DestroyWindow();
    WriteDword(NULL, "CheckPointSecureClientOnOff", 1);
    WriteDword(NULL, "Mode", 0);
    CWirelessSupp& fileBased = OpenWireless();
    EXPECT_FALSE(Enabled(fileBased, IDC_WIRELESS_SCV));
    EXPECT_FALSE(Enabled(fileBased, IDC_WIRELESS_INSTALL));
    fileBased.DestroyWindow();
    WriteDword(NULL, "Mode", 1);

    // Not installed: the install button asks; no does nothing, yes fetches and starts the
    // set-up program (shown).
    CTinyHttpServer server;
    server.AddFile("/Vigilon/ClientUtility/KsxWins.exe", ReadWholeFile(BinFile("KsxWins.exe")));
    ServeFrom(server);
    CWirelessSupp& installer = OpenWireless();
    {
        Answerer answer(false);
        Click(installer, IDC_WIRELESS_INSTALL);
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_WIRELESS_ASK_INSTALL), Answerer::s_texts[0]);
    }
    EXPECT_TRUE(server.Requests().empty());
    {
        Answerer answer(true);
        Click(installer, IDC_WIRELESS_INSTALL);
    }
    ASSERT_TRUE(WaitLines(Journal("KsxWins.log"), "show=5", 1));
    EXPECT_EQ(2u, server.Requests().size());
    installer.DestroyWindow();
    DeleteFileA(Journal("KsxWins.log").c_str());

    // Aerlume installed: the run button follows its key at the next repaint.
    std::string strAerlume = FreshScratchFolder("aerlume") + "\\";
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, g_pszAerlumeKey));
        key.SetValue(strAerlume.c_str(), "InstallPath");
    }
    CWirelessSupp& wireless = OpenWireless();
    RedrawWindow(wireless.m_hWnd, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(Enabled(wireless, IDC_WIRELESS_RUN));
    // Its program missing: the set-up program of the program folder is started instead.
    Install("KsxWins.exe");
    Click(wireless, IDC_WIRELESS_RUN);
    ASSERT_TRUE(WaitLines(Journal("KsxWins.log"), "start", 1));
    ASSERT_TRUE(CopyFileA(BinFile("KSXWMain.exe").c_str(), (strAerlume + "KSXWMain.exe").c_str(), FALSE));
    Click(wireless, IDC_WIRELESS_RUN);
    ASSERT_TRUE(WaitLines(strAerlume + "KSXWMain.log", "show=5", 1));
    EXPECT_EQ(1, CountLines(Journal("KsxWins.log"), "start"));

    // The SCV installer present: installer, unregister, register, then the check.
    Install("vglescvpack.exe");
    Install("pireg.exe");
    {
        Answerer answer;
        Click(wireless, IDC_WIRELESS_SCV);
        PumpMessages(200);
        ASSERT_EQ(1u, Answerer::s_texts.size());
        EXPECT_EQ(ResourceText(IDS_SCV_REGISTERED), Answerer::s_texts[0]);
    }
    EXPECT_EQ(1, CountLines(Journal("vglescvpack.log"), "start"));
    std::string strPiReg = ReadWholeFile(Journal("pireg.log"));
    size_t nRemove = strPiReg.find("run args=-d vglescv.dll");
    size_t nAdd = strPiReg.find("run args=vglescv.dll");
    EXPECT_NE(std::string::npos, nRemove) << strPiReg;
    EXPECT_NE(std::string::npos, nAdd) << strPiReg;
    EXPECT_LT(nRemove, nAdd);
    EXPECT_TRUE(wireless.IsScvPluginRegistered());
    // The path in other letter case counts; another folder does not.
    {
        CRegKey key;
        ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, g_pszScvPluginKey));
        std::string strUpper = m_strFolder + "VGLESCV.DLL";
        CharUpperA(&strUpper[0]);
        key.SetValue(strUpper.c_str(), "IMAGEPATH");
        EXPECT_TRUE(wireless.IsScvPluginRegistered());
        key.SetValue("C:\\Other\\vglescv.dll", "IMAGEPATH");
        EXPECT_FALSE(wireless.IsScvPluginRegistered());
    }
    SaveWindowPicture(wireless.m_hWnd, "page_wireless");
}
