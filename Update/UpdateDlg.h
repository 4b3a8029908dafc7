// The update dialog: stops the client, moves the staged pattern, engine and program files into
// the client's program folder, records the outcome, removes the staging folders and starts the
// client again. Four steps, each with a progress bar and a mark shown when it is done.
#ifndef VGL_UPDATEDLG_H
#define VGL_UPDATEDLG_H

#include "WorkerDlg.h"

class CUpdateDlg : public CWorkerDlg
{
public:
    // fRestart: start the client again at the end; pszProgramVersion: recorded as "Program
    // Version" once the files are in place.
    CUpdateDlg(BOOL fRestart, LPCSTR pszProgramVersion, CWnd* pParent = NULL);
    virtual ~CUpdateDlg();

    static BOOL IsShellExtensionFile(LPCSTR pszPath) { return isShellExtensionFile(pszPath); }

    BOOL UnloadClient();
    // Moves the staged files; TRUE when all of them are in place.
    BOOL UpdateProgram();
    void RemoveTempFolders();
    int SendUpdateMessage();
    void RestartClient();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void DoWork();
    void ShowMark(CStatic& mark);

    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    DECLARE_MESSAGE_MAP()

    BOOL m_fRestart;
    CString m_strProgramVersion;
    HICON m_hIcon;
    CProgressCtrl m_barUnload;
    CProgressCtrl m_barMove;
    CProgressCtrl m_barReport;
    CProgressCtrl m_barRestart;
    CStatic m_markUnload;
    CStatic m_markMove;
    CStatic m_markReport;
    CStatic m_markRestart;
};

#endif
