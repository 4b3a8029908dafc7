// The splash window shown for a second at start-up, and the machine-type value its creation
// decides.
#ifndef VGL_SPLASHDLG_H
#define VGL_SPLASHDLG_H

#include <afxwin.h>

#include "BitmapStatic.h"
#include "DIB.h"

// 1 when drive A: is a fixed disk, otherwise 3; 0 until it has been computed. The boot-virus
// actions do not clean a boot sector while it is 1 or 2.
extern int g_nMachineType;
// The same value under the name the scan code uses.
extern int& g_nDriveALayout;

// The machine type from the drive type of "A:\".
int computeMachineType();

class CSplashDlg : public CDialog
{
public:
    enum { IDD = 129 };

    // The picture: bitmap 197 on displays of fewer than 256 colours, else 147, replaced by
    // "VglSph16.bmp" resp. "VglSph.bmp" of the program folder when that file is sound.
    explicit CSplashDlg(CWnd* pParent = NULL);
    virtual ~CSplashDlg();

    virtual BOOL Create(CWnd* pParent);

    CDIB m_dib;
    CPalette* m_pPalette;
    CBitmapStatic m_staticSplash;

protected:
    afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
    DECLARE_MESSAGE_MAP()
};

#endif
