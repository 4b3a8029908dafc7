// The prompt for the uninstall password; it only collects the text.
#ifndef VGL_UNINSTALLPASSWORDDLG_H
#define VGL_UNINSTALLPASSWORDDLG_H

#include <afxwin.h>

class CUninstallPasswordDlg : public CDialog
{
public:
    enum { IDD = 248 };

    explicit CUninstallPasswordDlg(CWnd* pParent = NULL);
    virtual ~CUninstallPasswordDlg();

    CString m_strPassword;      // the text typed so far
    CEdit m_edit;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    afx_msg void OnChangePassword();
    DECLARE_MESSAGE_MAP()
};

#endif
