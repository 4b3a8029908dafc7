// The splash window.
#include "SplashDlg.h"

#include "Misutils.h"
#include "SystemInfo.h"
#include "resource_ids.h"

int g_nMachineType = 0;
int& g_nDriveALayout = g_nMachineType;

int computeMachineType()
{
    return ::GetDriveTypeA("A:\\") == DRIVE_FIXED ? 1 : 3;
}

namespace
{
UINT SplashPictureId() { return isLowColorDisplay() ? IDR_DIB_SPLASH16 : IDR_DIB_SPLASH; }
}

BEGIN_MESSAGE_MAP(CSplashDlg, CDialog)
    ON_WM_CREATE()
END_MESSAGE_MAP()

CSplashDlg::CSplashDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_dib(SplashPictureId()), m_pPalette(NULL),
      m_staticSplash(&m_dib, NULL, 1)
{
    CString strFile = getModulePath() + (isLowColorDisplay() ? "VglSph16.bmp" : "VglSph.bmp");
    replaceDIBFromFile(m_dib, strFile);
    m_pPalette = m_dib.CreatePalette();
    m_staticSplash.m_pPalette = m_pPalette;
}

CSplashDlg::~CSplashDlg()
{
    if (m_hWnd != NULL)
        DestroyWindow();
    delete m_pPalette;
}

int CSplashDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CDialog::OnCreate(lpCreateStruct) == -1)
        return -1;
    return 0;
}

BOOL CSplashDlg::Create(CWnd* pParent)
{
    if (!CDialog::Create(IDD, pParent))
        return FALSE;
    if (!m_staticSplash.SubclassDlgItem(IDC_SPLASH_PICTURE, this))
        return FALSE;
    m_staticSplash.SizeToDIB();
    CRect rc;
    m_staticSplash.GetWindowRect(&rc);
    ScreenToClient(&rc);
    g_nMachineType = computeMachineType();
    m_staticSplash.SetWindowPos(NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(NULL, 0, 0, rc.Width(), rc.Height(), SWP_NOMOVE | SWP_NOZORDER);
    return TRUE;
}
