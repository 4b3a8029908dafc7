// List-view header that marks the sorted column with an arrow.
#pragma once

#include <afxcmn.h>

class CSortedHeaderCtrl : public CHeaderCtrl {
public:
  CSortedHeaderCtrl();
  virtual ~CSortedHeaderCtrl();
  // Returns the previous sort column (-1: none).
  int SetSortImage(int nColumn, BOOL bAscending);
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDIS);

  int m_nSortColumn;
  BOOL m_bSortAscending;
};
