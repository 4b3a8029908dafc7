// The settings of updates over the Internet: the update server, its login and the proxy.
#include "InternetSettingsDlg.h"

#include "LogTracker.h"
#include "RegistryKey.h"
#include "SystemInfo.h"

#include "resource_ids.h"

#include <stdlib.h>

const char CInternetSettingsDlg::s_szMakerUpdateService[] = "update.kavrel.example/vigilon";

long parsePortText(const CString& strText)
{
    CString str = strText;
    str.TrimLeft();
    str.TrimRight();
    if (str.IsEmpty())
        return 0;
    long nPort = 0;
    for (int i = 0; i < str.GetLength(); ++i)
    {
        char ch = str[i];
        if (ch < '0' || ch > '9')
            return 0;
        nPort = nPort * 10 + (ch - '0');
        if (nPort > 65535)
            return 65536;
    }
    return nPort;
}

namespace
{
CString PortText(DWORD dwPort)
{
    CString str;
    str.Format("%lu", (unsigned long)dwPort);
    return str;
}

const int s_anProxyEdits[] = { IDC_INET_PROXY_SERVER, IDC_INET_PROXY_PORT, IDC_INET_PROXY_LOGIN,
                               IDC_INET_PROXY_PASSWORD };
const int s_anProxyLabels[] = { IDC_INET_PROXY_SERVER_LABEL, IDC_INET_PROXY_PORT_LABEL, IDC_INET_PROXY_LOGIN_LABEL,
                                IDC_INET_PROXY_PASSWORD_LABEL };
const int s_anUserControls[] = { IDC_INET_USER_NAME, IDC_INET_PASSWORD, IDC_INET_USER_NAME_LABEL,
                                 IDC_INET_PASSWORD_LABEL };
const int s_anProxyCredentials[] = { IDC_INET_PROXY_LOGIN, IDC_INET_PROXY_PASSWORD, IDC_INET_PROXY_LOGIN_LABEL,
                                     IDC_INET_PROXY_PASSWORD_LABEL };
}

BEGIN_MESSAGE_MAP(CInternetSettingsDlg, CDialog)
    ON_BN_CLICKED(IDC_INET_USE_PROXY, OnUseProxy)
    ON_BN_CLICKED(IDC_INET_ANONYMOUS, OnUseAnonymous)
    ON_EN_CHANGE(IDC_INET_PROXY_LOGIN, OnChangeProxyCredentials)
    ON_EN_CHANGE(IDC_INET_PROXY_PASSWORD, OnChangeProxyCredentials)
    ON_EN_CHANGE(IDC_INET_PASSWORD, OnChangeUserCredentials)
    ON_EN_CHANGE(IDC_INET_USER_NAME, OnChangeUserCredentials)
END_MESSAGE_MAP()

CInternetSettingsDlg::CInternetSettingsDlg(CWnd* pParent) : CDialog(IDD, pParent), m_fProxySettingOnOff(TRUE)
{
    m_strServer = NS_RegistryKey::GetInternetServer();
    m_strServerPort = PortText(NS_RegistryKey::GetInternetServerPort());
    m_strUserName = NS_RegistryKey::GetInternetUserName();
    m_strPassword = NS_RegistryKey::GetInternetPassword();
    m_fUseAnonymous = NS_RegistryKey::GetInternetUseAnonymous() ? 1 : 0;
    m_fUseProxy = NS_RegistryKey::GetInternetUseProxy() ? 1 : 0;
    m_strProxyServer = NS_RegistryKey::GetInternetProxyServer();
    m_strProxyPort = PortText(NS_RegistryKey::GetInternetProxyPort());
    m_strProxyLogin = NS_RegistryKey::GetInternetProxyLogin();
    m_strProxyPassword = NS_RegistryKey::GetInternetProxyPassword();
    m_dwAllowUpdateFromKVNF = NS_RegistryKey::GetAllowUpdateFromKVNF() ? 1 : 0;
    m_strVigilonServer = NS_RegistryKey::GetServer(FALSE);
}

CInternetSettingsDlg::~CInternetSettingsDlg()
{
}

void CInternetSettingsDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_INET_SERVER_PORT, m_strServerPort);
    DDX_Text(pDX, IDC_INET_USER_NAME, m_strUserName);
    DDX_Text(pDX, IDC_INET_PASSWORD, m_strPassword);
    DDX_Check(pDX, IDC_INET_ANONYMOUS, m_fUseAnonymous);
    DDX_Check(pDX, IDC_INET_USE_PROXY, m_fUseProxy);
    DDX_Text(pDX, IDC_INET_PROXY_SERVER, m_strProxyServer);
    DDX_Text(pDX, IDC_INET_PROXY_PORT, m_strProxyPort);
    DDX_Text(pDX, IDC_INET_PROXY_LOGIN, m_strProxyLogin);
    DDX_Text(pDX, IDC_INET_PROXY_PASSWORD, m_strProxyPassword);
}

BOOL CInternetSettingsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_fProxySettingOnOff = NS_RegistryKey::GetProxySettingOnOff();
    ApplyProxyRule();
    ApplyAnonymousRule();

    CComboBox* pCombo = (CComboBox*)GetDlgItem(IDC_INET_SERVER);
    if (pCombo != NULL)
    {
        pCombo->AddString(m_strServer);
        if (m_dwAllowUpdateFromKVNF != 0 && m_strServer != s_szMakerUpdateService)
            pCombo->AddString(s_szMakerUpdateService);
        if (m_strVigilonServer != m_strServer)
            pCombo->AddString(m_strVigilonServer);
        pCombo->LimitText(255);
        pCombo->SetCurSel(0);
    }
    return TRUE;
}

BOOL CInternetSettingsDlg::HasText(int nID) const
{
    CWnd* pWnd = GetDlgItem(nID);
    return pWnd != NULL && pWnd->GetWindowTextLength() > 0;
}

void CInternetSettingsDlg::Enable(int nID, BOOL fEnable)
{
    CWnd* pWnd = GetDlgItem(nID);
    if (pWnd != NULL)
        pWnd->EnableWindow(fEnable);
}

void CInternetSettingsDlg::ApplyProxyRule()
{
    BOOL fUseProxy = IsChecked(IDC_INET_USE_PROXY);
    Enable(IDC_INET_USE_PROXY, m_fProxySettingOnOff);
    for (int nID : s_anProxyEdits)
        Enable(nID, fUseProxy && m_fProxySettingOnOff);
    for (int nID : s_anProxyLabels)
        Enable(nID, fUseProxy);
}

void CInternetSettingsDlg::ApplyUserRule()
{
    BOOL fUseProxy = IsChecked(IDC_INET_USE_PROXY);
    BOOL fAnonymous = IsChecked(IDC_INET_ANONYMOUS);
    BOOL fDisable = (fUseProxy && (fAnonymous || HasText(IDC_INET_PROXY_LOGIN) || HasText(IDC_INET_PROXY_PASSWORD))) ||
                    (!fUseProxy && fAnonymous && !HasText(IDC_INET_USER_NAME) && !HasText(IDC_INET_PASSWORD));
    for (int nID : s_anUserControls)
        Enable(nID, !fDisable);
}

void CInternetSettingsDlg::ApplyAnonymousRule()
{
    BOOL fAnonymous = IsChecked(IDC_INET_ANONYMOUS);
    for (int nID : s_anUserControls)
        Enable(nID, !fAnonymous);
    ApplyCredentialsRule();
}

void CInternetSettingsDlg::ApplyCredentialsRule()
{
    ApplyProxyRule();
    if ((HasText(IDC_INET_USER_NAME) || HasText(IDC_INET_PASSWORD)) && IsChecked(IDC_INET_USE_PROXY))
    {
        BOOL fAnonymous = IsChecked(IDC_INET_ANONYMOUS);
        for (int nID : s_anProxyCredentials)
            Enable(nID, fAnonymous);
    }
}

void CInternetSettingsDlg::OnUseProxy()
{
    ApplyProxyRule();
    ApplyUserRule();
}

void CInternetSettingsDlg::OnUseAnonymous()
{
    ApplyAnonymousRule();
}

void CInternetSettingsDlg::OnChangeProxyCredentials()
{
    ApplyUserRule();
}

void CInternetSettingsDlg::OnChangeUserCredentials()
{
    ApplyCredentialsRule();
}

void CInternetSettingsDlg::Refuse(UINT nTextID, int nFocusID)
{
    CString strText, strCaption;
    strText.LoadString(nTextID);
    strCaption.LoadString(IDS_MESSAGE_CAPTION);
    MessageBox(strText, strCaption, MB_ICONEXCLAMATION);
    CWnd* pWnd = GetDlgItem(nFocusID);
    if (pWnd != NULL)
        pWnd->SetFocus();
}

void CInternetSettingsDlg::OnOK()
{
    GetDlgItemText(IDC_INET_SERVER, m_strServer);
    if (!UpdateData(TRUE))
        return;
    if (!isIPAddress(m_strServer))
        return Refuse(IDS_BAD_ADDRESS, IDC_INET_SERVER_LABEL);
    long nServerPort = parsePortText(m_strServerPort);
    if (nServerPort < 1 || nServerPort > 65535)
        return Refuse(IDS_BAD_PORT, IDC_INET_PROXY_SERVER);
    long nProxyPort = parsePortText(m_strProxyPort);
    if (m_fUseProxy)
    {
        if (!isIPAddress(m_strProxyServer))
            return Refuse(IDS_BAD_ADDRESS, IDC_INET_PROXY_SERVER);
        if (nProxyPort < 1 || nProxyPort > 65535)
            return Refuse(IDS_BAD_PORT, IDC_INET_PROXY_SERVER);
    }
    VGLTRACE(3, "CInternetSettingsDlg::OnOK(): server %s:%ld, proxy %d %s:%ld", (LPCSTR)m_strServer, nServerPort,
             m_fUseProxy, (LPCSTR)m_strProxyServer, nProxyPort);
    NS_RegistryKey::SetInternetServer(m_strServer);
    NS_RegistryKey::SetInternetServerPort((DWORD)nServerPort);
    NS_RegistryKey::SetInternetUserName(m_strUserName);
    NS_RegistryKey::SetInternetPassword(m_strPassword);
    NS_RegistryKey::SetInternetUseProxy(m_fUseProxy != 0);
    NS_RegistryKey::SetInternetProxyServer(m_strProxyServer);
    NS_RegistryKey::SetInternetProxyPort(nProxyPort == 0 ? 80 : (DWORD)nProxyPort);
    NS_RegistryKey::SetInternetProxyLogin(m_strProxyLogin);
    NS_RegistryKey::SetInternetProxyPassword(m_strProxyPassword);
    NS_RegistryKey::SetInternetUseAnonymous(m_fUseAnonymous != 0);
    EndDialog(IDOK);
}
