// The options sheet: the manual, real-time and scheduled scan pages and the exception list.
#ifndef VGL_OPTIONSPROPERTYSHEET_H
#define VGL_OPTIONSPROPERTYSHEET_H

#include <afxdlgs.h>

#include "OptionPages.h"
#include "TabCtrlWithDisable.h"

// Called after the sheet applied new settings.
typedef void (*PFN_OPTIONS_CHANGED)(LPVOID pvContext);

class COptionsPropertySheet : public CPropertySheet
{
    DECLARE_DYNAMIC(COptionsPropertySheet)
public:
    enum { PAGE_MANUAL_SCAN = 0, PAGE_REAL_TIME_SCAN = 1, PAGE_SCHEDULED_SCAN = 2,
           PAGE_EXCLUSION_LIST = 3 };

    // A tab is enabled when the "AllowCfg" of its global settings object is set.
    class CDisableTabCtrl : public CTabCtrlWithDisable
    {
    public:
        virtual BOOL IsTabEnabled(int nTab);
    };

    COptionsPropertySheet(UINT nIDCaption, PFN_OPTIONS_CHANGED pfnChanged, LPVOID pvContext,
                          CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
    COptionsPropertySheet(LPCSTR pszCaption, PFN_OPTIONS_CHANGED pfnChanged, LPVOID pvContext,
                          CWnd* pParentWnd = NULL, UINT iSelectPage = 0);
    virtual ~COptionsPropertySheet();

    // The page the next DoModal opens on.
    void SetStartPage(int nPage);
    // A page re-reads its working copy from the product key; with the sheet open, its
    // controls show it.
    void ReloadPageSettings(int nPage);
    void UpdatePageControls(int nPage);
    // The exception list page reloads its list.
    void RefreshExceptionList();

    // Validates and saves every page, then hands the settings to the engine, the filter
    // driver and the server; TRUE when everything was saved.
    BOOL ApplyNow();

    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnInitDialog();

    COptionManualScanPage m_pageManualScan;
    COptionRealtimeScanPage m_pageRealtimeScan;
    COptionScheduleScanPage m_pageScheduleScan;
    COptionExceptionListPage m_pageExceptionList;
    CDisableTabCtrl m_tab;
    PFN_OPTIONS_CHANGED m_pfnApplyCallback;
    LPVOID m_pCallbackData;

protected:
    void AddPages();
    COptionScanPage* ScanPage(int nPage);

    afx_msg void OnApplyNow();
    afx_msg void OnOK();
    afx_msg void OnHelp();
    DECLARE_MESSAGE_MAP()
};

#endif
