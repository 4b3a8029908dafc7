// The proxy of updates over the Internet (the "Internet Settings" subkey).
#ifndef VGL_PROXYSETTINGDLG_H
#define VGL_PROXYSETTINGDLG_H

#include <afxwin.h>

class CProxySettingDlg : public CDialog
{
public:
    enum { IDD = 469 };

    explicit CProxySettingDlg(CWnd* pParent = NULL);
    virtual ~CProxySettingDlg();

    int m_fUseProxy;
    CString m_strProxyServer;
    CString m_strProxyPort;
    CString m_strProxyLogin;
    CString m_strProxyPassword;
    BOOL m_fProxySettingOnOff;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    afx_msg void OnUseProxy();
    DECLARE_MESSAGE_MAP()

private:
    void ApplyEnabling();
};

#endif
