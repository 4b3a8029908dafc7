// GDI objects, device contexts and menus.
#include "afxwin.h"
#include <map>

namespace {
template <class T, class H> struct TempMap {
  std::map<H, T*> map;
  T* Get(H h) {
    auto it = map.find(h);
    if (it != map.end())
      return it->second;
    T* p = new T;
    map[h] = p;
    return p;
  }
};
thread_local TempMap<CGdiObject, HGDIOBJ>* t_pGdi = NULL;
thread_local TempMap<CDC, HDC>* t_pDC = NULL;
thread_local TempMap<CMenu, HMENU>* t_pMenu = NULL;
}

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CPen, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CPalette, CGdiObject)
IMPLEMENT_DYNAMIC(CRgn, CGdiObject)
IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)
IMPLEMENT_DYNAMIC(CWindowDC, CDC)
IMPLEMENT_DYNAMIC(CMenu, CObject)

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ h) {
  if (!h)
    return FALSE;
  m_hObject = h;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  m_hObject = NULL;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject)
    return FALSE;
  return ::DeleteObject(Detach());
}

BOOL CGdiObject::CreateStockObject(int nIndex) { return Attach(::GetStockObject(nIndex)); }

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h) {
  if (!h)
    return NULL;
  if (!t_pGdi)
    t_pGdi = new TempMap<CGdiObject, HGDIOBJ>;
  CGdiObject* p = t_pGdi->Get(h);
  p->m_hObject = h;
  return p;
}

BOOL CBrush::CreatePatternBrush(CBitmap* pBitmap) {
  return Attach(::CreatePatternBrush((HBITMAP)pBitmap->GetSafeHandle()));
}

BOOL CFont::CreatePointFont(int nPointSize, LPCTSTR lpszFaceName, CDC* pDC) {
  LOGFONTA lf;
  memset(&lf, 0, sizeof(lf));
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, lpszFaceName, LF_FACESIZE);
  HDC hDC = pDC ? pDC->m_hDC : ::GetDC(NULL);
  // Tenths of a point to logical units.
  lf.lfHeight = -MulDiv(nPointSize, ::GetDeviceCaps(hDC, LOGPIXELSY), 720);
  if (!pDC)
    ::ReleaseDC(NULL, hDC);
  return CreateFontIndirect(&lf);
}

BOOL CBitmap::LoadBitmap(LPCTSTR lpszResourceName) {
  HINSTANCE hInst = AfxFindResourceHandle(lpszResourceName, (LPCTSTR)RT_BITMAP);
  return Attach(::LoadBitmapA(hInst, lpszResourceName));
}

BOOL CBitmap::LoadBitmap(UINT nIDResource) { return LoadBitmap(MAKEINTRESOURCEA(nIDResource)); }

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight) {
  return Attach(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
}

BOOL CPalette::CreateHalftonePalette(CDC* pDC) {
  return Attach(::CreateHalftonePalette(pDC->GetSafeHdc()));
}

/////////////////////////////////////////////////////////////////////////////
// Device contexts

CDC::CDC() : m_hDC(NULL), m_hAttribDC(NULL) {}
CDC::~CDC() {
  if (m_hDC)
    ::DeleteDC(Detach());
}

BOOL CDC::Attach(HDC hDC) {
  if (!hDC)
    return FALSE;
  m_hDC = m_hAttribDC = hDC;
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  m_hDC = m_hAttribDC = NULL;
  return h;
}

CDC* CDC::FromHandle(HDC hDC) {
  if (!hDC)
    return NULL;
  if (!t_pDC)
    t_pDC = new TempMap<CDC, HDC>;
  CDC* p = t_pDC->Get(hDC);
  p->m_hDC = p->m_hAttribDC = hDC;
  return p;
}

void CDC::DeleteTempMap() {
  if (t_pDC) {
    for (auto& kv : t_pDC->map) {
      kv.second->Detach();
      delete kv.second;
    }
    t_pDC->map.clear();
  }
  if (t_pGdi) {
    for (auto& kv : t_pGdi->map) {
      kv.second->Detach();
      delete kv.second;
    }
    t_pGdi->map.clear();
  }
  if (t_pMenu) {
    for (auto& kv : t_pMenu->map) {
      kv.second->Detach();
      delete kv.second;
    }
    t_pMenu->map.clear();
  }
}

BOOL CDC::CreateCompatibleDC(CDC* pDC) { return Attach(::CreateCompatibleDC(pDC->GetSafeHdc())); }

BOOL CDC::CreateDC(LPCTSTR lpszDriverName, LPCTSTR lpszDeviceName, LPCTSTR lpszOutput, const void* lpInitData) {
  return Attach(::CreateDCA(lpszDriverName, lpszDeviceName, lpszOutput, (const DEVMODEA*)lpInitData));
}

BOOL CDC::DeleteDC() {
  if (!m_hDC)
    return FALSE;
  return ::DeleteDC(Detach());
}

CWnd* CDC::GetWindow() const { return CWnd::FromHandle(::WindowFromDC(m_hDC)); }

void CDC::FillSolidRect(LPCRECT r, COLORREF cr) {
  COLORREF crOld = ::SetBkColor(m_hDC, cr);
  ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, r, NULL, 0, NULL);
  ::SetBkColor(m_hDC, crOld);
}

void CDC::Draw3dRect(LPCRECT r, COLORREF crTopLeft, COLORREF crBottomRight) {
  int x = r->left, y = r->top, cx = r->right - r->left, cy = r->bottom - r->top;
  FillSolidRect(x, y, cx - 1, 1, crTopLeft);
  FillSolidRect(x, y, 1, cy - 1, crTopLeft);
  FillSolidRect(x + cx - 1, y, 1, cy, crBottomRight);
  FillSolidRect(x, y + cy - 1, cx, 1, crBottomRight);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) { Attach(::BeginPaint(m_hWnd, &m_ps)); }
CPaintDC::~CPaintDC() {
  ::EndPaint(m_hWnd, &m_ps);
  Detach();
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd->GetSafeHwnd()) { Attach(::GetDC(m_hWnd)); }
CClientDC::~CClientDC() { ::ReleaseDC(m_hWnd, Detach()); }

CWindowDC::CWindowDC(CWnd* pWnd) : m_hWnd(pWnd->GetSafeHwnd()) { Attach(::GetWindowDC(m_hWnd)); }
CWindowDC::~CWindowDC() { ::ReleaseDC(m_hWnd, Detach()); }

/////////////////////////////////////////////////////////////////////////////
// Menus

CMenu::~CMenu() { DestroyMenu(); }

CMenu* CMenu::FromHandle(HMENU h) {
  if (!h)
    return NULL;
  if (!t_pMenu)
    t_pMenu = new TempMap<CMenu, HMENU>;
  CMenu* p = t_pMenu->Get(h);
  p->m_hMenu = h;
  return p;
}

BOOL CMenu::LoadMenu(UINT nIDResource) {
  LPCTSTR lpsz = MAKEINTRESOURCEA(nIDResource);
  return Attach(::LoadMenuA(AfxFindResourceHandle(lpsz, (LPCTSTR)RT_MENU), lpsz));
}

BOOL CMenu::DestroyMenu() {
  if (!m_hMenu)
    return FALSE;
  return ::DestroyMenu(Detach());
}

int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const {
  int n = ::GetMenuStringA(m_hMenu, nIDItem, NULL, 0, nFlags);
  ::GetMenuStringA(m_hMenu, nIDItem, rString.GetBufferSetLength(n), n + 1, nFlags);
  rString.ReleaseBuffer();
  return rString.GetLength();
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect) {
  return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd->GetSafeHwnd(), lpRect);
}
