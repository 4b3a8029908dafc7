// Dialog data exchange: values to controls and back, controls bound to objects,
// and refused input.
#include <gtest/gtest.h>
#include "afxwin.h"
#include "test_dialogs.h"

namespace {

enum { IDC_NAME = 100, IDC_COUNT = 101, IDC_LIMIT = 102, IDC_FLAG = 103, IDC_KIND = 104, IDC_LIST = 105, IDC_PICK = 106 };

class CDataDlg : public CDialog {
public:
  CString m_strName;
  int m_nCount = 0;
  UINT m_nLimit = 0;
  int m_nFlag = 0;
  CString m_strKind;
  int m_nPick = -1;
  CListBox m_list;
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_LIST, m_list);
    DDX_Text(pDX, IDC_NAME, m_strName);
    DDV_MaxChars(pDX, m_strName, 12);
    DDX_Text(pDX, IDC_COUNT, m_nCount);
    DDX_Text(pDX, IDC_LIMIT, m_nLimit);
    DDV_MinMaxUInt(pDX, m_nLimit, 1, 500);
    DDX_Check(pDX, IDC_FLAG, m_nFlag);
    DDX_CBString(pDX, IDC_KIND, m_strKind);
    DDX_CBIndex(pDX, IDC_PICK, m_nPick);
  }
};

DlgTemplate MakeTemplate() {
  DlgTemplate t(WS_POPUP | WS_CAPTION, 160, 140, "data");
  t.Add(kEdit, IDC_NAME, ES_AUTOHSCROLL | WS_BORDER, 5, 5, 80, 12)
   .Add(kEdit, IDC_COUNT, ES_AUTOHSCROLL | WS_BORDER, 5, 20, 80, 12)
   .Add(kEdit, IDC_LIMIT, ES_AUTOHSCROLL | WS_BORDER, 5, 35, 80, 12)
   .Add(kButton, IDC_FLAG, BS_AUTOCHECKBOX, 5, 50, 80, 12, "Flag")
   .Add(kComboBox, IDC_KIND, CBS_DROPDOWN | WS_VSCROLL, 5, 65, 80, 60)
   .Add(kListBox, IDC_LIST, WS_BORDER, 90, 5, 60, 40)
   .Add(kComboBox, IDC_PICK, CBS_DROPDOWNLIST | WS_VSCROLL, 5, 85, 80, 60);
  return t;
}

TEST(DataExchange, ValuesRoundTripThroughControls) {
  DlgTemplate t = MakeTemplate();
  CDataDlg dlg;
  dlg.m_strName = "scan me";
  dlg.m_nCount = -15;
  dlg.m_nLimit = 300;
  dlg.m_nFlag = 1;
  dlg.m_strKind = "free text";
  ASSERT_TRUE(dlg.CreateIndirect(t.Get(), NULL));   // OnInitDialog: UpdateData(FALSE)
  ::SendDlgItemMessageA(dlg.m_hWnd, IDC_PICK, CB_ADDSTRING, 0, (LPARAM)"a");
  ::SendDlgItemMessageA(dlg.m_hWnd, IDC_PICK, CB_ADDSTRING, 0, (LPARAM)"b");
  EXPECT_EQ(CWnd::FromHandlePermanent(::GetDlgItem(dlg.m_hWnd, IDC_LIST)), &dlg.m_list);

  CString s;
  dlg.GetDlgItemText(IDC_NAME, s);
  EXPECT_STREQ(s, "scan me");
  dlg.GetDlgItemText(IDC_COUNT, s);
  EXPECT_STREQ(s, "-15");
  dlg.GetDlgItemText(IDC_LIMIT, s);
  EXPECT_STREQ(s, "300");
  EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_FLAG), 1u);
  dlg.GetDlgItemText(IDC_KIND, s);
  EXPECT_STREQ(s, "free text");

  dlg.SetDlgItemText(IDC_NAME, "changed");
  dlg.SetDlgItemText(IDC_COUNT, " 42 ");
  dlg.SetDlgItemText(IDC_LIMIT, "7");
  dlg.CheckDlgButton(IDC_FLAG, 0);
  dlg.SetDlgItemText(IDC_KIND, "other");
  ::SendDlgItemMessageA(dlg.m_hWnd, IDC_PICK, CB_SETCURSEL, 1, 0);
  ASSERT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_STREQ(dlg.m_strName, "changed");
  EXPECT_EQ(dlg.m_nCount, 42);
  EXPECT_EQ(dlg.m_nLimit, 7u);
  EXPECT_EQ(dlg.m_nFlag, 0);
  EXPECT_STREQ(dlg.m_strKind, "other");
  EXPECT_EQ(dlg.m_nPick, 1);
  dlg.DestroyWindow();
}

TEST(DataExchange, RefusedInputKeepsTheOldValueAndFocusesTheControl) {
  struct Case { int nID; const char* text; };
  const Case cases[] = {
    { IDC_COUNT, "12x" },
    { IDC_COUNT, "" },
    { IDC_LIMIT, "-3" },      // unsigned
    { IDC_LIMIT, "501" },     // out of range
    { IDC_NAME, "thirteen char" },
  };
  for (const Case& c : cases) {
    DlgTemplate t = MakeTemplate();
    CDataDlg dlg;
    dlg.m_nLimit = 10;
    ASSERT_TRUE(dlg.CreateIndirect(t.Get(), NULL));
    dlg.ShowWindow(SW_SHOW);
    dlg.SetDlgItemText(c.nID, c.text);
    MessageBoxAnswerer::Count() = 0;
    {
      MessageBoxAnswerer answer;
      EXPECT_FALSE(dlg.UpdateData(TRUE)) << c.text;
    }
    EXPECT_EQ(MessageBoxAnswerer::Count(), 1) << c.text;
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg.m_hWnd, c.nID)) << c.text;
    EXPECT_EQ(dlg.m_nCount, 0);
    dlg.DestroyWindow();
  }
}

} // namespace
