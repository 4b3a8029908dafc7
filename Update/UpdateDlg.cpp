// The update dialog and the component mover.
#include "UpdateDlg.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "UpdateCommon.h"
#include "resource_ids.h"

namespace
{
const int RESTART_STEPS = 10;
}

BEGIN_MESSAGE_MAP(CUpdateDlg, CWorkerDlg)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

CUpdateDlg::CUpdateDlg(BOOL fRestart, LPCSTR pszProgramVersion, CWnd* pParent)
    : CWorkerDlg(IDD_UPD_UPDATE, pParent), m_fRestart(fRestart),
      m_strProgramVersion(pszProgramVersion != NULL ? pszProgramVersion : ""), m_hIcon(NULL)
{
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

CUpdateDlg::~CUpdateDlg()
{
}

void CUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CWorkerDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_UPD_UNLOAD_BAR, m_barUnload);
    DDX_Control(pDX, IDC_UPD_MOVE_BAR, m_barMove);
    DDX_Control(pDX, IDC_UPD_REPORT_BAR, m_barReport);
    DDX_Control(pDX, IDC_UPD_RESTART_BAR, m_barRestart);
    DDX_Control(pDX, IDC_UPD_UNLOAD_MARK, m_markUnload);
    DDX_Control(pDX, IDC_UPD_MOVE_MARK, m_markMove);
    DDX_Control(pDX, IDC_UPD_REPORT_MARK, m_markReport);
    DDX_Control(pDX, IDC_UPD_RESTART_MARK, m_markRestart);
}

BOOL CUpdateDlg::OnInitDialog()
{
    CWorkerDlg::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)m_hIcon);
    return TRUE;
}

void CUpdateDlg::OnPaint()
{
    if (IsIconic())
    {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
        CRect rc;
        GetClientRect(&rc);
        int x = (rc.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (rc.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    }
    else
    {
        CWorkerDlg::OnPaint();
    }
}

HCURSOR CUpdateDlg::OnQueryDragIcon()
{
    return (HCURSOR)m_hIcon;
}

void CUpdateDlg::ShowMark(CStatic& mark)
{
    mark.ShowWindow(SW_SHOW);
    mark.InvalidateRect(NULL, TRUE);
    mark.UpdateWindow();
}

void CUpdateDlg::DoWork()
{
    UPDTRACE(1, "--> CUpdateDlg::DoWork()");
    CWaitCursor wait;
    if (!UnloadClient())
    {
        UPDTRACE(2, "<-- CUpdateDlg::DoWork(), the client did not unload: nothing is changed");
        return;
    }
    ShowMark(m_markUnload);
    BOOL fSuccess = UpdateProgram();
    RemoveTempFolders();
    NS_RegistryKey::SetProgramUpdatePending(!fSuccess);
    UPDTRACE(3, "    NS_RegistryKey::SetProgramUpdatePending(%d)", !fSuccess);
    ShowMark(m_markMove);
    SendUpdateMessage();
    ShowMark(m_markReport);
    if (m_fRestart)
    {
        RestartClient();
        ShowMark(m_markRestart);
    }
    UPDTRACE(2, "<-- CUpdateDlg::DoWork(), fSuccess = %d", fSuccess);
}

BOOL CUpdateDlg::UnloadClient()
{
    return NS_Client::Unload(&m_barUnload, NULL);
}

BOOL CUpdateDlg::UpdateProgram()
{
    UPDTRACE(1, "--> CUpdateDlg::UpdateProgram()");
    CString strTemp = getTempDirectory();
    CString strProgram, strCommon, strPattern, strEngine;
    concatPath(strProgram, strTemp, g_pszProgramUpdateFolder);
    concatPath(strCommon, strProgram, g_pszCommonFolder);
    concatPath(strPattern, strTemp, g_pszPatternUpdateFolder);
    concatPath(strEngine, strTemp, g_pszEngineUpdateFolder);

    BOOL fSuccess = TRUE;
    if (!isDirectoryExist(strProgram))
    {
        CString strFormat, strMessage;
        strFormat.LoadString(IDS_UPD_NO_FOLDER);
        strMessage.Format(strFormat, (LPCSTR)strProgram);
        UPDTRACE(12, "    %s does not exist", (LPCSTR)strProgram);
        updateMessageBox(strMessage, MB_ICONHAND);
        fSuccess = FALSE;
    }
    else
    {
        CStringArray arrFiles;
        collectFiles(arrFiles, strPattern, "*.*", FALSE);
        collectFiles(arrFiles, strEngine, "*.*", FALSE);
        collectFiles(arrFiles, strProgram, "*.*", FALSE);
        collectFiles(arrFiles, strCommon, "*.*", FALSE);
        int nFiles = (int)arrFiles.GetSize();
        m_barMove.SetRange(0, (short)nFiles);
        m_barMove.SetPos(0);

        CString strDestFolder = NS_RegistryKey::GetApplicationPath();
        for (int i = 0; i < nFiles; ++i)
        {
            CString strSource = arrFiles.GetAt(i);
            CString strDest = destinationPath(strDestFolder, strSource);
            fSuccess = moveFileEx(strSource, strDest, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
            DWORD dwError = ::GetLastError();
            UPDTRACE(3, "    fSuccess(%d) = ::moveFileEx(strSource = %s, strDest = %s)", fSuccess,
                     (LPCSTR)strSource, (LPCSTR)strDest);
            if (IsShellExtensionFile(strDest))
            {
                if (!fSuccess)
                    UPDTRACE(3, "    %s is the shell extension's library: counted as moved", (LPCSTR)strDest);
                fSuccess = TRUE;
            }
            if (!fSuccess)
            {
                CSystemError error(dwError, NULL, 0);
                UPDTRACE(12, "    fSuccess(%d), Error Message = %s", fSuccess, (LPCSTR)error.ToString());
            }
            m_barMove.OffsetPos(1);
            if (!fSuccess)
                break;
        }
        if (fSuccess)
        {
            LONG lResult = NS_RegistryKey::SetProgramVersion(m_strProgramVersion);
            UPDTRACE(3, "    %ld = NS_RegistryKey::SetProgramVersion(%s)", lResult, (LPCSTR)m_strProgramVersion);
            m_barMove.OffsetPos(nFiles);
        }
    }
    m_barMove.SetRange(0, 100);
    m_barMove.SetPos(100);
    UPDTRACE(2, "<-- CUpdateDlg::UpdateProgram(), fSuccess = %d", fSuccess);
    return fSuccess;
}

void CUpdateDlg::RemoveTempFolders()
{
    CString strTemp = getTempDirectory();
    const char* folders[] = {g_pszPatternUpdateFolder, g_pszEngineUpdateFolder, g_pszProgramUpdateFolder};
    for (const char* pszFolder : folders)
    {
        CString strFolder;
        concatPath(strFolder, strTemp, pszFolder);
        deleteTree(strFolder, NULL, NULL, TRUE, TRUE, "*.*");
    }
}

int CUpdateDlg::SendUpdateMessage()
{
    m_barReport.SetRange(0, 2);
    m_barReport.SetPos(0);
    m_barReport.SetPos(2);
    return 0;
}

void CUpdateDlg::RestartClient()
{
    UPDTRACE(1, "--> CUpdateDlg::RestartClient()");
    m_barRestart.SetRange(0, RESTART_STEPS);
    m_barRestart.SetPos(0);
    if (!NS_Client::Start())
        return;
    Invalidate(TRUE);
    UpdateWindow();
    NS_Client::WaitForMainWindow(RESTART_STEPS, &m_barRestart);
    m_barRestart.SetPos(RESTART_STEPS);
    UPDTRACE(2, "<-- CUpdateDlg::RestartClient()");
}
