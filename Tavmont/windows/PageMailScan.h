// The console's mail-scan page: the POP3 mail trap's settings (kept in the mail-scan key and
// applied at once), its set-up program and the Outlook scanner, downloaded from the server on
// demand. It also carries the download of client utilities and the registry readers of the
// wireless support page.
#ifndef VGL_PAGEMAILSCAN_H
#define VGL_PAGEMAILSCAN_H

#include <afxwin.h>

#define WM_QUELMAIL_SETTINGS_CHANGED (WM_USER + 1503)

extern const char g_pszMailScanKey[];        // "Software\Kavrel\Kestrix\MailScan"
extern const char g_pszOutlookScannerTitle[];

class CProgressDlg;

class CPageMailScan : public CDialog
{
public:
    enum { IDD = 458 };

    explicit CPageMailScan(CWnd* pParent);
    // For the wireless page: the template and the parent are not used.
    CPageMailScan(UINT nIDTemplate, CWnd* pParent);
    virtual ~CPageMailScan();

    // Everything again from the registry (the application became active).
    void Refresh();
    // Downloads one client utility into the program folder; TRUE when the file there was
    // replaced (or the user gave up replacing it).
    BOOL DownloadClientUtility(LPCSTR pszFileName);

    void GetProgramFolder(CString& strOut);
    BOOL IsProgramInFolder(LPCSTR pszFileName);
    BOOL ReadRegistryDword(LPCSTR pszSubKey, LPCSTR pszValue, DWORD* pdw);
    BOOL ReadRegistryString(LPCSTR pszSubKey, LPCSTR pszValue, CString& strOut);
    virtual BOOL AskYesNo(UINT nIDPrompt);

    DWORD GetMailScanValue(LPCSTR pszValue);
    void SetMailScanValue(LPCSTR pszValue, DWORD dw);
    // "Quelmail.exe" in the program folder with a file version of 10 or more.
    BOOL IsQuelmailInstalled();

    // The server's values a download uses.
    struct SServerSettings
    {
        DWORD dwMode;
        CString strServer;
        CString strCgiOnSpecialLog;
        DWORD dwServerPort;
        DWORD dwUseProxy;
        CString strProxyServer;
        DWORD dwProxyPort;
        CString strProxyLogin;
        CString strProxyPassword;
    };
    // FALSE in file-based mode, when "Mode" cannot be read or when no server is named; a
    // missing port is 80 and a missing proxy switch is off.
    BOOL GetServerSettings(SServerSettings& settings);
    // "/Vigilon/Cgi/cgiOnSpecialLog.exe" -> "/Vigilon/ClientUtility/".
    static CString GetUtilityFolder(const CString& strCgiOnSpecialLog);
    // Same length and the same bytes.
    static BOOL isSameFile(LPCSTR pszFileA, LPCSTR pszFileB);

    DWORD m_dwServerMode;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnCancel();

    BOOL RunQuelmail();
    void ApplyQuelmailSettings();
    void UpdateControlStates();
    void UpdateOutlookRunButton();
    void UpdateActionControls();
    void ChangeMailScanOnOff();
    void RunQuelmailSetup();
    void ReadState();
    BOOL StartProgram(LPCSTR pszFileName, UINT nShow);
    void closeRunningUtility(LPCSTR pszFileName);
    // The progress window of a download and whether its Cancel was pressed.
    struct SDownloadProgress
    {
        CProgressDlg* pDialog;
        BOOL fCancelled;
    };
    static int downloadProgressCallback(int nStage, int nReserved, void* pContext);

    afx_msg void OnMailScanOnOff();
    afx_msg void OnSetupQuelmail();
    afx_msg void OnSelChangeAction();
    afx_msg void OnSelChangeAction2nd();
    afx_msg void OnZipClean();
    afx_msg void OnSplash();
    afx_msg void OnInstallOutlookScanner();
    afx_msg void RunOutlookScanner();
    DECLARE_MESSAGE_MAP()

    BOOL IsOn() const;
    int SelectedCode(UINT nID) const;
    BOOL SelectCode(UINT nID, DWORD dwCode);
};

#endif
