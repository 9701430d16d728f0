// The drawing device of our library, and how a page it drew reaches the
// caller's surface. The engine draws a page onto a transparent backdrop and,
// as the page ends, lays it on the paper in a pass over every pixel, which
// copying the page onto the surface would follow with a second. This device
// leaves the page on its backdrop, and LayOnPaper lays it on white paper as
// it copies, with the engine's own arithmetic, so the surface gets the very
// same pixels in one pass.
#pragma once

#include "platform/pdf_library/pdf_dc.h"

#include <SplashOutputDev.h>

#include <cstdint>

class SplashBitmap;

namespace pdflib {

class PaperDevice final : public SplashOutputDev {
public:
  // White paper, 32-bit pixels, rows top-down and padded to whole pixels,
  // as the surface takes them.
  PaperDevice();
  // The page stays on its backdrop until LayOnPaper.
  void endPage() override {}
};

// Writes the page's pixels from the top-left of `page`, `width` x `height` of
// them, onto the surface at (left, top), laid on white paper and opaque. A
// page already laid on paper comes out unchanged.
void LayOnPaper(SplashBitmap &page, PdfDC &dc, std::int32_t left, std::int32_t top, std::int32_t width,
                std::int32_t height);

} // namespace pdflib
