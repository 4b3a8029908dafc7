// The options sheet's pages: the manual, real-time and scheduled scan pages (one design over
// a working copy of a global scan settings object) and the exception list page.
#ifndef VGL_OPTIONPAGES_H
#define VGL_OPTIONPAGES_H

#include <afxdlgs.h>

#include "CommonScanINI.h"
#include "ExclusionFileINI.h"
#include "ListBoxEditor.h"
#include "ScheduleScan.h"

namespace NS_OptionPages
{
    // Engine action code (0 none, 1 rename, 2 move, 3 clean, 4 delete) -> row of the
    // first-action list (clean, move, delete, rename, leave), and the row -> setting code.
    int FirstActionIndex(int nEngineAction);
    int FirstActionSetting(int nIndex);
    // The same for the second-action list (move, delete, rename, leave); -1: no row.
    int SecondActionIndex(int nEngineAction);
    int SecondActionSetting(int nIndex);
    // "Frequency"/"Enable" -> row of the frequency list (never, daily, weekly, monthly), and
    // the row -> frequency code (0: never).
    int FrequencyIndex(BOOL fEnable, int nFrequency);
    int FrequencyCode(int nIndex);
    // The leading digits of a text as a number; no digits: 0.
    int LeadingNumber(LPCSTR pszText);
    // Fills a drop-down list from a resource string of lines; the rows may carry item data.
    void FillList(HWND hCombo, UINT nIdsItems, const DWORD* pdwData = NULL, int nData = 0);
}

class COptionScanPage : public CPropertyPage
{
public:
    // nAllowCfgKind: the kind whose registry "AllowCfg" lets SaveSettings write.
    COptionScanPage(UINT nIDTemplate, CCommonScanINI* pScanINI, int nAllowCfgKind, BOOL fAllowWildcards,
                    UINT nValidateStyle);
    virtual ~COptionScanPage();

    virtual void UpdateControls();
    // The working copy again from the product key.
    void ReloadSettings();
    virtual BOOL Validate();
    virtual void SaveSettings();

    CCommonScanINI* m_pScanINI;

protected:
    virtual CCommonScanINI& WorkingCopy() = 0;
    // Working copy <- global object and global object <- working copy, under its lock.
    virtual void CopyFromGlobal() = 0;
    virtual void StoreToGlobal() = 0;
    // The controls into the working copy.
    virtual void ReadControls();

    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();

    BOOL IsChecked(UINT nID) const;
    void Check(UINT nID, BOOL fCheck);
    void Enable(UINT nID, BOOL fEnable);
    BOOL IsEnabled(UINT nID) const;
    int ListSel(UINT nID) const;

    void CompressedRule();
    void FirstActionRule();
    void SecondActionRule();
    void ActiveActionRule();
    void CustomActionRule();

    afx_msg void OnCompressed();
    afx_msg void OnFileTypeAll();
    afx_msg void OnFileTypeListed();
    afx_msg void OnFirstAction();
    afx_msg void OnSecondAction();
    afx_msg void OnActiveAction();
    afx_msg void OnCustomAction();
    afx_msg void OnFolderKillFocus();
    afx_msg void OnBrowse();
    afx_msg void OnExtensions();
    afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    DECLARE_MESSAGE_MAP()

    int m_nAllowCfgKind;
    BOOL m_fAllowWildcards;
    UINT m_nValidateStyle;
    BOOL m_fHasMemory;
};

class COptionManualScanPage : public COptionScanPage
{
public:
    explicit COptionManualScanPage(CCommonScanINI* pScanINI);
    CManualScanINI m_ScanINI;

protected:
    virtual CCommonScanINI& WorkingCopy() { return m_ScanINI; }
    virtual void CopyFromGlobal();
    virtual void StoreToGlobal();
};

class COptionRealtimeScanPage : public COptionScanPage
{
public:
    explicit COptionRealtimeScanPage(CCommonScanINI* pScanINI);
    virtual void UpdateControls();
    CRealTimeScanINI m_ScanINI;

protected:
    virtual CCommonScanINI& WorkingCopy() { return m_ScanINI; }
    virtual void CopyFromGlobal();
    virtual void StoreToGlobal();
    virtual void ReadControls();
};

class COptionScheduleScanPage : public COptionScanPage
{
public:
    explicit COptionScheduleScanPage(CCommonScanINI* pScanINI);
    virtual void UpdateControls();
    virtual BOOL Validate();
    CScheduleScanINI m_ScanINI;
    BOOL m_fInitialized;

protected:
    virtual CCommonScanINI& WorkingCopy() { return m_ScanINI; }
    virtual void CopyFromGlobal();
    virtual void StoreToGlobal();
    virtual void ReadControls();
    virtual BOOL OnInitDialog();

    void FrequencyRule();
    // The edit's number against its spin's range: FALSE when outside (the range in the outs).
    BOOL NumberInRange(UINT nEdit, UINT nSpin, int* pnLow, int* pnHigh) const;
    void CheckNumber(UINT nEdit, UINT nSpin);

    afx_msg void OnFrequency();
    afx_msg void OnDayOfMonthKillFocus();
    afx_msg void OnHourKillFocus();
    afx_msg void OnMinuteKillFocus();
    DECLARE_MESSAGE_MAP()
};

// The list editor of the exception list: never more than 20 entries.
class CExceptionListBoxEditor : public SECListBoxEditor
{
public:
    virtual void FinishEdit();
    virtual void NewItemCommitted(int nIndex, CString strText);
};

class COptionExceptionListPage : public CPropertyPage
{
public:
    explicit COptionExceptionListPage(CExclusionFileINI* pExclusionINI);
    virtual ~COptionExceptionListPage();

    // The list again from the global object (at most 20 entries, then the blank row).
    void RefreshList();
    void SaveSettings();
    virtual BOOL OnSetActive();
    // Ends an edit in progress, so that a typed entry is kept.
    virtual BOOL OnKillActive();

    CExceptionListBoxEditor m_editor;
    CExclusionFileINI* m_pExclusionINI;
    CExclusionFileINI m_ExclusionINI;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
};

#endif
