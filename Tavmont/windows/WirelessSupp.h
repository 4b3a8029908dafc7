// The console's tool page: installs and starts the wireless protection product and installs
// and registers its SCV plug-in, each downloaded from the server on demand.
#ifndef VGL_WIRELESSSUPP_H
#define VGL_WIRELESSSUPP_H

#include "PageMailScan.h"

extern const char g_pszAerlumeKey[];     // "Software\Kavrel\Aerlume\ApplicationPath"
extern const char g_pszScvPluginKey[];   // "SOFTWARE\CheckPoint\SecuRemote\SCV\Plugins\VgleScv\6.7"

// Starts the program and waits at most the time-out for it to end; FALSE when either text is
// NULL or the program cannot be started.
BOOL runAndWait(LPCSTR pszApplication, LPSTR pszCommandLine, DWORD dwMilliseconds);

class CWirelessSupp : public CPageMailScan
{
public:
    enum { IDD = 106 };

    explicit CWirelessSupp(CWnd* pParent);
    virtual ~CWirelessSupp();

    virtual BOOL AskYesNo(UINT nIDPrompt);
    BOOL IsAerlumeInstalled(CString* pstrInstallPath = NULL);
    BOOL IsScvPluginRegistered();
    void InstallAerlume();
    void InstallScvPlugin();
    void RegisterScvPlugin();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();

    afx_msg void OnInstallAerlume();
    afx_msg void OnScvPlugin();
    afx_msg void OnRunAerlume();
    afx_msg void OnPaint();
    DECLARE_MESSAGE_MAP()
};

#endif
