// The windows that tell the user about viruses real-time protection found: the list of recent
// findings with the organisation's alert message (CRealtimeDriveVirusFoundDlg, hidden until a
// virus is found) and the alert for a virus in a boot area (CVirusAlertDlg). Both are touched
// only on the user-interface thread.
#ifndef VGL_VIRUSFOUNDDLG_H
#define VGL_VIRUSFOUNDDLG_H

#include <afxwin.h>
#include <afxcmn.h>

#include "BitmapStatic.h"
#include "DIB.h"
#include "LogReport.h"
#include "TabCtrlWithDisable.h"

class CRealtimeDriveVirusFoundDlg : public CDialog
{
public:
    enum { IDD = 200, MAX_ROWS = 1000 };

    CRealtimeDriveVirusFoundDlg(const CString& strAlertText, CDIB* pDIB, CPalette* pPalette, CWnd* pParent);
    virtual ~CRealtimeDriveVirusFoundDlg();

    // One row (the fourth text is not shown); the oldest row goes when 1000 are shown.
    void AddRow(LPCSTR pszVirus, LPCSTR pszFile, LPCSTR pszResult, LPCSTR pszReserved);
    void SetAlertText(const CString& strText);
    // Shows the list when "ShowVirusFoundDlg" of the real-time settings allows it.
    void ShowFoundList();
    void SetTopMost(BOOL fTopMost);
    // Rows added since the list was last cleared.
    LONG GetCount() const { return m_lCount; }

    CToolTipsListCtrl m_list;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK() {}
    virtual void OnCancel();
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
    afx_msg void OnClickList(NMHDR* pNMHDR, LRESULT* pResult);
    afx_msg void OnHelp();
    DECLARE_MESSAGE_MAP()

    void ShowAlertText();
    void ShowCount();
    // Empties the list and hides the window (the user closed it).
    void CloseList();

    CString m_strAlertText;
    volatile LONG m_lCount;
    BOOL m_fTopMost;
    char m_szEncyclopediaUrl[260];
    CDIB* m_pDIB;
    CPalette* m_pPalette;
    CBitmapStatic m_staticBitmap;
};

class CVirusAlertDlg : public CDialog
{
public:
    enum { IDD = 247 };

    // Keeps its own copy of the record; created modeless, it deletes itself when destroyed.
    CVirusAlertDlg(CDIB* pDIB, CPalette* pPalette, const CLogReportItem* pItem, CWnd* pParent);
    virtual ~CVirusAlertDlg();

    BOOL Create(CWnd* pParent);

    CLogReportItem m_item;

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void PostNcDestroy();
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
    DECLARE_MESSAGE_MAP()

    CDIB* m_pDIB;
    CPalette* m_pPalette;
    CBitmapStatic m_staticBitmap;
};

// The virus encyclopaedia's address: "Virus_Encyclopedia_URL" of [INI_HELP_FILE_SECTION] in the
// settings file VglScan.ini of the Windows folder, or the default page.
void readVirusEncyclopediaUrl(char* pszUrl);
// Opens address + "?VName=" + the text of a list cell; nothing for a negative row, an empty
// text or an address that would reach 260 characters.
void openVirusEncyclopedia(LPCSTR pszUrl, CListCtrl* pList, int nRow, int nColumn);

// A text with each "&" doubled, for statics that would take "&" for a mnemonic.
CString escapeAmpersands(const CString& strText);
// Shows a multi-line read-only edit's vertical scroll bar when its text has more than 4 lines.
void fitAlertTextScrollBar(CWnd* pEdit);

#endif
