// Shows the reusable controls and dialogs on screen, one page per run:
//   gallery.exe controls|dialogs|sheet|folder|viruslog [seconds]
// The program ends by itself after the given seconds (default 6).
#include <afxwin.h>
#include <afxdlgs.h>
#include <vector>
#include "resource_ids.h"
#include "BitmapStatic.h"
#include "BitmapButtonEx.h"
#include "FocusStatic.h"
#include "ProgressCtrlEx.h"
#include "SortedHeaderCtrl.h"
#include "TabCtrlWithDisable.h"
#include "ListBoxEditor.h"
#include "TreeDirCtrl.h"
#include "ProgressDlg.h"
#include "FileExtensionDlg.h"
#include "FolderDialog.h"
#include "LogReportDlg.h"

namespace {

const UINT kEndTimer = 900;
UINT g_nSeconds = 6;

// A dialog template built in memory (the gallery has no resources of its own).
class CTemplate {
public:
  CTemplate(DWORD dwStyle, short cx, short cy, const char* pszTitle) {
    Put32(dwStyle | DS_SETFONT);
    Put32(0);
    m_nCount = m_buf.size();
    m_buf.insert(m_buf.end(), { 0, 5, 5, (WORD)cx, (WORD)cy, 0, 0 });
    Text(pszTitle);
    m_buf.push_back(8);
    Text("MS Shell Dlg");
  }
  CTemplate& Add(const char* pszClass, WORD wId, DWORD dwStyle, short x, short y, short cx, short cy,
                 const char* pszText = "") {
    if (m_buf.size() % 2)
      m_buf.push_back(0);
    Put32(dwStyle | WS_CHILD | WS_VISIBLE);
    Put32(0);
    m_buf.insert(m_buf.end(), { (WORD)x, (WORD)y, (WORD)cx, (WORD)cy, wId });
    Text(pszClass);
    Text(pszText);
    m_buf.push_back(0);
    m_buf[m_nCount]++;
    return *this;
  }
  LPCDLGTEMPLATE Get() const { return (LPCDLGTEMPLATE)m_buf.data(); }

private:
  void Put32(DWORD dw) { m_buf.insert(m_buf.end(), { LOWORD(dw), HIWORD(dw) }); }
  void Text(const char* p) {
    for (; *p; p++)
      m_buf.push_back((BYTE)*p);
    m_buf.push_back(0);
  }
  std::vector<WORD> m_buf;
  size_t m_nCount;
};

enum {
  IDC_TILED = 1000, IDC_STRETCHED, IDC_UNSCALED, IDC_TEXTPIC, IDC_ANIM, IDC_BUTTON, IDC_FOCUS, IDC_BAR, IDC_BAR_V,
  IDC_LIST, IDC_TABS, IDC_ENTRIES, IDC_TREE, IDC_CAPTION
};

class CMiddleDisabledTabs : public CTabCtrlWithDisable {
public:
  BOOL IsTabEnabled(int nTab) override { return nTab != 1; }
};

// Every custom control of the client on one dialog.
class CControlsDlg : public CDialog {
public:
  CControlsDlg(CDIB* pDIB, CPalette* pPalette)
      : m_tiled(pDIB, pPalette, 0), m_stretched(pDIB, pPalette, 1), m_unscaled(pDIB, pPalette, 2),
        m_textPic(pDIB, pPalette, 1, FALSE, FW_BOLD, RGB(255, 255, 255), DT_CENTER | DT_VCENTER | DT_SINGLELINE),
        m_anim(NULL, NULL, 2, IDI_SCAN_FIRST, IDI_SCAN_COUNT, 200),
        m_focus(DT_LEFT | DT_VCENTER | DT_SINGLELINE, FW_BOLD, FALSE, TRUE, RGB(0, 0, 128), RGB(0, 0, 0)),
        m_bar(RGB(255, 0, 0), 0, TRUE, TRUE, 4), m_barV(RGB(0, 128, 0), 0, FALSE, FALSE, 1), m_tree(FALSE, FALSE) {}

  CBitmapStatic m_tiled, m_stretched, m_unscaled;
  CTextBitmapStatic m_textPic;
  CAnimationIcon m_anim;
  CBitmapButtonEx m_button;
  CFocusStatic m_focus;
  CProgressCtrlEx m_bar, m_barV;
  CToolTipsListCtrl m_list;
  CSortedHeaderCtrl m_header;
  CMiddleDisabledTabs m_tabs;
  SECListBoxEditor m_editor;
  CTreeDirCtrl m_tree;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_tiled.SubclassDlgItem(IDC_TILED, this);
    m_stretched.SubclassDlgItem(IDC_STRETCHED, this);
    m_unscaled.SubclassDlgItem(IDC_UNSCALED, this);
    m_textPic.SubclassDlgItem(IDC_TEXTPIC, this);
    m_textPic.SetText("Real-time protection is on");
    m_anim.SubclassDlgItem(IDC_ANIM, this);
    m_anim.StartAnimation();
    m_button.SubclassDlgItem(IDC_BUTTON, this);
    m_button.LoadBitmaps(IDB_LBEDIT_NEW, IDB_LBEDIT_DELETE, 0, 0, FALSE);
    m_button.SizeToContent();
    m_focus.SubclassDlgItem(IDC_FOCUS, this);
    m_bar.SubclassDlgItem(IDC_BAR, this);
    m_bar.SetRange(0, 100);
    m_bar.SetPos(60);
    m_barV.SubclassDlgItem(IDC_BAR_V, this);
    m_barV.SetRange(0, 100);
    m_barV.SetPos(70);

    m_list.SubclassDlgItem(IDC_LIST, this);
    m_list.InsertColumn(0, "Virus", LVCFMT_LEFT, 90);
    m_list.InsertColumn(1, "File", LVCFMT_LEFT, 150);
    const char* rows[][2] = { { "EICAR-Test", "C:\\Downloads\\eicar_test_file_with_a_long_name.com" },
                              { "Test.Clean", "C:\\Temp\\sample.exe" } };
    for (int i = 0; i < 2; i++) {
      m_list.InsertItem(i, rows[i][0]);
      m_list.SetItemText(i, 1, rows[i][1]);
    }
    m_header.SubclassWindow(m_list.GetHeaderCtrl()->m_hWnd);
    m_header.SetSortImage(1, TRUE);

    CTabCtrl* pTabs = (CTabCtrl*)GetDlgItem(IDC_TABS);
    pTabs->InsertItem(0, "Manual");
    pTabs->InsertItem(1, "Real-time");
    pTabs->InsertItem(2, "Scheduled");
    m_tabs.SubclassTabCtrl(IDC_TABS, this);

    CListBox* pEntries = (CListBox*)GetDlgItem(IDC_ENTRIES);
    for (const char* s : { "C:\\WINDOWS\\TEMP\\", "*.TMP", "D:\\ARCHIVE\\" })
      pEntries->AddString(s);
    m_editor.AttachToListBox(this, IDC_ENTRIES, 0x033C);
    m_editor.SetWindowText("Excluded files and folders");

    m_tree.SubclassDlgItem(IDC_TREE, this);
    m_tree.SetSystemImageList();
    m_tree.SetStateImageList(IDB_TREE_CHECKBOXES);
    try {
      m_tree.PopulateTree(0);
      HTREEITEM hTop = m_tree.GetRootItem();
      m_tree.Expand(hTop, TVE_EXPAND);
      HTREEITEM hDrive = m_tree.FindDriveChild(hTop, 'C');
      if (hDrive) {
        m_tree.Expand(hDrive, TVE_EXPAND);
        HTREEITEM hFolder = m_tree.GetChildItem(hDrive);
        if (hFolder) {
          m_tree.SetCheckState(hFolder, TREEDIR_CHECKED);
          m_tree.PropagateCheckState(hFolder);
        }
      }
    } catch (...) {
    }
    SetTimer(kEndTimer, g_nSeconds * 1000, NULL);
    return TRUE;
  }
  afx_msg void OnTimer(UINT_PTR nID) {
    if (nID == kEndTimer)
      EndDialog(IDOK);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CControlsDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

int RunControls() {
  CDIB dib(IDR_DIB_BANNER);
  CPalette* pPalette = dib.CreatePalette();
  CTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER, 420, 300, "Gallery: controls");
  t.Add("STATIC", IDC_TILED, SS_BLACKFRAME, 5, 5, 130, 30)
   .Add("STATIC", IDC_STRETCHED, SS_BLACKFRAME, 140, 5, 130, 30)
   .Add("STATIC", IDC_UNSCALED, SS_BLACKFRAME, 275, 5, 140, 30)
   .Add("STATIC", IDC_TEXTPIC, SS_BLACKFRAME, 5, 40, 265, 20)
   .Add("STATIC", IDC_ANIM, 0, 280, 40, 24, 24)
   .Add("BUTTON", IDC_BUTTON, BS_OWNERDRAW, 315, 44, 16, 16)
   .Add("STATIC", IDC_FOCUS, 0, 340, 40, 75, 20, "Scanning C:\\")
   .Add("msctls_progress32", IDC_BAR, 0, 5, 66, 265, 12)
   .Add("msctls_progress32", IDC_BAR_V, 0, 280, 66, 12, 60)
   .Add("SysListView32", IDC_LIST, LVS_REPORT | WS_BORDER, 5, 84, 265, 42)
   .Add("SysTabControl32", IDC_TABS, WS_TABSTOP, 5, 132, 200, 14)
   .Add("LISTBOX", IDC_ENTRIES, WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP, 5, 152, 200, 140)
   .Add("SysTreeView32", IDC_TREE, WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_TABSTOP, 212, 132, 203, 160);
  CControlsDlg dlg(&dib, pPalette);
  dlg.InitModalIndirect(t.Get(), NULL);
  AfxGetApp()->m_pMainWnd = &dlg;
  INT_PTR n = dlg.DoModal();
  delete pPalette;
  return (int)n;
}

// The language library's dialogs, side by side.
class CHost : public CDialog {
public:
  afx_msg void OnTimer(UINT_PTR nID) {
    if (nID == kEndTimer)
      EndDialog(IDOK);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CHost, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

class CDialogsHost : public CHost {
public:
  CProgressDlg m_progress;
  CFileExtensionDlg m_ext{ ".BIN,.BAT,.COM,.DOC,.DOT,.EXE,.XLS", ".BIN,.BAT,.COM", NULL, FALSE };
  CAddExtensionDlg m_add;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_progress.Create(NULL);
    m_progress.SetStatusText("Downloading the mail-scan utility...");
    m_progress.SetPos(37);
    m_progress.SetWindowPos(NULL, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_ext.Create(IDD_FILE_EXTENSIONS, NULL);
    m_ext.SetWindowPos(NULL, 40, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_add.Create(IDD_ADD_EXTENSION, NULL);
    m_add.SetDlgItemText(IDC_ADD_EXT_EDIT, "VBS");
    m_add.SetWindowPos(NULL, 420, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(NULL, 420, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetTimer(kEndTimer, g_nSeconds * 1000, NULL);
    return TRUE;
  }
};

int RunDialogs() {
  CTemplate t(WS_POPUP | WS_CAPTION | WS_VISIBLE, 150, 40, "Gallery: dialogs");
  t.Add("STATIC", 1, 0, 5, 5, 140, 30, "Progress, extension list and add-extension dialogs");
  CDialogsHost host;
  host.InitModalIndirect(t.Get(), NULL);
  AfxGetApp()->m_pMainWnd = &host;
  return (int)host.DoModal();
}

// The console's virus-log page in a window of its own (its log folder: "Log" beside the
// gallery); the page saves the log when the window closes.
class CLogPageHost : public CHost {
public:
  CLogReportDlg m_page;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    m_page.Create(CLogReportDlg::IDD, this);
    m_page.SetWindowPos(NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_page.ShowWindow(SW_SHOW);
    CRect rc;
    m_page.GetWindowRect(&rc);
    CRect rcWindow(0, 0, rc.Width(), rc.Height());
    ::AdjustWindowRectEx(&rcWindow, GetStyle(), FALSE, GetExStyle());
    SetWindowPos(NULL, 60, 60, rcWindow.Width(), rcWindow.Height(), SWP_NOZORDER);
    SetTimer(kEndTimer, g_nSeconds * 1000, NULL);
    return TRUE;
  }
};

int RunVirusLog() {
  CTemplate t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 200, 100, "Gallery: virus log");
  CLogPageHost host;
  host.InitModalIndirect(t.Get(), NULL);
  AfxGetApp()->m_pMainWnd = &host;
  return (int)host.DoModal();
}

// A property sheet with two pages built in memory.
class CGalleryPage : public CPropertyPage {
public:
  explicit CGalleryPage(LPCDLGTEMPLATE pTemplate) {
    Construct((LPCTSTR)NULL);
    m_psp.dwFlags |= PSP_DLGINDIRECT;
    m_psp.pResource = pTemplate;
  }
};

class CGallerySheet : public CPropertySheet {
public:
  BOOL OnInitDialog() override {
    BOOL b = CPropertySheet::OnInitDialog();
    SetTimer(kEndTimer, g_nSeconds * 1000, NULL);
    return b;
  }
  afx_msg void OnTimer(UINT_PTR nID) {
    if (nID == kEndTimer)
      EndDialog(IDCANCEL);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CGallerySheet, CPropertySheet)
  ON_WM_TIMER()
END_MESSAGE_MAP()

int RunSheet() {
  CTemplate p1(WS_CHILD | WS_CAPTION | DS_CONTROL, 220, 120, "Manual Scan");
  p1.Add("BUTTON", 10, BS_AUTOCHECKBOX | WS_TABSTOP, 10, 10, 200, 12, "Scan compressed files")
    .Add("BUTTON", 11, BS_AUTOCHECKBOX | WS_TABSTOP, 10, 26, 200, 12, "Scan all files");
  CTemplate p2(WS_CHILD | WS_CAPTION | DS_CONTROL, 220, 120, "Exclusions");
  p2.Add("STATIC", 12, 0, 10, 10, 200, 12, "Nothing is excluded.");
  CGalleryPage page1(p1.Get()), page2(p2.Get());
  CGallerySheet sheet;
  sheet.Construct("Gallery: options");
  sheet.AddPage(&page1);
  sheet.AddPage(&page2);
  return (int)sheet.DoModal();
}

void CALLBACK EndFolderDialog(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(NULL, id);
  HWND hDlg = ::GetForegroundWindow();
  char sz[64] = "";
  ::GetWindowTextA(hDlg, sz, sizeof(sz));
  if (strstr(sz, "Select"))
    ::PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
  else
    ::PostQuitMessage(0);
}

int RunFolder() {
  CString strTitle, strOk;
  strTitle.LoadString(IDS_FOLDER_TITLE);
  strOk.LoadString(IDS_FOLDER_OK);
  char szWindows[MAX_PATH];
  ::GetWindowsDirectoryA(szWindows, MAX_PATH);
  CFolderDialog dlg(strOk, strTitle, szWindows);
  ::SetTimer(NULL, 0, g_nSeconds * 1000, EndFolderDialog);
  return (int)dlg.DoModal();
}

} // namespace

class CGalleryApp : public CWinApp {
public:
  CGalleryApp() : CWinApp("Gallery") {}
  BOOL InitInstance() override {
    char szPath[MAX_PATH];
    ::GetModuleFileNameA(NULL, szPath, MAX_PATH);
    *strrchr(szPath, '\\') = 0;
    lstrcatA(szPath, "\\Ksxwin97.dll");
    HINSTANCE hLang = ::LoadLibraryA(szPath);
    if (!hLang)
      return FALSE;
    AfxSetResourceHandle(hLang);
    ::CoInitialize(NULL);
    CString strPage = __argc > 1 ? __argv[1] : "controls";
    if (__argc > 2)
      g_nSeconds = (UINT)atoi(__argv[2]);
    if (strPage == "dialogs")
      RunDialogs();
    else if (strPage == "sheet")
      RunSheet();
    else if (strPage == "folder")
      RunFolder();
    else if (strPage == "viruslog")
      RunVirusLog();
    else
      RunControls();
    ::CoUninitialize();
    return FALSE;
  }
};

CGalleryApp theApp;

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
  return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
