// Window layer of the class library: command targets, threads, the application,
// windows, dialogs, GDI objects and the standard controls.
#pragma once

#include "afx.h"
#include "afxres.h"
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#ifndef afx_msg
#define afx_msg
#endif
#ifndef AFXAPI
#define AFXAPI __stdcall
#endif

// Whether an object pointer is non-null, in a form the optimiser keeps: the
// GetSafeHandle-style members are called through null pointers on purpose.
inline bool VglNotNull(const void* p) {
  __asm__("" : "+r"(p));
  return p != nullptr;
}

class CCmdTarget;
class CCmdUI;
class CWnd;
class CWinThread;
class CWinApp;
class CDC;
class CMenu;
class CScrollBar;

/////////////////////////////////////////////////////////////////////////////
// Message maps

typedef void (CCmdTarget::*AFX_PMSG)();

// How a handler is called (its argument list and how the message is cracked).
enum VglSig : UINT {
  VglSig_end = 0,
  VglSig_vv,          // void ()
  VglSig_bv,          // BOOL ()
  VglSig_bu,          // BOOL (UINT id)                       command ranges, *_EX
  VglSig_vu,          // void (UINT id)                       command ranges
  VglSig_cmdui,       // void (CCmdUI*)
  VglSig_cmduirange,  // void (CCmdUI*) for a range
  VglSig_notify,      // void (NMHDR*, LRESULT*)
  VglSig_notifyex,    // BOOL (UINT id, NMHDR*, LRESULT*)
  VglSig_notifyrange, // void (UINT id, NMHDR*, LRESULT*)
  VglSig_notifyref,   // BOOL (NMHDR*, LRESULT*)              ON_NOTIFY_REFLECT_EX
  VglSig_lwl,         // LRESULT (WPARAM, LPARAM)
  VglSig_vwl,         // void (WPARAM, LPARAM)                thread messages
  VglSig_is,          // int (LPCREATESTRUCT)
  VglSig_vw,          // void (UINT_PTR) from wParam: timer ids
  VglSig_vww,         // void (UINT, UINT) from wParam, lParam
  VglSig_vwii,        // void (UINT, int, int) wParam, LOWORD/HIWORD(lParam)
  VglSig_vii,         // void (int, int) LOWORD/HIWORD(lParam) as signed
  VglSig_vwp,         // void (UINT, CPoint) mouse
  VglSig_bD,          // BOOL (CDC*) wParam
  VglSig_vD,          // void (CDC*) wParam
  VglSig_vuL,         // void (UINT, LPARAM) system command
  VglSig_hDWw,        // HBRUSH (CDC*, CWnd*, UINT) ctl colour
  VglSig_hbrD,        // HBRUSH (CDC*, UINT) reflected ctl colour
  VglSig_vOWNER,      // void (int, LPDRAWITEMSTRUCT)
  VglSig_vOWNERM,     // void (int, LPMEASUREITEMSTRUCT)
  VglSig_vDRAW,       // void (LPDRAWITEMSTRUCT) reflected
  VglSig_vMEASURE,    // void (LPMEASUREITEMSTRUCT) reflected
  VglSig_vW,          // void (CWnd*) wParam
  VglSig_bWww,        // BOOL (CWnd*, UINT, UINT) set cursor
  VglSig_vwww,        // void (UINT, UINT, UINT) keys: wParam, LOWORD(lp), HIWORD(lp)
  VglSig_vbw,         // void (BOOL, UINT) show window
  VglSig_vb,          // void (BOOL) wParam
  VglSig_bv_q,        // BOOL () query end session / palette
  VglSig_uv,          // UINT () get dlg code, nc hit test uses pt
  VglSig_up,          // UINT (CPoint) nc hit test (LRESULT)
  VglSig_hv,          // HCURSOR () query drag icon
  VglSig_vHDROP,      // void (HDROP)
  VglSig_vwwW,        // void (UINT, UINT, CScrollBar*) scroll
  VglSig_bWCDS,       // BOOL (CWnd*, COPYDATASTRUCT*)
  VglSig_vWp,         // void (CWnd*, CPoint) context menu
  VglSig_vMub,        // void (CMenu*, UINT, BOOL) init menu popup
  VglSig_vM,          // void (CMenu*) init menu
  VglSig_vwbh,        // void (BOOL, HTASK) activate app / DWORD
  VglSig_vwWb,        // void (UINT, CWnd*, BOOL) activate
  VglSig_bwl,         // BOOL (UINT, DWORD_PTR) device change: lParam points at the event's data
  VglSig_vPOS,        // void (WINDOWPOS*)
  VglSig_vMMI,        // void (MINMAXINFO*)
  VglSig_bHELPINFO,   // BOOL (HELPINFO*)
  VglSig_vws,         // void (UINT, LPCTSTR) setting change
};

struct VglMsgEntry {
  UINT nMessage;     // window message (WM_COMMAND / WM_NOTIFY for command entries)
  UINT nCode;        // control notification code
  UINT nID;          // first control / command id
  UINT nLastID;      // last id of a range
  UINT nSig;         // VglSig
  AFX_PMSG pfn;
  const UINT* pRegMsg; // registered message number, for ON_REGISTERED_MESSAGE
};

struct VglMsgMap {
  const VglMsgMap* (*pfnGetBaseMap)();
  const VglMsgEntry* pEntries;
};

#define DECLARE_MESSAGE_MAP() \
protected: \
  static const VglMsgMap* GetThisMessageMap(); \
  virtual const VglMsgMap* GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
  const VglMsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const VglMsgMap* theClass::GetThisMessageMap() { \
    typedef theClass ThisClass; typedef baseClass TheBaseClass; \
    (void)sizeof(ThisClass); \
    static const VglMsgEntry s_entries[] = {

#define END_MESSAGE_MAP() \
      { 0, 0, 0, 0, VglSig_end, nullptr, nullptr } }; \
    static const VglMsgMap s_map = { &TheBaseClass::GetThisMessageMap, s_entries }; \
    return &s_map; }

// A handler of a given type, stored as the generic member pointer.
#define VGL_PMSG(type, f) reinterpret_cast<AFX_PMSG>(static_cast<type>(f))

#define WM_REFLECT_BASE 0xBC00
#define CN_COMMAND 0
#define CN_UPDATE_COMMAND_UI ((UINT)(-1))
#define CN_NOTIFY_CODE(code) MAKELONG(code, WM_NOTIFY)

// Commands and control notifications
// Command ids (menus, accelerators, the application's commands) are 0x8000 and above.
#define IS_COMMAND_ID(nID) (((nID) & 0x8000) != 0)
#define ON_COMMAND(id, f) { WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(id), VglSig_vv, static_cast<AFX_PMSG>(&ThisClass::f), nullptr },
#define ON_COMMAND_EX(id, f) { WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(id), VglSig_bu, VGL_PMSG(BOOL (CCmdTarget::*)(UINT), &ThisClass::f), nullptr },
#define ON_COMMAND_RANGE(id, idLast, f) { WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(idLast), VglSig_vu, VGL_PMSG(void (CCmdTarget::*)(UINT), &ThisClass::f), nullptr },
#define ON_UPDATE_COMMAND_UI(id, f) { WM_COMMAND, CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(id), VglSig_cmdui, VGL_PMSG(void (CCmdTarget::*)(CCmdUI*), &ThisClass::f), nullptr },
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, f) { WM_COMMAND, CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(idLast), VglSig_cmduirange, VGL_PMSG(void (CCmdTarget::*)(CCmdUI*), &ThisClass::f), nullptr },
#define ON_CONTROL(code, id, f) { WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(id), VglSig_vv, static_cast<AFX_PMSG>(&ThisClass::f), nullptr },
#define ON_CONTROL_RANGE(code, id, idLast, f) { WM_COMMAND, (UINT)(code), (UINT)(id), (UINT)(idLast), VglSig_vu, VGL_PMSG(void (CCmdTarget::*)(UINT), &ThisClass::f), nullptr },
#define ON_CONTROL_REFLECT(code, f) { WM_COMMAND + WM_REFLECT_BASE, (UINT)(code), 0, 0, VglSig_vv, static_cast<AFX_PMSG>(&ThisClass::f), nullptr },
#define ON_CONTROL_REFLECT_EX(code, f) { WM_COMMAND + WM_REFLECT_BASE, (UINT)(code), 0, 0, VglSig_bv, VGL_PMSG(BOOL (CCmdTarget::*)(), &ThisClass::f), nullptr },
#define ON_NOTIFY(code, id, f) { WM_NOTIFY, (UINT)(code), (UINT)(id), (UINT)(id), VglSig_notify, VGL_PMSG(void (CCmdTarget::*)(NMHDR*, LRESULT*), &ThisClass::f), nullptr },
#define ON_NOTIFY_RANGE(code, id, idLast, f) { WM_NOTIFY, (UINT)(code), (UINT)(id), (UINT)(idLast), VglSig_notifyrange, VGL_PMSG(void (CCmdTarget::*)(UINT, NMHDR*, LRESULT*), &ThisClass::f), nullptr },
#define ON_NOTIFY_EX(code, id, f) { WM_NOTIFY, (UINT)(code), (UINT)(id), (UINT)(id), VglSig_notifyex, VGL_PMSG(BOOL (CCmdTarget::*)(UINT, NMHDR*, LRESULT*), &ThisClass::f), nullptr },
#define ON_NOTIFY_EX_RANGE(code, id, idLast, f) { WM_NOTIFY, (UINT)(code), (UINT)(id), (UINT)(idLast), VglSig_notifyex, VGL_PMSG(BOOL (CCmdTarget::*)(UINT, NMHDR*, LRESULT*), &ThisClass::f), nullptr },
#define ON_NOTIFY_REFLECT(code, f) { WM_NOTIFY + WM_REFLECT_BASE, (UINT)(code), 0, 0, VglSig_notify, VGL_PMSG(void (CCmdTarget::*)(NMHDR*, LRESULT*), &ThisClass::f), nullptr },
#define ON_NOTIFY_REFLECT_EX(code, f) { WM_NOTIFY + WM_REFLECT_BASE, (UINT)(code), 0, 0, VglSig_notifyref, VGL_PMSG(BOOL (CCmdTarget::*)(NMHDR*, LRESULT*), &ThisClass::f), nullptr },

#define ON_BN_CLICKED(id, f) ON_CONTROL(BN_CLICKED, id, f)
#define ON_BN_DOUBLECLICKED(id, f) ON_CONTROL(BN_DOUBLECLICKED, id, f)
#define ON_BN_SETFOCUS(id, f) ON_CONTROL(BN_SETFOCUS, id, f)
#define ON_BN_KILLFOCUS(id, f) ON_CONTROL(BN_KILLFOCUS, id, f)
#define ON_EN_CHANGE(id, f) ON_CONTROL(EN_CHANGE, id, f)
#define ON_EN_UPDATE(id, f) ON_CONTROL(EN_UPDATE, id, f)
#define ON_EN_SETFOCUS(id, f) ON_CONTROL(EN_SETFOCUS, id, f)
#define ON_EN_KILLFOCUS(id, f) ON_CONTROL(EN_KILLFOCUS, id, f)
#define ON_EN_MAXTEXT(id, f) ON_CONTROL(EN_MAXTEXT, id, f)
#define ON_CBN_SELCHANGE(id, f) ON_CONTROL(CBN_SELCHANGE, id, f)
#define ON_CBN_SELENDOK(id, f) ON_CONTROL(CBN_SELENDOK, id, f)
#define ON_CBN_EDITCHANGE(id, f) ON_CONTROL(CBN_EDITCHANGE, id, f)
#define ON_CBN_EDITUPDATE(id, f) ON_CONTROL(CBN_EDITUPDATE, id, f)
#define ON_CBN_DROPDOWN(id, f) ON_CONTROL(CBN_DROPDOWN, id, f)
#define ON_CBN_CLOSEUP(id, f) ON_CONTROL(CBN_CLOSEUP, id, f)
#define ON_CBN_KILLFOCUS(id, f) ON_CONTROL(CBN_KILLFOCUS, id, f)
#define ON_CBN_SETFOCUS(id, f) ON_CONTROL(CBN_SETFOCUS, id, f)
#define ON_LBN_SELCHANGE(id, f) ON_CONTROL(LBN_SELCHANGE, id, f)
#define ON_LBN_DBLCLK(id, f) ON_CONTROL(LBN_DBLCLK, id, f)
#define ON_LBN_SETFOCUS(id, f) ON_CONTROL(LBN_SETFOCUS, id, f)
#define ON_LBN_KILLFOCUS(id, f) ON_CONTROL(LBN_KILLFOCUS, id, f)
#define ON_STN_CLICKED(id, f) ON_CONTROL(STN_CLICKED, id, f)
#define ON_STN_DBLCLK(id, f) ON_CONTROL(STN_DBLCLK, id, f)

// User and thread messages
#define ON_MESSAGE(msg, f) { (UINT)(msg), 0, 0, 0, VglSig_lwl, VGL_PMSG(LRESULT (CWnd::*)(WPARAM, LPARAM), &ThisClass::f), nullptr },
#define ON_REGISTERED_MESSAGE(var, f) { 0xC000, 0, 0, 0, VglSig_lwl, VGL_PMSG(LRESULT (CWnd::*)(WPARAM, LPARAM), &ThisClass::f), &(var) },
#define ON_THREAD_MESSAGE(msg, f) { (UINT)(msg), 0, 0, 0, VglSig_vwl, VGL_PMSG(void (CWinThread::*)(WPARAM, LPARAM), &ThisClass::f), nullptr },
#define ON_REGISTERED_THREAD_MESSAGE(var, f) { 0xC000, 0, 0, 0, VglSig_vwl, VGL_PMSG(void (CWinThread::*)(WPARAM, LPARAM), &ThisClass::f), &(var) },

// Window messages
#define VGL_ON_WM(msg, sig, type, f) { (UINT)(msg), 0, 0, 0, sig, VGL_PMSG(type, &ThisClass::f), nullptr },
#define ON_WM_CREATE() VGL_ON_WM(WM_CREATE, VglSig_is, int (CWnd::*)(LPCREATESTRUCT), OnCreate)
#define ON_WM_DESTROY() VGL_ON_WM(WM_DESTROY, VglSig_vv, void (CWnd::*)(), OnDestroy)
#define ON_WM_NCDESTROY() VGL_ON_WM(WM_NCDESTROY, VglSig_vv, void (CWnd::*)(), OnNcDestroy)
#define ON_WM_CLOSE() VGL_ON_WM(WM_CLOSE, VglSig_vv, void (CWnd::*)(), OnClose)
#define ON_WM_PAINT() VGL_ON_WM(WM_PAINT, VglSig_vv, void (CWnd::*)(), OnPaint)
#define ON_WM_TIMER() VGL_ON_WM(WM_TIMER, VglSig_vw, void (CWnd::*)(UINT_PTR), OnTimer)
#define ON_WM_SIZE() VGL_ON_WM(WM_SIZE, VglSig_vwii, void (CWnd::*)(UINT, int, int), OnSize)
#define ON_WM_MOVE() VGL_ON_WM(WM_MOVE, VglSig_vii, void (CWnd::*)(int, int), OnMove)
#define ON_WM_ERASEBKGND() VGL_ON_WM(WM_ERASEBKGND, VglSig_bD, BOOL (CWnd::*)(CDC*), OnEraseBkgnd)
#define ON_WM_ICONERASEBKGND() VGL_ON_WM(WM_ICONERASEBKGND, VglSig_vD, void (CWnd::*)(CDC*), OnIconEraseBkgnd)
#define ON_WM_CTLCOLOR() VGL_ON_WM(WM_CTLCOLORSTATIC, VglSig_hDWw, HBRUSH (CWnd::*)(CDC*, CWnd*, UINT), OnCtlColor)
#define ON_WM_CTLCOLOR_REFLECT() VGL_ON_WM(WM_CTLCOLORSTATIC + WM_REFLECT_BASE, VglSig_hbrD, HBRUSH (CWnd::*)(CDC*, UINT), CtlColor)
#define ON_WM_DRAWITEM() VGL_ON_WM(WM_DRAWITEM, VglSig_vOWNER, void (CWnd::*)(int, LPDRAWITEMSTRUCT), OnDrawItem)
#define ON_WM_MEASUREITEM() VGL_ON_WM(WM_MEASUREITEM, VglSig_vOWNERM, void (CWnd::*)(int, LPMEASUREITEMSTRUCT), OnMeasureItem)
#define ON_WM_DRAWITEM_REFLECT() VGL_ON_WM(WM_DRAWITEM + WM_REFLECT_BASE, VglSig_vDRAW, void (CWnd::*)(LPDRAWITEMSTRUCT), DrawItem)
#define ON_WM_MEASUREITEM_REFLECT() VGL_ON_WM(WM_MEASUREITEM + WM_REFLECT_BASE, VglSig_vMEASURE, void (CWnd::*)(LPMEASUREITEMSTRUCT), MeasureItem)
#define ON_WM_LBUTTONDOWN() VGL_ON_WM(WM_LBUTTONDOWN, VglSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDown)
#define ON_WM_LBUTTONUP() VGL_ON_WM(WM_LBUTTONUP, VglSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() VGL_ON_WM(WM_LBUTTONDBLCLK, VglSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() VGL_ON_WM(WM_RBUTTONDOWN, VglSig_vwp, void (CWnd::*)(UINT, CPoint), OnRButtonDown)
#define ON_WM_RBUTTONUP() VGL_ON_WM(WM_RBUTTONUP, VglSig_vwp, void (CWnd::*)(UINT, CPoint), OnRButtonUp)
#define ON_WM_MOUSEMOVE() VGL_ON_WM(WM_MOUSEMOVE, VglSig_vwp, void (CWnd::*)(UINT, CPoint), OnMouseMove)
#define ON_WM_SETCURSOR() VGL_ON_WM(WM_SETCURSOR, VglSig_bWww, BOOL (CWnd::*)(CWnd*, UINT, UINT), OnSetCursor)
#define ON_WM_KEYDOWN() VGL_ON_WM(WM_KEYDOWN, VglSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnKeyDown)
#define ON_WM_KEYUP() VGL_ON_WM(WM_KEYUP, VglSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnKeyUp)
#define ON_WM_SYSKEYDOWN() VGL_ON_WM(WM_SYSKEYDOWN, VglSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnSysKeyDown)
#define ON_WM_CHAR() VGL_ON_WM(WM_CHAR, VglSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnChar)
#define ON_WM_SHOWWINDOW() VGL_ON_WM(WM_SHOWWINDOW, VglSig_vbw, void (CWnd::*)(BOOL, UINT), OnShowWindow)
#define ON_WM_SYSCOMMAND() VGL_ON_WM(WM_SYSCOMMAND, VglSig_vuL, void (CWnd::*)(UINT, LPARAM), OnSysCommand)
#define ON_WM_QUERYENDSESSION() VGL_ON_WM(WM_QUERYENDSESSION, VglSig_bv_q, BOOL (CWnd::*)(), OnQueryEndSession)
#define ON_WM_ENDSESSION() VGL_ON_WM(WM_ENDSESSION, VglSig_vb, void (CWnd::*)(BOOL), OnEndSession)
#define ON_WM_QUERYNEWPALETTE() VGL_ON_WM(WM_QUERYNEWPALETTE, VglSig_bv_q, BOOL (CWnd::*)(), OnQueryNewPalette)
#define ON_WM_PALETTECHANGED() VGL_ON_WM(WM_PALETTECHANGED, VglSig_vW, void (CWnd::*)(CWnd*), OnPaletteChanged)
#define ON_WM_SETFOCUS() VGL_ON_WM(WM_SETFOCUS, VglSig_vW, void (CWnd::*)(CWnd*), OnSetFocus)
#define ON_WM_KILLFOCUS() VGL_ON_WM(WM_KILLFOCUS, VglSig_vW, void (CWnd::*)(CWnd*), OnKillFocus)
#define ON_WM_GETDLGCODE() VGL_ON_WM(WM_GETDLGCODE, VglSig_uv, UINT (CWnd::*)(), OnGetDlgCode)
#define ON_WM_NCHITTEST() VGL_ON_WM(WM_NCHITTEST, VglSig_up, LRESULT (CWnd::*)(CPoint), OnNcHitTest)
#define ON_WM_QUERYDRAGICON() VGL_ON_WM(WM_QUERYDRAGICON, VglSig_hv, HCURSOR (CWnd::*)(), OnQueryDragIcon)
#define ON_WM_DROPFILES() VGL_ON_WM(WM_DROPFILES, VglSig_vHDROP, void (CWnd::*)(HDROP), OnDropFiles)
#define ON_WM_HSCROLL() VGL_ON_WM(WM_HSCROLL, VglSig_vwwW, void (CWnd::*)(UINT, UINT, CScrollBar*), OnHScroll)
#define ON_WM_VSCROLL() VGL_ON_WM(WM_VSCROLL, VglSig_vwwW, void (CWnd::*)(UINT, UINT, CScrollBar*), OnVScroll)
#define ON_WM_COPYDATA() VGL_ON_WM(WM_COPYDATA, VglSig_bWCDS, BOOL (CWnd::*)(CWnd*, COPYDATASTRUCT*), OnCopyData)
#define ON_WM_CONTEXTMENU() VGL_ON_WM(WM_CONTEXTMENU, VglSig_vWp, void (CWnd::*)(CWnd*, CPoint), OnContextMenu)
#define ON_WM_INITMENU() VGL_ON_WM(WM_INITMENU, VglSig_vM, void (CWnd::*)(CMenu*), OnInitMenu)
#define ON_WM_INITMENUPOPUP() VGL_ON_WM(WM_INITMENUPOPUP, VglSig_vMub, void (CWnd::*)(CMenu*, UINT, BOOL), OnInitMenuPopup)
#define ON_WM_ACTIVATEAPP() VGL_ON_WM(WM_ACTIVATEAPP, VglSig_vwbh, void (CWnd::*)(BOOL, DWORD), OnActivateApp)
#define ON_WM_ACTIVATE() VGL_ON_WM(WM_ACTIVATE, VglSig_vwWb, void (CWnd::*)(UINT, CWnd*, BOOL), OnActivate)
#define ON_WM_DEVICECHANGE() VGL_ON_WM(WM_DEVICECHANGE, VglSig_bwl, BOOL (CWnd::*)(UINT, DWORD_PTR), OnDeviceChange)
#define ON_WM_POWERBROADCAST() VGL_ON_WM(WM_POWERBROADCAST, VglSig_lwl, LRESULT (CWnd::*)(WPARAM, LPARAM), OnPowerBroadcast)
#define ON_WM_WINDOWPOSCHANGING() VGL_ON_WM(WM_WINDOWPOSCHANGING, VglSig_vPOS, void (CWnd::*)(WINDOWPOS*), OnWindowPosChanging)
#define ON_WM_WINDOWPOSCHANGED() VGL_ON_WM(WM_WINDOWPOSCHANGED, VglSig_vPOS, void (CWnd::*)(WINDOWPOS*), OnWindowPosChanged)
#define ON_WM_GETMINMAXINFO() VGL_ON_WM(WM_GETMINMAXINFO, VglSig_vMMI, void (CWnd::*)(MINMAXINFO*), OnGetMinMaxInfo)
#define ON_WM_HELPINFO() VGL_ON_WM(WM_HELPINFO, VglSig_bHELPINFO, BOOL (CWnd::*)(HELPINFO*), OnHelpInfo)
#define ON_WM_CANCELMODE() VGL_ON_WM(WM_CANCELMODE, VglSig_vv, void (CWnd::*)(), OnCancelMode)
#define ON_WM_CAPTURECHANGED() VGL_ON_WM(WM_CAPTURECHANGED, VglSig_vW, void (CWnd::*)(CWnd*), OnCaptureChanged)
#define ON_WM_SETTINGCHANGE() VGL_ON_WM(WM_SETTINGCHANGE, VglSig_vws, void (CWnd::*)(UINT, LPCTSTR), OnSettingChange)
#define ON_WM_SYSCOLORCHANGE() VGL_ON_WM(WM_SYSCOLORCHANGE, VglSig_vv, void (CWnd::*)(), OnSysColorChange)

/////////////////////////////////////////////////////////////////////////////
// CCmdTarget

struct AFX_CMDHANDLERINFO {
  CCmdTarget* pTarget;
  AFX_PMSG pmf;
};

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
public:
  CCmdTarget();
  virtual ~CCmdTarget();

  // Routes a command (nCode CN_COMMAND / CN_UPDATE_COMMAND_UI / a control
  // notification / CN_NOTIFY_CODE(code) with pExtra the NMHDR* and LRESULT*).
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);

  void BeginWaitCursor();
  void EndWaitCursor();
  void RestoreWaitCursor();

  // The first entry of this object's maps for a message / command.
  const VglMsgEntry* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;

protected:
  static const VglMsgMap* GetThisMessageMap();
  virtual const VglMsgMap* GetMessageMap() const;
};

// Extra data passed with WM_NOTIFY routing.
struct AFX_NOTIFY {
  LRESULT* pResult;
  NMHDR* pNMHDR;
};

class CCmdUI {
public:
  CCmdUI();
  UINT m_nID;
  UINT m_nIndex;
  CMenu* m_pMenu;
  CMenu* m_pSubMenu;
  CWnd* m_pOther;
  UINT m_nIndexMax;
  BOOL m_bEnableChanged;
  BOOL m_bContinueRouting;

  virtual void Enable(BOOL bOn = TRUE);
  virtual void SetCheck(int nCheck = 1);
  virtual void SetRadio(BOOL bOn = TRUE);
  virtual void SetText(LPCTSTR lpszText);
  void ContinueRouting() { m_bContinueRouting = TRUE; }
  // Asks pTarget for the state; disables the item when no handler exists.
  BOOL DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHndler);
  virtual ~CCmdUI() {}
};

/////////////////////////////////////////////////////////////////////////////
// Threads

typedef UINT (__cdecl *AFX_THREADPROC)(LPVOID);

class CWinThread : public CCmdTarget {
  DECLARE_DYNAMIC(CWinThread)
public:
  CWinThread();
  CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
  virtual ~CWinThread();

  BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                    LPSECURITY_ATTRIBUTES lpSecurityAttrs = NULL);

  CWnd* m_pMainWnd;
  CWnd* m_pActiveWnd;
  BOOL m_bAutoDelete;
  HANDLE m_hThread;
  DWORD m_nThreadID;
  operator HANDLE() const { return VglNotNull(this) ? m_hThread : NULL; }

  int GetThreadPriority();
  BOOL SetThreadPriority(int nPriority);
  DWORD SuspendThread();
  DWORD ResumeThread();
  BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

  virtual BOOL InitInstance();
  virtual int Run();
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL PumpMessage();
  virtual BOOL OnIdle(LONG lCount);
  virtual BOOL IsIdleMessage(MSG* pMsg);
  virtual int ExitInstance();
  virtual LRESULT ProcessWndProcException(CException* e, const MSG* pMsg);
  virtual CWnd* GetMainWnd();
  virtual void Delete();

  // The message being processed by Run / PumpMessage.
  MSG m_msgCur;
  AFX_THREADPROC m_pfnThreadProc;
  LPVOID m_pThreadParams;

  // Dispatches a thread message (hwnd NULL) through the thread's message map.
  BOOL DispatchThreadMessageEx(MSG* pMsg);

  DECLARE_MESSAGE_MAP()
private:
  static unsigned __stdcall ThreadEntry(void* p);
  POINT m_ptCursorLast;
  UINT m_nMsgLast;
};

CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                                  int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                                  DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = NULL);
CWinThread* AFXAPI AfxBeginThread(CRuntimeClass* pThreadClass,
                                  int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                                  DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = NULL);
// Ends the calling thread (deletes its CWinThread when bDelete and m_bAutoDelete).
void AFXAPI AfxEndThread(UINT nExitCode, BOOL bDelete = TRUE);
CWinThread* AFXAPI AfxGetThread();
CWinApp* AFXAPI AfxGetApp();
// Runs the idle-time clean-up of the current thread (temporary window objects).
void AFXAPI AfxLockTempMaps();
BOOL AFXAPI AfxUnlockTempMaps(BOOL bDeleteTemps = TRUE);

/////////////////////////////////////////////////////////////////////////////
// Geometry

class CSize : public tagSIZE {
public:
  CSize() { cx = cy = 0; }
  CSize(int x, int y) { cx = x; cy = y; }
  CSize(SIZE s) { cx = s.cx; cy = s.cy; }
  BOOL operator==(SIZE s) const { return cx == s.cx && cy == s.cy; }
  BOOL operator!=(SIZE s) const { return !(*this == s); }
};

class CPoint : public tagPOINT {
public:
  CPoint() { x = y = 0; }
  CPoint(int ix, int iy) { x = ix; y = iy; }
  CPoint(POINT p) { x = p.x; y = p.y; }
  CPoint(DWORD dw) { x = (short)LOWORD(dw); y = (short)HIWORD(dw); }
  void Offset(int dx, int dy) { x += dx; y += dy; }
  BOOL operator==(POINT p) const { return x == p.x && y == p.y; }
  BOOL operator!=(POINT p) const { return !(*this == p); }
  CPoint operator+(SIZE s) const { return CPoint(x + s.cx, y + s.cy); }
  CPoint operator-(SIZE s) const { return CPoint(x - s.cx, y - s.cy); }
  CSize operator-(POINT p) const { return CSize(x - p.x, y - p.y); }
  void operator+=(SIZE s) { x += s.cx; y += s.cy; }
  void operator-=(SIZE s) { x -= s.cx; y -= s.cy; }
};

class CRect : public tagRECT {
public:
  CRect() { left = top = right = bottom = 0; }
  CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
  CRect(const RECT& r) { CopyRect(&r); }
  CRect(LPCRECT p) { CopyRect(p); }
  CRect(POINT p, SIZE s) { left = p.x; top = p.y; right = p.x + s.cx; bottom = p.y + s.cy; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return CSize(Width(), Height()); }
  CPoint& TopLeft() { return *reinterpret_cast<CPoint*>(&left); }
  CPoint& BottomRight() { return *reinterpret_cast<CPoint*>(&right); }
  CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
  BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
  BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  BOOL PtInRect(POINT p) const { return ::PtInRect(this, p); }
  void SetRect(int l, int t, int r, int b) { ::SetRect(this, l, t, r, b); }
  void SetRectEmpty() { ::SetRectEmpty(this); }
  void CopyRect(LPCRECT p) { ::CopyRect(this, p); }
  BOOL EqualRect(LPCRECT p) const { return ::EqualRect(this, p); }
  void InflateRect(int x, int y) { ::InflateRect(this, x, y); }
  void DeflateRect(int x, int y) { ::InflateRect(this, -x, -y); }
  void OffsetRect(int x, int y) { ::OffsetRect(this, x, y); }
  void OffsetRect(POINT p) { ::OffsetRect(this, p.x, p.y); }
  void NormalizeRect() { if (left > right) { int t = left; left = right; right = t; } if (top > bottom) { int t = top; top = bottom; bottom = t; } }
  BOOL IntersectRect(LPCRECT a, LPCRECT b) { return ::IntersectRect(this, a, b); }
  BOOL UnionRect(LPCRECT a, LPCRECT b) { return ::UnionRect(this, a, b); }
  void operator=(const RECT& r) { CopyRect(&r); }
  BOOL operator==(const RECT& r) const { return ::EqualRect(this, &r); }
  BOOL operator!=(const RECT& r) const { return !::EqualRect(this, &r); }
};

/////////////////////////////////////////////////////////////////////////////
// GDI objects

class CGdiObject : public CObject {
  DECLARE_DYNAMIC(CGdiObject)
public:
  HGDIOBJ m_hObject;
  CGdiObject() : m_hObject(NULL) {}
  virtual ~CGdiObject();
  operator HGDIOBJ() const { return VglNotNull(this) ? m_hObject : NULL; }
  HGDIOBJ GetSafeHandle() const { return VglNotNull(this) ? m_hObject : NULL; }
  BOOL Attach(HGDIOBJ h);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  int GetObject(int nCount, LPVOID lpObject) const { return ::GetObjectA(m_hObject, nCount, lpObject); }
  BOOL CreateStockObject(int nIndex);
  BOOL UnrealizeObject() { return ::UnrealizeObject(m_hObject); }
  static CGdiObject* FromHandle(HGDIOBJ h);
};

class CPen : public CGdiObject {
  DECLARE_DYNAMIC(CPen)
public:
  CPen() {}
  CPen(int nStyle, int nWidth, COLORREF cr) { Attach(::CreatePen(nStyle, nWidth, cr)); }
  operator HPEN() const { return (HPEN)(VglNotNull(this) ? m_hObject : NULL); }
  BOOL CreatePen(int nStyle, int nWidth, COLORREF cr) { return Attach(::CreatePen(nStyle, nWidth, cr)); }
  static CPen* FromHandle(HPEN h) { return (CPen*)CGdiObject::FromHandle(h); }
};

class CBrush : public CGdiObject {
  DECLARE_DYNAMIC(CBrush)
public:
  CBrush() {}
  explicit CBrush(COLORREF cr) { Attach(::CreateSolidBrush(cr)); }
  operator HBRUSH() const { return (HBRUSH)(VglNotNull(this) ? m_hObject : NULL); }
  BOOL CreateSolidBrush(COLORREF cr) { return Attach(::CreateSolidBrush(cr)); }
  // A brush of its own in the system colour (the system's shared brush must never be deleted).
  BOOL CreateSysColorBrush(int nIndex) { return Attach(::CreateSolidBrush(::GetSysColor(nIndex))); }
  BOOL CreatePatternBrush(class CBitmap* pBitmap);
  BOOL CreateHatchBrush(int nIndex, COLORREF cr) { return Attach(::CreateHatchBrush(nIndex, cr)); }
  static CBrush* FromHandle(HBRUSH h) { return (CBrush*)CGdiObject::FromHandle(h); }
};

class CFont : public CGdiObject {
  DECLARE_DYNAMIC(CFont)
public:
  operator HFONT() const { return (HFONT)(VglNotNull(this) ? m_hObject : NULL); }
  BOOL CreateFontIndirect(const LOGFONT* lf) { return Attach(::CreateFontIndirectA(lf)); }
  BOOL CreatePointFont(int nPointSize, LPCTSTR lpszFaceName, CDC* pDC = NULL);
  BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                  BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                  BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality,
                  BYTE nPitchAndFamily, LPCTSTR lpszFacename) {
    return Attach(::CreateFontA(nHeight, nWidth, nEscapement, nOrientation, nWeight, bItalic,
                                bUnderline, cStrikeOut, nCharSet, nOutPrecision, nClipPrecision,
                                nQuality, nPitchAndFamily, lpszFacename));
  }
  int GetLogFont(LOGFONT* lf) { return GetObject(sizeof(LOGFONT), lf); }
  static CFont* FromHandle(HFONT h) { return (CFont*)CGdiObject::FromHandle(h); }
};

class CBitmap : public CGdiObject {
  DECLARE_DYNAMIC(CBitmap)
public:
  operator HBITMAP() const { return (HBITMAP)(VglNotNull(this) ? m_hObject : NULL); }
  // From the resource module (the language library).
  BOOL LoadBitmap(UINT nIDResource);
  BOOL LoadBitmap(LPCTSTR lpszResourceName);
  BOOL LoadOEMBitmap(UINT nIDBitmap) { return Attach(::LoadBitmapA(NULL, MAKEINTRESOURCEA(nIDBitmap))); }
  BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void* lpBits) {
    return Attach(::CreateBitmap(nWidth, nHeight, nPlanes, nBitcount, lpBits));
  }
  BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
  int GetBitmap(BITMAP* pBitMap) { return GetObject(sizeof(BITMAP), pBitMap); }
  static CBitmap* FromHandle(HBITMAP h) { return (CBitmap*)CGdiObject::FromHandle(h); }
};

class CPalette : public CGdiObject {
  DECLARE_DYNAMIC(CPalette)
public:
  operator HPALETTE() const { return (HPALETTE)(VglNotNull(this) ? m_hObject : NULL); }
  BOOL CreatePalette(LPLOGPALETTE lpLogPalette) { return Attach(::CreatePalette(lpLogPalette)); }
  BOOL CreateHalftonePalette(CDC* pDC);
  int GetEntryCount() { WORD n = 0; ::GetObjectA(m_hObject, sizeof(WORD), &n); return n; }
  UINT GetPaletteEntries(UINT nStart, UINT nCount, LPPALETTEENTRY p) const { return ::GetPaletteEntries((HPALETTE)m_hObject, nStart, nCount, p); }
  UINT SetPaletteEntries(UINT nStart, UINT nCount, LPPALETTEENTRY p) { return ::SetPaletteEntries((HPALETTE)m_hObject, nStart, nCount, p); }
  static CPalette* FromHandle(HPALETTE h) { return (CPalette*)CGdiObject::FromHandle(h); }
};

class CRgn : public CGdiObject {
  DECLARE_DYNAMIC(CRgn)
public:
  operator HRGN() const { return (HRGN)(VglNotNull(this) ? m_hObject : NULL); }
  BOOL CreateRectRgn(int x1, int y1, int x2, int y2) { return Attach(::CreateRectRgn(x1, y1, x2, y2)); }
  BOOL CreateRectRgnIndirect(LPCRECT r) { return Attach(::CreateRectRgnIndirect(r)); }
};

/////////////////////////////////////////////////////////////////////////////
// Device contexts

class CDC : public CObject {
  DECLARE_DYNAMIC(CDC)
public:
  HDC m_hDC;
  HDC m_hAttribDC;
  CDC();
  virtual ~CDC();
  operator HDC() const { return VglNotNull(this) ? m_hDC : NULL; }
  HDC GetSafeHdc() const { return VglNotNull(this) ? m_hDC : NULL; }
  BOOL Attach(HDC hDC);
  HDC Detach();
  static CDC* FromHandle(HDC hDC);
  static void DeleteTempMap();

  BOOL CreateCompatibleDC(CDC* pDC);
  BOOL CreateDC(LPCTSTR lpszDriverName, LPCTSTR lpszDeviceName, LPCTSTR lpszOutput, const void* lpInitData);
  BOOL DeleteDC();
  int SaveDC() { return ::SaveDC(m_hDC); }
  BOOL RestoreDC(int n) { return ::RestoreDC(m_hDC, n); }
  int GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hDC, nIndex); }
  CWnd* GetWindow() const;

  CPen* SelectObject(CPen* p) { return CPen::FromHandle((HPEN)::SelectObject(m_hDC, p->GetSafeHandle())); }
  CBrush* SelectObject(CBrush* p) { return CBrush::FromHandle((HBRUSH)::SelectObject(m_hDC, p->GetSafeHandle())); }
  CFont* SelectObject(CFont* p) { return CFont::FromHandle((HFONT)::SelectObject(m_hDC, p->GetSafeHandle())); }
  CBitmap* SelectObject(CBitmap* p) { return CBitmap::FromHandle((HBITMAP)::SelectObject(m_hDC, p->GetSafeHandle())); }
  CGdiObject* SelectObject(CGdiObject* p) { return CGdiObject::FromHandle(::SelectObject(m_hDC, p->GetSafeHandle())); }
  CGdiObject* SelectStockObject(int nIndex) { return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(nIndex))); }
  CPalette* SelectPalette(CPalette* pPalette, BOOL bForceBackground) {
    return CPalette::FromHandle(::SelectPalette(m_hDC, (HPALETTE)pPalette->GetSafeHandle(), bForceBackground));
  }
  UINT RealizePalette() { return ::RealizePalette(m_hDC); }
  CFont* GetCurrentFont() const { return CFont::FromHandle((HFONT)::GetCurrentObject(m_hDC, OBJ_FONT)); }

  COLORREF SetTextColor(COLORREF cr) { return ::SetTextColor(m_hDC, cr); }
  COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
  COLORREF SetBkColor(COLORREF cr) { return ::SetBkColor(m_hDC, cr); }
  COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
  int SetBkMode(int n) { return ::SetBkMode(m_hDC, n); }
  int SetStretchBltMode(int n) { return ::SetStretchBltMode(m_hDC, n); }
  int SetMapMode(int n) { return ::SetMapMode(m_hDC, n); }
  COLORREF SetPixel(int x, int y, COLORREF cr) { return ::SetPixel(m_hDC, x, y, cr); }
  COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

  CPoint MoveTo(int x, int y) { POINT p; ::MoveToEx(m_hDC, x, y, &p); return CPoint(p); }
  CPoint MoveTo(POINT p) { return MoveTo(p.x, p.y); }
  BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
  BOOL LineTo(POINT p) { return LineTo(p.x, p.y); }
  BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
  BOOL Rectangle(LPCRECT r) { return ::Rectangle(m_hDC, r->left, r->top, r->right, r->bottom); }
  BOOL Ellipse(LPCRECT r) { return ::Ellipse(m_hDC, r->left, r->top, r->right, r->bottom); }
  BOOL Polygon(LPPOINT p, int n) { return ::Polygon(m_hDC, p, n); }
  void FillRect(LPCRECT r, CBrush* pBrush) { ::FillRect(m_hDC, r, (HBRUSH)pBrush->GetSafeHandle()); }
  void FillSolidRect(LPCRECT r, COLORREF cr);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF cr) { CRect r(x, y, x + cx, y + cy); FillSolidRect(&r, cr); }
  void FrameRect(LPCRECT r, CBrush* pBrush) { ::FrameRect(m_hDC, r, (HBRUSH)pBrush->GetSafeHandle()); }
  void InvertRect(LPCRECT r) { ::InvertRect(m_hDC, r); }
  void Draw3dRect(LPCRECT r, COLORREF crTopLeft, COLORREF crBottomRight);
  void DrawFocusRect(LPCRECT r) { ::DrawFocusRect(m_hDC, r); }
  BOOL DrawEdge(LPRECT r, UINT nEdge, UINT nFlags) { return ::DrawEdge(m_hDC, r, nEdge, nFlags); }
  BOOL DrawFrameControl(LPRECT r, UINT nType, UINT nState) { return ::DrawFrameControl(m_hDC, r, nType, nState); }
  BOOL DrawIcon(int x, int y, HICON h) { return ::DrawIcon(m_hDC, x, y, h); }
  BOOL DrawIcon(POINT p, HICON h) { return ::DrawIcon(m_hDC, p.x, p.y, h); }
  BOOL DrawState(CPoint pt, CSize size, HBITMAP hBitmap, UINT nFlags, HBRUSH hBrush = NULL) {
    return ::DrawStateA(m_hDC, hBrush, NULL, (LPARAM)hBitmap, 0, pt.x, pt.y, size.cx, size.cy, nFlags | DST_BITMAP);
  }
  BOOL DrawState(CPoint pt, CSize size, HICON hIcon, UINT nFlags, HBRUSH hBrush = NULL) {
    return ::DrawStateA(m_hDC, hBrush, NULL, (LPARAM)hIcon, 0, pt.x, pt.y, size.cx, size.cy, nFlags | DST_ICON);
  }

  BOOL BitBlt(int x, int y, int w, int h, CDC* pSrc, int xs, int ys, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, w, h, pSrc->GetSafeHdc(), xs, ys, rop);
  }
  BOOL StretchBlt(int x, int y, int w, int h, CDC* pSrc, int xs, int ys, int ws, int hs, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, w, h, pSrc->GetSafeHdc(), xs, ys, ws, hs, rop);
  }
  BOOL PatBlt(int x, int y, int w, int h, DWORD rop) { return ::PatBlt(m_hDC, x, y, w, h, rop); }

  BOOL TextOut(int x, int y, LPCTSTR s, int n) { return ::TextOutA(m_hDC, x, y, s, n); }
  BOOL TextOut(int x, int y, const CString& s) { return ::TextOutA(m_hDC, x, y, (LPCTSTR)s, s.GetLength()); }
  BOOL ExtTextOut(int x, int y, UINT nOptions, LPCRECT r, LPCTSTR s, UINT n, LPINT lpDx) {
    return ::ExtTextOutA(m_hDC, x, y, nOptions, r, s, n, lpDx);
  }
  int DrawText(LPCTSTR s, int n, LPRECT r, UINT nFormat) { return ::DrawTextA(m_hDC, s, n, r, nFormat); }
  int DrawText(const CString& s, LPRECT r, UINT nFormat) { return ::DrawTextA(m_hDC, (LPCTSTR)s, s.GetLength(), r, nFormat); }
  CSize GetTextExtent(LPCTSTR s, int n) const { SIZE sz; ::GetTextExtentPoint32A(m_hDC, s, n, &sz); return CSize(sz); }
  CSize GetTextExtent(const CString& s) const { return GetTextExtent((LPCTSTR)s, s.GetLength()); }
  BOOL GetTextMetrics(LPTEXTMETRIC tm) const { return ::GetTextMetricsA(m_hDC, tm); }
  UINT SetTextAlign(UINT n) { return ::SetTextAlign(m_hDC, n); }

  int GetClipBox(LPRECT r) const { return ::GetClipBox(m_hDC, r); }
  int IntersectClipRect(LPCRECT r) { return ::IntersectClipRect(m_hDC, r->left, r->top, r->right, r->bottom); }
  int ExcludeClipRect(LPCRECT r) { return ::ExcludeClipRect(m_hDC, r->left, r->top, r->right, r->bottom); }
  int SelectClipRgn(CRgn* pRgn) { return ::SelectClipRgn(m_hDC, (HRGN)pRgn->GetSafeHandle()); }
  void LPtoDP(LPPOINT p, int n = 1) const { ::LPtoDP(m_hDC, p, n); }
  void DPtoLP(LPPOINT p, int n = 1) const { ::DPtoLP(m_hDC, p, n); }
  CPoint SetViewportOrg(int x, int y) { POINT p; ::SetViewportOrgEx(m_hDC, x, y, &p); return CPoint(p); }
  CPoint SetWindowOrg(int x, int y) { POINT p; ::SetWindowOrgEx(m_hDC, x, y, &p); return CPoint(p); }
};

class CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)
public:
  explicit CPaintDC(CWnd* pWnd);
  virtual ~CPaintDC();
  PAINTSTRUCT m_ps;
protected:
  HWND m_hWnd;
};

class CClientDC : public CDC {
  DECLARE_DYNAMIC(CClientDC)
public:
  explicit CClientDC(CWnd* pWnd);
  virtual ~CClientDC();
protected:
  HWND m_hWnd;
};

class CWindowDC : public CDC {
  DECLARE_DYNAMIC(CWindowDC)
public:
  explicit CWindowDC(CWnd* pWnd);
  virtual ~CWindowDC();
protected:
  HWND m_hWnd;
};

/////////////////////////////////////////////////////////////////////////////
// Menus

class CMenu : public CObject {
  DECLARE_DYNAMIC(CMenu)
public:
  HMENU m_hMenu;
  CMenu() : m_hMenu(NULL) {}
  virtual ~CMenu();
  operator HMENU() const { return VglNotNull(this) ? m_hMenu : NULL; }
  HMENU GetSafeHmenu() const { return VglNotNull(this) ? m_hMenu : NULL; }
  BOOL Attach(HMENU h) { m_hMenu = h; return h != NULL; }
  HMENU Detach() { HMENU h = m_hMenu; m_hMenu = NULL; return h; }
  static CMenu* FromHandle(HMENU h);
  BOOL CreateMenu() { return Attach(::CreateMenu()); }
  BOOL CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
  // From the resource module (the language library).
  BOOL LoadMenu(UINT nIDResource);
  BOOL DestroyMenu();
  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = NULL) { return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem); }
  BOOL InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = NULL) { return ::InsertMenuA(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem); }
  BOOL ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = NULL) { return ::ModifyMenuA(m_hMenu, nPosition, nFlags, nIDNewItem, lpszNewItem); }
  BOOL RemoveMenu(UINT nPosition, UINT nFlags) { return ::RemoveMenu(m_hMenu, nPosition, nFlags); }
  BOOL DeleteMenu(UINT nPosition, UINT nFlags) { return ::DeleteMenu(m_hMenu, nPosition, nFlags); }
  UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable) { return ::EnableMenuItem(m_hMenu, nIDEnableItem, nEnable); }
  UINT CheckMenuItem(UINT nIDCheckItem, UINT nCheck) { return ::CheckMenuItem(m_hMenu, nIDCheckItem, nCheck); }
  BOOL SetDefaultItem(UINT uItem, BOOL fByPos = FALSE) { return ::SetMenuDefaultItem(m_hMenu, uItem, fByPos); }
  UINT GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
  UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
  UINT GetMenuState(UINT nID, UINT nFlags) const { return ::GetMenuState(m_hMenu, nID, nFlags); }
  int GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const;
  CMenu* GetSubMenu(int nPos) const { return CMenu::FromHandle(::GetSubMenu(m_hMenu, nPos)); }
  BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = NULL);
};

/////////////////////////////////////////////////////////////////////////////
// Windows

class CDataExchange;

// Window object flags (m_nFlags).
#define WF_CONTINUEMODAL 0x0002
#define WF_MODALLOOP     0x0004
#define WF_TOOLTIPS      0x0010
// Modal loop flags.
#define MLF_NOIDLEMSG    0x0001
#define MLF_NOKICKIDLE   0x0002
#define MLF_SHOWONIDLE   0x0004

class CWnd : public CCmdTarget {
  DECLARE_DYNCREATE(CWnd)
public:
  CWnd();
  virtual ~CWnd();
protected:
  explicit CWnd(HWND hWnd);   // the Z-order places only
public:

  HWND m_hWnd;
  operator HWND() const { return VglNotNull(this) ? m_hWnd : NULL; }
  // The places of SetWindowPos's pWndInsertAfter: HWND_TOP, HWND_BOTTOM, HWND_TOPMOST and
  // HWND_NOTOPMOST.
  static const CWnd wndTop, wndBottom, wndTopMost, wndNoTopMost;
  HWND GetSafeHwnd() const { return VglNotNull(this) ? m_hWnd : NULL; }
  BOOL operator==(const CWnd& w) const { return w.m_hWnd == m_hWnd; }
  BOOL operator!=(const CWnd& w) const { return w.m_hWnd != m_hWnd; }

  // Handle map
  static CWnd* FromHandle(HWND hWnd);
  static CWnd* FromHandlePermanent(HWND hWnd);
  static void DeleteTempMap();
  BOOL Attach(HWND hWndNew);
  HWND Detach();
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  HWND UnsubclassWindow();

  // Creation
  virtual BOOL Create(LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                      const RECT& rect, CWnd* pParentWnd, UINT nID, void* pContext = NULL);
  BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                LPVOID lpParam = NULL);
  BOOL CreateEx(DWORD dwExStyle, LPCTSTR lpszClassName, LPCTSTR lpszWindowName, DWORD dwStyle,
                const RECT& rect, CWnd* pParentWnd, UINT nID, LPVOID lpParam = NULL);
  virtual BOOL DestroyWindow();
  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  virtual void PreSubclassWindow();
  virtual void PostNcDestroy();

  // Styles and state
  DWORD GetStyle() const { return (DWORD)::GetWindowLongA(m_hWnd, GWL_STYLE); }
  DWORD GetExStyle() const { return (DWORD)::GetWindowLongA(m_hWnd, GWL_EXSTYLE); }
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  int SetDlgCtrlID(int nID) { return (int)::SetWindowLongA(m_hWnd, GWL_ID, nID); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
  BOOL IsChild(const CWnd* pWnd) const { return ::IsChild(m_hWnd, pWnd->GetSafeHwnd()); }
  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }

  // Text
  void SetWindowText(LPCTSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
  int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const { return ::GetWindowTextA(m_hWnd, lpszStringBuf, nMaxCount); }
  void GetWindowText(CString& rString) const;
  int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
  void SetFont(CFont* pFont, BOOL bRedraw = TRUE) { SendMessage(WM_SETFONT, (WPARAM)pFont->GetSafeHandle(), bRedraw); }
  CFont* GetFont() const { return CFont::FromHandle((HFONT)::SendMessageA(m_hWnd, WM_GETFONT, 0, 0)); }
  HICON SetIcon(HICON hIcon, BOOL bBigIcon) { return (HICON)SendMessage(WM_SETICON, bBigIcon, (LPARAM)hIcon); }
  HICON GetIcon(BOOL bBigIcon) const { return (HICON)::SendMessageA(m_hWnd, WM_GETICON, bBigIcon, 0); }

  // Geometry
  void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
  void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
  void ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
  void ClientToScreen(LPRECT r) const;
  void ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
  void ScreenToClient(LPRECT r) const;
  void MoveWindow(int x, int y, int w, int h, BOOL bRepaint = TRUE) { ::MoveWindow(m_hWnd, x, y, w, h, bRepaint); }
  void MoveWindow(LPCRECT r, BOOL bRepaint = TRUE) { ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, bRepaint); }
  BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void CenterWindow(CWnd* pAlternateOwner = NULL);
  void BringWindowToTop() { ::BringWindowToTop(m_hWnd); }
  BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
  static CWnd* GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
  BOOL GetWindowPlacement(WINDOWPLACEMENT* p) const { p->length = sizeof(*p); return ::GetWindowPlacement(m_hWnd, p); }
  BOOL SetWindowPlacement(const WINDOWPLACEMENT* p) { return ::SetWindowPlacement(m_hWnd, p); }

  // Painting
  void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, NULL, bErase); }
  void InvalidateRect(LPCRECT r, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, r, bErase); }
  void ValidateRect(LPCRECT r) { ::ValidateRect(m_hWnd, r); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL RedrawWindow(LPCRECT r = NULL, CRgn* pRgn = NULL, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
    return ::RedrawWindow(m_hWnd, r, (HRGN)pRgn->GetSafeHandle(), flags);
  }
  void SetRedraw(BOOL bRedraw = TRUE) { SendMessage(WM_SETREDRAW, bRedraw, 0); }
  CDC* GetDC();
  CDC* GetWindowDC();
  int ReleaseDC(CDC* pDC);

  // Relations
  CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
  CWnd* SetParent(CWnd* pWndNewParent) { return FromHandle(::SetParent(m_hWnd, pWndNewParent->GetSafeHwnd())); }
  CWnd* GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
  CWnd* GetTopLevelParent() const;
  CWnd* GetWindow(UINT nCmd) const { return FromHandle(::GetWindow(m_hWnd, nCmd)); }
  CWnd* GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
  void GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
  CWnd* GetNextDlgTabItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const { return FromHandle(::GetNextDlgTabItem(m_hWnd, pWndCtl->GetSafeHwnd(), bPrevious)); }
  CWnd* GetNextDlgGroupItem(CWnd* pWndCtl, BOOL bPrevious = FALSE) const { return FromHandle(::GetNextDlgGroupItem(m_hWnd, pWndCtl->GetSafeHwnd(), bPrevious)); }
  static CWnd* GetDesktopWindow() { return FromHandle(::GetDesktopWindow()); }
  static CWnd* FindWindow(LPCTSTR lpszClassName, LPCTSTR lpszWindowName) { return FromHandle(::FindWindowA(lpszClassName, lpszWindowName)); }
  static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
  CWnd* SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
  static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
  CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
  static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
  CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
  static CWnd* WindowFromPoint(POINT p) { return FromHandle(::WindowFromPoint(p)); }
  CWnd* ChildWindowFromPoint(POINT p) const { return FromHandle(::ChildWindowFromPoint(m_hWnd, p)); }

  // Dialog items
  void SetDlgItemText(int nID, LPCTSTR lpszString) { ::SetDlgItemTextA(m_hWnd, nID, lpszString); }
  int GetDlgItemText(int nID, LPTSTR lpStr, int nMaxCount) const { return ::GetDlgItemTextA(m_hWnd, nID, lpStr, nMaxCount); }
  int GetDlgItemText(int nID, CString& rString) const;
  void SetDlgItemInt(int nID, UINT nValue, BOOL bSigned = TRUE) { ::SetDlgItemInt(m_hWnd, nID, nValue, bSigned); }
  UINT GetDlgItemInt(int nID, BOOL* lpTrans = NULL, BOOL bSigned = TRUE) const { return ::GetDlgItemInt(m_hWnd, nID, lpTrans, bSigned); }
  void CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
  UINT IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
  void CheckRadioButton(int nIDFirst, int nIDLast, int nIDCheck) { ::CheckRadioButton(m_hWnd, nIDFirst, nIDLast, nIDCheck); }
  int GetCheckedRadioButton(int nIDFirst, int nIDLast);
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam); }

  // Messages
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageA(m_hWnd, message, wParam, lParam); }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::PostMessageA(m_hWnd, message, wParam, lParam); }
  void SendMessageToDescendants(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, BOOL bDeep = TRUE);
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = NULL) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer); }
  BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
  CMenu* GetMenu() const { return CMenu::FromHandle(::GetMenu(m_hWnd)); }
  BOOL SetMenu(CMenu* pMenu) { return ::SetMenu(m_hWnd, pMenu->GetSafeHmenu()); }
  CMenu* GetSystemMenu(BOOL bRevert) const { return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert)); }
  void DragAcceptFiles(BOOL bAccept = TRUE) { ::DragAcceptFiles(m_hWnd, bAccept); }
  int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = NULL, UINT nType = MB_OK);
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);
  BOOL ShowScrollBar(UINT nBar, BOOL bShow = TRUE) { return ::ShowScrollBar(m_hWnd, nBar, bShow); }

  // Message processing
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  static BOOL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = NULL);
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // Calls PreTranslateMessage from pMsg->hwnd up to (and including) hWndStop.
  static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual BOOL ContinueModal();
  virtual void EndModalLoop(int nResult);
  int RunModalLoop(DWORD dwFlags = 0);
  // Default processing of the message being handled.
  LRESULT Default();
  const MSG* GetCurrentMessage();
  BOOL ExecuteDlgInit(LPCTSTR lpszResourceName);
  BOOL ExecuteDlgInit(LPVOID lpResource);
  BOOL ExecuteDlgInitData(const BYTE* pData, DWORD cbData);
  void UpdateDialogControls(CCmdTarget* pTarget, BOOL bDisableIfNoHndler);

  // Tooltips for areas the window reports through OnToolHitTest.
  BOOL EnableToolTips(BOOL bEnable = TRUE);
  virtual INT_PTR OnToolHitTest(CPoint point, TOOLINFOA* pTI) const;
  void FilterToolTipMessage(MSG* pMsg);

  // Owner drawing, called for reflected messages
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}
  virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}

  // Handlers with default processing
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnDestroy();
  afx_msg void OnNcDestroy();
  afx_msg void OnClose();
  afx_msg void OnPaint();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnSize(UINT nType, int cx, int cy);
  afx_msg void OnMove(int x, int y);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg void OnIconEraseBkgnd(CDC* pDC);
  afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
  afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
  afx_msg void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
  afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
  afx_msg void OnRButtonDown(UINT nFlags, CPoint point);
  afx_msg void OnRButtonUp(UINT nFlags, CPoint point);
  afx_msg void OnMouseMove(UINT nFlags, CPoint point);
  afx_msg BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
  afx_msg void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnKeyUp(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnSysKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags);
  afx_msg void OnShowWindow(BOOL bShow, UINT nStatus);
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg BOOL OnQueryEndSession();
  afx_msg void OnEndSession(BOOL bEnding);
  afx_msg BOOL OnQueryNewPalette();
  afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg UINT OnGetDlgCode();
  afx_msg LRESULT OnNcHitTest(CPoint point);
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnDropFiles(HDROP hDropInfo);
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg BOOL OnCopyData(CWnd* pWnd, COPYDATASTRUCT* pCopyDataStruct);
  afx_msg void OnContextMenu(CWnd* pWnd, CPoint pos);
  afx_msg void OnInitMenu(CMenu* pMenu);
  afx_msg void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu);
  afx_msg void OnActivateApp(BOOL bActive, DWORD dwThreadID);
  afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
  afx_msg LRESULT OnPowerBroadcast(WPARAM wParam, LPARAM lParam);
  afx_msg void OnWindowPosChanging(WINDOWPOS* lpwndpos);
  afx_msg void OnWindowPosChanged(WINDOWPOS* lpwndpos);
  afx_msg void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
  afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);
  afx_msg void OnCancelMode();
  afx_msg void OnCaptureChanged(CWnd* pWnd);
  afx_msg void OnSettingChange(UINT uFlags, LPCTSTR lpszSection);
  afx_msg void OnSysColorChange();

  WNDPROC m_pfnSuper;     // the window procedure replaced by ours
  UINT m_nFlags;
  int m_nModalResult;
  DECLARE_MESSAGE_MAP()
protected:
  virtual WNDPROC* GetSuperWndProcAddr() { return &m_pfnSuper; }
  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
  friend class CDialog;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
// Sends a message through a window object's WindowProc with the current-message bookkeeping.
LRESULT AFXAPI AfxCallWndProc(CWnd* pWnd, HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
// Registers (once) a window class with our window procedure and returns its name.
LPCTSTR AFXAPI AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = 0, HBRUSH hbrBackground = 0, HICON hIcon = 0);
// Arranges for the next window created on this thread to be attached to pWnd.
void AFXAPI AfxHookWindowCreate(CWnd* pWnd);
BOOL AFXAPI AfxUnhookWindowCreate();

/////////////////////////////////////////////////////////////////////////////
// Dialogs and data exchange

class CDataExchange {
public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd), m_hWndLastControl(NULL), m_bEditLastControl(FALSE) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
  HWND m_hWndLastControl;
  BOOL m_bEditLastControl;
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC);
  // Puts the focus back on the last control and throws (a CUserException-like exception).
  void Fail();
};

// Thrown by CDataExchange::Fail after the user was told.
class CUserException : public CException {
  DECLARE_DYNAMIC(CUserException)
public:
  CUserException() {}
};
void AFXAPI AfxThrowUserException();

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, long& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value);
void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
void AFXAPI DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);
void AFXAPI DDX_CBString(CDataExchange* pDX, int nIDC, CString& value);
void AFXAPI DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index);
void AFXAPI DDV_MaxChars(CDataExchange* pDX, const CString& value, int nChars);
void AFXAPI DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
void AFXAPI DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal);

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)
public:
  CDialog();
  CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd = NULL);
  CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);
  virtual ~CDialog();

  // Modeless
  virtual BOOL Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd = NULL);
  virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = NULL);
  BOOL CreateIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = NULL);
  // Modal
  BOOL InitModalIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd = NULL);
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  void MapDialogRect(LPRECT r) const { ::MapDialogRect(m_hWnd, r); }
  void NextDlgCtrl() const { ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
  void PrevDlgCtrl() const { ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, 1, 0); }
  void GotoDlgCtrl(CWnd* pWndCtrl) { ::SendMessageA(m_hWnd, WM_NEXTDLGCTL, (WPARAM)pWndCtrl->GetSafeHwnd(), 1); }
  void SetDefID(UINT nID) { ::SendMessageA(m_hWnd, DM_SETDEFID, nID, 0); }
  DWORD GetDefID() const { return (DWORD)::SendMessageA(m_hWnd, DM_GETDEFID, 0, 0); }

  virtual BOOL OnInitDialog();
  virtual void OnSetFont(CFont* pFont);
  virtual void OnOK();
  virtual void OnCancel();
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  LPCTSTR m_lpszTemplateName;
  UINT m_nIDHelp;
  CWnd* m_pParentWnd;
  LPCDLGTEMPLATE m_lpDialogTemplate;
  HGLOBAL m_hDialogTemplate;

  afx_msg LRESULT HandleInitDialog(WPARAM, LPARAM);
  afx_msg LRESULT HandleSetFont(WPARAM, LPARAM);
  afx_msg LRESULT OnCommandHelp(WPARAM, LPARAM);
  afx_msg void OnHelp();
  DECLARE_MESSAGE_MAP()
protected:
  BOOL CreateDlgIndirect(LPCDLGTEMPLATE lpDialogTemplate, CWnd* pParentWnd, HINSTANCE hInst);
  HWND PreModal();
  void PostModal();
  friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

/////////////////////////////////////////////////////////////////////////////
// Standard controls

class CStatic : public CWnd {
  DECLARE_DYNAMIC(CStatic)
public:
  virtual BOOL Create(LPCTSTR lpszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID = 0xffff);
  HICON SetIcon(HICON hIcon) { return (HICON)SendMessage(STM_SETICON, (WPARAM)hIcon, 0); }
  HICON GetIcon() const { return (HICON)::SendMessageA(m_hWnd, STM_GETICON, 0, 0); }
  HBITMAP SetBitmap(HBITMAP hBitmap) { return (HBITMAP)SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hBitmap); }
  HBITMAP GetBitmap() const { return (HBITMAP)::SendMessageA(m_hWnd, STM_GETIMAGE, IMAGE_BITMAP, 0); }
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)
public:
  virtual BOOL Create(LPCTSTR lpszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  UINT GetState() const { return (UINT)::SendMessageA(m_hWnd, BM_GETSTATE, 0, 0); }
  void SetState(BOOL bHighlight) { SendMessage(BM_SETSTATE, bHighlight, 0); }
  int GetCheck() const { return (int)::SendMessageA(m_hWnd, BM_GETCHECK, 0, 0); }
  void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, nCheck, 0); }
  UINT GetButtonStyle() const { return (UINT)GetStyle() & 0xff; }
  void SetButtonStyle(UINT nStyle, BOOL bRedraw = TRUE) { SendMessage(BM_SETSTYLE, nStyle, bRedraw); }
  HICON SetIcon(HICON hIcon) { return (HICON)SendMessage(BM_SETIMAGE, IMAGE_ICON, (LPARAM)hIcon); }
  HBITMAP SetBitmap(HBITMAP hBitmap) { return (HBITMAP)SendMessage(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)hBitmap); }
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)
public:
  virtual BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE) { SendMessage(EM_SETSEL, nStartChar, nEndChar); if (!bNoScroll) SendMessage(EM_SCROLLCARET); }
  void GetSel(int& nStartChar, int& nEndChar) const { ::SendMessageA(m_hWnd, EM_GETSEL, (WPARAM)&nStartChar, (LPARAM)&nEndChar); }
  void ReplaceSel(LPCTSTR lpszNewText, BOOL bCanUndo = FALSE) { SendMessage(EM_REPLACESEL, bCanUndo, (LPARAM)lpszNewText); }
  void LimitText(int nChars = 0) { SendMessage(EM_LIMITTEXT, nChars); }
  void SetLimitText(UINT nMax) { SendMessage(EM_LIMITTEXT, nMax); }
  UINT GetLimitText() const { return (UINT)::SendMessageA(m_hWnd, EM_GETLIMITTEXT, 0, 0); }
  int GetLineCount() const { return (int)::SendMessageA(m_hWnd, EM_GETLINECOUNT, 0, 0); }
  void SetReadOnly(BOOL bReadOnly = TRUE) { SendMessage(EM_SETREADONLY, bReadOnly); }
  BOOL GetModify() const { return (BOOL)::SendMessageA(m_hWnd, EM_GETMODIFY, 0, 0); }
  void SetModify(BOOL b = TRUE) { SendMessage(EM_SETMODIFY, b); }
  void SetPasswordChar(TCHAR ch) { SendMessage(EM_SETPASSWORDCHAR, (BYTE)ch); }
  void LineScroll(int nLines, int nChars = 0) { SendMessage(EM_LINESCROLL, nChars, nLines); }
  void Clear() { SendMessage(WM_CLEAR); }
  void Copy() { SendMessage(WM_COPY); }
  void Cut() { SendMessage(WM_CUT); }
  void Paste() { SendMessage(WM_PASTE); }
};

class CListBox : public CWnd {
  DECLARE_DYNAMIC(CListBox)
public:
  virtual BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetCount() const { return (int)::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0); }
  int GetCurSel() const { return (int)::SendMessageA(m_hWnd, LB_GETCURSEL, 0, 0); }
  int SetCurSel(int nSelect) { return (int)SendMessage(LB_SETCURSEL, nSelect); }
  int GetSel(int nIndex) const { return (int)::SendMessageA(m_hWnd, LB_GETSEL, nIndex, 0); }
  int SetSel(int nIndex, BOOL bSelect = TRUE) { return (int)SendMessage(LB_SETSEL, bSelect, nIndex); }
  int GetSelCount() const { return (int)::SendMessageA(m_hWnd, LB_GETSELCOUNT, 0, 0); }
  int GetSelItems(int nMaxItems, LPINT rgIndex) const { return (int)::SendMessageA(m_hWnd, LB_GETSELITEMS, nMaxItems, (LPARAM)rgIndex); }
  int GetTopIndex() const { return (int)::SendMessageA(m_hWnd, LB_GETTOPINDEX, 0, 0); }
  int SetTopIndex(int nIndex) { return (int)SendMessage(LB_SETTOPINDEX, nIndex); }
  int GetCaretIndex() const { return (int)::SendMessageA(m_hWnd, LB_GETCARETINDEX, 0, 0); }
  int SetCaretIndex(int nIndex, BOOL bScroll = TRUE) { return (int)SendMessage(LB_SETCARETINDEX, nIndex, bScroll); }
  DWORD_PTR GetItemData(int nIndex) const { return (DWORD_PTR)::SendMessageA(m_hWnd, LB_GETITEMDATA, nIndex, 0); }
  int SetItemData(int nIndex, DWORD_PTR dwItemData) { return (int)SendMessage(LB_SETITEMDATA, nIndex, (LPARAM)dwItemData); }
  void* GetItemDataPtr(int nIndex) const { return (void*)GetItemData(nIndex); }
  int SetItemDataPtr(int nIndex, void* pData) { return SetItemData(nIndex, (DWORD_PTR)pData); }
  int GetItemRect(int nIndex, LPRECT lpRect) const { return (int)::SendMessageA(m_hWnd, LB_GETITEMRECT, nIndex, (LPARAM)lpRect); }
  int GetItemHeight(int nIndex) const { return (int)::SendMessageA(m_hWnd, LB_GETITEMHEIGHT, nIndex, 0); }
  int SetItemHeight(int nIndex, UINT cyItemHeight) { return (int)SendMessage(LB_SETITEMHEIGHT, nIndex, MAKELONG(cyItemHeight, 0)); }
  int GetText(int nIndex, LPTSTR lpszBuffer) const { return (int)::SendMessageA(m_hWnd, LB_GETTEXT, nIndex, (LPARAM)lpszBuffer); }
  void GetText(int nIndex, CString& rString) const;
  int GetTextLen(int nIndex) const { return (int)::SendMessageA(m_hWnd, LB_GETTEXTLEN, nIndex, 0); }
  int AddString(LPCTSTR lpszItem) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)lpszItem); }
  int DeleteString(UINT nIndex) { return (int)SendMessage(LB_DELETESTRING, nIndex); }
  int InsertString(int nIndex, LPCTSTR lpszItem) { return (int)SendMessage(LB_INSERTSTRING, nIndex, (LPARAM)lpszItem); }
  void ResetContent() { SendMessage(LB_RESETCONTENT); }
  int FindString(int nStartAfter, LPCTSTR lpszItem) const { return (int)::SendMessageA(m_hWnd, LB_FINDSTRING, nStartAfter, (LPARAM)lpszItem); }
  int FindStringExact(int nIndexStart, LPCTSTR lpszFind) const { return (int)::SendMessageA(m_hWnd, LB_FINDSTRINGEXACT, nIndexStart, (LPARAM)lpszFind); }
  int SelectString(int nStartAfter, LPCTSTR lpszItem) { return (int)SendMessage(LB_SELECTSTRING, nStartAfter, (LPARAM)lpszItem); }
  void SetHorizontalExtent(int cxExtent) { SendMessage(LB_SETHORIZONTALEXTENT, cxExtent); }
  UINT ItemFromPoint(CPoint pt, BOOL& bOutside) const;
  virtual int CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }
  virtual void DeleteItem(LPDELETEITEMSTRUCT) {}
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CComboBox : public CWnd {
  DECLARE_DYNAMIC(CComboBox)
public:
  virtual BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
  int GetCount() const { return (int)::SendMessageA(m_hWnd, CB_GETCOUNT, 0, 0); }
  int GetCurSel() const { return (int)::SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0); }
  int SetCurSel(int nSelect) { return (int)SendMessage(CB_SETCURSEL, nSelect); }
  DWORD_PTR GetItemData(int nIndex) const { return (DWORD_PTR)::SendMessageA(m_hWnd, CB_GETITEMDATA, nIndex, 0); }
  int SetItemData(int nIndex, DWORD_PTR dwItemData) { return (int)SendMessage(CB_SETITEMDATA, nIndex, (LPARAM)dwItemData); }
  int GetLBText(int nIndex, LPTSTR lpszText) const { return (int)::SendMessageA(m_hWnd, CB_GETLBTEXT, nIndex, (LPARAM)lpszText); }
  void GetLBText(int nIndex, CString& rString) const;
  int GetLBTextLen(int nIndex) const { return (int)::SendMessageA(m_hWnd, CB_GETLBTEXTLEN, nIndex, 0); }
  int AddString(LPCTSTR lpszString) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)lpszString); }
  int DeleteString(UINT nIndex) { return (int)SendMessage(CB_DELETESTRING, nIndex); }
  int InsertString(int nIndex, LPCTSTR lpszString) { return (int)SendMessage(CB_INSERTSTRING, nIndex, (LPARAM)lpszString); }
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
  int FindString(int nStartAfter, LPCTSTR lpszString) const { return (int)::SendMessageA(m_hWnd, CB_FINDSTRING, nStartAfter, (LPARAM)lpszString); }
  int FindStringExact(int nIndexStart, LPCTSTR lpszFind) const { return (int)::SendMessageA(m_hWnd, CB_FINDSTRINGEXACT, nIndexStart, (LPARAM)lpszFind); }
  int SelectString(int nStartAfter, LPCTSTR lpszString) { return (int)SendMessage(CB_SELECTSTRING, nStartAfter, (LPARAM)lpszString); }
  BOOL LimitText(int nMaxChars) { return (BOOL)SendMessage(CB_LIMITTEXT, nMaxChars); }
  void ShowDropDown(BOOL bShowIt = TRUE) { SendMessage(CB_SHOWDROPDOWN, bShowIt); }
  BOOL GetDroppedState() const { return (BOOL)::SendMessageA(m_hWnd, CB_GETDROPPEDSTATE, 0, 0); }
  int SetDroppedWidth(UINT nWidth) { return (int)SendMessage(CB_SETDROPPEDWIDTH, nWidth); }
  virtual int CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }
  virtual void DeleteItem(LPDELETEITEMSTRUCT) {}
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};

class CScrollBar : public CWnd {
  DECLARE_DYNAMIC(CScrollBar)
public:
  int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
  int SetScrollPos(int nPos, BOOL bRedraw = TRUE) { return ::SetScrollPos(m_hWnd, SB_CTL, nPos, bRedraw); }
  void SetScrollRange(int nMinPos, int nMaxPos, BOOL bRedraw = TRUE) { ::SetScrollRange(m_hWnd, SB_CTL, nMinPos, nMaxPos, bRedraw); }
};

/////////////////////////////////////////////////////////////////////////////
// The application

class CCommandLineInfo : public CObject {
public:
  CCommandLineInfo();
  virtual ~CCommandLineInfo();
  // Called once per argument: the text without its '-' or '/' when bFlag.
  virtual void ParseParam(LPCTSTR lpszParam, BOOL bFlag, BOOL bLast);
  BOOL m_bShowSplash;
  BOOL m_bRunEmbedded;
  BOOL m_bRunAutomated;
  enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppUnregister, FileNothing = -1 } m_nShellCommand;
  CString m_strFileName;
  CString m_strPrinterName;
  CString m_strDriverName;
  CString m_strPortName;
};

class CWinApp : public CWinThread {
  DECLARE_DYNAMIC(CWinApp)
public:
  explicit CWinApp(LPCTSTR lpszAppName = NULL);
  virtual ~CWinApp();

  LPCTSTR m_pszAppName;     // message box caption
  HINSTANCE m_hInstance;
  HINSTANCE m_hPrevInstance;
  LPTSTR m_lpCmdLine;
  int m_nCmdShow;
  LPCTSTR m_pszExeName;
  LPCTSTR m_pszHelpFilePath;
  LPCTSTR m_pszProfileName;
  LPCTSTR m_pszRegistryKey;

  virtual BOOL InitApplication();
  virtual BOOL InitInstance();
  virtual int ExitInstance();
  virtual int Run();
  virtual BOOL OnIdle(LONG lCount);
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  virtual int DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT nIDPrompt);
  // The system's help with m_pszHelpFilePath (the program's path with ".HLP").
  virtual void WinHelp(DWORD_PTR dwData, UINT nCmd = HELP_CONTEXT);
  afx_msg void OnHelp();        // ID_HELP
  afx_msg void OnHelpIndex();   // ID_DEFAULT_HELP

  void ParseCommandLine(CCommandLineInfo& rCmdInfo);
  HICON LoadIcon(LPCTSTR lpszResourceName) const;
  HICON LoadIcon(UINT nIDResource) const;
  HICON LoadStandardIcon(LPCTSTR lpszIconName) const { return ::LoadIconA(NULL, lpszIconName); }
  HCURSOR LoadCursor(UINT nIDResource) const;
  HCURSOR LoadStandardCursor(LPCTSTR lpszCursorName) const { return ::LoadCursorA(NULL, lpszCursorName); }
  void SetRegistryKey(LPCTSTR lpszRegistryKey);
  void Enable3dControls() {}
  void Enable3dControlsStatic() {}
  void EnableHtmlHelp() {}

  // Wait cursor, counted
  void DoWaitCursor(int nCode);
  int m_nWaitCursorCount;
  HCURSOR m_hcurWaitCursorRestore;
  DECLARE_MESSAGE_MAP()
};

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow);
HINSTANCE AFXAPI AfxGetInstanceHandle();
LPCTSTR AFXAPI AfxGetAppName();
CWnd* AFXAPI AfxGetMainWnd();
int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
// Loads a string from the resource module.
BOOL AFXAPI AfxExtractSubString(CString& rString, LPCTSTR lpszFullString, int iSubString, TCHAR chSep = '\n');
void AFXAPI AfxFormatString1(CString& rString, UINT nIDS, LPCTSTR lpsz1);
void AFXAPI AfxFormatString2(CString& rString, UINT nIDS, LPCTSTR lpsz1, LPCTSTR lpsz2);
// The module holding resources of a given type and name: the resource module, else the program.
HINSTANCE AFXAPI AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType);

// Windows Sockets 1.1 start-up (cleaned up at exit) and OLE start-up for the calling thread.
BOOL AFXAPI AfxSocketInit(struct WSAData* lpwsaData = NULL);
BOOL AFXAPI AfxOleInit();

class CWaitCursor {
public:
  CWaitCursor();
  ~CWaitCursor();
  void Restore();
};
