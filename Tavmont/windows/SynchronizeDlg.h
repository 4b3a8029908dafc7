// Brings the client up to date with the server (or the Internet source) under a progress
// display.
#ifndef VGL_SYNCHRONIZEDLG_H
#define VGL_SYNCHRONIZEDLG_H

#include <afxwin.h>
#include <afxcmn.h>
#include <afxmt.h>

#include "MyHttpFile.h"
#include "Notification.h"

class CTavmontDlg;
class CSynchronizeContext;

// The operations the worker runs; tests put others in their place.
struct SSynchronizeOperations
{
    BOOL (*pfnUpdateOPPSetting)(BOOL fIntranet, BOOL fDisplayErrMsg, BOOL fApply, BOOL* pfFetched);
    BOOL (*pfnUpdateGlobalSettingsEx)(CTavmontDlg* pMainWnd, BOOL, BOOL, BOOL fIntranet, BOOL fDisplayErrMsg,
                                      PFN_PHASE_BEGIN, PFN_PHASE_END, PFN_PHASE_CANCEL, PFN_PHASE_COUNT, void*);
    BOOL (*pfnUpdateNewSettings)(CTavmontDlg* pMainWnd, BOOL, BOOL, BOOL fIntranet, BOOL fDisplayErrMsg,
                                 PFN_PHASE_BEGIN, PFN_PHASE_END, PFN_PHASE_CANCEL, PFN_PHASE_COUNT, LPVOID);
    BOOL (*pfnDirectUpdatePatternEngine)(CTavmontDlg* pMainWnd, BOOL fIntranet, BOOL fDisplayErrMsg,
                                         PFN_PHASE_BEGIN, PFN_PHASE_END, PFN_PHASE_CANCEL, void*);
    BOOL (*pfnSendStatusLogNow)(const CTime& time, int nType, const char* pszText, BOOL fIntranet,
                                BOOL fDisplayErrMsg, PFN_PHASE_BEGIN, PFN_PHASE_END, PFN_PHASE_CANCEL,
                                PFN_PHASE_COUNT, LPVOID, const NS_Notification::SServerAddress* pServer);

    SSynchronizeOperations();       // the real ones
};

class CSynchronizeDlg : public CDialog
{
public:
    enum { IDD = 295 };
    enum { WM_SYNCHRONIZE_COMPLETE = WM_USER + 1 };
    // How long Cancel waits for the worker to give up.
    enum { CANCEL_WAIT_MS = 10000 };

    explicit CSynchronizeDlg(CWnd* pParent = NULL);
    virtual ~CSynchronizeDlg();

    // After IDOK: whether the synchronisation succeeded, or was cancelled by the user.
    BOOL IsSucceeded() const { return m_fSuccess; }
    BOOL IsCancelled() const { return m_fCancelled; }

    // NULL restores the real operations.
    static void SetOperations(const SSynchronizeOperations* pOperations);

    // Callbacks of the update operations and of the HTTP transfers; the context is the
    // worker's shared context, never the dialog itself.
    static void OnPhaseBegin(int nCode, LPVOID pvContext);
    static void OnPhaseEnd(int nCode, LPVOID pvContext);
    static void OnPhaseCount(int nCode, int nDone, int nTotal, LPVOID pvContext);
    static BOOL IsCancelled(LPVOID pvContext);
    static void OnContentLength(DWORD dwSize, LPVOID pvContext);
    static void OnInternetStatus(HINTERNET hSession, DWORD_PTR dwFlag, DWORD dwStatus, LPVOID pvInformation,
                                 DWORD dwLength, LPVOID pvContext);

    // The display, as the callbacks change it (dialog attached).
    void PhaseBegin(int nCode);
    void PhaseEnd(int nCode);
    void PhaseCount(int nCode, int nDone, int nTotal);
    void ContentLength(DWORD dwSize);
    void InternetStatus(BOOL fAdd, DWORD dwStatus, LPVOID pvInformation, DWORD dwLength);
    void UpdateProgress();
    BOOL IsDownloadPhase() const;

    CEvent m_eventCancel;           // set by Cancel
    BOOL m_fSuccess;
    BOOL m_fHasEnded;
    BOOL m_fCancelled;
    CWinThread* m_pThread;
    HANDLE m_hThread;               // our own handle of the worker (the thread object deletes itself)
    int m_nPhase;
    DWORD m_dwTotal;
    DWORD m_dwReceived;
    BOOL m_fDownloading;
    CTime m_tStart;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    afx_msg LRESULT OnSynchronizeComplete(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    friend class CSynchronizeContext;
    static UINT SynchronizeThread(LPVOID pvContext);
    static BOOL SynchronizeThreadThis(CSynchronizeContext* pContext);

    // Ends the worker's use of this dialog: its callbacks do nothing from then on.
    void Detach();

    BOOL m_fCancelling;
    CSynchronizeContext* m_pContext;
};

#endif
