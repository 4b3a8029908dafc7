// Device-independent bitmaps held in memory and painted straight to a device.
#pragma once

#include <afxwin.h>

// Failure of a picture: m_nError 0 not "BM", 1 wrong length, 2 bad picture header,
// 3 not a .BMP/.DIB name, 5 resource missing.
class CDIBException : public CException {
  DECLARE_DYNAMIC(CDIBException)
public:
  enum { notBitmap = 0, badLength = 1, badHeader = 2, badName = 3, noResource = 5 };
  explicit CDIBException(int nError = 0) : m_nError(nError) {}
  CDIBException(const CDIBException& other) : CException(), m_nError(other.m_nError) {}
  // "DIB: error", "DIB: Fail to load resource" or empty, as traced at start-up.
  CString GetText() const;
  int m_nError;
};

class CDIB : public CObject {
public:
  // The picture "DIB" nIDResource of the resource module; throws CDIBException(5) by value.
  explicit CDIB(UINT nIDResource);
  // A picture file; throws heap CDIBException (0, 1, 2, 3) or the file exceptions.
  explicit CDIB(LPCSTR pszFileName);
  virtual ~CDIB();
  CDIB& operator=(const CDIB& other);

  CPalette* CreatePalette() const;
  CSize GetSize() const;
  CRect GetRect() const;
  int Draw(CDC* pDC, const CRect& rcDest, const CRect& rcSource, CPalette* pPalette);
  int DrawAt(CDC* pDC, CPoint ptDest, CPoint ptSource, int cx, int cy);
  void PaintTiled(CDC* pDC);
  void PaintStretched(CDC* pDC);

  DWORD GetPaletteSize() const;
  DWORD GetDIBSize() const;
  const BITMAPINFO* GetHeader() const { return m_pHeader; }
  const BYTE* GetBits() const { return m_pBits; }

  // Whether a packed picture (information header, colour table, rows) of cbData
  // bytes is sound: a 40-byte header, one plane, a known bit count, no
  // compression, positive size, and the rows inside the block.
  static BOOL IsValidPackedDIB(const BITMAPINFOHEADER* pHeader, DWORD cbData);

private:
  CDIB(const CDIB&);
  void Free();
  static DWORD PaletteSizeOf(const BITMAPINFOHEADER* pHeader);
  static DWORD RowSizeOf(const BITMAPINFOHEADER* pHeader);

  BOOL m_bPacked;
  BOOL m_bOwned;
  BITMAPINFO* m_pHeader;
  BYTE* m_pBits;
  HGLOBAL m_hResource;
};

// Reads a whole picture file; throws as CDIB(LPCSTR) does.
BITMAPINFO* readDIBFile(CFile& file);

// Replaces dib's picture by the picture file when that file is sound; a missing,
// unreadable or damaged file leaves dib as it was. TRUE when replaced.
BOOL replaceDIBFromFile(CDIB& dib, LPCSTR pszFileName);
