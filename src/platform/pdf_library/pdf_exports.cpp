// The three calls of our PDF library. Nothing may leave them as a C++
// exception: the caller reaches them through a C function pointer, so every
// failure becomes result 0.
#include "platform/pdf_library/document_cache.h"
#include "platform/pdf_library/pdf_dc.h"

#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cstring>
#include <memory>

#define PDF_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct PageSize {
  double width = 0;
  double height = 0;
};

std::unique_ptr<poppler::page> OpenPage(poppler::document *document, std::int32_t index) {
  if (document == nullptr || index < 0 || index >= document->pages())
    return nullptr;
  return std::unique_ptr<poppler::page>(document->create_page(index));
}

// The size as the page is shown: a page turned by a quarter shows its box
// turned, and the renderer draws it that way too.
PageSize ShownSize(const poppler::page &page) {
  const poppler::rectf box = page.page_rect(poppler::crop_box);
  const auto orientation = page.orientation();
  if (orientation == poppler::page::landscape || orientation == poppler::page::seascape)
    return {box.height(), box.width()};
  return {box.width(), box.height()};
}

bool UsableSurface(const PdfDC *dc) {
  if (dc == nullptr || dc->pixels == nullptr || dc->format != PDF_DC_FORMAT_XRGB32)
    return false;
  if (dc->width <= 0 || dc->height <= 0)
    return false;
  return static_cast<std::int64_t>(dc->stride) >= static_cast<std::int64_t>(dc->width) * 4;
}

// Copies the rendered slice onto the surface at (left, top), forcing the
// pixels opaque.
void CopyOnto(const poppler::image &slice, PdfDC &dc, std::int32_t left, std::int32_t top, std::int32_t width,
              std::int32_t height) {
  const int rows = std::min(height, slice.height());
  const int columns = std::min(width, slice.width());
  const char *source = slice.const_data();
  auto *target = static_cast<unsigned char *>(dc.pixels);
  for (int row = 0; row < rows; ++row) {
    auto *line = reinterpret_cast<std::uint32_t *>(target + static_cast<std::ptrdiff_t>(top + row) * dc.stride) + left;
    std::memcpy(line, source + static_cast<std::ptrdiff_t>(row) * slice.bytes_per_row(),
                static_cast<std::size_t>(columns) * 4);
    for (int column = 0; column < columns; ++column)
      line[column] |= 0xFF000000u;
  }
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
    poppler::document *document = cache.Find(data, size);
    if (document != nullptr) {
      pages = std::max(document->pages(), 0);
      if (auto page = OpenPage(document, 0))
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
    if (auto page = OpenPage(cache.Find(data, size), index)) {
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
    auto page = OpenPage(cache.Find(data, size), index);
    if (!page)
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

    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_argb32);
    renderer.set_paper_color(0xFFFFFFFFu);
    renderer.set_render_hint(poppler::page_renderer::antialiasing, smooth);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, smooth);
    const poppler::image slice =
        renderer.render_page(page.get(), resolutionX, resolutionY, static_cast<int>(left - x),
                             static_cast<int>(top - y), static_cast<int>(right - left), static_cast<int>(bottom - top));
    if (!slice.is_valid() || slice.format() != poppler::image::format_argb32)
      return 0;
    CopyOnto(slice, *dc, static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
             static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top));
    return 1;
  } catch (...) {
    return 0;
  }
}
