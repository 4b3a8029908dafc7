// The update program's application: its switches, its language library, the hand-over from
// the copy the client starts to a copy in the temporary folder, and the order of its dialogs.
#ifndef VGL_UPDATEAPP_H
#define VGL_UPDATEAPP_H

#include <afxwin.h>

// The switches ("/" or "-", any case):
//   /AllowUpdate    move the staged pattern, engine and program files into place
//   /AllowHotFix    apply the hot fixes of the hot-fix list
//   /AllowHotFixEx  apply the hot fixes, the hot-fix dialog getting no list
//   /Internet       the client is outside the intranet (passed to the hot-fix dialog)
//   /SimpRestart    only stop and restart the client
class CAppCommandLineInfo : public CCommandLineInfo
{
public:
    CAppCommandLineInfo();
    virtual void ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast);

    BOOL IsAllowUpdate() const { return m_bAllowUpdate; }
    BOOL IsAllowHotFix() const { return m_bAllowHotFix; }
    BOOL IsAllowHotFixEx() const { return m_bAllowHotFixEx; }
    BOOL IsInternet() const { return m_bInternet; }
    BOOL IsSimplyRestart() const { return m_bSimpRestart; }
    // One of the switches that make the program do something.
    BOOL HasAction() const;
    // The set switches, each quoted, separated by blanks: "\"/AllowUpdate\" \"/Internet\"".
    CString GetSwitchText() const;

    BOOL m_bAllowUpdate;
    BOOL m_bAllowHotFix;
    BOOL m_bAllowHotFixEx;
    BOOL m_bInternet;
    BOOL m_bSimpRestart;
};

extern CAppCommandLineInfo g_cmdInfo;

class CUpdateApp : public CWinApp
{
public:
    CUpdateApp();

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // The single-instance and hand-over protocol.
    void DoUpdate();
    // Copies the program and its libraries into the temporary folder and starts the copy.
    void MakeSelfCopyAndRun();
    // The copy's work: the update dialog, then StartHotFix.
    void StartUpdate();
    // The hot-fix dialog, then StartRestart.
    void StartHotFix(const TCHAR* pszData);
    // The restart dialog.
    void StartRestart();

protected:
    // A client that this run stopped and no dialog started again is started once more.
    void RestartLeftClient();

    HANDLE m_hFirstInstanceMutex;
    HANDLE m_hSecondInstanceEvent;
    HINSTANCE m_hResourceDll;
    CString m_strTitle;
    BOOL m_fWinsock;
    BOOL m_fMutexHeld;                  // the mutex is this process's to release

    DECLARE_MESSAGE_MAP()
};

#endif
