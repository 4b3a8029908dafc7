// The settings of updates over the Internet (the "Internet Settings" subkey): the update
// server, its login and the proxy.
#ifndef VGL_INTERNETSETTINGSDLG_H
#define VGL_INTERNETSETTINGSDLG_H

#include <afxwin.h>

class CInternetSettingsDlg : public CDialog
{
public:
    enum { IDD = 296 };

    explicit CInternetSettingsDlg(CWnd* pParent = NULL);
    virtual ~CInternetSettingsDlg();

    // The maker's own update service, offered when "AllowUpdateFromKVNF" is set.
    static const char s_szMakerUpdateService[];

    CString m_strServer;
    CString m_strServerPort;
    CString m_strUserName;
    CString m_strPassword;
    int m_fUseAnonymous;
    int m_fUseProxy;
    CString m_strProxyServer;
    CString m_strProxyPort;
    CString m_strProxyLogin;
    CString m_strProxyPassword;
    DWORD m_dwAllowUpdateFromKVNF;
    CString m_strVigilonServer;
    BOOL m_fProxySettingOnOff;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    afx_msg void OnUseProxy();
    afx_msg void OnUseAnonymous();
    afx_msg void OnChangeProxyCredentials();
    afx_msg void OnChangeUserCredentials();
    DECLARE_MESSAGE_MAP()

private:
    BOOL IsChecked(int nID) const { return IsDlgButtonChecked(nID) == BST_CHECKED; }
    BOOL HasText(int nID) const;
    void Enable(int nID, BOOL fEnable);
    void ApplyProxyRule();
    void ApplyUserRule();
    void ApplyAnonymousRule();
    void ApplyCredentialsRule();
    // The message (caption string 104), then the focus on nFocusID.
    void Refuse(UINT nTextID, int nFocusID);
};

// A port field: its number, 0 when it holds no number, beyond 65535 when too long.
long parsePortText(const CString& strText);

#endif
