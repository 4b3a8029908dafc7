// Device-independent bitmaps: from the language library and from picture files,
// good and damaged, and painting.
#include <gtest/gtest.h>
#include "DIB.h"
#include "langlibrary.h"
#include "resource_ids.h"
#include <afxfile.h>
#include <string>
#include <vector>

namespace {

// A picture file in memory: width x height at nBits, pixel (0,0) of the top row marked.
std::vector<BYTE> MakePicture(int width, int height, int nBits, DWORD clrUsed = 0) {
  DWORD nColours = nBits <= 8 ? (1u << nBits) : 0;
  DWORD row = ((width * nBits + 31) & ~31) / 8;
  DWORD cbInfo = 40 + nColours * 4 + row * height;
  std::vector<BYTE> f(14 + cbInfo);
  BITMAPFILEHEADER* fh = (BITMAPFILEHEADER*)f.data();
  fh->bfType = 0x4D42;
  fh->bfSize = (DWORD)f.size();
  fh->bfOffBits = 14 + 40 + nColours * 4;
  BITMAPINFOHEADER* ih = (BITMAPINFOHEADER*)(f.data() + 14);
  ih->biSize = 40;
  ih->biWidth = width;
  ih->biHeight = height;
  ih->biPlanes = 1;
  ih->biBitCount = (WORD)nBits;
  ih->biClrUsed = clrUsed;
  RGBQUAD* pal = (RGBQUAD*)(ih + 1);
  for (DWORD i = 0; i < nColours; i++)
    pal[i] = RGBQUAD{ (BYTE)(i * 3), (BYTE)(i * 5), (BYTE)(i * 7), 0 };
  if (nColours > 1) {
    pal[1] = RGBQUAD{ 0, 0, 255, 0 };     // red: the marker
    pal[0] = RGBQUAD{ 255, 0, 0, 0 };     // blue: the rest
  }
  BYTE* bits = f.data() + fh->bfOffBits;
  if (nBits == 8)
    bits[row * (height - 1)] = 1;           // top-left pixel (rows are bottom-up)
  return f;
}

std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  ::GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

std::string WriteFile(const char* name, const std::vector<BYTE>& data) {
  std::string path = TempPath(name);
  WriteWholeFile(path, std::string(data.begin(), data.end()));
  return path;
}

// Runs the constructor and tells what it threw: "ok", "dib:N", "file:N" or "other".
std::string Outcome(const std::string& path, CSize* pSize = nullptr) {
  try {
    CDIB dib(path.c_str());
    if (pSize)
      *pSize = dib.GetSize();
    return "ok";
  } catch (CDIBException* e) {
    std::string s = "dib:" + std::to_string(e->m_nError);
    e->Delete();
    return s;
  } catch (CFileException* e) {
    std::string s = "file:" + std::to_string(e->m_cause);
    e->Delete();
    return s;
  } catch (CException* e) {
    e->Delete();
    return "other";
  }
}

class LanguageLibrary : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_NE(getenv("VGL_BIN"), nullptr);
    m_hLang = m_lang.Load();
    ASSERT_NE(m_hLang, nullptr) << BinFile("Ksxwin97.dll");
  }
  void TearDown() override { m_lang.Free(); }
  CLanguageLibrary m_lang;
  HINSTANCE m_hLang = NULL;
};

TEST_F(LanguageLibrary, ResourcePicturesLoadInPlaceWithTheirPalettes) {
  struct Case { UINT id; int nEntries; };
  for (Case c : { Case{ IDR_DIB_BANNER, 256 }, Case{ IDR_DIB_BANNER16, 16 } }) {
    CDIB dib(c.id);
    EXPECT_EQ(dib.GetSize(), CSize(480, 64));
    HRSRC hRes = ::FindResourceA(m_hLang, MAKEINTRESOURCEA(c.id), RT_VGL_DIB);
    const BYTE* pRes = (const BYTE*)::LockResource(::LoadResource(m_hLang, hRes));
    EXPECT_EQ((const BYTE*)dib.GetHeader(), pRes + 14);   // used in place
    CPalette* pPal = dib.CreatePalette();
    ASSERT_NE(pPal, nullptr);
    EXPECT_EQ(pPal->GetEntryCount(), c.nEntries);
    delete pPal;
  }
  try {
    CDIB missing(999);
    FAIL() << "no exception";
  } catch (CDIBException& e) {
    EXPECT_EQ(e.m_nError, 5);
    EXPECT_STREQ(e.GetText(), "DIB: Fail to load resource");
  }
}

TEST_F(LanguageLibrary, FilePictureReplacesResourcePictureAsACopy) {
  CDIB dib(IDR_DIB_BANNER16);
  HRSRC hRes = ::FindResourceA(m_hLang, MAKEINTRESOURCEA(IDR_DIB_BANNER16), RT_VGL_DIB);
  const BYTE* pRes = (const BYTE*)::LockResource(::LoadResource(m_hLang, hRes));
  std::vector<BYTE> before(pRes, pRes + ::SizeofResource(m_hLang, hRes));

  std::string good = WriteFile("vgl_brand.bmp", MakePicture(100, 50, 8));
  EXPECT_TRUE(replaceDIBFromFile(dib, good.c_str()));
  EXPECT_EQ(dib.GetSize(), CSize(100, 50));
  EXPECT_NE((const BYTE*)dib.GetHeader(), pRes + 14);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), pRes));   // the resource is untouched

  // A damaged or missing branding file keeps the picture in use.
  std::vector<BYTE> bad = MakePicture(100, 50, 8);
  ((BITMAPINFOHEADER*)(bad.data() + 14))->biHeight = 30000;
  std::string damaged = WriteFile("vgl_brand_bad.bmp", bad);
  EXPECT_FALSE(replaceDIBFromFile(dib, damaged.c_str()));
  EXPECT_FALSE(replaceDIBFromFile(dib, TempPath("vgl_none.bmp").c_str()));
  EXPECT_EQ(dib.GetSize(), CSize(100, 50));
  ::DeleteFileA(good.c_str());
  ::DeleteFileA(damaged.c_str());
}

TEST(DIB, FileNamesAndFileHeadersAreChecked) {
  struct Case { const char* name; int nSizeDelta; WORD type; const char* outcome; };
  const Case cases[] = {
    { "vgl_logo.bmp", 0, 0x4D42, "ok" },
    { "VGL_LOGO.DIB", 0, 0x4D42, "ok" },
    { "Vgl_Logo.Bmp", 0, 0x4D42, "ok" },
    { "vgl_logo.bm", 0, 0x4D42, "dib:3" },
    { "vgl_logo.png", 0, 0x4D42, "dib:3" },
    { "vgl_type.bmp", 0, 0x4D43, "dib:0" },
    { "vgl_len.bmp", 1, 0x4D42, "dib:1" },
  };
  for (const Case& c : cases) {
    std::vector<BYTE> f = MakePicture(20, 10, 8);
    ((BITMAPFILEHEADER*)f.data())->bfType = c.type;
    ((BITMAPFILEHEADER*)f.data())->bfSize += c.nSizeDelta;
    std::string path = WriteFile(c.name, f);
    CSize size;
    EXPECT_EQ(Outcome(path, &size), c.outcome) << c.name;
    if (std::string(c.outcome) == "ok") {
      EXPECT_EQ(size, CSize(20, 10));
    }
    ::DeleteFileA(path.c_str());
  }
  std::string shortFile = WriteFile("vgl_short.bmp", std::vector<BYTE>(10, 'B'));
  EXPECT_EQ(Outcome(shortFile), "file:" + std::to_string(CFileException::endOfFile));
  ::DeleteFileA(shortFile.c_str());
}

TEST(DIB, DamagedPictureHeadersAreRefused) {
  struct Case { const char* what; void (*damage)(BITMAPINFOHEADER*); };
  const Case cases[] = {
    { "header size 0", [](BITMAPINFOHEADER* h) { h->biSize = 0; } },
    { "header size huge", [](BITMAPINFOHEADER* h) { h->biSize = 0x7FFFFFF0; } },
    { "bit count 7", [](BITMAPINFOHEADER* h) { h->biBitCount = 7; } },
    { "bit count 0", [](BITMAPINFOHEADER* h) { h->biBitCount = 0; } },
    { "rows past the end", [](BITMAPINFOHEADER* h) { h->biHeight = 11; } },
    { "width huge", [](BITMAPINFOHEADER* h) { h->biWidth = 0x40000000; } },
    { "negative width", [](BITMAPINFOHEADER* h) { h->biWidth = -20; } },
    { "no rows", [](BITMAPINFOHEADER* h) { h->biHeight = 0; } },
    { "compressed", [](BITMAPINFOHEADER* h) { h->biCompression = BI_RLE8; } },
    { "two planes", [](BITMAPINFOHEADER* h) { h->biPlanes = 2; } },
  };
  for (const Case& c : cases) {
    std::vector<BYTE> f = MakePicture(20, 10, 8);
    c.damage((BITMAPINFOHEADER*)(f.data() + 14));
    std::string path = WriteFile("vgl_damaged.bmp", f);
    EXPECT_EQ(Outcome(path), "dib:2") << c.what;
    ::DeleteFileA(path.c_str());
  }
  // A file holding only the file header.
  std::vector<BYTE> f = MakePicture(20, 10, 8);
  f.resize(14);
  ((BITMAPFILEHEADER*)f.data())->bfSize = 14;
  std::string path = WriteFile("vgl_headeronly.bmp", f);
  EXPECT_EQ(Outcome(path), "dib:2");
  ::DeleteFileA(path.c_str());
}

TEST(DIB, ColourTableFollowsTheBitCount) {
  struct Case { int nBits; DWORD clrUsed; DWORD cbPalette; bool bPalette; };
  const Case cases[] = { { 8, 2, 1024, true }, { 4, 0, 64, true }, { 1, 0, 8, true }, { 24, 0, 0, false } };
  for (const Case& c : cases) {
    std::string path = WriteFile("vgl_pal.bmp", MakePicture(10, 4, c.nBits, c.clrUsed));
    CDIB dib(path.c_str());
    EXPECT_EQ(dib.GetPaletteSize(), c.cbPalette);
    EXPECT_EQ(dib.GetBits(), (const BYTE*)dib.GetHeader() + 40 + c.cbPalette);
    CPalette* pPal = dib.CreatePalette();
    EXPECT_EQ(pPal != nullptr, c.bPalette);
    if (pPal) {
      EXPECT_EQ(pPal->GetEntryCount(), 1 << c.nBits);
      delete pPal;
    }
    CDIB copy(path.c_str());
    copy = dib;
    EXPECT_EQ(copy.GetDIBSize(), dib.GetDIBSize());
    EXPECT_EQ(memcmp(copy.GetHeader(), dib.GetHeader(), dib.GetDIBSize()), 0);
    ::DeleteFileA(path.c_str());
  }
}

TEST(DIB, TilesCoverTheClientAreaFromTheTopLeft) {
  std::string path = WriteFile("vgl_tile.bmp", MakePicture(100, 50, 8));
  CDIB dib(path.c_str());
  HWND hWnd = ::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 250, 120, NULL, NULL, NULL, NULL);
  ASSERT_NE(hWnd, nullptr);
  ::UpdateWindow(hWnd);
  HDC hDC = ::GetDC(hWnd);
  CDC* pDC = CDC::FromHandle(hDC);
  dib.PaintTiled(pDC);
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  struct P { int x, y; COLORREF cr; };
  // The marker is the picture's top-left pixel: one per full-height tile. The
  // last row is 20 high and shows the picture's bottom rows (source origin is
  // bottom-left), so it has no marker.
  for (P p : { P{ 0, 0, red }, P{ 100, 0, red }, P{ 200, 0, red }, P{ 0, 50, red }, P{ 200, 50, red },
               P{ 0, 100, blue }, P{ 200, 100, blue },
               P{ 1, 0, blue }, P{ 249, 119, blue }, P{ 99, 49, blue } })
    EXPECT_EQ(::GetPixel(hDC, p.x, p.y), p.cr) << p.x << "," << p.y;
  ::ReleaseDC(hWnd, hDC);
  ::DestroyWindow(hWnd);
  ::DeleteFileA(path.c_str());
}

} // namespace
