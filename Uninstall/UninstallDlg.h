// The uninstall dialog: the main window of the temporary copy. A second after it is shown it
// starts a worker that stops the client and the support tool and removes the product, row by
// row: each row has a progress bar and a completion mark. The user can neither cancel, close
// nor minimise it; in silent mode it never shows on a screen.
#ifndef VGL_UNINSTALLDLG_H
#define VGL_UNINSTALLDLG_H

#include <afxwin.h>
#include <afxcmn.h>

#include "BitmapStatic.h"
#include "DIB.h"

class CAccBuffer;

// Posted by the worker when the removal sequence has ended.
#define WM_INSTALL_COMPLETE (WM_USER + 1)
// Asks the client and the support tool to unload.
#define WM_UNLOAD (WM_USER + 1000)

typedef void (CALLBACK* INTERNET_STATUS_CALLBACK_EX)(HANDLE, DWORD_PTR, DWORD, LPVOID, DWORD, LPVOID);
typedef void (*CONTENT_LENGTH_CALLBACK)(DWORD, LPVOID);

class CUninstallDlg : public CDialog
{
public:
    enum { IDD = 102 };

    CUninstallDlg(BOOL fNoMessageBox, BOOL fSilent, CWnd* pParent = NULL);
    virtual ~CUninstallDlg();

    // Reads everything the removal needs before anything is removed.
    void LoadSettings();

    // The removal sequence, on the worker thread.
    void RunUninstall();
    // Stops the client: TRUE when it is gone (or was not running).
    virtual BOOL UnloadMainProgram();
    // UnloadMainProgram under a guard: whatever it throws means the client may still run.
    BOOL UnloadMainProgramGuarded();
    // Asks the support tool to end; TRUE when it ended.
    BOOL UnloadDervix();

    // Before the client is stopped.
    void RemoveOPP();
    void RemoveVGLESCV();
    void RemoveWatchDog();
    void RemoveMailScanKeys();
    // After it has been stopped.
    void RemoveTools();
    void UninstallActiveXContorls();
    void UninstallShellExtension();
    void DeleteProgramDir();
    static void DeleteNotifiedCallBack(const TCHAR* pszDeleteFilename, BOOL fActionResult, LPVOID pvThis);
    BOOL UninstallFolderAndShortcut();
    void UninstallRegistries();
    BOOL SendUninstallMessage();
    BOOL ConnectToServer(const TCHAR* pszServer, const TCHAR* pszObject, CAccBuffer& bufResult,
                         INTERNET_STATUS_CALLBACK_EX pfInternetStatusCallback,
                         CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis, CString* pstrError);
    BOOL ConnectToServer_Try(const TCHAR* pszServer, const TCHAR* pszObject, CAccBuffer& bufResult,
                             INTERNET_STATUS_CALLBACK_EX pfInternetStatusCallback,
                             CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis, BOOL fShowError,
                             CString* pstrError);

    static UINT WINAPI WorkerThread(void* pParam);

    CDIB m_dib;
    CPalette* m_pPalette;
    CBitmapStatic m_bitmap;
    BOOL m_fNoMessageBox;
    BOOL m_fSilent;
    BOOL m_fIsHttpBased;
    UINT_PTR m_nTimer;
    CString m_strGuid;
    WORD m_nServerPort;
    WORD m_nProxyPort;
    CString m_strProxyServer;
    CString m_strFolderName;
    CString m_strDesktopShortcutFile;
    CString m_strProxyLogin;
    CString m_strProxyPassword;
    CString m_strServer;
    CString m_strMasterDirConfig;
    CString m_strMasterDirData;
    CString m_strMasterDirLog;
    CString m_strApplicationPath;
    CString m_strCurrentVersionKey;
    CString m_strProductKey;
    CString m_strCompanyKey;
    CString m_strCgiOnUninstall;
    // What the settings file says of the Start-menu folder and the entries to remove; read
    // with the other settings, before the file is deleted.
    CString m_strIniMenuFolder;
    CString m_strIniRunKey;
    CString m_strIniUninstallKeyName;
    HANDLE m_hThread;
    HICON m_hIcon;

    // The rows' bars and completion marks.
    CProgressCtrl m_barUnload;       // 1003
    CProgressCtrl m_barComponents;   // 1001
    CProgressCtrl m_barFolder;       // 1000
    CProgressCtrl m_barRegistry;     // 1002
    CProgressCtrl m_barServer;       // 1013
    CStatic m_markUnload;            // 1010
    CStatic m_markComponents;        // 1006
    CStatic m_markFolder;            // 1004
    CStatic m_markRegistry;          // 1008
    CStatic m_markServer;            // 1012

protected:
    // Shows a completion mark at once (not in silent mode).
    void ShowMark(CStatic& mark);

    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);
    afx_msg void OnDestroy();
    afx_msg LRESULT OnInstallComplete(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()
};

// Runs the command line and waits for the program, 1 s at a time, at most 121 waits; TRUE
// when it ended in time (a program that did not is left running).
BOOL LaunchProgAndWait(LPCTSTR pszCommandLine);
// Deletes "kvdshell.dll" of the folder; when it cannot be deleted, moves it into the Temp
// folder of the same drive; when it cannot be moved either, runs the countdown until it can
// be deleted. TRUE when the move had failed (FALSE for a missing folder or when the move
// worked, TRUE when the file was simply deleted).
BOOL MoveKvdshellToTemp(LPCTSTR pszFolder);

#endif
