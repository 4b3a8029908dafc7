// Command targets: message-map search and command routing.
#include "afxwin.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const VglMsgMap* CCmdTarget::GetThisMessageMap() {
  static const VglMsgEntry s_entries[] = { { 0, 0, 0, 0, VglSig_end, nullptr, nullptr } };
  static const VglMsgMap s_map = { nullptr, s_entries };
  return &s_map;
}

const VglMsgMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

CCmdTarget::CCmdTarget() {}
CCmdTarget::~CCmdTarget() {}

const VglMsgEntry* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const {
  for (const VglMsgMap* pMap = GetMessageMap(); pMap;
       pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : NULL) {
    for (const VglMsgEntry* e = pMap->pEntries; e->nSig != VglSig_end; ++e) {
      UINT nMsg = e->pRegMsg ? *e->pRegMsg : e->nMessage;
      if (nMsg == nMessage && e->nCode == nCode && nID >= e->nID && nID <= e->nLastID)
        return e;
    }
  }
  return NULL;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  UINT nMsg = WM_COMMAND;
  UINT nCodeKey = (UINT)nCode;
  if (HIWORD((UINT)nCode) == WM_NOTIFY && nCode != (int)CN_UPDATE_COMMAND_UI) {
    nMsg = WM_NOTIFY;
    nCodeKey = (UINT)(int)(short)LOWORD((UINT)nCode);
  } else if (HIWORD((UINT)nCode) == WM_REFLECT_BASE + WM_NOTIFY) {
    nMsg = WM_REFLECT_BASE + WM_NOTIFY;
    nCodeKey = (UINT)(int)(short)LOWORD((UINT)nCode);
  } else if (HIWORD((UINT)nCode) == WM_REFLECT_BASE + WM_COMMAND) {
    nMsg = WM_REFLECT_BASE + WM_COMMAND;
    nCodeKey = LOWORD((UINT)nCode);
  }
  const VglMsgEntry* e = FindMessageEntry(nMsg, nCodeKey, nID);
  if (!e)
    return FALSE;
  if (pHandlerInfo) {
    pHandlerInfo->pTarget = this;
    pHandlerInfo->pmf = e->pfn;
    return TRUE;
  }
  AFX_NOTIFY* pNotify = static_cast<AFX_NOTIFY*>(pExtra);
  switch (e->nSig) {
  case VglSig_vv:
    (this->*e->pfn)();
    return TRUE;
  case VglSig_bv:
    return (this->*reinterpret_cast<BOOL (CCmdTarget::*)()>(e->pfn))();
  case VglSig_bu:
    return (this->*reinterpret_cast<BOOL (CCmdTarget::*)(UINT)>(e->pfn))(nID);
  case VglSig_vu:
    (this->*reinterpret_cast<void (CCmdTarget::*)(UINT)>(e->pfn))(nID);
    return TRUE;
  case VglSig_cmdui:
  case VglSig_cmduirange: {
    CCmdUI* pCmdUI = static_cast<CCmdUI*>(pExtra);
    pCmdUI->m_bContinueRouting = FALSE;
    (this->*reinterpret_cast<void (CCmdTarget::*)(CCmdUI*)>(e->pfn))(pCmdUI);
    return !pCmdUI->m_bContinueRouting;
  }
  case VglSig_notify:
    (this->*reinterpret_cast<void (CCmdTarget::*)(NMHDR*, LRESULT*)>(e->pfn))(pNotify->pNMHDR, pNotify->pResult);
    return TRUE;
  case VglSig_notifyrange:
    (this->*reinterpret_cast<void (CCmdTarget::*)(UINT, NMHDR*, LRESULT*)>(e->pfn))(nID, pNotify->pNMHDR, pNotify->pResult);
    return TRUE;
  case VglSig_notifyex:
    return (this->*reinterpret_cast<BOOL (CCmdTarget::*)(UINT, NMHDR*, LRESULT*)>(e->pfn))(nID, pNotify->pNMHDR, pNotify->pResult);
  case VglSig_notifyref:
    return (this->*reinterpret_cast<BOOL (CCmdTarget::*)(NMHDR*, LRESULT*)>(e->pfn))(pNotify->pNMHDR, pNotify->pResult);
  default:
    return FALSE;
  }
}

void CCmdTarget::BeginWaitCursor() { if (AfxGetApp()) AfxGetApp()->DoWaitCursor(1); }
void CCmdTarget::EndWaitCursor() { if (AfxGetApp()) AfxGetApp()->DoWaitCursor(-1); }
void CCmdTarget::RestoreWaitCursor() { if (AfxGetApp()) AfxGetApp()->DoWaitCursor(0); }

CCmdUI::CCmdUI()
    : m_nID(0), m_nIndex(0), m_pMenu(NULL), m_pSubMenu(NULL), m_pOther(NULL), m_nIndexMax(0),
      m_bEnableChanged(FALSE), m_bContinueRouting(FALSE) {}

void CCmdUI::Enable(BOOL bOn) {
  if (m_pMenu) {
    if (!m_pSubMenu)
      m_pMenu->EnableMenuItem(m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
  } else if (m_pOther) {
    // Move the focus away from a control being disabled.
    if (!bOn && ::GetFocus() == m_pOther->m_hWnd) {
      HWND hParent = ::GetParent(m_pOther->m_hWnd);
      if (hParent)
        ::SendMessageA(hParent, WM_NEXTDLGCTL, 0, 0);
    }
    m_pOther->EnableWindow(bOn);
  }
  m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck) {
  if (m_pMenu) {
    if (!m_pSubMenu)
      m_pMenu->CheckMenuItem(m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
  } else if (m_pOther && (::SendMessageA(m_pOther->m_hWnd, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON)) {
    m_pOther->SendMessage(BM_SETCHECK, nCheck);
  }
}

void CCmdUI::SetRadio(BOOL bOn) { SetCheck(bOn ? 1 : 0); }

void CCmdUI::SetText(LPCTSTR lpszText) {
  if (m_pMenu) {
    if (!m_pSubMenu) {
      UINT nState = m_pMenu->GetMenuState(m_nIndex, MF_BYPOSITION) & ~(MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR | MF_POPUP);
      m_pMenu->ModifyMenu(m_nIndex, MF_BYPOSITION | MF_STRING | nState, m_nID, lpszText);
    }
  } else if (m_pOther) {
    m_pOther->SetWindowText(lpszText);
  }
}

BOOL CCmdUI::DoUpdate(CCmdTarget* pTarget, BOOL bDisableIfNoHndler) {
  if (m_nID == 0 || LOWORD(m_nID) == 0xFFFF)
    return TRUE;
  m_bEnableChanged = FALSE;
  BOOL bResult = pTarget->OnCmdMsg(m_nID, (int)CN_UPDATE_COMMAND_UI, this, NULL);
  if (bDisableIfNoHndler && !m_bEnableChanged) {
    AFX_CMDHANDLERINFO info = { NULL, NULL };
    BOOL bHandler = pTarget->OnCmdMsg(m_nID, CN_COMMAND, this, &info);
    Enable(bHandler);
  }
  return bResult;
}
