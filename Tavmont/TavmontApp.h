// The client program's application object: whether this process may run (platform, clock,
// single instance), the process-wide services built in a fixed order, the main window run
// modally, and the teardown in a fixed order when it ends.
#ifndef VGL_TAVMONTAPP_H
#define VGL_TAVMONTAPP_H

#include "LockOrder.h"
#include <afxwin.h>

#include "WinsockDlg.h"

// "-HideWindow" (also "/HideWindow"), compared with regard to case.
class CAppCommandLineInfo : public CCommandLineInfo
{
public:
    CAppCommandLineInfo();
    virtual void ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast);

    BOOL m_bHideWindow;
};

class CTavmontApp : public CWinApp
{
public:
    CTavmontApp();
    virtual ~CTavmontApp();

    virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);
    virtual BOOL InitInstance();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnIdle(LONG lCount);
    virtual int ExitInstance();
    virtual BOOL InitApplication();

    // The process-id mapping "VigilonCorp_MemoryMappedFile_ProcessID"; a failure is shown and
    // start-up goes on.
    void CreateProcessIdMapping();
    // Trace logger, configuration store, settings and notification services, in this order;
    // a fault ends the sequence where it occurred.
    void ConstructNamespaces();

    BOOL m_fSecondInstance;
    HINSTANCE m_hResourceDll;
    CString m_strTitle;
    HANDLE m_hmmfProcess;
    CWinsockDlg m_dlgWinsock;

    // How far ConstructNamespaces got: the teardown destroys only what was built.
    enum
    {
        BUILT_NOTHING = 0, BUILT_DEBUG, BUILT_REGISTRY, BUILT_CONFIGURATION, BUILT_NOTIFICATION
    };
    int m_nBuilt;

protected:
    afx_msg void OnUpdateNewSettings();
    afx_msg void OnUpdateOptionsManualScan(CCmdUI* pCmdUI);
    DECLARE_MESSAGE_MAP()

private:
    BOOL m_fCounted;                 // this process incremented g_nInstanceCount
    BOOL m_fUpgradeInitialized;      // this process initialised g_csUpgrade
    BOOL m_fNamespacesRan;           // ConstructNamespaces was called
};

// Shared by every process started from the same program file: -1 in the file; the process
// that increments it to 0 is the first instance.
extern volatile LONG g_nInstanceCount;
// One component update or settings renewal at a time; its owner may enter it again.
extern CRITICAL_SECTION g_csUpgrade;
extern BOOL g_fFirstTimeStartUp;
class CSplashDlg;
extern CSplashDlg* g_pSplashDlg;

// Mail-scan defaults ("Software\Kavrel\Kestrix\MailScan"), each written only when absent.
BOOL SetMailScanDefaultValue(LPCSTR pszName, DWORD dwValue);
BOOL SetMailScanDefaults();
// 1 when the year of the client's clock (UTC) lies in 1996..2037, else -1.
int IsSupportedSystemYear();
// The value name of the start-up entries ("95_RUN_KEY" of the settings file) and the quoted
// command "\"<program folder>Ksxwin97.exe\"".
CString getRunKeyValueName();
CString getQuotedRunCommand();

#endif
