// The three calls of our PDF library. Nothing may leave them as a C++
// exception: the caller reaches them through a C function pointer, so every
// failure becomes result 0.
#include "platform/pdf_library/document_cache.h"
#include "platform/pdf_library/paper_device.h"
#include "platform/pdf_library/pdf_dc.h"

#include <PDFDoc.h>
#include <Page.h>
#include <SplashOutputDev.h>
#include <splash/SplashBitmap.h>

#include <algorithm>
#include <memory>

#define PDF_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct PageSize {
  double width = 0;
  double height = 0;
};

Page *OpenPage(PDFDoc *document, std::int32_t index) {
  if (document == nullptr || index < 0 || index >= document->getNumPages())
    return nullptr;
  return document->getPage(index + 1);
}

// The size as the page is shown: a page turned by a quarter shows its box
// turned, and the renderer draws it that way too.
PageSize ShownSize(Page &page) {
  const double width = page.getCropWidth();
  const double height = page.getCropHeight();
  const int rotate = page.getRotate();
  if (rotate == 90 || rotate == 270)
    return {height, width};
  return {width, height};
}

bool UsableSurface(const PdfDC *dc) {
  if (dc == nullptr || dc->pixels == nullptr || dc->format != PDF_DC_FORMAT_XRGB32)
    return false;
  if (dc->width <= 0 || dc->height <= 0)
    return false;
  return static_cast<std::int64_t>(dc->stride) >= static_cast<std::int64_t>(dc->width) * 4;
}

} // namespace

PDF_EXPORT std::int32_t GetPDFDocInfo(const void *data, std::int32_t size, std::int32_t *pageCount,
                                      double *width) {
  std::int32_t pages = 0;
  double firstWidth = 0;
  std::int32_t result = 0;
  try {
    auto &cache = pdflib::TheDocumentCache();
    std::lock_guard<std::mutex> hold(cache.Lock());
    PDFDoc *document = cache.Find(data, size);
    if (document != nullptr) {
      pages = std::max(document->getNumPages(), 0);
      if (Page *page = OpenPage(document, 0))
        firstWidth = ShownSize(*page).width;
      result = 1;
    }
  } catch (...) {
    pages = 0;
    firstWidth = 0;
    result = 0;
  }
  if (pageCount != nullptr)
    *pageCount = pages;
  if (width != nullptr)
    *width = firstWidth;
  return result;
}

PDF_EXPORT std::int32_t GetPDFPageSizeByIndex(const void *data, std::int32_t size, std::int32_t index,
                                              double *width, double *height) {
  PageSize shown;
  std::int32_t result = 0;
  try {
    auto &cache = pdflib::TheDocumentCache();
    std::lock_guard<std::mutex> hold(cache.Lock());
    if (Page *page = OpenPage(cache.Find(data, size), index)) {
      shown = ShownSize(*page);
      result = 1;
    }
  } catch (...) {
    shown = PageSize{};
    result = 0;
  }
  if (width != nullptr)
    *width = shown.width;
  if (height != nullptr)
    *height = shown.height;
  return result;
}

PDF_EXPORT std::int32_t RenderPDFPageToDC(const void *data, std::int32_t size, std::int32_t index, PdfDC *dc,
                                          std::int32_t dpiX, std::int32_t dpiY, std::int32_t x, std::int32_t y,
                                          std::int32_t width, std::int32_t height, bool fitToRect, bool /*unused2*/,
                                          bool smooth, bool /*unused4*/, bool /*unused5*/) {
  if (!UsableSurface(dc) || width <= 0 || height <= 0)
    return 0;
  if (!fitToRect && (dpiX <= 0 || dpiY <= 0))
    return 0;
  try {
    auto &cache = pdflib::TheDocumentCache();
    std::lock_guard<std::mutex> hold(cache.Lock());
    PDFDoc *document = cache.Find(data, size);
    Page *page = OpenPage(document, index);
    if (page == nullptr)
      return 0;

    double resolutionX = dpiX;
    double resolutionY = dpiY;
    if (fitToRect) {
      const PageSize shown = ShownSize(*page);
      if (!(shown.width > 0) || !(shown.height > 0))
        return 0;
      resolutionX = width / shown.width * 72.0;
      resolutionY = height / shown.height * 72.0;
    }

    // Only the part of the rectangle that lies on the surface is rendered.
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(static_cast<std::int64_t>(x) + width, dc->width);
    const std::int64_t bottom = std::min<std::int64_t>(static_cast<std::int64_t>(y) + height, dc->height);
    if (left >= right || top >= bottom)
      return 1;

    SplashOutputDev *device = cache.Device(smooth);
    if (device == nullptr)
      return 0;
    document->displayPageSlice(device, index + 1, resolutionX, resolutionY, 0, false, true, false,
                               static_cast<int>(left - x), static_cast<int>(top - y), static_cast<int>(right - left),
                               static_cast<int>(bottom - top));
    SplashBitmap *slice = device->getBitmap();
    if (slice == nullptr || slice->getMode() != splashModeXBGR8 || slice->getRowSize() <= 0)
      return 0;
    pdflib::LayOnPaper(*slice, *dc, static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                       static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top));
    return 1;
  } catch (...) {
    return 0;
  }
}
