// The on-demand scan's progress dialog, its two walker threads and the finding workers.
#include "ScanFilesDlg.h"

#include <comdef.h>
#include <process.h>

#include "CommonScanINI.h"
#include "IOMonitorDlg.h"
#include "LogTracker.h"
#include "Misutils.h"
#include "Quarantine.h"
#include "SplashDlg.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "TreeDirCtrl.h"
#include "Vexor.h"
#include "resource_ids.h"
#include "threadutils.h"

DWORD g_dwScanVirusWaitMs = 60000;
DWORD g_dwScanEngineWaitMs = 60000;
HWND g_hwndScanFiles = NULL;
volatile LONG g_nCountingDone = 0, g_nProgressTicks = 0, g_nProgressGuess = 0;
volatile LONG g_nScanWorkers = 0;

namespace
{
const char s_szSemaphore[] = "CallBackSemaphore_ScanFile";
HANDLE g_hScanSemaphore = NULL;
CCommonScanINI* volatile g_pScanSettings = NULL;
CVexorVXD* volatile g_pScanVexor = NULL;
volatile PFN_SCAN_VIRUS_FOUND g_pfnScanVirusFound = NULL;

CString Upper(CString str)
{
    str.MakeUpper();
    return str;
}

BOOL Contains(const CString& strText, const CString& strPattern)
{
    return !strPattern.IsEmpty() && strText.Find(Upper(strPattern)) >= 0;
}

CString LoadText(UINT nID, LPCSTR pszDefault)
{
    CString str;
    if (!str.LoadString(nID))
        str = pszDefault;
    return str;
}

void __cdecl ScanVirusWorkerThread(void* pv)
{
    IOT_EVENT* pEvent = (IOT_EVENT*)pv;
    CCommonScanINI* pSettings = g_pScanSettings;
    CVexorVXD* pVexor = g_pScanVexor;
    PFN_SCAN_VIRUS_FOUND pfnFound = g_pfnScanVirusFound;
    BOOL fReleased = FALSE;
    try
    {
        NS_ScanWalk::CompleteVirusActions(pEvent, pSettings, pVexor);
        if (pfnFound != NULL && pSettings != NULL)
        {
            fReleased = TRUE;
            pfnFound(pEvent, pSettings, TRUE, TRUE);
        }
    }
    catch (...)
    {
        VGLTRACE(13, "G.P.F in ScanVirusWorkerThread");
    }
    if (!fReleased && pVexor != NULL)
        pVexor->ReleaseEvent(pEvent);
    if (g_hScanSemaphore != NULL)
        ::ReleaseSemaphore(g_hScanSemaphore, 1, NULL);
    InterlockedDecrement(&g_nScanWorkers);
}
}

void NS_ScanWalk::WaitForScanWorkers(DWORD dwTimeout)
{
    DWORD dwStart = ::GetTickCount();
    BOOL fQuit = FALSE;
    WPARAM nExitCode = 0;
    while (g_nScanWorkers > 0 && ::GetTickCount() - dwStart < dwTimeout)
    {
        MSG msg;
        while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        {
            // The program's end is kept for the message loop that waits for it.
            if (msg.message == WM_QUIT)
            {
                fQuit = TRUE;
                nExitCode = msg.wParam;
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
    if (fQuit)
        ::PostQuitMessage((int)nExitCode);
}

// ---------------------------------------------------------------- the walk's texts

CString NS_ScanWalk::BuildExtensionText(LPCSTR pszExtList, CStringArray* pExtensions)
{
    pExtensions->RemoveAll();
    CString strList = pszExtList ? pszExtList : "";
    if (strList.Find(".*") >= 0)
        return "";
    CString strText;
    int nStart = 0;
    while (nStart <= strList.GetLength())
    {
        int nDot = strList.Find('.', nStart);
        CString strExt = (nDot < 0 ? strList.Mid(nStart) : strList.Mid(nStart, nDot - nStart));
        strExt.TrimLeft();
        strExt.TrimRight();
        if (!strExt.IsEmpty())
        {
            strExt.MakeUpper();
            pExtensions->Add(strExt);
            strText += " " + strExt + " ";
        }
        if (nDot < 0)
            break;
        nStart = nDot + 1;
    }
    return strText;
}

CString NS_ScanWalk::BuildExcludedNamesText(const CStringArray& arrNames)
{
    CString strText;
    for (int i = 0; i < arrNames.GetSize(); ++i)
        strText += arrNames[i] + " ";
    strText.MakeUpper();
    return strText;
}

CString NS_ScanWalk::BuildExcludedFoldersText(const CStringArray& arrFolders)
{
    CString strText;
    for (int i = 0; i < arrFolders.GetSize(); ++i)
    {
        if (arrFolders[i].IsEmpty())
            continue;
        CString strFolder = arrFolders[i];
        // One closing backslash whatever the entry ends with.
        while (strFolder.GetLength() > 1 && strFolder[strFolder.GetLength() - 1] == '\\')
            strFolder = strFolder.Left(strFolder.GetLength() - 1);
        strText += joinPath(strFolder, "") + "\\ ";
    }
    strText.Replace("\\\\ ", "\\ ");
    strText.MakeUpper();
    return strText;
}

BOOL NS_ScanWalk::IsInExcludedFolder(const CString& strExcludedFolders, LPCSTR pszFolder)
{
    if (strExcludedFolders.IsEmpty() || pszFolder == NULL)
        return FALSE;
    CString strFolder = pszFolder;
    // The folder and each folder above it, down to the drive's root, closed by "\ ".
    CString strPath = strFolder;
    if (strPath.IsEmpty() || strPath[strPath.GetLength() - 1] != '\\')
        strPath += "\\";
    for (;;)
    {
        if (Contains(strExcludedFolders, strPath + " "))
            return TRUE;
        int nSlash = strPath.Left(strPath.GetLength() - 1).ReverseFind('\\');
        if (nSlash < 0)
            return FALSE;
        strPath = strPath.Left(nSlash + 1);
    }
}

BOOL NS_ScanWalk::IsFileToScan(LPCSTR pszName, BOOL fExtensionFilter, const CString& strExtensions,
                               const CString& strExcludedNames)
{
    CString strName = pszName ? pszName : "";
    if (fExtensionFilter)
    {
        int nDot = strName.ReverseFind('.');
        if (nDot < 0 || nDot == strName.GetLength() - 1)
            return FALSE;
        if (!Contains(strExtensions, " " + strName.Mid(nDot + 1) + " "))
            return FALSE;
    }
    // Whole names only: the text holds " " + name + " " for every excluded name.
    return strExcludedNames.IsEmpty() || !Contains(" " + strExcludedNames, " " + strName + " ");
}

BOOL NS_ScanWalk::IsHostRootDrive(char chDrive)
{
    char sz[16];
    wsprintfA(sz, "%c:\\proc\\self", chDrive);
    return ::GetFileAttributesA(sz) != INVALID_FILE_ATTRIBUTES;
}

int NS_ScanWalk::ClassifyScanResult(int nResult)
{
    if (nResult < 0)
        return SCAN_INFECTED;
    return nResult == 0 ? SCAN_CLEAN : SCAN_ERROR;
}

void NS_ScanWalk::CompleteVirusActions(IOT_EVENT* pEvent, CCommonScanINI* pSettings, CVexorVXD* pVexor)
{
    if (pEvent == NULL)
        return;
    CIOMonitorDlg::EncodeLeftFile(pEvent, pVexor);
    if (pSettings == NULL)
        return;
    CString strMoved = pEvent->pszMovedFile ? pEvent->pszMovedFile : "";
    if (pEvent->nFirstAction == VEXOR_ACTION_MOVE && pEvent->nFirstResult)
    {
        VGLTRACE(3, "Virus first action move to SUSPECT folder:%s", (LPCSTR)strMoved);
        CString strDestination =
            pSettings->IsActiveAction() ? pSettings->m_strCleanFailedMoveDir : pSettings->m_strMoveDir;
        pEvent->nFirstResult = QuarantineFile(strMoved, strDestination) & 0xFF;
    }
    else if (pEvent->nFirstAction == VEXOR_ACTION_CLEAN && !pEvent->nFirstResult &&
             pEvent->nSecondAction == VEXOR_ACTION_MOVE && pEvent->nSecondResult)
    {
        VGLTRACE(3, "Virus second action move to SUSPECT folder:%s", (LPCSTR)strMoved);
        pEvent->nSecondResult = QuarantineFile(strMoved, pSettings->m_strCleanFailedMoveDir) & 0xFF;
    }
}

// ---------------------------------------------------------------- engine callback

void FoundFileVirusCallBack(LPVOID pvEvent)
{
    IOT_EVENT* pEvent = (IOT_EVENT*)pvEvent;
    if (pEvent == NULL)
        return;
    if (pEvent->nKind != IOT_EVENT_VIRUS)
    {
        if (CVexorVXD* pVexor = g_pScanVexor)
            pVexor->ReleaseEvent(pEvent);
        return;
    }
    VGLTRACE(3, "==> FoundFileVirusCallBack");
    if (g_hScanSemaphore == NULL)
    {
        g_hScanSemaphore = ::CreateSemaphoreA(NULL, 1, 1, s_szSemaphore);
        if (g_hScanSemaphore == NULL)
            VGLTRACE(12, "CallBackSemaphore_ScanFile error=%d", (int)::GetLastError());
    }
    VGLTRACE(3, "WaitForSingleObject \"CallBackSemaphore_ScanFile\"...");
    // One worker at a time; a worker that takes too long does not cost the next finding.
    DWORD dwWait = g_hScanSemaphore != NULL ? ::WaitForSingleObject(g_hScanSemaphore, g_dwScanVirusWaitMs) : WAIT_FAILED;
    if (dwWait == WAIT_OBJECT_0)
        VGLTRACE(3, "FoundFileVirusCallBack has been Locked");
    else
        VGLTRACE(12, "FoundFileVirusCallBack: no lock after %lu ms (%lu), handled all the same",
                 (unsigned long)g_dwScanVirusWaitMs, (unsigned long)dwWait);
    InterlockedIncrement(&g_nScanWorkers);
    if (_beginthread(ScanVirusWorkerThread, 0, pEvent) == (uintptr_t)-1)
    {
        VGLTRACE(12, "FoundFileVirusCallBack: the worker cannot be started; handled here");
        InterlockedDecrement(&g_nScanWorkers);
        InterlockedIncrement(&g_nScanWorkers);
        ScanVirusWorkerThread(pEvent);
    }
    VGLTRACE(3, "<== FoundFileVirusCallBack");
}

int ShowScanFilesDlg(int nCmdShow)
{
    HWND hWnd = g_hwndScanFiles;
    if (hWnd == NULL || !::IsWindow(hWnd))
        return 0;
    if (nCmdShow == SW_HIDE)
    {
        ::SetWindowPos(hWnd, NULL, 10000, 10000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(hWnd, SW_HIDE);
        return 1;
    }
    if (nCmdShow == SW_SHOWNORMAL || nCmdShow == SW_SHOW)
    {
        RECT rc;
        ::GetWindowRect(hWnd, &rc);
        if (rc.left >= 10000)
        {
            int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
            ::SetWindowPos(hWnd, NULL, (cx - (rc.right - rc.left)) / 2, (cy - (rc.bottom - rc.top)) / 2, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER);
        }
        ::ShowWindow(hWnd, nCmdShow);
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- the dialog

BEGIN_MESSAGE_MAP(CScanFilesDlg, CDialog)
    ON_WM_CREATE()
    ON_WM_DESTROY()
    ON_WM_TIMER()
    ON_WM_SYSCOMMAND()
    ON_BN_CLICKED(IDC_SCAN_STOP, OnButtonStop)
    ON_BN_CLICKED(IDC_SCAN_PAUSE, OnButtonPause)
    ON_MESSAGE(WM_SCAN_THREAD, OnScanThreadStop)
    ON_MESSAGE(WM_SCAN_SHOW_TEXTS, OnShowTexts)
    ON_MESSAGE(WM_SCAN_SHOW_ERROR, OnShowError)
END_MESSAGE_MAP()

CScanFilesDlg::CScanFilesDlg(CDIB* pDIB, CPalette* pPalette, CCommonScanINI* pSettings, CTreeDirCtrl* pTree,
                             CVexorVXD* pVexor, const SScanCallbacks& callbacks, LPCSTR pszExtList,
                             const CStringArray& arrExcludedNames, const CStringArray& arrExcludedFolders,
                             CFlagEvent* pStopEvent, CFlagEvent* pEndedEvent, CCriticalSection* pInteractive,
                             BOOL fVisible, CWnd* pParent)
    : CDialog(IDD, pParent), m_pDIB(pDIB), m_pPalette(pPalette), m_pTree(pTree), m_fDroppedForm(FALSE),
      m_pExternalStopEvent(pStopEvent), m_pEndedEvent(pEndedEvent), m_pInteractive(pInteractive), m_fVisible(fVisible)
{
    Init(pSettings, pVexor, callbacks, arrExcludedNames, arrExcludedFolders);
    m_strExtensions = NS_ScanWalk::BuildExtensionText(pszExtList, &m_arrExtensions);
    m_nAnimFrame = 6;
}

CScanFilesDlg::CScanFilesDlg(CDIB* pDIB, CPalette* pPalette, CCommonScanINI* pSettings, CTreeDirCtrl* pTree,
                             CVexorVXD* pVexor, const SScanCallbacks& callbacks, const CStringArray& arrFolders,
                             const CStringArray& arrFiles, const CStringArray& arrExcludedNames,
                             const CStringArray& arrExcludedFolders, CFlagEvent* pStopEvent,
                             CFlagEvent* pEndedEvent, CCriticalSection* pInteractive, BOOL fVisible, CWnd* pParent)
    : CDialog(IDD, pParent), m_pDIB(pDIB), m_pPalette(pPalette), m_pTree(pTree), m_fDroppedForm(TRUE),
      m_pExternalStopEvent(pStopEvent), m_pEndedEvent(pEndedEvent), m_pInteractive(pInteractive), m_fVisible(fVisible)
{
    Init(pSettings, pVexor, callbacks, arrExcludedNames, arrExcludedFolders);
    m_arrDroppedFolders.Copy(arrFolders);
    m_arrDroppedFiles.Copy(arrFiles);
    m_nAnimFrame = 10;
}

void CScanFilesDlg::Init(CCommonScanINI* pSettings, CVexorVXD* pVexor, const SScanCallbacks& callbacks,
                         const CStringArray& arrExcludedNames, const CStringArray& arrExcludedFolders)
{
    m_pSettings = pSettings;
    m_pVexor = pVexor;
    m_callbacks = callbacks;
    m_strExcludedNames = NS_ScanWalk::BuildExcludedNamesText(arrExcludedNames);
    m_strExcludedFolders = NS_ScanWalk::BuildExcludedFoldersText(arrExcludedFolders);
    m_nVirusTotal = 0;
    m_nScanErrors = 0;
    m_fScanSuccess = FALSE;
    m_fEngineLost = FALSE;
    m_nFilesCounted = m_nFilesScanned = 0;
    m_nState = 0;
    m_fScanning = TRUE;
    m_fCleanedUp = FALSE;
    m_hCountingThread = m_hScanningThread = NULL;
    m_uTimer = 0;
    m_nAnimFrame = 0;
    m_pAnimation = NULL;
    m_fTextsPosted = 0;
    g_pScanSettings = pSettings;
    g_pScanVexor = pVexor;
    g_pfnScanVirusFound = callbacks.pfnVirusFound;
}

CScanFilesDlg::~CScanFilesDlg()
{
    delete m_pAnimation;
    if (m_hCountingThread != NULL)
        ::CloseHandle(m_hCountingThread);
    if (m_hScanningThread != NULL)
        ::CloseHandle(m_hScanningThread);
}

int CScanFilesDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (g_hwndScanFiles != NULL && ::IsWindow(g_hwndScanFiles))
    {
        if (m_pExternalStopEvent == NULL)
            return -1;
        VGLTRACE(3, "Re-entering CScanFilesDlg, Send WM_SCAN_THREAD");
        ::SendMessageA(g_hwndScanFiles, WM_SCAN_THREAD, 0, 0);
    }
    if (CDialog::OnCreate(lpCreateStruct) == -1)
        return -1;
    g_hwndScanFiles = m_hWnd;
    return 0;
}

BOOL CScanFilesDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CenterWindow(GetDesktopWindow());
    if (!m_pVexor->RegisterScanCallback(FoundFileVirusCallBack, (LPVOID)m_hWnd))
    {
        ::MessageBoxA(m_hWnd, LoadText(IDS_SCAN_CALLBACK_FAILED, "The scan cannot start."),
                      LoadText(IDS_MESSAGE_CAPTION, "Vigilon"), MB_OK | MB_ICONSTOP);
        OnButtonStop();
        return TRUE;
    }
    m_progress.Attach(::GetDlgItem(m_hWnd, IDC_SCAN_PROGRESS));
    m_progress.SetRange(0, 100);
    if (!m_fDroppedForm && m_pTree != NULL && m_pTree->m_hWnd != NULL)
        m_pTree->GetCheckedPaths(m_arrPaths);
    m_uTimer = SetTimer(1, 1000, NULL);
    m_pAnimation = new CAnimationIcon(m_pDIB, m_pPalette, 2, IDI_SCAN_ANIMATION_FIRST, m_nAnimFrame, 200);
    if (m_pAnimation->SubclassDlgItem(IDC_SCAN_ANIMATION, this))
        m_pAnimation->StartAnimation();
    m_eventKillThread.SetSignaled(FALSE);
    if (m_callbacks.pfnReset)
        m_callbacks.pfnReset();
    InterlockedExchange(&g_nCountingDone, 0);
    InterlockedExchange(&g_nProgressTicks, 0);
    InterlockedExchange(&g_nProgressGuess, 0);
    unsigned uID = 0;
    m_hCountingThread = (HANDLE)_beginthreadex(NULL, 0, CountingFilesThread, this, 0, &uID);
    VGLTRACE(3, "m_hCountingThread(0x%p)", m_hCountingThread);
    m_hScanningThread = (HANDLE)_beginthreadex(NULL, 0, ScanningFilesThread, this, 0, &uID);
    VGLTRACE(3, "m_hScanningThread(0x%p)", m_hScanningThread);
    if (m_hScanningThread == NULL)
    {
        OnButtonStop();
        return TRUE;
    }
    if (!m_fVisible)
    {
        ModifyStyle(WS_POPUP, WS_CHILD);
        ShowWindow(SW_HIDE);
        SetWindowPos(NULL, 10000, 10000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    m_timeStart = m_timeEnd = CTime::GetCurrentTime();
    if (m_callbacks.pfnElapsed)
    {
        CTimeSpan span(0);
        m_callbacks.pfnElapsed(&span);
    }
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SCAN_STOP), TRUE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SCAN_PAUSE), TRUE);
    ::SetFocus(::GetDlgItem(m_hWnd, IDC_SCAN_PAUSE));
    return FALSE;
}

void CScanFilesDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    UINT nCmd = nID & 0xFFF0;
    if ((nCmd == SC_MINIMIZE || nCmd == SC_RESTORE) && AfxGetMainWnd() != NULL && AfxGetMainWnd()->m_hWnd != NULL)
        AfxGetMainWnd()->ShowWindow(nCmd == SC_MINIMIZE ? SW_MINIMIZE : SW_RESTORE);
    CDialog::OnSysCommand(nID, lParam);
}

BOOL CScanFilesDlg::IsStopRequested() const
{
    return m_eventKillThread.IsSignaled() || (m_pExternalStopEvent != NULL && m_pExternalStopEvent->IsSignaled());
}

void CScanFilesDlg::ShowText(int nID, LPCSTR pszText)
{
    if (m_hWnd == NULL || !m_fVisible)
        return;
    {
        CSingleLock lock(&m_csTexts, TRUE);
        (nID == IDC_SCAN_FOLDER ? m_strFolderText : m_strFileText) = pszText;
    }
    // One refresh waits at a time; it shows the newest texts.
    if (InterlockedExchange(&m_fTextsPosted, 1) == 0 && !::PostMessageA(m_hWnd, WM_SCAN_SHOW_TEXTS, 0, 0))
        InterlockedExchange(&m_fTextsPosted, 0);
}

LRESULT CScanFilesDlg::OnShowTexts(WPARAM, LPARAM)
{
    InterlockedExchange(&m_fTextsPosted, 0);
    CString strFolder, strFile;
    {
        CSingleLock lock(&m_csTexts, TRUE);
        strFolder = m_strFolderText;
        strFile = m_strFileText;
    }
    SetDlgItemText(IDC_SCAN_FOLDER, strFolder);
    SetDlgItemText(IDC_SCAN_FILE, strFile);
    return 0;
}

BOOL CScanFilesDlg::ScanOneFile(const CString& strPath)
{
    for (;;)
    {
        int nResult = m_pVexor->ScanFile(strPath, 0);
        DWORD dwError = ::GetLastError();
        int nClass = NS_ScanWalk::ClassifyScanResult(nResult);
        if (nClass == NS_ScanWalk::SCAN_ERROR && dwError == IOT_ERR_NOT_OPEN)
        {
            // Not this file's fault: the engine is being replaced (or was stopped) and forgot the
            // scan. The file is scanned again once the engine runs again.
            VGLTRACE(10, "The engine is gone under the scan at %s", (LPCSTR)strPath);
            if (!WaitForEngine())
                return FALSE;
            continue;
        }
        switch (nClass)
        {
        case NS_ScanWalk::SCAN_INFECTED:
            InterlockedIncrement(&m_nVirusTotal);
            break;
        case NS_ScanWalk::SCAN_ERROR:
            InterlockedIncrement(&m_nScanErrors);
            VGLTRACE(10, "Scan error %lu: %s", (unsigned long)dwError, (LPCSTR)strPath);
            break;
        }
        if (m_callbacks.pfnFileScanned)
            m_callbacks.pfnFileScanned();
        return TRUE;
    }
}

BOOL CScanFilesDlg::WaitForEngine()
{
    DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        if (IsStopRequested() || m_nState == 2)
            return FALSE;
        // Ready again: the scan takes the engine's scan callback back.
        if (m_pVexor->IsReady() && m_pVexor->RegisterScanCallback(FoundFileVirusCallBack, (LPVOID)m_hWnd))
        {
            VGLTRACE(3, "The engine runs again: the scan goes on");
            return TRUE;
        }
        if (::GetTickCount() - dwStart >= g_dwScanEngineWaitMs)
        {
            VGLTRACE(12, "The engine did not come back within %lu ms: the scan ends not completed",
                     (unsigned long)g_dwScanEngineWaitMs);
            m_fEngineLost = TRUE;
            return FALSE;
        }
        ::Sleep(100);
    }
}

void CScanFilesDlg::FindFilesWithAction(BOOL& rfTerminated, const CString& strDir, BOOL fExtensionScan, BOOL fScanFile)
{
    if (IsStopRequested())
        rfTerminated = TRUE;
    if (rfTerminated)
        return;
    if (!m_strExcludedFolders.IsEmpty() && Contains(m_strExcludedFolders, joinPath(strDir, "") + "\\ "))
        return;
    CString strFolder = strDir;
    if (!strFolder.IsEmpty() && strFolder[strFolder.GetLength() - 1] == '\\')
        strFolder = strFolder.Left(strFolder.GetLength() - 1);
    if (fScanFile)
    {
        ShowText(IDC_SCAN_FOLDER, strDir);
        ShowText(IDC_SCAN_FILE, "");
    }
    WIN32_FIND_DATAA fd;
    HANDLE hFind = ::FindFirstFileA(strFolder + "\\*.*", &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    try
    {
        do
        {
            for (;;)
            {
                if (m_nState == 2)
                    rfTerminated = TRUE;
                else if (m_nState == 1 && !IsStopRequested())
                {
                    ::Sleep(10);
                    continue;
                }
                else if (IsStopRequested())
                    rfTerminated = TRUE;
                break;
            }
            if (rfTerminated)
                break;
            CString strName = fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            {
                int n = strName.GetLength();
                if (strName == "." || (n == 2 && (strName[0] == '.' || strName[1] == '.')))
                    continue;
                FindFilesWithAction(rfTerminated, strFolder + "\\" + strName, fExtensionScan, fScanFile);
                continue;
            }
            if (!NS_ScanWalk::IsFileToScan(strName, fExtensionScan, m_strExtensions, m_strExcludedNames))
                continue;
            if (!fScanFile)
            {
                InterlockedIncrement(&m_nFilesCounted);
                continue;
            }
            ShowText(IDC_SCAN_FILE, strName);
            if (!ScanOneFile(strFolder + "\\" + strName))
            {
                rfTerminated = TRUE;
                break;
            }
            InterlockedIncrement(&m_nFilesScanned);
        } while (!rfTerminated && ::FindNextFileA(hFind, &fd));
    }
    catch (CSystemError& e)
    {
        VGLTRACE(10, "CSystemError = %s", (LPCSTR)e.ToString());
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F = %s", (LPCSTR)LoadText(IDS_UNKNOWN_EXCEPTION, "the walk of a folder failed"));
    }
    ::FindClose(hFind);
}

void CScanFilesDlg::ScanningFolderIfNecessary(BOOL& rfTerminated, const char* pszCurrentPath, BOOL fExtensionScan)
{
    if (rfTerminated)
        return;
    VGLTRACE(1, "--> ScanningFolderIfNecessary(%s)", pszCurrentPath);
    if (NS_ScanWalk::IsInExcludedFolder(m_strExcludedFolders, pszCurrentPath))
        VGLTRACE(3, "%s lies in an excluded folder", pszCurrentPath);
    else if (lstrlenA(pszCurrentPath) <= 3 && pszCurrentPath[0] && pszCurrentPath[1] == ':' &&
             NS_ScanWalk::IsHostRootDrive(pszCurrentPath[0]))
        VGLTRACE(3, "%s is the host's file system: not walked", pszCurrentPath);
    else
        FindFilesWithAction(rfTerminated, pszCurrentPath, fExtensionScan, TRUE);
    VGLTRACE(2, "<-- ScanningFolderIfNecessary(%s)", pszCurrentPath);
}

void CScanFilesDlg::ReportBootVirus(char chDrive, UINT uDriveType, BOOL fBootSector, const BPMINFO& info)
{
    // The engine's name field is not always terminated.
    char szVirus[sizeof info.szVirusName + 1];
    lstrcpynA(szVirus, info.szVirusName, sizeof szVirus);
    int nAction = m_pSettings->GetVirusFoundEngineAction() == VEXOR_ACTION_CLEAN ? VEXOR_ACTION_CLEAN : 0;
    if (uDriveType != DRIVE_REMOVABLE)
        nAction = 0;
    else if (m_pInteractive != NULL)
    {
        CString strAsk;
        strAsk.Format(LoadText(IDS_BOOT_VIRUS_ASK, "Detect boot virus in %C:. %s\n Do you clean it?"), chDrive, szVirus);
        nAction = ::MessageBoxA(m_hWnd, strAsk, LoadText(IDS_MESSAGE_CAPTION, "Vigilon"), MB_YESNO | MB_ICONQUESTION) == IDYES
                      ? VEXOR_ACTION_CLEAN
                      : 0;
    }
    BOOL fClean = nAction == VEXOR_ACTION_CLEAN;
    // Where drive A: is a fixed disk a boot sector is never cleaned.
    int nCleanResult = 1;
    if (fClean && fBootSector && g_nDriveALayout != 1 && g_nDriveALayout != 2)
    {
        BPMINFO copy = info;
        nCleanResult = m_pVexor->CleanBPVirus(chDrive, &copy);
    }
    int nStatus = CIOMonitorDlg::BootFirstStatus(g_nDriveALayout, fBootSector, fClean, nCleanResult);
    CString strDrive, strPath;
    strDrive.Format(LoadText(IDS_BOOT_DRIVE, "Drive %C:"), chDrive);
    strPath.Format("%s (%s)", (LPCSTR)strDrive,
                   (LPCSTR)LoadText(fBootSector ? IDS_BOOT_SECTOR : IDS_PARTITION_TABLE,
                                    fBootSector ? "boot sector" : "partition table"));
    if (m_callbacks.pfnVirusFound == NULL)
        return;
    IOT_EVENT ev;
    memset(&ev, 0, sizeof ev);
    ev.nKind = IOT_EVENT_VIRUS;
    ev.pszFile = strPath.GetBuffer(0);
    ev.pszVirus = szVirus;
    ev.pszMovedFile = (LPSTR) "";
    ev.nFirstAction = nAction;
    ev.nFirstResult = nStatus;
    ev.nSecondResult = 1;
    m_callbacks.pfnVirusFound(&ev, m_pSettings, FALSE, FALSE);
    strPath.ReleaseBuffer();
}

void CScanFilesDlg::ScanBootArea(const CString& strFolder)
{
    if (strFolder.GetLength() < 2 || strFolder[1] != ':')
        return;
    CString strDir = strFolder.Mid(2);
    if (strDir != LoadText(IDS_DRIVE_ROOT, "\\"))
        return;
    char chDrive = (char)toupper((unsigned char)strFolder[0]);
    char szRoot[4] = {chDrive, ':', '\\', 0};
    UINT uType = ::GetDriveTypeA(szRoot);
    if (uType != DRIVE_REMOVABLE && uType != DRIVE_FIXED && uType != DRIVE_CDROM && uType != DRIVE_RAMDISK)
        return;
    BPMINFO info;
    memset(&info, 0, sizeof info);
    if (m_pVexor->ScanBootSector(chDrive, &info))
        ReportBootVirus(chDrive, uType, TRUE, info);
    if (m_pInteractive != NULL && (uType == DRIVE_REMOVABLE || uType == DRIVE_CDROM) &&
        ::GetFileAttributesA(strFolder + ".") == INVALID_FILE_ATTRIBUTES)
    {
        CString strText;
        strText.Format(LoadText(IDS_DRIVE_NOT_READY, "Can not ready %C: drive"), chDrive);
        ::MessageBoxA(m_hWnd, strText, LoadText(IDS_MESSAGE_CAPTION, "Vigilon"), MB_OK | MB_ICONEXCLAMATION);
        memset(&info, 0, sizeof info);
        if (m_pVexor->ScanBootSector(chDrive, &info))
            ReportBootVirus(chDrive, uType, TRUE, info);
    }
    if (uType == DRIVE_FIXED)
    {
        memset(&info, 0, sizeof info);
        if (m_pVexor->ScanPartition(chDrive, &info))
            ReportBootVirus(chDrive, uType, FALSE, info);
    }
}

void CScanFilesDlg::ScanMemoryIfAsked()
{
    if (!m_pSettings->m_fScanMemory)
        return;
    BPMINFO info;
    memset(&info, 0, sizeof info);
    if (!m_pVexor->ScanMemory(&info) || m_callbacks.pfnVirusFound == NULL)
        return;
    CString strPath = LoadText(IDS_MEMORY, "Memory");
    char szVirus[sizeof info.szVirusName + 1];
    lstrcpynA(szVirus, info.szVirusName, sizeof szVirus);
    IOT_EVENT ev;
    memset(&ev, 0, sizeof ev);
    ev.nKind = IOT_EVENT_VIRUS;
    ev.pszFile = strPath.GetBuffer(0);
    ev.pszVirus = szVirus;
    ev.pszMovedFile = (LPSTR) "";
    ev.nFirstResult = 1;
    m_callbacks.pfnVirusFound(&ev, m_pSettings, FALSE, FALSE);
    strPath.ReleaseBuffer();
}

BOOL CScanFilesDlg::ScanAll()
{
    BOOL fTerminated = FALSE;
    InterlockedExchange(&m_nFilesScanned, 0);
    m_fScanSuccess = TRUE;
    ScanMemoryIfAsked();
    BOOL fFilter = m_fDroppedForm ? FALSE : m_arrExtensions.GetSize() > 0;
    const CStringArray& arrFolders = m_fDroppedForm ? m_arrDroppedFolders : m_arrPaths;
    for (int i = 0; i < arrFolders.GetSize() && !fTerminated; ++i)
    {
        if (m_pSettings->m_fScanBoot)
            ScanBootArea(arrFolders[i]);
        ScanningFolderIfNecessary(fTerminated, arrFolders[i], fFilter);
    }
    for (int i = 0; m_fDroppedForm && i < m_arrDroppedFiles.GetSize() && !fTerminated; ++i)
    {
        CString strPath = m_arrDroppedFiles[i];
        int nSlash = strPath.ReverseFind('\\');
        CString strName = strPath.Mid(nSlash + 1);
        if (NS_ScanWalk::IsFileToScan(strName, FALSE, m_strExtensions, m_strExcludedNames))
        {
            ShowText(IDC_SCAN_FOLDER, strPath.Left(nSlash + 1));
            ShowText(IDC_SCAN_FILE, strName);
            if (!ScanOneFile(strPath))
            {
                fTerminated = TRUE;
                break;
            }
        }
        InterlockedIncrement(&m_nFilesScanned);
        if (IsStopRequested())
            fTerminated = TRUE;
    }
    VGLTRACE(3, "fTerminated(%d), m_fScanSuccess(%d), scan errors %ld, engine lost %d", fTerminated, m_fScanSuccess,
             (long)m_nScanErrors, m_fEngineLost);
    if (fTerminated)
        m_fScanSuccess = FALSE;
    return !fTerminated;
}

unsigned __stdcall CScanFilesDlg::CountingFilesThread(void* pv)
{
    ((CScanFilesDlg*)pv)->RunCounting();
    return 0;
}

void CScanFilesDlg::RunCounting()
{
    try
    {
        CountAll();
    }
    catch (CSystemError& e)
    {
        VGLTRACE(10, "CSystemError = %s", (LPCSTR)e.ToString());
        ShowThreadError(e.GetErrorMessage());
    }
    catch (_com_error& e)
    {
        VGLTRACE(10, "_com_error = %s", e.ErrorMessage());
        ShowThreadError(e.ErrorMessage());
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F");
    }
    InterlockedIncrement(&g_nCountingDone);
}

void CScanFilesDlg::CountAll()
{
    BOOL fTerminated = FALSE;
    BOOL fFilter = m_fDroppedForm ? FALSE : m_arrExtensions.GetSize() > 0;
    const CStringArray& arrFolders = m_fDroppedForm ? m_arrDroppedFolders : m_arrPaths;
    for (int i = 0; i < arrFolders.GetSize() && !fTerminated && !IsStopRequested(); ++i)
    {
        const CString& strFolder = arrFolders[i];
        if (strFolder.GetLength() >= 2 && strFolder.GetLength() <= 3 && strFolder[1] == ':' &&
            NS_ScanWalk::IsHostRootDrive(strFolder[0]))
            continue;
        FindFilesWithAction(fTerminated, strFolder, fFilter, FALSE);
    }
    for (int i = 0; m_fDroppedForm && i < m_arrDroppedFiles.GetSize() && !IsStopRequested(); ++i)
        InterlockedIncrement(&m_nFilesCounted);
}

unsigned __stdcall CScanFilesDlg::ScanningFilesThread(void* pv)
{
    ((CScanFilesDlg*)pv)->RunScanning();
    VGLTRACE(3, "Finished Scanning thread");
    if (g_hwndScanFiles != NULL)
        ::PostMessageA(g_hwndScanFiles, WM_SCAN_THREAD, 0, 0);
    return 0;
}

void CScanFilesDlg::RunScanning()
{
    try
    {
        ScanAll();
    }
    catch (CSystemError& e)
    {
        VGLTRACE(10, "CSystemError = %s", (LPCSTR)e.ToString());
        ShowThreadError(e.GetErrorMessage());
    }
    catch (_com_error& e)
    {
        VGLTRACE(10, "_com_error = %s", e.ErrorMessage());
        ShowThreadError(e.ErrorMessage());
    }
    catch (...)
    {
        VGLTRACE(10, "G.P.F");
    }
}

void CScanFilesDlg::ShowThreadError(LPCSTR pszText)
{
    HWND hWnd = m_hWnd;
    if (hWnd == NULL)
        return;
    CString* pText = new CString(pszText ? pszText : "");
    if (!m_postedErrors.Post(hWnd, WM_SCAN_SHOW_ERROR, 0, pText))
        delete pText;
}

LRESULT CScanFilesDlg::OnShowError(WPARAM, LPARAM lParam)
{
    if (!m_postedErrors.Take(lParam))
        return 0;
    CString* pText = (CString*)lParam;
    CString strText = *pText;
    delete pText;
    ::MessageBoxA(m_hWnd, strText, LoadText(IDS_MESSAGE_CAPTION, "Vigilon"), MB_OK | MB_ICONSTOP);
    return 0;
}

void CScanFilesDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent != 1)
    {
        CDialog::OnTimer(nIDEvent);
        return;
    }
    int nPercent = 0;
    if (m_fScanning && m_hWnd != NULL)
    {
        LONG lScanned = m_nFilesScanned;
        if (lScanned > m_nFilesCounted)
            InterlockedExchange(&m_nFilesCounted, lScanned);
        nPercent = m_nFilesCounted > 0 ? (int)((__int64)lScanned * 100 / m_nFilesCounted) : 0;
        m_progress.SetPos(nPercent);
        m_timeEnd = CTime::GetCurrentTime();
        if (m_callbacks.pfnElapsed)
        {
            CTimeSpan span = m_timeEnd - m_timeStart;
            m_callbacks.pfnElapsed(&span);
        }
    }
    if (m_callbacks.pfnProgress)
    {
        if (g_nProgressTicks < 86400)
            InterlockedIncrement(&g_nProgressTicks);
        LONG lGuess = g_nProgressGuess;
        if (g_nCountingDone == 0)
        {
            if (g_nProgressTicks > 10 * lGuess * (lGuess + 1))
                lGuess = InterlockedIncrement(&g_nProgressGuess);
            m_callbacks.pfnProgress((int)lGuess);
        }
        else
        {
            m_callbacks.pfnProgress(nPercent > lGuess ? nPercent : (int)lGuess);
        }
    }
}

void CScanFilesDlg::OnButtonPause()
{
    if (m_nState == 0)
    {
        SetDlgItemText(IDC_SCAN_PAUSE, LoadText(IDS_SCAN_RESUME, "&Resume"));
        m_fScanning = FALSE;
        if (m_pAnimation != NULL && m_pAnimation->m_hWnd != NULL)
            m_pAnimation->StopAnimation();
        m_nState = 1;
        VGLTRACE(3, "Scan paused");
    }
    else if (m_nState == 1)
    {
        SetDlgItemText(IDC_SCAN_PAUSE, LoadText(IDS_SCAN_PAUSE, "&Pause"));
        m_fScanning = TRUE;
        if (m_pAnimation != NULL && m_pAnimation->m_hWnd != NULL)
            m_pAnimation->StartAnimation();
        m_nState = 0;
        VGLTRACE(3, "Scan resumed");
    }
}

void CScanFilesDlg::OnButtonStop()
{
    VGLTRACE(3, "CScanFilesDlg::OnButtonStop");
    m_pVexor->StopScan();
    Cleanup();
    EndDialog(IDCANCEL);
}

void CScanFilesDlg::OnCancel()
{
    OnButtonStop();
}

void CScanFilesDlg::OnOK()
{
    // Enter does not end the scan.
}

LRESULT CScanFilesDlg::OnScanThreadStop(WPARAM, LPARAM)
{
    m_timeEnd = CTime::GetCurrentTime();
    if (m_callbacks.pfnElapsed)
    {
        CTimeSpan span = m_timeEnd - m_timeStart;
        m_callbacks.pfnElapsed(&span);
    }
    m_pVexor->StopScan();
    Cleanup();
    EndDialog(IDOK);
    return 0;
}

void CScanFilesDlg::Cleanup()
{
    VGLTRACE(3, "Cleanup: m_eventKillThread(%d), m_pExternalStopEvent(%p) = %d", m_eventKillThread.IsSignaled(),
             m_pExternalStopEvent, m_pExternalStopEvent ? m_pExternalStopEvent->IsSignaled() : 0);
    m_nState = 2;
    if (m_fCleanedUp)
        return;
    m_fCleanedUp = TRUE;
    m_eventKillThread.SetSignaled(TRUE);
    if (m_pExternalStopEvent)
        m_pExternalStopEvent->SetSignaled(TRUE);
    if (m_pEndedEvent)
        m_pEndedEvent->SetSignaled(TRUE);
    CWaitCursor wait;
    if (m_hWnd != NULL)
    {
        SetDlgItemText(IDC_SCAN_STOP, LoadText(IDS_SCAN_STOPPING, "Stopping..."));
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SCAN_STOP), FALSE);
        ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SCAN_PAUSE), FALSE);
    }
    if (m_hCountingThread != NULL)
        waitForObjectPumpingMessages(m_hCountingThread, 100, 5000);
    if (m_hScanningThread != NULL)
        waitForObjectPumpingMessages(m_hScanningThread, 100, 5000);
    // The findings of the scan reach the results before it reports its end.
    NS_ScanWalk::WaitForScanWorkers(5000);
    if (m_pAnimation != NULL && m_pAnimation->m_hWnd != NULL)
        m_pAnimation->StopAnimation();
    if (m_uTimer != 0 && m_hWnd != NULL)
        KillTimer(m_uTimer);
    m_uTimer = 0;
    if (m_callbacks.pfnEnded)
        m_callbacks.pfnEnded();
}

void CScanFilesDlg::OnDestroy()
{
    if (!m_fCleanedUp)
    {
        if (GetParent() != NULL)
            GetParent()->Invalidate();
        Cleanup();
    }
    if (g_hwndScanFiles == m_hWnd)
        g_hwndScanFiles = NULL;
    if (m_progress.m_hWnd != NULL)
        m_progress.Detach();
    CDialog::OnDestroy();
}
