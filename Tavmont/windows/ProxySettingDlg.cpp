// The proxy of updates over the Internet.
#include "ProxySettingDlg.h"

#include "InternetSettingsDlg.h"
#include "LogTracker.h"
#include "RegistryKey.h"

#include "resource_ids.h"

namespace
{
const int s_anProxyEdits[] = { IDC_PROXY_SERVER, IDC_PROXY_PORT, IDC_PROXY_LOGIN, IDC_PROXY_PASSWORD };
}

BEGIN_MESSAGE_MAP(CProxySettingDlg, CDialog)
    ON_BN_CLICKED(IDC_PROXY_USE, OnUseProxy)
END_MESSAGE_MAP()

CProxySettingDlg::CProxySettingDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_fUseProxy(0), m_strProxyPort("80"), m_fProxySettingOnOff(TRUE)
{
}

CProxySettingDlg::~CProxySettingDlg()
{
}

void CProxySettingDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_PROXY_USE, m_fUseProxy);
    DDX_Text(pDX, IDC_PROXY_SERVER, m_strProxyServer);
    DDX_Text(pDX, IDC_PROXY_PORT, m_strProxyPort);
    DDX_Text(pDX, IDC_PROXY_LOGIN, m_strProxyLogin);
    DDX_Text(pDX, IDC_PROXY_PASSWORD, m_strProxyPassword);
}

BOOL CProxySettingDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_fProxySettingOnOff = NS_RegistryKey::GetProxySettingOnOff();
    for (int nID : s_anProxyEdits)
        GetDlgItem(nID)->EnableWindow(FALSE);
    m_fUseProxy = NS_RegistryKey::GetInternetUseProxy() ? 1 : 0;
    m_strProxyServer = NS_RegistryKey::GetInternetProxyServer();
    m_strProxyPort.Format("%lu", (unsigned long)NS_RegistryKey::GetInternetProxyPort());
    m_strProxyLogin = NS_RegistryKey::GetInternetProxyLogin();
    m_strProxyPassword = NS_RegistryKey::GetInternetProxyPassword();
    ApplyEnabling();
    UpdateData(FALSE);
    return TRUE;
}

void CProxySettingDlg::ApplyEnabling()
{
    GetDlgItem(IDC_PROXY_USE)->EnableWindow(m_fProxySettingOnOff);
    for (int nID : s_anProxyEdits)
        GetDlgItem(nID)->EnableWindow(m_fProxySettingOnOff && m_fUseProxy);
}

void CProxySettingDlg::OnUseProxy()
{
    UpdateData(TRUE);
    ApplyEnabling();
}

void CProxySettingDlg::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    long nPort = parsePortText(m_strProxyPort);
    if (m_fUseProxy)
    {
        UINT nRefusal = 0;
        int nFocus = 0;
        if (m_strProxyServer.IsEmpty())
            nRefusal = IDS_BAD_ADDRESS, nFocus = IDC_PROXY_SERVER;
        else if (nPort < 1 || nPort > 65535)
            nRefusal = IDS_BAD_PORT, nFocus = IDC_PROXY_PORT;
        if (nRefusal != 0)
        {
            CString strText, strCaption;
            strText.LoadString(nRefusal);
            strCaption.LoadString(IDS_MESSAGE_CAPTION);
            MessageBox(strText, strCaption, MB_ICONEXCLAMATION);
            GetDlgItem(nFocus)->SetFocus();
            return;
        }
    }
    VGLTRACE(3, "CProxySettingDlg::OnOK(): proxy %d %s:%ld", m_fUseProxy, (LPCSTR)m_strProxyServer, nPort);
    NS_RegistryKey::SetInternetUseProxy(m_fUseProxy != 0);
    NS_RegistryKey::SetInternetProxyServer(m_strProxyServer);
    NS_RegistryKey::SetInternetProxyPort(nPort == 0 ? 80 : (DWORD)nPort);
    NS_RegistryKey::SetInternetProxyLogin(m_strProxyLogin);
    NS_RegistryKey::SetInternetProxyPassword(m_strProxyPassword);
    EndDialog(IDOK);
}
