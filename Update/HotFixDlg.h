// The hot-fix dialog: stops the client, downloads the hot-fix files that the client's copies
// are older than (or takes the files the client already placed), moves them into the program
// folder and the Windows folder, removes the temporary folders, starts the client again and
// runs the cleaning program.
#ifndef VGL_HOTFIXDLG_H
#define VGL_HOTFIXDLG_H

#include "AccBuffer.h"
#include "HotFixList.h"
#include "MyHttpFile.h"
#include "WorkerDlg.h"

class CHotFixDlg : public CWorkerDlg
{
public:
    // fInternet: the files are already in "Vigilon_HotFix", nothing is downloaded;
    // pszHotFixData: the hot-fix list (NULL: none); fRestart: start the client at the end.
    CHotFixDlg(BOOL fInternet, const char* pszHotFixData, BOOL fRestart, CWnd* pParent = NULL);
    virtual ~CHotFixDlg();

    // At least one listed file other than "Alert.Msg" is missing here or older than the
    // server's copy.
    static BOOL IsHotFixNecessary(const TCHAR* pszHotFixData);
    // The copy of a listed file that the hot fix meets: a staged one first, else the program
    // folder's.
    static CString GetLocalCopy(const CString& strFileName);
    // The local copy is missing or was written before the server's time.
    static BOOL IsFileNeeded(const SHotFixFile& file);
    // "(%d) %s": the status and its text (an unknown status has no text).
    static CString FormatHttpStatus(int nStatus);
    static BOOL IsShellExtensionFile(LPCSTR pszPath) { return isShellExtensionFile(pszPath); }

    BOOL UnloadClient();
    BOOL StartDownload();
    BOOL ConnectToServer(BOOL fUseComputerName, const TCHAR* pszServer, const TCHAR* pszObject,
                         CAccBuffer& bufResult, PFN_HTTP_STATUS_CALLBACK pfInternetStatusCallback,
                         PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis,
                         CString* pstrErrorMsg);
    BOOL ConnectToServer_Try(BOOL fIntranet, const TCHAR* pszServer, const TCHAR* pszObject,
                             CAccBuffer& bufResult, PFN_HTTP_STATUS_CALLBACK pfInternetStatusCallback,
                             PFN_HTTP_CONTENT_LENGTH_CALLBACK pfContentLengthCallback, void* pvThis,
                             BOOL fDisplayErrMsg, CString* pstrErrorMsg);
    static void OnContentLength(DWORD dwLength, void* pvThis);
    static void OnInternetStatus(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwInternetStatus,
                                 LPVOID lpvStatusInformation, DWORD dwStatusInformationLength, void* pvThis);

    // The file mover (pszHotFixFolder NULL: "Vigilon_HotFix" in the temporary folder).
    BOOL StartMoveFile(const TCHAR* pszHotFixFolder);
    BOOL MoveFiles(CStringArray& strCollectedFiles, const TCHAR* pszDestDir, BOOL fDisplayProgress);
    void RemoveTempFolders();
    void RestartClient();
    void StartPGX();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void DoWork();
    void ShowBytes();
    void SetStepText(UINT nID, LPCSTR pszArgument = NULL);

    BOOL m_fInternet;
    const char* m_pszHotFixData;
    BOOL m_fRestart;
    DWORD m_dwTotalSize;
    DWORD m_dwReceived;
    BOOL m_fDownloading;
    CProgressCtrl m_barFiles;
    CProgressCtrl m_barBytes;
    CStatic m_textBytes;
    CStatic m_textStep;
};

#endif
