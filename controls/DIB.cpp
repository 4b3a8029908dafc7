// Device-independent bitmaps.
#include "DIB.h"
#include "resource_ids.h"
#include <afxfile.h>

IMPLEMENT_DYNAMIC(CDIBException, CException)

namespace {

const DWORD kFileHeaderSize = sizeof(BITMAPFILEHEADER);   // 14

void* AllocBlock(DWORD cb) {
  HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, cb);
  void* p = h ? ::GlobalLock(h) : NULL;
  if (!p) {
    if (h)
      ::GlobalFree(h);
    AfxThrowMemoryException();
  }
  return p;
}

void FreeBlock(void* p) {
  if (!p)
    return;
  HGLOBAL h = ::GlobalHandle(p);
  if (h) {
    ::GlobalUnlock(h);
    ::GlobalFree(h);
  }
}

BOOL IsCoreHeader(const BITMAPINFO* p) { return p->bmiHeader.biSize == sizeof(BITMAPCOREHEADER); }

} // namespace

CString CDIBException::GetText() const {
  if (m_nError >= 0 && m_nError <= 4)
    return CString("DIB: error");
  if (m_nError == noResource)
    return CString("DIB: Fail to load resource");
  return CString();
}

DWORD CDIB::PaletteSizeOf(const BITMAPINFOHEADER* pHeader) {
  if (pHeader->biBitCount > 8)
    return 0;
  DWORD nEntries = 1u << pHeader->biBitCount;
  return nEntries * (pHeader->biSize == sizeof(BITMAPINFOHEADER) ? sizeof(RGBQUAD) : sizeof(RGBTRIPLE));
}

DWORD CDIB::RowSizeOf(const BITMAPINFOHEADER* pHeader) {
  return (((DWORD)pHeader->biWidth * pHeader->biBitCount + 31) & ~31u) / 8;
}

BOOL CDIB::IsValidPackedDIB(const BITMAPINFOHEADER* pHeader, DWORD cbData) {
  if (!pHeader || cbData < sizeof(BITMAPINFOHEADER) || pHeader->biSize != sizeof(BITMAPINFOHEADER))
    return FALSE;
  if (pHeader->biPlanes != 1 || pHeader->biCompression != BI_RGB)
    return FALSE;
  switch (pHeader->biBitCount) {
  case 1: case 4: case 8: case 16: case 24: case 32:
    break;
  default:
    return FALSE;
  }
  // Rows are stored bottom-up; the sizes below stay well inside 32 bits.
  if (pHeader->biWidth <= 0 || pHeader->biHeight <= 0 || pHeader->biWidth > 32767 || pHeader->biHeight > 32767)
    return FALSE;
  unsigned long long cbNeeded = (unsigned long long)sizeof(BITMAPINFOHEADER) + PaletteSizeOf(pHeader) +
                                (unsigned long long)RowSizeOf(pHeader) * (DWORD)pHeader->biHeight;
  return cbNeeded <= cbData;
}

CDIB::CDIB(UINT nIDResource)
    : m_bPacked(TRUE), m_bOwned(FALSE), m_pHeader(NULL), m_pBits(NULL), m_hResource(NULL) {
  LPCSTR pszName = MAKEINTRESOURCEA(nIDResource);
  HINSTANCE hInst = AfxGetResourceHandle();
  HRSRC hRes = ::FindResourceA(hInst, pszName, RT_VGL_DIB);
  HGLOBAL h = hRes ? ::LoadResource(hInst, hRes) : NULL;
  BYTE* p = h ? (BYTE*)::LockResource(h) : NULL;
  DWORD cb = hRes ? ::SizeofResource(hInst, hRes) : 0;
  if (!p || cb < kFileHeaderSize ||
      !IsValidPackedDIB((const BITMAPINFOHEADER*)(p + kFileHeaderSize), cb - kFileHeaderSize))
    throw CDIBException(CDIBException::noResource);
  m_hResource = h;
  m_pHeader = (BITMAPINFO*)(p + kFileHeaderSize);
  m_pBits = (BYTE*)m_pHeader + m_pHeader->bmiHeader.biSize + GetPaletteSize();
}

CDIB::CDIB(LPCSTR pszFileName)
    : m_bPacked(TRUE), m_bOwned(TRUE), m_pHeader(NULL), m_pBits(NULL), m_hResource(NULL) {
  CString strName(pszFileName ? pszFileName : "");
  strName.MakeUpper();
  CString strExt = strName.Right(4);
  if (strName.GetLength() < 4 || (strExt != ".BMP" && strExt != ".DIB")) {
    m_bPacked = m_bOwned = FALSE;
    throw new CDIBException(CDIBException::badName);
  }
  CFile file(pszFileName, CFile::modeRead | CFile::shareDenyWrite);
  m_pHeader = readDIBFile(file);
  m_pBits = (BYTE*)m_pHeader + m_pHeader->bmiHeader.biSize + GetPaletteSize();
}

BITMAPINFO* readDIBFile(CFile& file) {
  BITMAPFILEHEADER bmfh;
  if (file.Read(&bmfh, sizeof(bmfh)) != sizeof(bmfh))
    throw new CFileException(CFileException::endOfFile, -1, file.GetFilePath());
  if (bmfh.bfType != 0x4D42)
    throw new CDIBException(CDIBException::notBitmap);
  DWORD dwLength = file.GetLength();
  if (bmfh.bfSize != dwLength)
    throw new CDIBException(CDIBException::badLength);
  DWORD cbData = dwLength - kFileHeaderSize;
  BITMAPINFO* pInfo = (BITMAPINFO*)AllocBlock(cbData ? cbData : 1);
  if (file.Read(pInfo, cbData) != cbData) {
    FreeBlock(pInfo);
    throw new CFileException(CFileException::endOfFile, -1, file.GetFilePath());
  }
  // Sizes and copies are computed from the header: refuse a header that does
  // not describe the data that follows it.
  if (!CDIB::IsValidPackedDIB(&pInfo->bmiHeader, cbData)) {
    FreeBlock(pInfo);
    throw new CDIBException(CDIBException::badHeader);
  }
  return pInfo;
}

CDIB::~CDIB() { Free(); }

void CDIB::Free() {
  if (m_bOwned) {
    if (m_bPacked) {
      FreeBlock(m_pHeader);
    } else {
      FreeBlock(m_pHeader);
      FreeBlock(m_pBits);
    }
  }
  m_pHeader = NULL;
  m_pBits = NULL;
}

CDIB& CDIB::operator=(const CDIB& other) {
  if (this == &other)
    return *this;
  Free();
  if (!other.m_pHeader) {
    m_bOwned = FALSE;
    return *this;
  }
  DWORD cbHeader = sizeof(BITMAPINFOHEADER) + other.GetPaletteSize();
  DWORD cbBits = RowSizeOf(&other.m_pHeader->bmiHeader) * (DWORD)other.m_pHeader->bmiHeader.biHeight;
  m_bOwned = TRUE;
  m_bPacked = other.m_bPacked;
  if (m_bPacked) {
    m_pHeader = (BITMAPINFO*)AllocBlock(other.GetDIBSize());
    memcpy(m_pHeader, other.m_pHeader, cbHeader);
    m_pBits = (BYTE*)m_pHeader + cbHeader;
  } else {
    m_pHeader = (BITMAPINFO*)AllocBlock(cbHeader);
    memcpy(m_pHeader, other.m_pHeader, cbHeader);
    m_pBits = (BYTE*)AllocBlock(cbBits);
  }
  memcpy(m_pBits, other.m_pBits, cbBits);
  return *this;
}

DWORD CDIB::GetPaletteSize() const { return m_pHeader ? PaletteSizeOf(&m_pHeader->bmiHeader) : 0; }

DWORD CDIB::GetDIBSize() const {
  if (!m_pHeader)
    return 0;
  return sizeof(BITMAPINFOHEADER) + GetPaletteSize() +
         RowSizeOf(&m_pHeader->bmiHeader) * (DWORD)m_pHeader->bmiHeader.biHeight;
}

CSize CDIB::GetSize() const {
  if (!m_pHeader)
    return CSize(0, 0);
  if (IsCoreHeader(m_pHeader)) {
    const BITMAPCOREHEADER* p = (const BITMAPCOREHEADER*)m_pHeader;
    return CSize(p->bcWidth, p->bcHeight);
  }
  return CSize(m_pHeader->bmiHeader.biWidth, m_pHeader->bmiHeader.biHeight);
}

CRect CDIB::GetRect() const {
  CSize size = GetSize();
  return CRect(0, 0, size.cx, size.cy);
}

CPalette* CDIB::CreatePalette() const {
  if (!m_pHeader || m_pHeader->bmiHeader.biBitCount > 8)
    return NULL;
  int nEntries = 1 << m_pHeader->bmiHeader.biBitCount;
  BYTE buf[sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY)];
  LOGPALETTE* pLog = (LOGPALETTE*)buf;
  pLog->palVersion = 0x300;
  pLog->palNumEntries = (WORD)nEntries;
  BOOL bQuad = m_pHeader->bmiHeader.biSize == sizeof(BITMAPINFOHEADER);
  const BYTE* pTable = (const BYTE*)m_pHeader + m_pHeader->bmiHeader.biSize;
  for (int i = 0; i < nEntries; i++) {
    const BYTE* e = pTable + i * (bQuad ? 4 : 3);
    pLog->palPalEntry[i].peBlue = e[0];
    pLog->palPalEntry[i].peGreen = e[1];
    pLog->palPalEntry[i].peRed = e[2];
    pLog->palPalEntry[i].peFlags = 0;
  }
  CPalette* pPalette = new CPalette;
  if (!pPalette->CreatePalette(pLog)) {
    delete pPalette;
    return NULL;
  }
  return pPalette;
}

int CDIB::Draw(CDC* pDC, const CRect& rcDest, const CRect& rcSource, CPalette* pPalette) {
  if (!m_pHeader)
    return 0;
  HPALETTE hOld = NULL;
  if (pPalette)
    hOld = ::SelectPalette(pDC->m_hDC, (HPALETTE)pPalette->m_hObject, TRUE);
  int nResult = ::StretchDIBits(pDC->m_hDC, rcDest.left, rcDest.top, rcDest.Width(), rcDest.Height(),
                                rcSource.left, rcSource.top, rcSource.Width(), rcSource.Height(),
                                m_pBits, m_pHeader, DIB_RGB_COLORS, SRCCOPY);
  if (pPalette)
    ::SelectPalette(pDC->m_hDC, hOld, TRUE);
  return nResult;
}

int CDIB::DrawAt(CDC* pDC, CPoint ptDest, CPoint ptSource, int cx, int cy) {
  if (!m_pHeader)
    return 0;
  return ::SetDIBitsToDevice(pDC->m_hDC, ptDest.x, ptDest.y, cx, cy, ptSource.x, ptSource.y, 0,
                             GetSize().cy, m_pBits, m_pHeader, DIB_RGB_COLORS);
}

void CDIB::PaintTiled(CDC* pDC) {
  CRect rcClient;
  ::GetClientRect(::WindowFromDC(pDC->m_hDC), &rcClient);
  CSize size = GetSize();
  int W = rcClient.Width(), H = rcClient.Height(), w = size.cx, h = size.cy;
  if (w <= 0 || h <= 0)
    return;
  int nColumns = (W + w - 1) / w, nRows = (H + h - 1) / h;
  for (int r = 0; r < nRows; r++) {
    int y = r * h;
    for (int c = 0; c < nColumns; c++) {
      int x = c * w;
      DrawAt(pDC, CPoint(x, y), CPoint(0, 0), x + w > W ? W - x : w, y + h > H ? H - y : h);
    }
  }
}

void CDIB::PaintStretched(CDC* pDC) {
  CRect rcClient;
  ::GetClientRect(::WindowFromDC(pDC->m_hDC), &rcClient);
  Draw(pDC, rcClient, GetRect(), NULL);
}

BOOL replaceDIBFromFile(CDIB& dib, LPCSTR pszFileName) {
  if (::GetFileAttributesA(pszFileName) == INVALID_FILE_ATTRIBUTES)
    return FALSE;
  try {
    CDIB picture(pszFileName);
    dib = picture;
    return TRUE;
  } catch (CException* e) {
    // A damaged branding file keeps the built-in picture.
    e->Delete();
    return FALSE;
  }
}
