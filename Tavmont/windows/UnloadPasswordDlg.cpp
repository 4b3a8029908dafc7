// The prompt for the unload password.
#include "UnloadPasswordDlg.h"

#include "resource_ids.h"

BEGIN_MESSAGE_MAP(CUnloadPasswordDlg, CDialog)
    ON_EN_CHANGE(IDC_UNLOAD_PASSWORD, OnChangePassword)
END_MESSAGE_MAP()

CUnloadPasswordDlg::CUnloadPasswordDlg(CWnd* pParent) : CDialog(IDD, pParent)
{
}

CUnloadPasswordDlg::~CUnloadPasswordDlg()
{
}

void CUnloadPasswordDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UNLOAD_PASSWORD, m_editPassword);
}

void CUnloadPasswordDlg::OnChangePassword()
{
    m_editPassword.GetWindowText(m_strPassword);
}
