// The About box.
#include "AboutDlg.h"

#include "LogTracker.h"
#include "Misutils.h"
#include "Notification.h"
#include "PatternFile.h"
#include "RegistryKey.h"
#include "StringUtils.h"
#include "SystemError.h"
#include "SystemInfo.h"

#include "resource_ids.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_COMMAND(IDC_ABOUT_HELP, OnHelp)
    ON_WM_QUERYNEWPALETTE()
    ON_WM_PALETTECHANGED()
END_MESSAGE_MAP()

CAboutDlg::CAboutDlg(CDIB* pDIB, CPalette* pPalette, CWnd* pParent)
    : CDialog(IDD, pParent), m_pDIB(pDIB), m_pPalette(pPalette),
      m_dibPicture(isLowColorDisplay() ? IDR_DIB_ABOUT16 : IDR_DIB_ABOUT), m_picture(&m_dibPicture, pPalette, 1)
{
}

CAboutDlg::~CAboutDlg()
{
}

CString CAboutDlg::FormatPattern(int nNumber)
{
    char szText[32];
    formatPatternVersion(nNumber, szText);
    return szText;
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_picture.SubclassDlgItem(IDC_ABOUT_PICTURE, this);
    m_picture.m_nDrawMode = 2;
    struct { int nID; CStatic* pStatic; } statics[] = {
        { IDC_ABOUT_MASTER_DIRECTORY, &m_staticMasterDirectory }, { IDC_ABOUT_MOBILE, &m_staticMobile },
        { IDC_ABOUT_SERVER, &m_staticServer }, { IDC_ABOUT_PROXY, &m_staticProxy },
        { IDC_ABOUT_GUID, &m_staticGuid }, { IDC_ABOUT_MODE, &m_staticMode },
        { IDC_ABOUT_PROGRAM_VERSION, &m_staticProgramVersion }, { IDC_ABOUT_PATTERN_VERSION, &m_staticPatternVersion },
        { IDC_ABOUT_ENGINE_VERSION, &m_staticEngineVersion }, { IDC_ABOUT_FILTER_VERSION, &m_staticFilterVersion },
    };
    for (auto& s : statics)
        s.pStatic->SubclassDlgItem(s.nID, this);

    int nPattern = 0;
    if (!NS_Notification::GetPatternVersionNumber(&nPattern))
        nPattern = 0;
    DWORD dwMajor = 1, dwMinor = 0;
    if (!NS_Notification::GetModuleVersion(&dwMajor, &dwMinor))
    {
        dwMajor = 1;
        dwMinor = 0;
    }

    // The drivers' texts come from their files: cut to the buffers.
    char szEngineVersion[VERSION_TEXT_SIZE] = "";
    char szFilterVersion[VERSION_TEXT_SIZE] = "";
    CString strPath;
    concatPath(strPath, getModulePath(), "VEXOR32.VXD");
    if (!getFileVersionString(strPath, szEngineVersion, sizeof(szEngineVersion)))
        szEngineVersion[0] = '\0';
    concatPath(strPath, getModulePath(), "FILTER32.VXD");
    if (!getFileVersionString(strPath, szFilterVersion, sizeof(szFilterVersion)))
        szFilterVersion[0] = '\0';

    m_staticPatternVersion.SetWindowText(FormatPattern(nPattern));
    m_staticFilterVersion.SetWindowText(szFilterVersion);
    m_staticEngineVersion.SetWindowText(szEngineVersion);
    CString strText;
    strText.Format("%ld.%ld", (long)dwMajor, (long)dwMinor);
    m_staticProgramVersion.SetWindowText(strText);
    m_staticGuid.SetWindowText(NS_RegistryKey::GetApplicationGUIDString());
    strText.LoadString(NS_RegistryKey::IsHttpBasedEx() ? IDS_ABOUT_MODE_HTTP : IDS_ABOUT_MODE_FILE);
    m_staticMode.SetWindowText(strText);

    if (NS_RegistryKey::IsHttpBased())
    {
        CString strServer = NS_RegistryKey::GetServer();
        strText.Empty();
        if (!strServer.IsEmpty())
            strText.Format("%s : %d", (LPCSTR)strServer, (int)NS_RegistryKey::GetServerPort());
        m_staticServer.SetWindowText(strText);
        strText.Empty();
        if (NS_RegistryKey::GetUseProxy())
            strText.Format("%s : %d", (LPCSTR)NS_RegistryKey::GetProxyServer(), (int)NS_RegistryKey::GetProxyPort());
        m_staticProxy.SetWindowText(strText);
        m_staticMasterDirectory.SetWindowText("");
    }
    else
    {
        m_staticServer.SetWindowText("");
        m_staticProxy.SetWindowText("");
        m_staticMasterDirectory.SetWindowText(NS_RegistryKey::GetMasterDirectory());
    }
    strText.LoadString(NS_RegistryKey::IsForceMobile() ? IDS_ABOUT_MOBILE_ON : IDS_ABOUT_MOBILE_OFF);
    m_staticMobile.SetWindowText(strText);
    VGLTRACE(3, "CAboutDlg::OnInitDialog(): pattern %d, program %lu.%lu, engine %s, filter %s", nPattern,
             (unsigned long)dwMajor, (unsigned long)dwMinor, szEngineVersion, szFilterVersion);
    return TRUE;
}

void CAboutDlg::OnHelp()
{
    CString strName;
    strName.LoadString(IDS_HELP_FILE_NAME);
    CString strHelpFile;
    concatPath(strHelpFile, getModulePath(), strName);
    CWnd* pMainWnd = AfxGetMainWnd();
    if (!::WinHelpA(pMainWnd != NULL ? pMainWnd->m_hWnd : NULL, strHelpFile, HELP_CONTENTS, 0))
    {
        CSystemError error(::GetLastError(), __FILE__, __LINE__);
        CString strCaption;
        strCaption.LoadString(IDS_MESSAGE_CAPTION);
        MessageBox(error.GetErrorMessage() + strHelpFile, strCaption, MB_ICONERROR);
    }
}

BOOL CAboutDlg::OnQueryNewPalette()
{
    RealizeDialogPalette(this);
    return TRUE;
}

void CAboutDlg::OnPaletteChanged(CWnd* pFocusWnd)
{
    RealizeDialogPalette(pFocusWnd);
}

void CAboutDlg::RealizeDialogPalette(CWnd* pFocusWnd)
{
    if (m_pPalette == NULL || m_pPalette->GetSafeHandle() == NULL)
        return;
    CClientDC dc(this);
    CPalette* pOld = dc.SelectPalette(m_pPalette, pFocusWnd != this);
    if (pOld != NULL)
    {
        if (dc.RealizePalette() != 0)
        {
            Invalidate(TRUE);
            UpdateWindow();
        }
        dc.SelectPalette(pOld, TRUE);
    }
}
