// Window objects: handle maps, the window procedure, message dispatch,
// command routing, reflection to controls, subclassing and the modal loop.
#include "afxwin.h"
#include <map>
#include <stdio.h>

#define WM_KICKIDLE 0x036A
#define WM_SYSTIMER 0x0118

namespace {

struct PermanentMap {
  CRITICAL_SECTION cs;
  std::map<HWND, CWnd*> map;
  PermanentMap() { ::InitializeCriticalSection(&cs); }
};

PermanentMap& Permanent() {
  static PermanentMap s_map;
  return s_map;
}

struct TempMaps {
  std::map<HWND, CWnd*> wnds;
  int nLock = 0;
};
thread_local TempMaps* t_pTemp = NULL;

TempMaps& Temp() {
  if (!t_pTemp)
    t_pTemp = new TempMaps;
  return *t_pTemp;
}

// The message being processed on this thread (for Default and reflection).
thread_local MSG t_msgLast = {};
// Window creation hook.
thread_local CWnd* t_pWndInit = NULL;
thread_local HHOOK t_hHookCbt = NULL;
thread_local int t_nHookCount = 0;

LRESULT CALLBACK CbtFilterHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && t_pWndInit) {
    HWND hWnd = (HWND)wParam;
    char szClass[32] = "";
    ::GetClassNameA(hWnd, szClass, sizeof(szClass));
    // Input-method windows are created behind the scenes; skip them.
    if (lstrcmpiA(szClass, "IME") != 0 && lstrcmpiA(szClass, "MSCTFIME UI") != 0) {
      CWnd* pWnd = t_pWndInit;
      t_pWndInit = NULL;
      pWnd->Attach(hWnd);
      pWnd->PreSubclassWindow();
      WNDPROC pfnOld = (WNDPROC)::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, (LONG_PTR)AfxWndProc);
      if (pfnOld != AfxWndProc)
        pWnd->m_pfnSuper = pfnOld;
    }
  }
  return ::CallNextHookEx(t_hHookCbt, code, wParam, lParam);
}

} // namespace

void AFXAPI AfxHookWindowCreate(CWnd* pWnd) {
  if (t_nHookCount++ == 0)
    t_hHookCbt = ::SetWindowsHookExA(WH_CBT, CbtFilterHook, NULL, ::GetCurrentThreadId());
  t_pWndInit = pWnd;
}

BOOL AFXAPI AfxUnhookWindowCreate() {
  if (t_nHookCount > 0 && --t_nHookCount == 0 && t_hHookCbt) {
    ::UnhookWindowsHookEx(t_hHookCbt);
    t_hHookCbt = NULL;
  }
  if (t_pWndInit) {
    t_pWndInit = NULL;
    return FALSE;   // the window was never created
  }
  return TRUE;
}

void AFXAPI AfxLockTempMaps() { ++Temp().nLock; }

BOOL AFXAPI AfxUnlockTempMaps(BOOL bDeleteTemps) {
  TempMaps& t = Temp();
  if (t.nLock > 0 && --t.nLock > 0)
    return FALSE;
  if (bDeleteTemps) {
    CWnd::DeleteTempMap();
    CDC::DeleteTempMap();
  }
  return TRUE;
}

/////////////////////////////////////////////////////////////////////////////
// Handle map

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL), m_nFlags(0), m_nModalResult(0) {}
CWnd::CWnd(HWND hWnd) : m_hWnd(hWnd), m_pfnSuper(NULL), m_nFlags(0), m_nModalResult(0) {}

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::~CWnd() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
    // Still alive: destroy the window (its messages no longer reach us).
    HWND h = m_hWnd;
    Detach();
    if (::IsWindow(h)) {
      if (m_pfnSuper)
        ::SetWindowLongPtrA(h, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
      ::DestroyWindow(h);
    }
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  if (!hWnd)
    return NULL;
  PermanentMap& p = Permanent();
  ::EnterCriticalSection(&p.cs);
  auto it = p.map.find(hWnd);
  CWnd* pWnd = it == p.map.end() ? NULL : it->second;
  ::LeaveCriticalSection(&p.cs);
  return pWnd;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  if (!hWnd)
    return NULL;
  if (CWnd* p = FromHandlePermanent(hWnd))
    return p;
  TempMaps& t = Temp();
  auto it = t.wnds.find(hWnd);
  if (it != t.wnds.end())
    return it->second;
  CWnd* pTemp = new CWnd;
  pTemp->m_hWnd = hWnd;
  t.wnds[hWnd] = pTemp;
  return pTemp;
}

void CWnd::DeleteTempMap() {
  if (!t_pTemp)
    return;
  std::map<HWND, CWnd*> wnds;
  wnds.swap(t_pTemp->wnds);
  for (auto& kv : wnds) {
    kv.second->m_hWnd = NULL;
    delete kv.second;
  }
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (!hWndNew)
    return FALSE;
  m_hWnd = hWndNew;
  PermanentMap& p = Permanent();
  ::EnterCriticalSection(&p.cs);
  p.map[hWndNew] = this;
  ::LeaveCriticalSection(&p.cs);
  if (t_pTemp) {
    auto it = t_pTemp->wnds.find(hWndNew);
    if (it != t_pTemp->wnds.end()) {
      // Keep the stale wrapper valid for callers holding it; it is freed on idle.
      (void)it;
    }
  }
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h) {
    PermanentMap& p = Permanent();
    ::EnterCriticalSection(&p.cs);
    auto it = p.map.find(h);
    if (it != p.map.end() && it->second == this)
      p.map.erase(it);
    ::LeaveCriticalSection(&p.cs);
  }
  m_hWnd = NULL;
  return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!hWnd || !Attach(hWnd))
    return FALSE;
  PreSubclassWindow();
  WNDPROC pfnOld = (WNDPROC)::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, (LONG_PTR)AfxWndProc);
  if (pfnOld != AfxWndProc)
    m_pfnSuper = pfnOld;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  HWND hWndControl = ::GetDlgItem(pParent->GetSafeHwnd(), nID);
  return hWndControl ? SubclassWindow(hWndControl) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (m_pfnSuper)
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
  m_pfnSuper = NULL;
  return Detach();
}

void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (!cs.lpszClass)
    cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, ::LoadCursorA(NULL, IDC_ARROW),
                                       (HBRUSH)(COLOR_WINDOW + 1), NULL);
  return TRUE;
}

LPCTSTR AFXAPI AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon) {
  // One class per combination; the name encodes the parameters.
  static thread_local char s_szName[96];
  HINSTANCE hInst = ::GetModuleHandleA(NULL);
  snprintf(s_szName, sizeof(s_szName), "Vgl:%p:%x:%p:%p:%p", (void*)hInst, nClassStyle, (void*)hCursor,
           (void*)hbrBackground, (void*)hIcon);
  WNDCLASSA wc;
  if (!::GetClassInfoA(hInst, s_szName, &wc)) {
    memset(&wc, 0, sizeof(wc));
    wc.style = nClassStyle;
    wc.lpfnWndProc = ::DefWindowProcA;   // replaced by ours when the object attaches
    wc.hInstance = hInst;
    wc.hIcon = hIcon;
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = s_szName;
    if (!::RegisterClassA(&wc))
      AfxThrowResourceException();
  }
  return s_szName;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam) {
  CREATESTRUCTA cs;
  cs.dwExStyle = dwExStyle;
  cs.lpszClass = lpszClassName;
  cs.lpszName = lpszWindowName;
  cs.style = dwStyle;
  cs.x = x;
  cs.y = y;
  cs.cx = nWidth;
  cs.cy = nHeight;
  cs.hwndParent = hWndParent;
  cs.hMenu = nIDorHMenu;
  cs.hInstance = ::GetModuleHandleA(NULL);
  cs.lpCreateParams = lpParam;
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }
  AfxHookWindowCreate(this);
  HWND hWnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y,
                                cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  AfxUnhookWindowCreate();
  if (!hWnd) {
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this)
      Detach();
    return FALSE;
  }
  return TRUE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                    const RECT& rect, CWnd* pParentWnd, UINT nID, LPVOID lpParam) {
  return CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top, pParentWnd->GetSafeHwnd(),
                  (HMENU)(UINT_PTR)nID, lpParam);
}

BOOL CWnd::Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, void*) {
  return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect, pParentWnd, nID, NULL);
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd)
    return FALSE;
  HWND h = m_hWnd;
  BOOL bResult = ::DestroyWindow(h);
  // A window never attached through our procedure is detached here.
  if (m_hWnd == h && !::IsWindow(h) && FromHandlePermanent(h) == this)
    Detach();
  return bResult;
}

/////////////////////////////////////////////////////////////////////////////
// The window procedure

LRESULT AFXAPI AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  MSG msgSave = t_msgLast;
  t_msgLast.hwnd = hWnd;
  t_msgLast.message = nMsg;
  t_msgLast.wParam = wParam;
  t_msgLast.lParam = lParam;
  LRESULT lResult = 0;
  try {
    lResult = pWnd->WindowProc(nMsg, wParam, lParam);
  } catch (CException* e) {
    CWinThread* pThread = AfxGetThread();
    if (pThread) {
      lResult = pThread->ProcessWndProcException(e, &t_msgLast);
    } else {
      e->Delete();
      lResult = nMsg == WM_CREATE ? -1 : 0;
    }
  } catch (...) {
    ::OutputDebugStringA("Unhandled exception in a window procedure\r\n");
    lResult = nMsg == WM_CREATE ? -1 : 0;
  }
  if (nMsg == WM_NCDESTROY && CWnd::FromHandlePermanent(hWnd) == pWnd) {
    pWnd->Detach();
    pWnd->PostNcDestroy();
  }
  t_msgLast = msgSave;
  return lResult;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
  if (!pWnd)
    return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
  return AfxCallWndProc(pWnd, hWnd, nMsg, wParam, lParam);
}

const MSG* CWnd::GetCurrentMessage() { return &t_msgLast; }

LRESULT CWnd::Default() {
  return DefWindowProc(t_msgLast.message, t_msgLast.wParam, t_msgLast.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper)
    return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT lResult = 0;
  if (!OnWndMsg(message, wParam, lParam, &lResult))
    lResult = DefWindowProc(message, wParam, lParam);
  return lResult;
}

namespace {
inline CPoint PointFromLParam(LPARAM lParam) {
  return CPoint((short)LOWORD(lParam), (short)HIWORD(lParam));
}
template <class T> inline T Fn(AFX_PMSG pfn) { return reinterpret_cast<T>(pfn); }
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT lResult = 0;
  if (message == WM_COMMAND) {
    if (OnCommand(wParam, lParam)) {
      if (pResult)
        *pResult = 1;
      return TRUE;
    }
    return FALSE;
  }
  if (message == WM_NOTIFY) {
    NMHDR* pNMHDR = (NMHDR*)lParam;
    if (pNMHDR && pNMHDR->hwndFrom && OnNotify(wParam, lParam, &lResult)) {
      if (pResult)
        *pResult = lResult;
      return TRUE;
    }
    return FALSE;
  }
  // All control-colour messages go to one handler.
  UINT nKey = message;
  UINT nCtlColor = 0;
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    nKey = WM_CTLCOLORSTATIC;
    nCtlColor = message - WM_CTLCOLORMSGBOX;
  } else if (message >= WM_REFLECT_BASE + WM_CTLCOLORMSGBOX && message <= WM_REFLECT_BASE + WM_CTLCOLORSTATIC) {
    nKey = WM_REFLECT_BASE + WM_CTLCOLORSTATIC;
    nCtlColor = message - WM_REFLECT_BASE - WM_CTLCOLORMSGBOX;
  }
  // An entry for the message itself comes first (ON_MESSAGE of one colour message).
  const VglMsgEntry* e = FindMessageEntry(message, 0, 0);
  if (!e && nKey != message) {
    e = FindMessageEntry(nKey, 0, 0);
    if (e && e->nSig != VglSig_hDWw && e->nSig != VglSig_hbrD)
      e = NULL;
  }
  if (!e)
    return FALSE;
  AFX_PMSG pfn = e->pfn;
  switch (e->nSig) {
  case VglSig_lwl:
    lResult = (this->*Fn<LRESULT (CWnd::*)(WPARAM, LPARAM)>(pfn))(wParam, lParam);
    break;
  case VglSig_is:
    lResult = (this->*Fn<int (CWnd::*)(LPCREATESTRUCT)>(pfn))((LPCREATESTRUCT)lParam);
    break;
  case VglSig_vv:
    (this->*Fn<void (CWnd::*)()>(pfn))();
    break;
  case VglSig_vw:
    (this->*Fn<void (CWnd::*)(UINT_PTR)>(pfn))((UINT_PTR)wParam);
    break;
  case VglSig_vwii:
    (this->*Fn<void (CWnd::*)(UINT, int, int)>(pfn))((UINT)wParam, LOWORD(lParam), HIWORD(lParam));
    break;
  case VglSig_vii:
    (this->*Fn<void (CWnd::*)(int, int)>(pfn))((short)LOWORD(lParam), (short)HIWORD(lParam));
    break;
  case VglSig_bD:
    lResult = (this->*Fn<BOOL (CWnd::*)(CDC*)>(pfn))(CDC::FromHandle((HDC)wParam));
    break;
  case VglSig_vD:
    (this->*Fn<void (CWnd::*)(CDC*)>(pfn))(CDC::FromHandle((HDC)wParam));
    break;
  case VglSig_hDWw:
    lResult = (LRESULT)(this->*Fn<HBRUSH (CWnd::*)(CDC*, CWnd*, UINT)>(pfn))(
        CDC::FromHandle((HDC)wParam), CWnd::FromHandle((HWND)lParam), nCtlColor);
    break;
  case VglSig_hbrD: {
    HBRUSH hbr = (this->*Fn<HBRUSH (CWnd::*)(CDC*, UINT)>(pfn))(CDC::FromHandle((HDC)wParam), nCtlColor);
    if (!hbr)
      return FALSE;   // let the parent decide
    lResult = (LRESULT)hbr;
    break;
  }
  case VglSig_vOWNER:
    (this->*Fn<void (CWnd::*)(int, LPDRAWITEMSTRUCT)>(pfn))((int)wParam, (LPDRAWITEMSTRUCT)lParam);
    lResult = TRUE;
    break;
  case VglSig_vOWNERM:
    (this->*Fn<void (CWnd::*)(int, LPMEASUREITEMSTRUCT)>(pfn))((int)wParam, (LPMEASUREITEMSTRUCT)lParam);
    lResult = TRUE;
    break;
  case VglSig_vDRAW:
    (this->*Fn<void (CWnd::*)(LPDRAWITEMSTRUCT)>(pfn))((LPDRAWITEMSTRUCT)lParam);
    lResult = TRUE;
    break;
  case VglSig_vMEASURE:
    (this->*Fn<void (CWnd::*)(LPMEASUREITEMSTRUCT)>(pfn))((LPMEASUREITEMSTRUCT)lParam);
    lResult = TRUE;
    break;
  case VglSig_vwp:
    (this->*Fn<void (CWnd::*)(UINT, CPoint)>(pfn))((UINT)wParam, PointFromLParam(lParam));
    break;
  case VglSig_bWww:
    lResult = (this->*Fn<BOOL (CWnd::*)(CWnd*, UINT, UINT)>(pfn))(CWnd::FromHandle((HWND)wParam), LOWORD(lParam), HIWORD(lParam));
    break;
  case VglSig_vwww:
    (this->*Fn<void (CWnd::*)(UINT, UINT, UINT)>(pfn))((UINT)wParam, LOWORD(lParam), HIWORD(lParam));
    break;
  case VglSig_vbw:
    (this->*Fn<void (CWnd::*)(BOOL, UINT)>(pfn))((BOOL)wParam, (UINT)lParam);
    break;
  case VglSig_vuL:
    (this->*Fn<void (CWnd::*)(UINT, LPARAM)>(pfn))((UINT)wParam, lParam);
    break;
  case VglSig_bv_q:
    lResult = (this->*Fn<BOOL (CWnd::*)()>(pfn))();
    break;
  case VglSig_vb:
    (this->*Fn<void (CWnd::*)(BOOL)>(pfn))((BOOL)wParam);
    break;
  case VglSig_vW:
    (this->*Fn<void (CWnd::*)(CWnd*)>(pfn))(CWnd::FromHandle((HWND)(message == WM_CAPTURECHANGED ? lParam : wParam)));
    break;
  case VglSig_uv:
    lResult = (this->*Fn<UINT (CWnd::*)()>(pfn))();
    break;
  case VglSig_up:
    lResult = (this->*Fn<LRESULT (CWnd::*)(CPoint)>(pfn))(PointFromLParam(lParam));
    break;
  case VglSig_hv:
    lResult = (LRESULT)(this->*Fn<HCURSOR (CWnd::*)()>(pfn))();
    break;
  case VglSig_vHDROP:
    (this->*Fn<void (CWnd::*)(HDROP)>(pfn))((HDROP)wParam);
    break;
  case VglSig_vwwW:
    (this->*Fn<void (CWnd::*)(UINT, UINT, CScrollBar*)>(pfn))(LOWORD(wParam), (UINT)(short)HIWORD(wParam),
                                                            (CScrollBar*)CWnd::FromHandle((HWND)lParam));
    break;
  case VglSig_bWCDS:
    lResult = (this->*Fn<BOOL (CWnd::*)(CWnd*, COPYDATASTRUCT*)>(pfn))(CWnd::FromHandle((HWND)wParam), (COPYDATASTRUCT*)lParam);
    break;
  case VglSig_vWp:
    (this->*Fn<void (CWnd::*)(CWnd*, CPoint)>(pfn))(CWnd::FromHandle((HWND)wParam), PointFromLParam(lParam));
    break;
  case VglSig_vM:
    (this->*Fn<void (CWnd::*)(CMenu*)>(pfn))(CMenu::FromHandle((HMENU)wParam));
    break;
  case VglSig_vMub:
    (this->*Fn<void (CWnd::*)(CMenu*, UINT, BOOL)>(pfn))(CMenu::FromHandle((HMENU)wParam), LOWORD(lParam), HIWORD(lParam));
    break;
  case VglSig_vwbh:
    (this->*Fn<void (CWnd::*)(BOOL, DWORD)>(pfn))((BOOL)wParam, (DWORD)lParam);
    break;
  case VglSig_vwWb:
    (this->*Fn<void (CWnd::*)(UINT, CWnd*, BOOL)>(pfn))(LOWORD(wParam), CWnd::FromHandle((HWND)lParam), HIWORD(wParam));
    break;
  case VglSig_bwl:
    lResult = (this->*Fn<BOOL (CWnd::*)(UINT, DWORD_PTR)>(pfn))((UINT)wParam, (DWORD_PTR)lParam);
    break;
  case VglSig_vPOS:
    (this->*Fn<void (CWnd::*)(WINDOWPOS*)>(pfn))((WINDOWPOS*)lParam);
    break;
  case VglSig_vMMI:
    (this->*Fn<void (CWnd::*)(MINMAXINFO*)>(pfn))((MINMAXINFO*)lParam);
    break;
  case VglSig_bHELPINFO:
    lResult = (this->*Fn<BOOL (CWnd::*)(HELPINFO*)>(pfn))((HELPINFO*)lParam);
    break;
  case VglSig_vws:
    (this->*Fn<void (CWnd::*)(UINT, LPCTSTR)>(pfn))((UINT)wParam, (LPCTSTR)lParam);
    break;
  default:
    return FALSE;
  }
  if (pResult)
    *pResult = lResult;
  return TRUE;
}

/////////////////////////////////////////////////////////////////////////////
// Commands, notifications and reflection

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT nID = LOWORD(wParam);
  HWND hWndCtrl = (HWND)lParam;
  int nCode = HIWORD(wParam);
  if (hWndCtrl == NULL) {
    if (nCode == 1)   // accelerator
      nCode = CN_COMMAND;
  } else {
    // The control gets the first chance (ON_CONTROL_REFLECT).
    if (ReflectLastMsg(hWndCtrl))
      return TRUE;
  }
  return OnCmdMsg(nID, nCode, NULL, NULL);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult) {
  NMHDR* pNMHDR = (NMHDR*)lParam;
  HWND hWndCtrl = pNMHDR->hwndFrom;
  UINT nID = (UINT)::GetDlgCtrlID(hWndCtrl);
  int nCode = (int)pNMHDR->code;
  if (ReflectLastMsg(hWndCtrl, pResult))
    return TRUE;
  AFX_NOTIFY notify = { pResult, pNMHDR };
  return OnCmdMsg(nID, (int)CN_NOTIFY_CODE(nCode), &notify, NULL);
}

BOOL CWnd::ReflectLastMsg(HWND hWndChild, LRESULT* pResult) {
  CWnd* pWnd = FromHandlePermanent(hWndChild);
  if (!pWnd)
    return FALSE;
  return pWnd->OnChildNotify(t_msgLast.message, t_msgLast.wParam, t_msgLast.lParam, pResult);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectChildNotify(message, wParam, lParam, pResult);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  switch (message) {
  case WM_HSCROLL:
  case WM_VSCROLL:
  case WM_PARENTNOTIFY:
  case WM_DRAWITEM:
  case WM_MEASUREITEM:
  case WM_DELETEITEM:
  case WM_VKEYTOITEM:
  case WM_CHARTOITEM:
  case WM_COMPAREITEM:
    return OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, pResult);
  case WM_COMMAND: {
    int nCode = HIWORD(wParam);
    if (OnCmdMsg(0, (int)MAKELONG(nCode, WM_REFLECT_BASE + WM_COMMAND), NULL, NULL)) {
      if (pResult)
        *pResult = 1;
      return TRUE;
    }
    return FALSE;
  }
  case WM_NOTIFY: {
    NMHDR* pNMHDR = (NMHDR*)lParam;
    LRESULT lDummy = 0;
    AFX_NOTIFY notify = { pResult ? pResult : &lDummy, pNMHDR };
    return OnCmdMsg(0, (int)MAKELONG(pNMHDR->code, WM_REFLECT_BASE + WM_NOTIFY), &notify, NULL);
  }
  default:
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
      return OnWndMsg(WM_REFLECT_BASE + message, wParam, lParam, pResult);
    return FALSE;
  }
}

BOOL CWnd::PreTranslateMessage(MSG* pMsg) {
  if (m_nFlags & WF_TOOLTIPS)
    FilterToolTipMessage(pMsg);
  return FALSE;
}

namespace {
// One tooltip control per thread serves every window with tooltips enabled.
thread_local HWND t_hToolTip = NULL;
thread_local HWND t_hToolOwner = NULL;
thread_local INT_PTR t_nLastHit = -1;
}

BOOL CWnd::EnableToolTips(BOOL bEnable) {
  if (bEnable)
    m_nFlags |= WF_TOOLTIPS;
  else
    m_nFlags &= ~WF_TOOLTIPS;
  return TRUE;
}

INT_PTR CWnd::OnToolHitTest(CPoint, TOOLINFOA*) const { return -1; }

void CWnd::FilterToolTipMessage(MSG* pMsg) {
  UINT m = pMsg->message;
  if (pMsg->hwnd != m_hWnd || !(m == WM_MOUSEMOVE || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP ||
                                m == WM_RBUTTONDOWN || m == WM_RBUTTONUP || m == WM_MBUTTONDOWN || m == WM_MBUTTONUP))
    return;
  if (t_hToolTip && !::IsWindow(t_hToolTip))
    t_hToolTip = NULL;
  if (!t_hToolTip) {
    HWND hTop = m_hWnd;
    while (::GetWindowLongA(hTop, GWL_STYLE) & WS_CHILD)
      hTop = ::GetParent(hTop);
    t_hToolTip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hTop, NULL, NULL, NULL);
    if (!t_hToolTip)
      return;
    ::SendMessageA(t_hToolTip, TTM_ACTIVATE, TRUE, 0);
    t_nLastHit = -1;
  }
  TOOLINFOA ti;
  memset(&ti, 0, sizeof(ti));
  ti.cbSize = TTTOOLINFOA_V1_SIZE;
  CPoint pt((short)LOWORD(pMsg->lParam), (short)HIWORD(pMsg->lParam));
  INT_PTR nHit = OnToolHitTest(pt, &ti);
  if (nHit != t_nLastHit || t_hToolOwner != m_hWnd) {
    if (t_nLastHit != -1 && t_hToolOwner) {
      TOOLINFOA old;
      memset(&old, 0, sizeof(old));
      old.cbSize = TTTOOLINFOA_V1_SIZE;
      old.hwnd = t_hToolOwner;
      old.uId = (UINT_PTR)t_nLastHit;
      ::SendMessageA(t_hToolTip, TTM_DELTOOLA, 0, (LPARAM)&old);
    }
    t_nLastHit = nHit;
    t_hToolOwner = m_hWnd;
    if (nHit != -1)
      ::SendMessageA(t_hToolTip, TTM_ADDTOOLA, 0, (LPARAM)&ti);
  }
  if (nHit != -1)
    ::SendMessageA(t_hToolTip, TTM_RELAYEVENT, 0, (LPARAM)pMsg);
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
  for (HWND hWnd = pMsg->hwnd; hWnd != NULL; hWnd = ::GetParent(hWnd)) {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd && pWnd->PreTranslateMessage(pMsg))
      return TRUE;
    if (hWnd == hWndStop)
      break;
  }
  return FALSE;
}

/////////////////////////////////////////////////////////////////////////////
// Modal loop

BOOL CWnd::ContinueModal() { return (m_nFlags & WF_CONTINUEMODAL) != 0; }

void CWnd::EndModalLoop(int nResult) {
  m_nModalResult = nResult;
  if (m_nFlags & WF_CONTINUEMODAL) {
    m_nFlags &= ~WF_CONTINUEMODAL;
    PostMessage(WM_NULL);
  }
}

int CWnd::RunModalLoop(DWORD dwFlags) {
  BOOL bIdle = TRUE;
  LONG lIdleCount = 0;
  BOOL bShowIdle = (dwFlags & MLF_SHOWONIDLE) && !(GetStyle() & WS_VISIBLE);
  HWND hWndParent = ::GetParent(m_hWnd);
  m_nFlags |= WF_MODALLOOP;
  CWinThread* pThread = AfxGetThread();
  MSG msgLocal;
  MSG* pMsg = pThread ? &pThread->m_msgCur : &msgLocal;
  HWND hWndSelf = m_hWnd;

  for (;;) {
    while (bIdle && !::PeekMessageA(pMsg, NULL, 0, 0, PM_NOREMOVE)) {
      if (bShowIdle) {
        ShowWindow(SW_SHOWNORMAL);
        UpdateWindow();
        bShowIdle = FALSE;
      }
      if (!(dwFlags & MLF_NOIDLEMSG) && hWndParent && lIdleCount == 0)
        ::SendMessageA(hWndParent, WM_ENTERIDLE, MSGF_DIALOGBOX, (LPARAM)m_hWnd);
      if ((dwFlags & MLF_NOKICKIDLE) || !SendMessage(WM_KICKIDLE, MSGF_DIALOGBOX, lIdleCount++))
        bIdle = FALSE;
    }
    do {
      if (!ContinueModal())
        goto ExitModal;
      BOOL bGot;
      if (pThread) {
        bGot = pThread->PumpMessage();
      } else {
        bGot = ::GetMessageA(pMsg, NULL, 0, 0);
        if (bGot && !WalkPreTranslateTree(NULL, pMsg)) {
          ::TranslateMessage(pMsg);
          ::DispatchMessageA(pMsg);
        }
      }
      if (!bGot) {
        // WM_QUIT ends every loop up the stack.
        ::PostQuitMessage((int)pMsg->wParam);
        m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
        return -1;
      }
      if (bShowIdle && (pMsg->message == WM_SYSTIMER || pMsg->message == WM_SYSKEYDOWN) &&
          ::IsWindow(hWndSelf)) {
        ShowWindow(SW_SHOWNORMAL);
        UpdateWindow();
        bShowIdle = FALSE;
      }
      if (!ContinueModal())
        goto ExitModal;
      if (!pThread || pThread->IsIdleMessage(pMsg)) {
        bIdle = TRUE;
        lIdleCount = 0;
      }
    } while (::PeekMessageA(pMsg, NULL, 0, 0, PM_NOREMOVE));
  }
ExitModal:
  m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
  return m_nModalResult;
}

/////////////////////////////////////////////////////////////////////////////
// Helpers

void CWnd::GetWindowText(CString& rString) const {
  int n = ::GetWindowTextLengthA(m_hWnd);
  ::GetWindowTextA(m_hWnd, rString.GetBufferSetLength(n), n + 1);
  rString.ReleaseBuffer();
}

int CWnd::GetDlgItemText(int nID, CString& rString) const {
  rString.Empty();
  HWND h = ::GetDlgItem(m_hWnd, nID);
  if (h) {
    int n = ::GetWindowTextLengthA(h);
    ::GetWindowTextA(h, rString.GetBufferSetLength(n), n + 1);
    rString.ReleaseBuffer();
  }
  return rString.GetLength();
}

int CWnd::GetCheckedRadioButton(int nIDFirst, int nIDLast) {
  for (int n = nIDFirst; n <= nIDLast; n++)
    if (::IsDlgButtonChecked(m_hWnd, n))
      return n;
  return 0;
}

void CWnd::ClientToScreen(LPRECT r) const {
  ::ClientToScreen(m_hWnd, (LPPOINT)r);
  ::ClientToScreen(m_hWnd, ((LPPOINT)r) + 1);
}

void CWnd::ScreenToClient(LPRECT r) const {
  ::ScreenToClient(m_hWnd, (LPPOINT)r);
  ::ScreenToClient(m_hWnd, ((LPPOINT)r) + 1);
}

BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  // &wndTopMost and the like carry the special handles; the handles themselves, cast to a
  // window pointer (as older code passes them), are taken as they are, never dereferenced.
  HWND hAfter = (HWND)pWndInsertAfter;
  if (hAfter != HWND_TOP && hAfter != HWND_BOTTOM && hAfter != HWND_TOPMOST && hAfter != HWND_NOTOPMOST)
    hAfter = pWndInsertAfter->m_hWnd;
  return ::SetWindowPos(m_hWnd, hAfter, x, y, cx, cy, nFlags);
}

CWnd* CWnd::GetTopLevelParent() const {
  if (!m_hWnd)
    return NULL;
  HWND h = m_hWnd;
  HWND hParent;
  while ((::GetWindowLongA(h, GWL_STYLE) & WS_CHILD) && (hParent = ::GetParent(h)) != NULL)
    h = hParent;
  return FromHandle(h);
}

void CWnd::CenterWindow(CWnd* pAlternateOwner) {
  RECT rcDlg, rcArea, rcCenter;
  ::GetWindowRect(m_hWnd, &rcDlg);
  HWND hCenter = pAlternateOwner ? pAlternateOwner->m_hWnd : NULL;
  DWORD dwStyle = GetStyle();
  if (dwStyle & WS_CHILD) {
    HWND hParent = ::GetParent(m_hWnd);
    ::GetClientRect(hParent, &rcArea);
    rcCenter = rcArea;
    ::MapWindowPoints(hParent, NULL, (LPPOINT)&rcArea, 2);
    ::MapWindowPoints(hParent, NULL, (LPPOINT)&rcCenter, 2);
    hParent = ::GetParent(m_hWnd);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    RECT rcP;
    ::GetClientRect(hParent, &rcP);
    int x = (rcP.right - (rcDlg.right - rcDlg.left)) / 2;
    int y = (rcP.bottom - (rcDlg.bottom - rcDlg.top)) / 2;
    ::SetWindowPos(m_hWnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  if (!hCenter)
    hCenter = ::GetWindow(m_hWnd, GW_OWNER);
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
  if (hCenter && ::IsWindowVisible(hCenter) && !::IsIconic(hCenter))
    ::GetWindowRect(hCenter, &rcCenter);
  else
    rcCenter = rcArea;
  int w = rcDlg.right - rcDlg.left, h = rcDlg.bottom - rcDlg.top;
  int x = (rcCenter.left + rcCenter.right) / 2 - w / 2;
  int y = (rcCenter.top + rcCenter.bottom) / 2 - h / 2;
  if (x + w > rcArea.right) x = rcArea.right - w;
  if (x < rcArea.left) x = rcArea.left;
  if (y + h > rcArea.bottom) y = rcArea.bottom - h;
  if (y < rcArea.top) y = rcArea.top;
  ::SetWindowPos(m_hWnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  DWORD dwStyle = GetStyle();
  DWORD dwNew = (dwStyle & ~dwRemove) | dwAdd;
  if (dwStyle == dwNew)
    return FALSE;
  ::SetWindowLongA(m_hWnd, GWL_STYLE, dwNew);
  if (nFlags)
    ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
  DWORD dwStyle = GetExStyle();
  DWORD dwNew = (dwStyle & ~dwRemove) | dwAdd;
  if (dwStyle == dwNew)
    return FALSE;
  ::SetWindowLongA(m_hWnd, GWL_EXSTYLE, dwNew);
  if (nFlags)
    ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
  return TRUE;
}

CDC* CWnd::GetDC() { return CDC::FromHandle(::GetDC(m_hWnd)); }
CDC* CWnd::GetWindowDC() { return CDC::FromHandle(::GetWindowDC(m_hWnd)); }
int CWnd::ReleaseDC(CDC* pDC) { return ::ReleaseDC(m_hWnd, pDC->GetSafeHdc()); }

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL bDeep) {
  for (HWND h = ::GetTopWindow(m_hWnd); h; h = ::GetNextWindow(h, GW_HWNDNEXT)) {
    ::SendMessageA(h, message, wParam, lParam);
    if (bDeep && ::GetTopWindow(h))
      CWnd::FromHandle(h)->SendMessageToDescendants(message, wParam, lParam, bDeep);
  }
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) {
  if (!lpszCaption)
    lpszCaption = AfxGetAppName();
  return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

void CWnd::WinHelp(DWORD_PTR dwData, UINT nCmd) {
  if (CWinApp* pApp = AfxGetApp())
    pApp->WinHelp(dwData, nCmd);
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (CUserException* e) {
    e->Delete();
    return FALSE;
  }
  return TRUE;
}

void CWnd::UpdateDialogControls(CCmdTarget* pTarget, BOOL bDisableIfNoHndler) {
  CCmdUI state;
  for (HWND h = ::GetTopWindow(m_hWnd); h; h = ::GetNextWindow(h, GW_HWNDNEXT)) {
    state.m_pOther = CWnd::FromHandle(h);
    state.m_nID = (UINT)::GetDlgCtrlID(h);
    // Buttons that are not push buttons are not disabled for want of a handler.
    BOOL bDisable = bDisableIfNoHndler;
    if (::SendMessageA(h, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON) {
      UINT nStyle = (UINT)::GetWindowLongA(h, GWL_STYLE) & 0x0F;
      if (nStyle == BS_AUTOCHECKBOX || nStyle == BS_AUTO3STATE || nStyle == BS_GROUPBOX || nStyle == BS_AUTORADIOBUTTON)
        bDisable = FALSE;
    } else {
      bDisable = FALSE;
    }
    state.DoUpdate(pTarget, bDisable);
  }
}

/////////////////////////////////////////////////////////////////////////////
// Default handlers

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
  ON_WM_DRAWITEM()
  ON_WM_MEASUREITEM()
  ON_WM_CTLCOLOR()
  ON_WM_HSCROLL()
  ON_WM_VSCROLL()
END_MESSAGE_MAP()

int CWnd::OnCreate(LPCREATESTRUCT) { return (int)Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnNcDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return (BOOL)Default(); }
void CWnd::OnIconEraseBkgnd(CDC*) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd* pWnd, UINT) {
  LRESULT lResult;
  if (pWnd && pWnd->m_hWnd && ReflectLastMsg(pWnd->m_hWnd, &lResult))
    return (HBRUSH)lResult;
  return (HBRUSH)Default();
}
void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT lpDrawItemStruct) {
  if (lpDrawItemStruct->CtlType != ODT_MENU && ReflectLastMsg(lpDrawItemStruct->hwndItem))
    return;
  Default();
}
void CWnd::OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct) {
  if (lpMeasureItemStruct->CtlType != ODT_MENU) {
    HWND hCtl = ::GetDlgItem(m_hWnd, nIDCtl);
    if (hCtl && ReflectLastMsg(hCtl))
      return;
  }
  Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnKeyUp(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnChar(UINT, UINT, UINT) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
BOOL CWnd::OnQueryEndSession() { return (BOOL)Default(); }
void CWnd::OnEndSession(BOOL) { Default(); }
BOOL CWnd::OnQueryNewPalette() { return (BOOL)Default(); }
void CWnd::OnPaletteChanged(CWnd*) { Default(); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
UINT CWnd::OnGetDlgCode() { return (UINT)Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return (HCURSOR)Default(); }
void CWnd::OnDropFiles(HDROP) { Default(); }
void CWnd::OnHScroll(UINT, UINT, CScrollBar* pScrollBar) {
  if (pScrollBar && ReflectLastMsg(pScrollBar->m_hWnd))
    return;
  Default();
}
void CWnd::OnVScroll(UINT, UINT, CScrollBar* pScrollBar) {
  if (pScrollBar && ReflectLastMsg(pScrollBar->m_hWnd))
    return;
  Default();
}
BOOL CWnd::OnCopyData(CWnd*, COPYDATASTRUCT*) { return (BOOL)Default(); }
void CWnd::OnContextMenu(CWnd*, CPoint) { Default(); }
void CWnd::OnInitMenu(CMenu*) { Default(); }
void CWnd::OnInitMenuPopup(CMenu*, UINT, BOOL) { Default(); }
void CWnd::OnActivateApp(BOOL, DWORD) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
BOOL CWnd::OnDeviceChange(UINT, DWORD_PTR) { return (BOOL)Default(); }
LRESULT CWnd::OnPowerBroadcast(WPARAM, LPARAM) { return Default(); }
void CWnd::OnWindowPosChanging(WINDOWPOS*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
BOOL CWnd::OnHelpInfo(HELPINFO*) { return (BOOL)Default(); }
void CWnd::OnCancelMode() { Default(); }
void CWnd::OnCaptureChanged(CWnd*) { Default(); }
void CWnd::OnSettingChange(UINT, LPCTSTR) { Default(); }
void CWnd::OnSysColorChange() { Default(); }
