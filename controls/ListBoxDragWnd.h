// Drag of a list-box row to a new place, and a push-button look for header bitmaps.
#pragma once

#include <afxwin.h>

class SECListBoxDragWnd : public CWnd {
public:
  explicit SECListBoxDragWnd(CListBox* pListBox);
  virtual ~SECListBoxDragWnd();
  // Runs one drag; TRUE when a row moved from *pFrom to *pTo.
  BOOL TrackDrag(int* pFrom, int* pTo);

  BOOL m_bTracking;
  BOOL m_bCancelled;
  BOOL m_bDragStarted;
  BOOL m_bSkipLastRow;
  DWORD m_dwLastScroll;
  DWORD m_dwScrollDelayStart;
  DWORD m_dwScrollDelay;
  DWORD m_dwScrollDelayMin;
  DWORD m_dwScrollDelayStep;
  DWORD m_dwStartTick;
  DWORD m_dwEndTick;
  DWORD m_dwMinDragTime;
  HCURSOR m_hDragCursor;
  HCURSOR m_hPrevCursor;
  int m_nScrollCode;
  int m_nLineY;
  int m_nFrom;
  int m_nTo;
  POINT m_ptStart;
  CListBox* m_pListBox;
  // The clock of the drag (GetTickCount; tests move it themselves).
  static DWORD(WINAPI* m_pfnTickCount)();

protected:
  void DrawLine(int y);
  void SetLine(int y);
  void ScrollStep();
  void PumpOnce();
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  DECLARE_MESSAGE_MAP()
};

class SECFakeButton : public CWnd {
public:
  SECFakeButton(CBitmap* pNormal, CBitmap* pPressed, RECT* pRect);
  virtual ~SECFakeButton();
  // Runs one press; TRUE when the mouse button was released over the button.
  BOOL TrackPress();

  BOOL m_bInside;
  BOOL m_bDone;
  CBitmap* m_pPressed;
  CBitmap* m_pNormal;
  RECT* m_pRect;

protected:
  void Draw();
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  DECLARE_MESSAGE_MAP()
};

// Makes pPressed: the normal picture shifted one pixel right and down inside a sunken frame.
BOOL MakePressedBitmap(CBitmap* pNormal, CBitmap* pPressed);
// Copies the whole bitmap to x, y of the DC.
BOOL blitBitmap(CDC* pDC, CBitmap* pBitmap, int x, int y);
