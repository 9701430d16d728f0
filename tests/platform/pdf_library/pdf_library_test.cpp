#include "platform/pdf_library/pdf_dc.h"
#include "test_pdf_maker.h"

#include <gtest/gtest.h>

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <splash/SplashBitmap.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
std::int32_t GetPDFDocInfo(const void *, std::int32_t, std::int32_t *, double *);
std::int32_t GetPDFPageSizeByIndex(const void *, std::int32_t, std::int32_t, double *, double *);
std::int32_t RenderPDFPageToDC(const void *, std::int32_t, std::int32_t, PdfDC *, std::int32_t, std::int32_t,
                               std::int32_t, std::int32_t, std::int32_t, std::int32_t, bool, bool, bool, bool, bool);
}

namespace {

constexpr std::uint32_t kMarker = 0xFF00FF00u; // green, never produced by the test pages

struct Surface {
  Surface(int w, int h, int padding = 0) : width(w), height(h), stride((w + padding) * 4) {
    pixels.assign(static_cast<std::size_t>((w + padding) * h), kMarker);
  }
  PdfDC dc() { return PdfDC{pixels.data(), width, height, stride, PDF_DC_FORMAT_XRGB32}; }
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * (stride / 4) + x)]; }
  bool dark(int x, int y) const { return (at(x, y) & 0xFFu) < 64; }
  bool white(int x, int y) const { return at(x, y) == 0xFFFFFFFFu; }
  int width, height, stride;
  std::vector<std::uint32_t> pixels;
};

std::int32_t Size(const std::string &bytes) { return static_cast<std::int32_t>(bytes.size()); }

// A 144 x 72 point page (2 x 1 inch) with a black square of half an inch in its
// top-left corner.
std::string SmallPageWithSquare() {
  TestPage page;
  page.width = 144;
  page.height = 72;
  page.blackRects = {{0, 36, 36, 36}};
  return MakeTestPdf({page});
}

std::int32_t Render(const std::string &pdf, PdfDC dc, int index, int dpi, int x, int y, int w, int h) {
  return RenderPDFPageToDC(pdf.data(), Size(pdf), index, &dc, dpi, dpi, x, y, w, h, false, false, true, false, false);
}

} // namespace

TEST(PdfLibraryDocInfo, ReportsPageCountAndFirstPageWidth) {
  TestPage wide;
  wide.width = 300;
  wide.height = 200;
  const std::string pdf = MakeTestPdf({wide, TestPage{}, TestPage{}});
  std::int32_t pages = -1;
  double width = -1;
  EXPECT_NE(GetPDFDocInfo(pdf.data(), Size(pdf), &pages, &width), 0);
  EXPECT_EQ(pages, 3);
  EXPECT_DOUBLE_EQ(width, 300);
}

TEST(PdfLibraryDocInfo, UnreadableBytesGiveNoPagesWithoutCrashing) {
  const std::string pdf = MakeTestPdf(BlankA4Pages(2));
  const std::vector<std::string> damaged = {
      "this is no PDF at all, only some words",
      pdf.substr(0, pdf.size() / 3),
      std::string(4096, '\0'),
      "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 9 0 R >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n",
  };
  for (const std::string &bytes : damaged) {
    std::int32_t pages = -1;
    double width = -1;
    GetPDFDocInfo(bytes.data(), Size(bytes), &pages, &width);
    EXPECT_LE(pages, 0) << bytes.substr(0, 20);
    Surface surface(10, 10);
    EXPECT_EQ(Render(bytes, surface.dc(), 0, 72, 0, 0, 10, 10), 0);
  }
  std::int32_t pages = -1;
  double width = -1;
  EXPECT_EQ(GetPDFDocInfo(nullptr, 0, &pages, &width), 0);
  EXPECT_EQ(pages, 0);
  EXPECT_EQ(GetPDFDocInfo(nullptr, 100, &pages, &width), 0);
  EXPECT_EQ(GetPDFDocInfo(pdf.data(), -5, &pages, &width), 0);
  EXPECT_EQ(pages, 0);
  EXPECT_EQ(width, 0);
}

TEST(PdfLibraryPageSize, GivesEachPageItsShownSize) {
  TestPage a4;
  TestPage letter;
  letter.width = 612;
  letter.height = 792;
  TestPage turned;
  turned.width = 400;
  turned.height = 100;
  turned.rotate = 90;
  const std::string pdf = MakeTestPdf({a4, letter, turned});
  double w = 0, h = 0;
  ASSERT_NE(GetPDFPageSizeByIndex(pdf.data(), Size(pdf), 0, &w, &h), 0);
  EXPECT_NEAR(w, 595.28, 1e-9);
  EXPECT_NEAR(h, 841.89, 1e-9);
  ASSERT_NE(GetPDFPageSizeByIndex(pdf.data(), Size(pdf), 1, &w, &h), 0);
  EXPECT_DOUBLE_EQ(w, 612);
  EXPECT_DOUBLE_EQ(h, 792);
  ASSERT_NE(GetPDFPageSizeByIndex(pdf.data(), Size(pdf), 2, &w, &h), 0);
  EXPECT_DOUBLE_EQ(w, 100);
  EXPECT_DOUBLE_EQ(h, 400);

  for (int index : {-1, 3, 1000}) {
    w = h = -1;
    EXPECT_EQ(GetPDFPageSizeByIndex(pdf.data(), Size(pdf), index, &w, &h), 0) << index;
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
  }
}

TEST(PdfLibraryRender, DrawsThePageIntoTheRectangleOnly) {
  const std::string pdf = SmallPageWithSquare();
  Surface surface(300, 200);
  // 144 x 72 points at 100 dpi: 200 x 100 pixels, drawn from (40, 30).
  ASSERT_NE(Render(pdf, surface.dc(), 0, 100, 40, 30, 200, 100), 0);
  EXPECT_EQ(surface.at(39, 30), kMarker);
  EXPECT_EQ(surface.at(40, 29), kMarker);
  EXPECT_EQ(surface.at(240, 50), kMarker);
  EXPECT_EQ(surface.at(100, 130), kMarker);
  // The square covers the first 50 x 50 pixels of the page.
  EXPECT_TRUE(surface.dark(40, 30));
  EXPECT_TRUE(surface.dark(88, 78));
  EXPECT_TRUE(surface.white(92, 30));
  EXPECT_TRUE(surface.white(40, 82));
  EXPECT_TRUE(surface.white(239, 129));
  for (std::uint32_t pixel : surface.pixels)
    EXPECT_EQ(pixel >> 24, 0xFFu);
}

TEST(PdfLibraryRender, CutsOffWhatFallsOutsideTheSurface) {
  const std::string pdf = SmallPageWithSquare();
  // A row padding beyond the surface's width must stay untouched as well.
  Surface surface(60, 40, 8);
  ASSERT_NE(Render(pdf, surface.dc(), 0, 100, -20, -10, 200, 100), 0);
  EXPECT_TRUE(surface.dark(0, 0));
  EXPECT_TRUE(surface.dark(29, 39));
  EXPECT_TRUE(surface.white(31, 0));
  EXPECT_TRUE(surface.white(59, 39));
  for (int y = 0; y < 40; ++y)
    for (int x = 60; x < 68; ++x)
      ASSERT_EQ(surface.at(x, y), kMarker);

  Surface beyond(20, 20);
  EXPECT_NE(Render(pdf, beyond.dc(), 0, 100, 500, 500, 200, 100), 0);
  EXPECT_NE(Render(pdf, beyond.dc(), 0, 100, 2147483600, 0, 2000, 100), 0);
  for (std::uint32_t pixel : beyond.pixels)
    EXPECT_EQ(pixel, kMarker);
}

TEST(PdfLibraryRender, GivesThePixelsOfTheEnginesOwnDevice) {
  // Coloured ink whose edges cover pixels partly, drawn smooth into rows of
  // no whole number of eight pixels: every pixel laid on the paper as the
  // engine lays it.
  TestPage page;
  page.width = 144;
  page.height = 72;
  page.ink = "0.85 0.25 0.40 rg 20.3 10.7 m 60.2 65.1 l 100.9 12.4 l f\n"
             "0.10 0.60 0.90 rg 110 20 m 110 52 124 62 130 62 c 136 62 140 50 140 20 c f\n"
             "0.95 0.75 0.05 RG 0.7 w 5.5 3.2 m 139.1 67.3 l S\n";
  const std::string pdf = MakeTestPdf({page});
  Surface ours(202, 101);
  ASSERT_NE(Render(pdf, ours.dc(), 0, 101, 0, 0, 202, 101), 0);

  GlobalParamsIniter params([](ErrorCategory, Goffset, const char *) {});
  PDFDoc document(new MemStream(const_cast<char *>(pdf.data()), 0, static_cast<Goffset>(pdf.size()), Object(objNull)));
  ASSERT_TRUE(document.isOk());
  SplashColor paper = {0xFF, 0xFF, 0xFF, 0xFF};
  SplashOutputDev device(splashModeXBGR8, 4, false, paper, true);
  device.setFontAntialias(true);
  device.setVectorAntialias(true);
  device.setFreeTypeHinting(false, false);
  device.startDoc(&document);
  document.displayPage(&device, 1, 101, 101, 0, false, true, false);
  SplashBitmap *engine = device.getBitmap();
  ASSERT_EQ(engine->getWidth(), 202);
  ASSERT_EQ(engine->getHeight(), 101);
  int differ = 0;
  int partly = 0;
  for (int y = 0; y < 101; ++y)
    for (int x = 0; x < 202; ++x) {
      std::uint32_t pixel;
      std::memcpy(&pixel, engine->getDataPtr() + y * engine->getRowSize() + x * 4, sizeof pixel);
      differ += pixel != ours.at(x, y);
      partly += pixel != 0xFFFFFFFFu && (pixel & 0xFFu) != 0 && (pixel & 0xFFu) != 0xFFu;
    }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(partly, 100); // the edges were there to be blended
}

TEST(PdfLibraryRender, RefusesUnusableArgumentsAndLeavesTheSurfaceAlone) {
  const std::string pdf = SmallPageWithSquare();
  Surface surface(20, 20);
  PdfDC dc = surface.dc();
  std::vector<PdfDC> bad(6, dc);
  bad[0].pixels = nullptr;
  bad[1].stride = 20 * 4 - 1;
  bad[2].format = 7;
  bad[3].width = 0;
  bad[4].height = -3;
  bad[5].width = 1 << 30; // stride no longer covers a row
  for (const PdfDC &candidate : bad)
    EXPECT_EQ(Render(pdf, candidate, 0, 72, 0, 0, 20, 20), 0);
  EXPECT_EQ(RenderPDFPageToDC(pdf.data(), Size(pdf), 0, nullptr, 72, 72, 0, 0, 20, 20, false, false, true, false,
                              false),
            0);
  EXPECT_EQ(Render(pdf, dc, 0, 0, 0, 0, 20, 20), 0);
  EXPECT_EQ(Render(pdf, dc, 0, 72, 0, 0, 0, 20), 0);
  EXPECT_EQ(Render(pdf, dc, 0, 72, 0, 0, 20, -1), 0);
  EXPECT_EQ(Render(pdf, dc, 1, 72, 0, 0, 20, 20), 0);
  EXPECT_EQ(Render(pdf, dc, -1, 72, 0, 0, 20, 20), 0);
  for (std::uint32_t pixel : surface.pixels)
    ASSERT_EQ(pixel, kMarker);
}

TEST(PdfLibraryCache, TellsDocumentsApartByTheirBytesNotTheirAddress) {
  // Two documents of the same length in the same buffer: a cache keyed by the
  // pointer would draw the first one again.
  TestPage left;
  left.width = 144;
  left.height = 72;
  left.blackRects = {{10, 0, 62, 72}};
  TestPage right = left;
  right.blackRects = {{72, 0, 72, 72}};
  const std::string first = MakeTestPdf({left});
  const std::string second = MakeTestPdf({right});
  ASSERT_EQ(first.size(), second.size());

  std::vector<char> buffer(first.begin(), first.end());
  Surface a(144, 72);
  PdfDC dcA = a.dc();
  ASSERT_NE(RenderPDFPageToDC(buffer.data(), Size(first), 0, &dcA, 72, 72, 0, 0, 144, 72, false, false, true, false,
                              false),
            0);
  std::memcpy(buffer.data(), second.data(), second.size());
  Surface b(144, 72);
  PdfDC dcB = b.dc();
  ASSERT_NE(RenderPDFPageToDC(buffer.data(), Size(second), 0, &dcB, 72, 72, 0, 0, 144, 72, false, false, true, false,
                              false),
            0);
  EXPECT_TRUE(a.dark(36, 36));
  EXPECT_TRUE(a.white(130, 36));
  EXPECT_TRUE(b.white(36, 36));
  EXPECT_TRUE(b.dark(130, 36));

  std::int32_t pages = 0;
  double width = 0;
  const std::string notPdf(first.size(), 'x');
  std::memcpy(buffer.data(), notPdf.data(), notPdf.size());
  EXPECT_EQ(GetPDFDocInfo(buffer.data(), Size(notPdf), &pages, &width), 0);
  EXPECT_EQ(pages, 0);
}
