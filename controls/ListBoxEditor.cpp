// Editable list over a dialog's list box.
#include "ListBoxEditor.h"
#include "ListBoxDragWnd.h"
#include "resource_ids.h"

namespace {
const UINT kButtonBitmaps[4] = { IDB_LBEDIT_NEW, IDB_LBEDIT_DELETE, IDB_LBEDIT_UP, IDB_LBEDIT_DOWN };
const UINT kButtonTips[4] = { IDS_LBEDIT_TIP_NEW, IDS_LBEDIT_TIP_DELETE, IDS_LBEDIT_TIP_UP, IDS_LBEDIT_TIP_DOWN };

BOOL IsEditField(HWND hWnd) {
  char sz[16] = "";
  ::GetClassNameA(hWnd, sz, sizeof(sz));
  return lstrcmpiA(sz, "Edit") == 0;
}

// The next (previous) control in the dialog's tab order after hFrom; an edit field gets all its text selected.
void FocusNextControl(HWND hFrom, BOOL bPrevious) {
  HWND hDlg = ::GetParent(hFrom);
  HWND hNext = ::GetNextDlgTabItem(hDlg, hFrom, bPrevious);
  if (hNext) {
    ::SetFocus(hNext);
    if (IsEditField(hNext))
      ::SendMessageA(hNext, EM_SETSEL, 0, -1);
  }
}
}

CString lbeditTrimRight(const CString& s) {
  CString t = s;
  t.TrimRight();
  return t;
}

/////////////////////////////////////////////////////////////////////////////
// In-place edit

BEGIN_MESSAGE_MAP(SECListBoxEdit, CEdit)
  ON_WM_KEYDOWN()
  ON_WM_CHAR()
  ON_WM_KILLFOCUS()
  ON_WM_GETDLGCODE()
END_MESSAGE_MAP()

SECListBoxEdit::SECListBoxEdit(BOOL bNew, int nIndex, int nBrowseId, BOOL bSpaceEndsEdit, int nSpaceEndCount)
    : m_bNew(bNew), m_nIndex(nIndex), m_nPrevSel(-1), m_nBrowseId(nBrowseId), m_bSpaceEndsEdit(bSpaceEndsEdit),
      m_nSpaceEndCount(nSpaceEndCount), m_bEnding(FALSE) {}

SECListBoxEdit::~SECListBoxEdit() {}

BOOL SECListBoxEdit::CreateOver(CListBox* pListBox, LPCTSTR pszInitial) {
  m_nPrevSel = pListBox->GetCurSel();
  pListBox->SetCurSel(m_nIndex);
  CRect rc;
  pListBox->GetItemRect(m_nIndex, &rc);
  rc.InflateRect(0, 2);
  if (!CreateEx(0, "EDIT", NULL, WS_CHILD | WS_BORDER | ES_AUTOHSCROLL, rc, pListBox, LBEDIT_EDIT_ID))
    return FALSE;
  CString strText;
  if (pszInitial)
    strText = pszInitial;
  else
    pListBox->GetText(m_nIndex, strText);
  SetWindowText(strText);
  SetFont(pListBox->GetFont());
  if (pszInitial) {
    int n = strText.GetLength();
    SetSel(n, n);
  } else {
    SetSel(0, -1);
  }
  SendMessage(EM_SCROLLCARET);
  ShowWindow(SW_SHOW);
  SetFocus();
  return TRUE;
}

void SECListBoxEdit::EndAsEnter() { HandleKey(VK_RETURN); }

void SECListBoxEdit::MoveFocusFromList(BOOL bPrevious) { FocusNextControl(::GetParent(m_hWnd), bPrevious); }

// Enter, Escape and F2; TRUE when handled. The edit may be gone afterwards.
BOOL SECListBoxEdit::HandleKey(UINT nChar) {
  HWND hList = ::GetParent(m_hWnd);
  CListBox* pList = (CListBox*)CWnd::FromHandle(hList);
  ::SendMessageA(hList, WM_LBEDIT_SETCANCEL, 0, 0);
  NMHDR nm = { m_hWnd, LBEDIT_EDIT_ID, LBEDIT_NOTIFY_EDITDONE };
  if (nChar == VK_RETURN) {
    if (m_bEnding)
      return TRUE;
    m_bEnding = TRUE;
    CString strText;
    GetWindowText(strText);
    int nSel = pList->GetCurSel();
    pList->SetRedraw(FALSE);
    DWORD_PTR dwData = pList->GetItemData(m_nIndex);
    pList->InsertString(m_nIndex, strText);
    pList->SetItemData(m_nIndex, dwData);
    pList->DeleteString(m_nIndex + 1);
    pList->SetCurSel(nSel);
    pList->SetRedraw(TRUE);
    pList->SetCurSel(m_nIndex);
    ::SendMessageA(hList, WM_NOTIFY, LBEDIT_EDIT_ID, (LPARAM)&nm);   // deletes this edit
    return TRUE;
  }
  if (nChar == VK_ESCAPE) {
    if (m_bEnding)
      return TRUE;
    m_bEnding = TRUE;
    if (m_bNew) {
      pList->SetCurSel(m_nPrevSel);
      pList->DeleteString(m_nIndex);
    }
    ::SendMessageA(hList, WM_LBEDIT_SETCANCEL, 1, 0);
    ::SendMessageA(hList, WM_NOTIFY, LBEDIT_EDIT_ID, (LPARAM)&nm);
    return TRUE;
  }
  if (nChar == VK_F2 && m_nBrowseId) {
    HWND hButton = ::GetDlgItem(hList, m_nBrowseId);
    if (hButton)
      ::SetFocus(hButton);
    ::PostMessageA(hList, WM_COMMAND, m_nBrowseId, (LPARAM)hButton);
    return TRUE;
  }
  return FALSE;
}

void SECListBoxEdit::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  HWND hList = ::GetParent(m_hWnd);
  switch (nChar) {
  case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: case VK_HOME: case VK_END: {
    LPARAM lKeyData = GetCurrentMessage()->lParam;
    EndAsEnter();
    ::PostMessageA(hList, WM_KEYDOWN, nChar, lKeyData);
    return;
  }
  case VK_TAB: {
    BOOL bShift = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
    EndAsEnter();
    FocusNextControl(hList, bShift);
    return;
  }
  }
  if (HandleKey(nChar))
    return;
  CEdit::OnKeyDown(nChar, nRepCnt, nFlags);
}

void SECListBoxEdit::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
  if (nChar == VK_RETURN || nChar == VK_ESCAPE || nChar == VK_TAB)
    return;   // handled as key-downs
  if (nChar == ' ' && m_bSpaceEndsEdit) {
    int nStart = 0, nEnd = 0;
    GetSel(nStart, nEnd);
    if (nStart == nEnd) {
      CString strText;
      GetWindowText(strText);
      int nTrimmed = lbeditTrimRight(strText).GetLength();
      if (nEnd - nTrimmed + 1 >= m_nSpaceEndCount) {
        HWND hList = ::GetParent(m_hWnd);
        EndAsEnter();
        FocusNextControl(hList, FALSE);
        return;
      }
    }
  }
  CEdit::OnChar(nChar, nRepCnt, nFlags);
}

void SECListBoxEdit::OnKillFocus(CWnd* pNewWnd) {
  Default();
  if (!IsWindowVisible() || m_bEnding)
    return;
  HWND hNew = pNewWnd->GetSafeHwnd();
  HWND hButton = m_nBrowseId ? ::GetDlgItem(::GetParent(m_hWnd), m_nBrowseId) : NULL;
  if (hNew && hNew == hButton)
    return;
  EndAsEnter();
}

UINT SECListBoxEdit::OnGetDlgCode() { return DLGC_WANTALLKEYS; }

/////////////////////////////////////////////////////////////////////////////
// The list box

BEGIN_MESSAGE_MAP(SECListBoxEditorHelper, CListBox)
  ON_WM_KEYDOWN()
  ON_WM_SYSKEYDOWN()
  ON_WM_CHAR()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_LBUTTONDOWN()
  ON_COMMAND(LBEDIT_BROWSE_ID, OnBrowse)
  ON_NOTIFY(LBEDIT_NOTIFY_EDITDONE, LBEDIT_EDIT_ID, OnEditDone)
  ON_MESSAGE(WM_LBEDIT_SETCANCEL, OnSetCancel)
END_MESSAGE_MAP()

SECListBoxEditorHelper::~SECListBoxEditorHelper() {
  if (m_hWnd && ::IsWindow(m_hWnd))
    DestroyWindow();
}

void SECListBoxEditorHelper::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  DWORD dw = m_pEditor->m_dwOptions;
  if (nChar == VK_INSERT && (dw & LBEDIT_KEYBOARD)) {
    m_pEditor->AddNewItem();
    return;
  }
  if (nChar == VK_DELETE && (dw & LBEDIT_KEYBOARD)) {
    m_pEditor->DeleteSelectedItem();
    return;
  }
  if (nChar == VK_F2 && (dw & LBEDIT_BROWSE_BUTTON)) {
    m_pEditor->EditSelectedItem(0);
    return;
  }
  CListBox::OnKeyDown(nChar, nRepCnt, nFlags);
}

void SECListBoxEditorHelper::OnSysKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  if (m_pEditor->m_dwOptions & LBEDIT_KEYBOARD) {
    if (nChar == VK_UP) {
      m_pEditor->MoveSelectedUp();
      return;
    }
    if (nChar == VK_DOWN) {
      m_pEditor->MoveSelectedDown();
      return;
    }
  }
  CListBox::OnSysKeyDown(nChar, nRepCnt, nFlags);
}

void SECListBoxEditorHelper::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
  if ((m_pEditor->m_dwOptions & LBEDIT_TYPE_TO_EDIT) && !(::GetKeyState(VK_CONTROL) & 0x8000)) {
    m_pEditor->EditSelectedItem((char)nChar);
    return;
  }
  CListBox::OnChar(nChar, nRepCnt, nFlags);
}

void SECListBoxEditorHelper::OnLButtonDblClk(UINT, CPoint) {}

void SECListBoxEditorHelper::OnLButtonDown(UINT nFlags, CPoint point) {
  int nNoted = -2;
  if (m_pEditor->m_pEdit) {
    SECListBoxEdit* pEdit = m_pEditor->m_pEdit;
    BOOL bHasText = pEdit->GetWindowTextLength() > 0;
    pEdit->SendMessage(WM_KEYDOWN, bHasText ? VK_RETURN : VK_ESCAPE, 0);
  } else {
    nNoted = GetCurSel();
  }
  CListBox::OnLButtonDown(nFlags, point);
  if (m_pEditor->m_dwOptions & LBEDIT_DRAG_REORDER) {
    SECListBoxDragWnd drag(this);
    drag.m_bSkipLastRow = m_pEditor->UsesBlankRow();
    int nFrom = 0, nTo = 0;
    if (drag.TrackDrag(&nFrom, &nTo)) {
      CString strText;
      GetText(nTo, strText);
      m_pEditor->ItemReordered(nFrom, nTo, strText);
    }
  }
  int nSel = GetCurSel();
  if (nNoted != -2 && nSel != nNoted && nSel >= 0)
    ::PostMessageA(::GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), LBN_SELCHANGE), (LPARAM)m_hWnd);
}

void SECListBoxEditorHelper::OnBrowse() { m_pEditor->BrowseForItem(); }

void SECListBoxEditorHelper::OnEditDone(NMHDR*, LRESULT* pResult) {
  m_pEditor->FinishEdit();
  *pResult = 0;
}

LRESULT SECListBoxEditorHelper::OnSetCancel(WPARAM wParam, LPARAM) {
  m_pEditor->m_bEditCancelled = (BOOL)wParam;
  return 0;
}

/////////////////////////////////////////////////////////////////////////////
// The editor

BEGIN_MESSAGE_MAP(SECListBoxEditor, CWnd)
  ON_WM_PAINT()
  ON_WM_LBUTTONDOWN()
  ON_WM_NCHITTEST()
  ON_WM_SIZE()
  ON_WM_MOVE()
END_MESSAGE_MAP()

SECListBoxEditor::SECListBoxEditor()
    : m_pEdit(NULL), m_pListBox(NULL), m_dwOptions(0), m_bAttached(FALSE), m_nHeaderHeight(0), m_bNewItem(FALSE),
      m_bEditCancelled(FALSE), m_nLastIndex(-1), m_nLastMoveTarget(-1), m_bSpaceEndsEdit(FALSE), m_nSpaceEndCount(1) {
  for (int i = 0; i < 4; i++) {
    m_bShowButton[i] = TRUE;
    ::SetRectEmpty(&m_rcButtons[i]);
  }
}

SECListBoxEditor::~SECListBoxEditor() {
  delete m_pListBox;
  m_pListBox = NULL;
  if (m_pEdit) {
    m_pEdit->DestroyWindow();
    delete m_pEdit;
    m_pEdit = NULL;
  }
}

HBITMAP SECListBoxEditor::LoadButtonBitmap(int nButton) {
  HBITMAP h = (HBITMAP)::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(kButtonBitmaps[nButton]), IMAGE_BITMAP,
                                    0, 0, LR_LOADMAP3DCOLORS);
  if (!h)
    return NULL;
  BITMAP bm;
  ::GetObjectA(h, sizeof(bm), &bm);
  HDC hDC = ::CreateCompatibleDC(NULL);
  HGDIOBJ hOld = ::SelectObject(hDC, h);
  HPEN hPen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT));
  HGDIOBJ hOldPen = ::SelectObject(hDC, hPen);
  ::MoveToEx(hDC, 0, bm.bmHeight - 2, NULL);
  ::LineTo(hDC, 0, 0);
  ::LineTo(hDC, bm.bmWidth, 0);
  ::SelectObject(hDC, hOldPen);
  ::DeleteObject(hPen);
  ::SelectObject(hDC, hOld);
  ::DeleteDC(hDC);
  return h;
}

void SECListBoxEditor::SendParentCommand(UINT nCode, BOOL bPost) {
  HWND hParent = ::GetParent(m_hWnd);
  WPARAM w = MAKEWPARAM(m_pListBox->GetDlgCtrlID(), nCode);
  if (bPost)
    ::PostMessageA(hParent, WM_COMMAND, w, (LPARAM)m_pListBox->m_hWnd);
  else
    ::SendMessageA(hParent, WM_COMMAND, w, (LPARAM)m_pListBox->m_hWnd);
}

BOOL SECListBoxEditor::AttachToListBox(CWnd* pParent, UINT nListBoxId, DWORD dwOptions) {
  HWND hList = ::GetDlgItem(pParent->m_hWnd, nListBoxId);
  if (!hList)
    return FALSE;
  m_dwOptions = dwOptions;
  UINT nId = 0x7FFF;
  while (nId > 0 && ::GetDlgItem(pParent->m_hWnd, nId))
    nId--;
  CRect rcList;
  ::GetWindowRect(hList, &rcList);
  pParent->ScreenToClient(&rcList);
  if (!CreateEx(0, "static", "", WS_CHILD | SS_SUNKEN, rcList, pParent, nId))
    return FALSE;
  SetFont(pParent->GetFont(), FALSE);
  m_nHeaderHeight = CalcHeaderHeight();
  int nGap = 2 * ::GetSystemMetrics(SM_CYBORDER);
  ::SetWindowPos(m_hWnd, hList, rcList.left, rcList.top, rcList.Width(), m_nHeaderHeight, SWP_NOACTIVATE);
  ::SetWindowPos(hList, m_hWnd, rcList.left, rcList.top + m_nHeaderHeight + nGap, rcList.Width(),
                 rcList.Height() - m_nHeaderHeight - nGap, SWP_NOACTIVATE);
  SetButtonMask(dwOptions);
  m_pListBox = new SECListBoxEditorHelper(this);
  m_pListBox->SubclassWindow(hList);
  LayoutButtons();
  if ((dwOptions & LBEDIT_SHOW_BUTTONS) && (dwOptions & LBEDIT_SHOW_TIPS)) {
    m_wndTips.Create(this, TTS_ALWAYSTIP);
    for (int i = 0; i < 4; i++) {
      if (!m_bShowButton[i])
        continue;
      CString strTip;
      strTip.LoadString(kButtonTips[i]);
      m_wndTips.AddTool(this, strTip, &m_rcButtons[i], kButtonTips[i]);
    }
    m_wndTips.Activate(TRUE);
  }
  if (UsesBlankRow()) {
    int n = m_pListBox->GetCount();
    CString strLast;
    if (n > 0)
      m_pListBox->GetText(n - 1, strLast);
    if (n == 0 || !strLast.IsEmpty())
      m_pListBox->AddString("");
  }
  NotifySelChange();
  ShowWindow(SW_SHOW);
  m_bAttached = TRUE;
  return TRUE;
}

void SECListBoxEditor::SetSpaceEndsEdit(BOOL bOn) { m_bSpaceEndsEdit = bOn; }
void SECListBoxEditor::SetSpaceEndCount(int nCount) { m_nSpaceEndCount = nCount; }
void SECListBoxEditor::BrowseForItem() {}

void SECListBoxEditor::NotifySelChange() { SendParentCommand(LBN_SELCHANGE, TRUE); }

void SECListBoxEditor::EnsureSelection() {
  if (m_pListBox->GetCurSel() < 0)
    m_pListBox->SetCurSel(m_pListBox->GetCount() - 1);
  NotifySelChange();
}

BOOL SECListBoxEditor::SetButtonMask(DWORD dwOptions) {
  m_bShowButton[0] = (dwOptions & LBEDIT_HAS_NEW) != 0;
  m_bShowButton[1] = (dwOptions & LBEDIT_HAS_DELETE) != 0;
  m_bShowButton[2] = (dwOptions & LBEDIT_HAS_UP) != 0;
  m_bShowButton[3] = (dwOptions & LBEDIT_HAS_DOWN) != 0;
  return TRUE;
}

int SECListBoxEditor::CalcHeaderHeight() {
  CClientDC dc(this);
  HGDIOBJ hOld = ::SelectObject(dc.m_hDC, (HFONT)SendMessage(WM_GETFONT));
  TEXTMETRICA tm;
  ::GetTextMetricsA(dc.m_hDC, &tm);
  ::SelectObject(dc.m_hDC, hOld);
  int nHeight = tm.tmHeight + 4 * ::GetSystemMetrics(SM_CYBORDER);
  for (int i = 0; i < 4; i++) {
    HBITMAP h = LoadButtonBitmap(i);
    if (!h)
      continue;
    BITMAP bm;
    ::GetObjectA(h, sizeof(bm), &bm);
    if (bm.bmHeight + 2 > nHeight)
      nHeight = bm.bmHeight + 2;
    ::DeleteObject(h);
  }
  return nHeight;
}

void SECListBoxEditor::LayoutButtons() {
  CRect rc;
  GetClientRect(&rc);
  int x = rc.right;
  for (int i = 3; i >= 0; i--) {
    ::SetRectEmpty(&m_rcButtons[i]);
    if (!m_bShowButton[i])
      continue;
    HBITMAP h = LoadButtonBitmap(i);
    int w = 16;
    if (h) {
      BITMAP bm;
      ::GetObjectA(h, sizeof(bm), &bm);
      w = bm.bmWidth;
      ::DeleteObject(h);
    }
    ::SetRect(&m_rcButtons[i], x - w, 0, x, m_nHeaderHeight);
    x -= w;
  }
}

void SECListBoxEditor::RefreshButtonTips() {
  if (!(m_dwOptions & LBEDIT_SHOW_BUTTONS) || !(m_dwOptions & LBEDIT_SHOW_TIPS) || !m_wndTips.m_hWnd)
    return;
  for (int i = 0; i < 4; i++) {
    m_wndTips.DelTool(this, kButtonTips[i]);
    CString strTip;
    strTip.LoadString(kButtonTips[i]);
    m_wndTips.AddTool(this, strTip, &m_rcButtons[i], kButtonTips[i]);
  }
  m_wndTips.Activate(TRUE);
}

void SECListBoxEditor::RepositionParts() {
  CRect rc;
  GetWindowRect(&rc);
  CWnd* pParent = GetParent();
  pParent->ScreenToClient(&rc);
  if (rc.Height() > m_nHeaderHeight && m_pListBox) {
    int nGap = 2 * ::GetSystemMetrics(SM_CYBORDER);
    m_bAttached = FALSE;   // no recursion through our own WM_SIZE
    ::SetWindowPos(m_hWnd, NULL, rc.left, rc.top, rc.Width(), m_nHeaderHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(m_pListBox->m_hWnd, NULL, rc.left, rc.top + m_nHeaderHeight + nGap, rc.Width(),
                   rc.Height() - m_nHeaderHeight - nGap, SWP_NOZORDER | SWP_NOACTIVATE);
    m_bAttached = TRUE;
  }
  LayoutButtons();
  RefreshButtonTips();
  Invalidate();
  if (m_pListBox)
    m_pListBox->Invalidate();
}

void SECListBoxEditor::OnSize(UINT nType, int cx, int cy) {
  CWnd::OnSize(nType, cx, cy);
  if (m_bAttached)
    RepositionParts();
}

void SECListBoxEditor::OnMove(int x, int y) {
  CWnd::OnMove(x, y);
  if (m_bAttached)
    RepositionParts();
}

LRESULT SECListBoxEditor::OnNcHitTest(CPoint) { return HTCLIENT; }

void SECListBoxEditor::OnPaint() {
  CPaintDC dc(this);
  CRect rc;
  GetClientRect(&rc);
  CRect rcFill(rc.left, rc.top, rc.right, m_nHeaderHeight - 2);
  ::FillRect(dc.m_hDC, &rcFill, ::GetSysColorBrush(COLOR_BTNFACE));
  CString strText;
  GetWindowText(strText);
  HGDIOBJ hOld = ::SelectObject(dc.m_hDC, (HFONT)SendMessage(WM_GETFONT));
  ::SetTextColor(dc.m_hDC, ::GetSysColor(COLOR_WINDOWTEXT));
  ::SetBkMode(dc.m_hDC, TRANSPARENT);
  CRect rcText(rc.left + 2 * ::GetSystemMetrics(SM_CXBORDER), rc.top, rc.right, m_nHeaderHeight);
  ::DrawTextA(dc.m_hDC, strText, -1, &rcText, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  ::SelectObject(dc.m_hDC, hOld);
  if (m_dwOptions & LBEDIT_SHOW_BUTTONS) {
    for (int i = 0; i < 4; i++) {
      if (!m_bShowButton[i])
        continue;
      CBitmap bmp;
      bmp.Attach(LoadButtonBitmap(i));
      blitBitmap(&dc, &bmp, m_rcButtons[i].left, m_rcButtons[i].top);
    }
  }
}

void SECListBoxEditor::OnLButtonDown(UINT, CPoint point) {
  if (!(m_dwOptions & LBEDIT_SHOW_BUTTONS) || m_pEdit)
    return;
  for (int i = 0; i < 4; i++) {
    if (!m_bShowButton[i] || !::PtInRect(&m_rcButtons[i], point))
      continue;
    CBitmap bmpNormal, bmpPressed;
    bmpNormal.Attach(LoadButtonBitmap(i));
    MakePressedBitmap(&bmpNormal, &bmpPressed);
    RECT rcScreen = m_rcButtons[i];
    ClientToScreen(&rcScreen);
    SECFakeButton button(&bmpNormal, &bmpPressed, &rcScreen);
    if (button.TrackPress()) {
      switch (i) {
      case 0: AddNewItem(); break;
      case 1: DeleteSelectedItem(); break;
      case 2: MoveSelectedUp(); break;
      case 3: MoveSelectedDown(); break;
      }
    }
    return;
  }
}

BOOL SECListBoxEditor::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_MOUSEMOVE && (m_dwOptions & LBEDIT_SHOW_TIPS) && m_wndTips.m_hWnd)
    m_wndTips.RelayEvent(pMsg);
  return CWnd::PreTranslateMessage(pMsg);
}

BOOL SECListBoxEditor::AddNewItem() {
  int n = m_pListBox->GetCount();
  CString strLast;
  if (n > 0)
    m_pListBox->GetText(n - 1, strLast);
  if (n == 0 || !strLast.IsEmpty())
    m_pListBox->AddString("");
  if (UsesBlankRow())
    n = m_pListBox->AddString("");
  else
    n = m_pListBox->GetCount();
  StartItemEdit(n - 1, TRUE, NULL);
  m_bNewItem = TRUE;
  return TRUE;
}

BOOL SECListBoxEditor::EditSelectedItem(char ch) {
  if ((ch == ' ' || ch == '\b') && m_bSpaceEndsEdit) {
    FocusNextControl(m_pListBox->m_hWnd, ch == '\b');
    return FALSE;
  }
  if (ch == ' ' || ch == '\b')
    ch = 0;
  int nSel = m_pListBox->GetCurSel();
  if (nSel < 0)
    return FALSE;
  m_pListBox->GetText(nSel, m_strBeforeEdit);
  char sz[2] = { ch, 0 };
  return StartItemEdit(nSel, FALSE, ch ? sz : NULL);
}

BOOL SECListBoxEditor::StartItemEdit(int nIndex, BOOL bNew, LPCTSTR pszInitial) {
  NotifySelChange();
  int nBrowse = (m_dwOptions & LBEDIT_BROWSE_BUTTON) ? LBEDIT_BROWSE_ID : 0;
  m_pEdit = new SECListBoxEdit(bNew, nIndex, nBrowse, m_bSpaceEndsEdit, m_nSpaceEndCount);
  if (!m_pEdit->CreateOver(m_pListBox, pszInitial)) {
    delete m_pEdit;
    m_pEdit = NULL;
    return FALSE;
  }
  if (nBrowse) {
    CClientDC dc(m_pEdit);
    HGDIOBJ hOld = ::SelectObject(dc.m_hDC, (HFONT)m_pEdit->SendMessage(WM_GETFONT));
    SIZE szDots, szBlank;
    ::GetTextExtentPoint32A(dc.m_hDC, "...", 3, &szDots);
    ::GetTextExtentPoint32A(dc.m_hDC, " ", 1, &szBlank);
    ::SelectObject(dc.m_hDC, hOld);
    int w = szDots.cx + 2 * (szBlank.cx + ::GetSystemMetrics(SM_CXBORDER));
    CRect rc;
    m_pEdit->GetWindowRect(&rc);
    m_pListBox->ScreenToClient(&rc);
    m_pEdit->MoveWindow(rc.left, rc.top, rc.Width() - w, rc.Height());
    m_wndBrowse.Create("...", WS_CHILD | WS_VISIBLE, CRect(rc.right - w, rc.top, rc.right, rc.bottom), m_pListBox,
                       LBEDIT_BROWSE_ID);
  }
  return TRUE;
}

void SECListBoxEditor::FinishEdit() {
  if (m_dwOptions & LBEDIT_BROWSE_BUTTON)
    m_wndBrowse.DestroyWindow();
  if (!m_pEdit)
    return;
  SECListBoxEdit* pEdit = m_pEdit;
  m_pEdit = NULL;
  pEdit->ShowWindow(SW_HIDE);
  pEdit->DestroyWindow();
  delete pEdit;

  int r = m_pListBox->GetCurSel();
  int nCount = m_pListBox->GetCount();
  BOOL bLast = r >= 0 && r == nCount - 1;
  BOOL bAddBlank = bLast && UsesBlankRow();
  if (r >= 0 && !m_bEditCancelled) {
    CString t;
    m_pListBox->GetText(r, t);
    if (bLast && t != m_strBeforeEdit && !m_strBeforeEdit.IsEmpty()) {
      ItemTextChanged(r, m_strBeforeEdit, t);
    } else if (m_bNewItem || bAddBlank) {
      NewItemCommitted(r, t);
      CString tl = t;
      tl.TrimLeft();
      if (bAddBlank && !tl.IsEmpty())
        m_pListBox->AddString("");
    } else if (t != m_strBeforeEdit) {
      ItemTextChanged(r, m_strBeforeEdit, t);
    }
  }
  m_strBeforeEdit.Empty();
  m_bNewItem = FALSE;
  EnsureSelection();
}

void SECListBoxEditor::ItemTextChanged(int nIndex, CString, CString strNew) {
  if (lbeditTrimRight(strNew).IsEmpty()) {
    RemoveItemAt(nIndex);
    return;
  }
  if (nIndex == m_pListBox->GetCount() - 1 && UsesBlankRow())
    m_pListBox->AddString("");
}

void SECListBoxEditor::NewItemCommitted(int nIndex, CString strText) {
  if (lbeditTrimRight(strText).IsEmpty())
    RemoveItemAt(nIndex);
}

void SECListBoxEditor::ItemReordered(int nFrom, int nTo, CString) {
  m_nLastIndex = nFrom;
  m_nLastMoveTarget = nTo;
  SendParentCommand(LBEDIT_NOTIFY_MOVED, FALSE);
}

BOOL SECListBoxEditor::QueryDeleteItem(int, CString) { return TRUE; }

BOOL SECListBoxEditor::DeleteSelectedItem() { return RemoveItemAt(m_pListBox->GetCurSel()); }

BOOL SECListBoxEditor::RemoveItemAt(int nIndex) {
  int nCount = m_pListBox->GetCount();
  if (nIndex < 0 || nIndex >= nCount)
    return FALSE;
  CString strText;
  m_pListBox->GetText(nIndex, strText);
  if (nIndex == nCount - 1 && strText.IsEmpty())
    return FALSE;   // the blank row stays
  if (!QueryDeleteItem(nIndex, strText))
    return FALSE;
  m_pListBox->SetRedraw(FALSE);
  m_pListBox->DeleteString(nIndex);
  m_pListBox->SetCurSel(nIndex);
  m_pListBox->SetRedraw(TRUE);
  m_pListBox->Invalidate();
  m_nLastIndex = nIndex;
  SendParentCommand(LBEDIT_NOTIFY_DELETED, FALSE);
  return TRUE;
}

void SECListBoxEditor::ShiftItemUp(int nIndex) {
  CString strText;
  m_pListBox->GetText(nIndex, strText);
  DWORD_PTR dwData = m_pListBox->GetItemData(nIndex);
  m_pListBox->DeleteString(nIndex);
  m_pListBox->InsertString(nIndex - 1, strText);
  m_pListBox->SetItemData(nIndex - 1, dwData);
}

BOOL SECListBoxEditor::MoveSelectedUp() {
  int nSel = m_pListBox->GetCurSel();
  int nCount = m_pListBox->GetCount();
  if (nSel <= 0 || nSel == nCount - 1)
    return FALSE;
  m_pListBox->SetRedraw(FALSE);
  ShiftItemUp(nSel);
  m_pListBox->SetCurSel(nSel - 1);
  m_pListBox->SetRedraw(TRUE);
  m_pListBox->Invalidate();
  CString strText;
  m_pListBox->GetText(nSel - 1, strText);
  ItemReordered(nSel, nSel - 1, strText);
  return TRUE;
}

BOOL SECListBoxEditor::MoveSelectedDown() {
  int nSel = m_pListBox->GetCurSel();
  int nCount = m_pListBox->GetCount();
  if (nSel < 0 || nSel >= nCount - 2)
    return FALSE;
  m_pListBox->SetRedraw(FALSE);
  ShiftItemUp(nSel + 1);
  m_pListBox->SetCurSel(nSel + 1);
  m_pListBox->SetRedraw(TRUE);
  m_pListBox->Invalidate();
  CString strText;
  m_pListBox->GetText(nSel + 1, strText);
  ItemReordered(nSel, nSel + 1, strText);
  return TRUE;
}
