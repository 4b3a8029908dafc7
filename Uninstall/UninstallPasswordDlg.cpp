#include "UninstallPasswordDlg.h"

#include "resource_ids.h"

BEGIN_MESSAGE_MAP(CUninstallPasswordDlg, CDialog)
    ON_EN_CHANGE(IDC_UNINSTALL_PASSWORD, OnChangePassword)
END_MESSAGE_MAP()

CUninstallPasswordDlg::CUninstallPasswordDlg(CWnd* pParent) : CDialog(IDD, pParent)
{
}

CUninstallPasswordDlg::~CUninstallPasswordDlg()
{
}

void CUninstallPasswordDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UNINSTALL_PASSWORD, m_edit);
}

void CUninstallPasswordDlg::OnChangePassword()
{
    m_edit.GetWindowText(m_strPassword);
}
