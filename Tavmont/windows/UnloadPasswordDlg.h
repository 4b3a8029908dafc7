// The prompt for the unload password.
#ifndef VGL_UNLOADPASSWORDDLG_H
#define VGL_UNLOADPASSWORDDLG_H

#include <afxwin.h>

class CUnloadPasswordDlg : public CDialog
{
public:
    enum { IDD = 248 };

    explicit CUnloadPasswordDlg(CWnd* pParent = NULL);
    virtual ~CUnloadPasswordDlg();

    CString m_strPassword;          // the text typed so far
    CEdit m_editPassword;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    afx_msg void OnChangePassword();
    DECLARE_MESSAGE_MAP()
};

#endif
