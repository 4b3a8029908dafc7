// Drag reordering of list-box rows and the header's push-button feedback.
#include "ListBoxDragWnd.h"

#define DRAG_CLASS "SECListBoxDragWnd"

BEGIN_MESSAGE_MAP(SECListBoxDragWnd, CWnd)
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONUP()
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(SECFakeButton, CWnd)
  ON_WM_MOUSEMOVE()
  ON_WM_LBUTTONUP()
END_MESSAGE_MAP()

namespace {

// One pass of a local loop: one message of the thread if there is one, then idle work.
void RunOneMessage(HWND hWndOnly, BOOL* pbCancel, BOOL bSwallowKeys) {
  MSG msg;
  if (::PeekMessageA(&msg, hWndOnly, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (pbCancel)
        *pbCancel = TRUE;
      ::PostQuitMessage(0);
      return;
    }
    if (bSwallowKeys && (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP ||
                         msg.message == WM_SYSKEYDOWN || msg.message == WM_SYSKEYUP)) {
      if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && pbCancel)
        *pbCancel = TRUE;
      return;
    }
    CWinApp* pApp = AfxGetApp();
    if (!pApp || !pApp->PreTranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
  if (CWinApp* pApp = AfxGetApp()) {
    pApp->OnIdle(0);
    pApp->OnIdle(1);
  }
}

} // namespace

DWORD(WINAPI* SECListBoxDragWnd::m_pfnTickCount)() = ::GetTickCount;

SECListBoxDragWnd::SECListBoxDragWnd(CListBox* pListBox)
    : m_bTracking(FALSE), m_bCancelled(FALSE), m_bDragStarted(FALSE), m_bSkipLastRow(TRUE),
      m_dwLastScroll(0), m_dwScrollDelayStart(300), m_dwScrollDelay(0), m_dwScrollDelayMin(50),
      m_dwScrollDelayStep(50), m_dwStartTick(0), m_dwEndTick(0), m_dwMinDragTime(250),
      m_hDragCursor(NULL), m_hPrevCursor(NULL), m_nScrollCode(0), m_nLineY(-1), m_nFrom(-1), m_nTo(-2),
      m_pListBox(pListBox) {
  m_ptStart.x = m_ptStart.y = 0;
}

SECListBoxDragWnd::~SECListBoxDragWnd() {}

void SECListBoxDragWnd::DrawLine(int y) {
  CRect rc;
  m_pListBox->GetClientRect(&rc);
  HDC hDC = ::GetDC(m_pListBox->m_hWnd);
  HPEN hPen = ::CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
  HGDIOBJ hOld = ::SelectObject(hDC, hPen);
  int nOldRop = ::SetROP2(hDC, R2_NOTXORPEN);
  ::MoveToEx(hDC, rc.left + 2, y, NULL);
  ::LineTo(hDC, rc.right + 1, y);
  ::SetROP2(hDC, nOldRop);
  ::SelectObject(hDC, hOld);
  ::DeleteObject(hPen);
  ::ReleaseDC(m_pListBox->m_hWnd, hDC);
}

void SECListBoxDragWnd::SetLine(int y) {
  if (y == m_nLineY)
    return;
  if (m_nLineY != -1)
    DrawLine(m_nLineY);
  m_nLineY = y;
  if (m_nLineY != -1)
    DrawLine(m_nLineY);
}

void SECListBoxDragWnd::OnMouseMove(UINT nFlags, CPoint point) {
  if (!m_bDragStarted) {
    int dx = point.x - m_ptStart.x, dy = point.y - m_ptStart.y;
    int cx = ::GetSystemMetrics(SM_CXDOUBLECLK), cy = ::GetSystemMetrics(SM_CYDOUBLECLK);
    if (dx * dx + dy * dy > cx * cx + cy * cy) {
      m_bDragStarted = TRUE;
      if (m_hDragCursor)
        m_hPrevCursor = ::SetCursor(m_hDragCursor);
    }
  }
  CPoint pt = point;
  ClientToScreen(&pt);
  CPoint ptList = pt;
  m_pListBox->ScreenToClient(&ptList);
  BOOL bOutside = FALSE;
  int nCount = m_pListBox->GetCount();
  int nRow = (int)(short)m_pListBox->ItemFromPoint(ptList, bOutside);
  if (m_bSkipLastRow && nRow == nCount - 1)
    nRow = nCount - 2 < -1 ? -1 : nCount - 2;
  if (!bOutside) {
    if (m_bSkipLastRow && nRow == -1)
      nRow = nCount - 1;
    CRect rcRow;
    m_pListBox->GetItemRect(nRow, &rcRow);
    int nEdge;
    if (ptList.y < (rcRow.top + rcRow.bottom) / 2) {
      m_nTo = nRow;
      nEdge = rcRow.top;
    } else {
      m_nTo = nRow + 1;
      nEdge = rcRow.bottom;
      if (m_nTo == nCount)
        m_nTo = -1;
    }
    SetLine(nEdge + 1);
  }
  if (m_bDragStarted && m_pfnTickCount() - m_dwStartTick > m_dwMinDragTime) {
    CRect rcList;
    m_pListBox->GetClientRect(&rcList);
    m_pListBox->ClientToScreen(&rcList);
    int nCode = 0;
    if (pt.x < rcList.left) nCode |= 1;
    if (pt.x > rcList.right) nCode |= 4;
    if (pt.y < rcList.top) nCode |= 2;
    if (pt.y > rcList.bottom) nCode |= 8;
    // Scrolling begins one start delay after the pointer left the list.
    if (m_nScrollCode == 0 && nCode != 0) {
      m_dwScrollDelay = m_dwScrollDelayStart;
      m_dwLastScroll = m_pfnTickCount();
    }
    m_nScrollCode = nCode;
  }
  CWnd::OnMouseMove(nFlags, point);
}

void SECListBoxDragWnd::OnLButtonUp(UINT nFlags, CPoint point) {
  m_bTracking = FALSE;
  CWnd::OnLButtonUp(nFlags, point);
}

void SECListBoxDragWnd::ScrollStep() {
  int nTop = m_pListBox->GetTopIndex();
  int nCount = m_pListBox->GetCount();
  CRect rcClient;
  m_pListBox->GetClientRect(&rcClient);
  if (m_nScrollCode & 2) {
    if (nTop == 0)
      return;
    SetLine(-1);
    m_pListBox->SetTopIndex(nTop - 1);
    m_nTo = m_pListBox->GetTopIndex();
    CRect rc;
    m_pListBox->GetItemRect(m_nTo, &rc);
    SetLine(rc.top + 1);
  } else if (m_nScrollCode & 8) {
    CRect rcLast;
    if (nCount == 0)
      return;
    m_pListBox->GetItemRect(nCount - 1, &rcLast);
    if (rcLast.bottom < rcClient.bottom)
      return;
    // The last row (partly) visible before the step.
    int nLastVisible = -1;
    for (int i = nTop; i < nCount; i++) {
      CRect rc;
      m_pListBox->GetItemRect(i, &rc);
      if (rc.top >= rcClient.bottom)
        break;
      nLastVisible = i;
    }
    BOOL bAllVisible = nTop == 0 && rcLast.bottom <= rcClient.bottom;
    SetLine(-1);
    m_pListBox->SetTopIndex(nTop + 1);
    m_nTo = bAllVisible ? -1 : nLastVisible;
    int nLineRow = m_nTo == -1 ? nCount - 2 : m_nTo;
    if (nLineRow >= 0) {
      CRect rc;
      m_pListBox->GetItemRect(nLineRow, &rc);
      SetLine(rc.bottom + 1);
    }
  }
}

BOOL SECListBoxDragWnd::TrackDrag(int* pFrom, int* pTo) {
  int nSel = m_pListBox->GetCurSel();
  int nCount = m_pListBox->GetCount();
  if (nSel < 0 || (m_bSkipLastRow && nSel == nCount - 1))
    return FALSE;
  static BOOL s_bRegistered = FALSE;
  if (!s_bRegistered) {
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(NULL);
    wc.hCursor = ::LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)::GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = DRAG_CLASS;
    if (!::RegisterClassA(&wc))
      AfxThrowResourceException();
    s_bRegistered = TRUE;
  }
  if (!CreateEx(0, DRAG_CLASS, DRAG_CLASS, WS_POPUP, 0, 0, 0, 0, NULL, NULL))
    return FALSE;
  m_nLineY = -1;
  m_nFrom = nSel;
  m_nTo = -2;
  m_bCancelled = FALSE;
  m_bTracking = TRUE;
  SetCapture();
  m_bDragStarted = FALSE;
  ::GetCursorPos(&m_ptStart);
  ScreenToClient(&m_ptStart);
  m_dwStartTick = m_dwEndTick = m_pfnTickCount();

  while (!m_bCancelled && m_bTracking) {
    RunOneMessage(NULL, &m_bCancelled, TRUE);
    if (!m_bCancelled && m_nScrollCode != 0 && m_pfnTickCount() - m_dwLastScroll > m_dwScrollDelay) {
      ScrollStep();
      m_dwLastScroll = m_pfnTickCount();
      m_dwScrollDelay = m_dwScrollDelay > m_dwScrollDelayMin + m_dwScrollDelayStep
                            ? m_dwScrollDelay - m_dwScrollDelayStep : m_dwScrollDelayMin;
    }
    if (m_bTracking && !m_bCancelled)
      ::Sleep(1);
  }

  SetLine(-1);
  m_dwEndTick = m_pfnTickCount();
  ::ReleaseCapture();
  m_bTracking = FALSE;
  DestroyWindow();
  if (m_hPrevCursor)
    ::SetCursor(m_hPrevCursor);

  if (!m_bDragStarted || m_dwEndTick - m_dwStartTick <= m_dwMinDragTime || m_bCancelled ||
      m_nTo == m_nFrom || m_nTo == -2)
    return FALSE;
  m_pListBox->SetRedraw(FALSE);
  int nTop = m_pListBox->GetTopIndex();
  CString strText;
  m_pListBox->GetText(m_nFrom, strText);
  DWORD_PTR dwData = m_pListBox->GetItemData(m_nFrom);
  m_pListBox->DeleteString(m_nFrom);
  int nTo = m_nTo;
  if (nTo > m_nFrom)
    nTo--;
  if (nTo == -1 && m_bSkipLastRow)
    nTo = m_pListBox->GetCount() - 1;
  int nNew = m_pListBox->InsertString(nTo, strText);
  m_pListBox->SetItemData(nNew, dwData);
  m_pListBox->SetCurSel(nNew);
  m_pListBox->SetTopIndex(nTop);
  m_pListBox->SetRedraw(TRUE);
  m_pListBox->Invalidate();
  *pFrom = m_nFrom;
  *pTo = nNew;
  return TRUE;
}

/////////////////////////////////////////////////////////////////////////////

SECFakeButton::SECFakeButton(CBitmap* pNormal, CBitmap* pPressed, RECT* pRect)
    : m_bInside(FALSE), m_bDone(FALSE), m_pPressed(pPressed), m_pNormal(pNormal), m_pRect(pRect) {}

SECFakeButton::~SECFakeButton() {}

void SECFakeButton::Draw() {
  HDC hDC = ::CreateDCA("DISPLAY", NULL, NULL, NULL);
  CDC* pDC = CDC::FromHandle(hDC);
  blitBitmap(pDC, m_bInside ? m_pPressed : m_pNormal, m_pRect->left, m_pRect->top);
  ::DeleteDC(hDC);
}

BOOL SECFakeButton::TrackPress() {
  if (!CreateEx(0, "static", NULL, WS_POPUP, m_pRect->left, m_pRect->top, m_pRect->right, m_pRect->bottom, NULL, NULL))
    return FALSE;
  SetCapture();
  POINT pt;
  ::GetCursorPos(&pt);
  m_bInside = ::PtInRect(m_pRect, pt);
  Draw();
  while (!m_bDone) {
    BOOL bQuit = FALSE;
    RunOneMessage(m_hWnd, &bQuit, FALSE);
    if (bQuit || !::IsWindow(m_hWnd))
      break;
    ::Sleep(1);
  }
  DestroyWindow();
  return m_bInside && m_bDone;
}

void SECFakeButton::OnMouseMove(UINT, CPoint point) {
  ClientToScreen(&point);
  BOOL bInside = ::PtInRect(m_pRect, point);
  if (bInside != m_bInside) {
    m_bInside = bInside;
    Draw();
  }
}

void SECFakeButton::OnLButtonUp(UINT, CPoint point) {
  ::ReleaseCapture();
  ClientToScreen(&point);
  m_bInside = ::PtInRect(m_pRect, point);
  BOOL bInside = m_bInside;
  m_bInside = FALSE;
  Draw();
  m_bInside = bInside;
  m_bDone = TRUE;
}

BOOL blitBitmap(CDC* pDC, CBitmap* pBitmap, int x, int y) {
  if (!pBitmap || !pBitmap->m_hObject)
    return FALSE;
  BITMAP bm;
  pBitmap->GetBitmap(&bm);
  HDC hMem = ::CreateCompatibleDC(pDC->m_hDC);
  HGDIOBJ hOld = ::SelectObject(hMem, pBitmap->m_hObject);
  BOOL b = ::BitBlt(pDC->m_hDC, x, y, bm.bmWidth, bm.bmHeight, hMem, 0, 0, SRCCOPY);
  ::SelectObject(hMem, hOld);
  ::DeleteDC(hMem);
  return b;
}

BOOL MakePressedBitmap(CBitmap* pNormal, CBitmap* pPressed) {
  BITMAP bm;
  if (!pNormal->m_hObject || !pNormal->GetBitmap(&bm))
    return FALSE;
  HDC hScreen = ::GetDC(NULL);
  HDC hSrc = ::CreateCompatibleDC(hScreen), hDst = ::CreateCompatibleDC(hScreen);
  HBITMAP hNew = ::CreateCompatibleBitmap(hScreen, bm.bmWidth, bm.bmHeight);
  ::ReleaseDC(NULL, hScreen);
  if (!hNew) {
    ::DeleteDC(hSrc);
    ::DeleteDC(hDst);
    return FALSE;
  }
  HGDIOBJ hOldSrc = ::SelectObject(hSrc, pNormal->m_hObject);
  HGDIOBJ hOldDst = ::SelectObject(hDst, hNew);
  int w = bm.bmWidth, h = bm.bmHeight;
  ::BitBlt(hDst, 0, 0, w, h, hSrc, 0, 0, SRCCOPY);
  ::BitBlt(hDst, 1, 1, w - 1, h - 1, hSrc, 0, 0, SRCCOPY);
  CDC* pDC = CDC::FromHandle(hDst);
  CRect rc(0, 0, w, h);
  pDC->Draw3dRect(&rc, ::GetSysColor(COLOR_3DDKSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
  rc.DeflateRect(1, 1);
  pDC->Draw3dRect(&rc, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNFACE));
  ::SelectObject(hSrc, hOldSrc);
  ::SelectObject(hDst, hOldDst);
  ::DeleteDC(hSrc);
  ::DeleteDC(hDst);
  pPressed->DeleteObject();
  return pPressed->Attach(hNew);
}
