// In-memory dialog templates and helpers for the window tests.
#pragma once

#include "afxwin.h"
#include <vector>

enum : WORD { kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kListBox = 0x0083, kComboBox = 0x0085 };

class DlgTemplate {
public:
  DlgTemplate(DWORD dwStyle, short cx, short cy, const char* pszTitle) {
    Put32(dwStyle | DS_SETFONT);
    Put32(0);
    m_nCountAt = m_buf.size();
    m_buf.push_back(0);       // item count
    m_buf.push_back(10);      // x, y
    m_buf.push_back(10);
    m_buf.push_back((WORD)cx);
    m_buf.push_back((WORD)cy);
    m_buf.push_back(0);       // menu
    m_buf.push_back(0);       // class
    PutText(pszTitle);
    m_buf.push_back(8);       // font size and face
    PutText("MS Shell Dlg");
  }
  DlgTemplate& Add(WORD wAtom, WORD wId, DWORD dwStyle, short x, short y, short cx, short cy,
                   const char* pszText = "") {
    if (m_buf.size() % 2)
      m_buf.push_back(0);     // items start on DWORD boundaries
    Put32(dwStyle | WS_CHILD | WS_VISIBLE);
    Put32(0);
    m_buf.push_back((WORD)x);
    m_buf.push_back((WORD)y);
    m_buf.push_back((WORD)cx);
    m_buf.push_back((WORD)cy);
    m_buf.push_back(wId);
    m_buf.push_back(0xFFFF);
    m_buf.push_back(wAtom);
    PutText(pszText);
    m_buf.push_back(0);       // no creation data
    m_buf[m_nCountAt]++;
    return *this;
  }
  LPCDLGTEMPLATE Get() const { return (LPCDLGTEMPLATE)m_buf.data(); }

private:
  void Put32(DWORD dw) {
    m_buf.push_back(LOWORD(dw));
    m_buf.push_back(HIWORD(dw));
  }
  void PutText(const char* psz) {
    for (; *psz; psz++)
      m_buf.push_back((BYTE)*psz);
    m_buf.push_back(0);
  }
  std::vector<WORD> m_buf;
  size_t m_nCountAt;
};

// Pumps this thread's messages for up to nMs milliseconds, or until *pbDone.
inline void PumpFor(DWORD nMs, const volatile BOOL* pbDone = NULL) {
  DWORD dwEnd = ::GetTickCount() + nMs;
  while ((LONG)(dwEnd - ::GetTickCount()) > 0 && !(pbDone && *pbDone)) {
    MSG msg;
    while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(5);
  }
}

// Answers the next message box of this thread with IDOK (from a thread timer,
// which runs inside the message box's own loop) and counts it.
struct MessageBoxAnswerer {
  static int& Count() { static int n = 0; return n; }
  static BOOL CALLBACK Find(HWND hWnd, LPARAM) {
    char szClass[16], szTitle[128];
    ::GetClassNameA(hWnd, szClass, sizeof(szClass));
    ::GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    // Message boxes carry the application's name as their caption.
    if (lstrcmpA(szClass, "#32770") == 0 && lstrcmpA(szTitle, AfxGetAppName()) == 0) {
      ++Count();
      ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(::GetCurrentThreadId(), Find, 0);
  }
  MessageBoxAnswerer() { m_nTimer = ::SetTimer(NULL, 0, 100, OnTimer); }
  ~MessageBoxAnswerer() { ::KillTimer(NULL, m_nTimer); }
  UINT_PTR m_nTimer;
};
