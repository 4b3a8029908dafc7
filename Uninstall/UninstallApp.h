// The uninstall program's application: the switches, the single-instance and hand-over
// protocol, the password check, the temporary copy and the start of the uninstall dialog.
//
// The copy the user or the client starts (the first instance) removes nothing itself: it
// checks the product key, asks for the password, copies itself and its libraries into the
// temporary folder and starts that copy with "/Vigilon". The copy waits until the first
// instance has ended (the mutex), then runs the uninstall dialog, which may delete the program
// folder because nothing runs from it any more.
#ifndef VGL_UNINSTALLAPP_H
#define VGL_UNINSTALLAPP_H

#include <afxwin.h>

class CAppCommandLineInfo : public CCommandLineInfo
{
public:
    CAppCommandLineInfo();
    // "/" or "-" followed by NoAskPassword, Silent or Vigilon, in any case.
    virtual void ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast);
    // The switches passed on to the temporary copy: "\"/NoAskPassword\"", "\"/Silent\"", both
    // (in that order, a blank between) or empty.
    CString GetSwitchText() const;

    BOOL m_bNoAskPassword;
    BOOL m_bSilent;
    BOOL m_bCalledByItself;
};

extern CAppCommandLineInfo g_cmdInfo;

// The files the temporary copy needs beside it, in the order they are copied.
struct SUninstallCopyFiles
{
    enum { COUNT = 11 };
    // The program's own file name comes first, then its language library.
    static void Get(CStringArray& arrNames);
};

class CUninstallApp : public CWinApp
{
public:
    CUninstallApp();

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    void DoUninstall();
    BOOL CheckUninstallPassword();
    void MakeSelfCopyAndRun();
    void RunUninstallDialog();

    HANDLE m_hFirstInstanceMutex;
    HANDLE m_hSecondInstanceEvent;
    HMODULE m_hResourceDll;
    BOOL m_fMutexHeld;
    BOOL m_fInDoUninstall;      // read by the fault handler
    CString m_strTitle;

    DECLARE_MESSAGE_MAP()
};

// The program folder's log file: the program's folder + its base name + ".log".
CString getModuleLogPath();

#endif
