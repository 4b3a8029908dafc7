// The About box: program, pattern and driver versions, the client's identity and its server.
#ifndef VGL_ABOUTDLG_H
#define VGL_ABOUTDLG_H

#include <afxwin.h>

#include "BitmapStatic.h"
#include "DIB.h"

class CAboutDlg : public CDialog
{
public:
    enum { IDD = 100 };
    // The version texts of the drivers are cut to this buffer (terminator included).
    enum { VERSION_TEXT_SIZE = 128 };

    // Throws CDIBException when the language library has no picture for it.
    CAboutDlg(CDIB* pDIB, CPalette* pPalette, CWnd* pParent = NULL);
    virtual ~CAboutDlg();

    // The pattern number as the box shows it.
    static CString FormatPattern(int nNumber);

protected:
    virtual BOOL OnInitDialog();
    afx_msg void OnHelp();
    afx_msg BOOL OnQueryNewPalette();
    afx_msg void OnPaletteChanged(CWnd* pFocusWnd);
    DECLARE_MESSAGE_MAP()

    void RealizeDialogPalette(CWnd* pFocusWnd);

    CStatic m_staticMasterDirectory;
    CStatic m_staticMobile;
    CStatic m_staticServer;
    CStatic m_staticProxy;
    CStatic m_staticGuid;
    CStatic m_staticMode;
    CStatic m_staticProgramVersion;
    CStatic m_staticPatternVersion;
    CStatic m_staticEngineVersion;
    CStatic m_staticFilterVersion;
    CDIB* m_pDIB;
    CPalette* m_pPalette;
    CDIB m_dibPicture;
    CBitmapStatic m_picture;
};

#endif
