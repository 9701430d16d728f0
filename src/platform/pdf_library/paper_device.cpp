#include "platform/pdf_library/paper_device.h"

#include <splash/SplashBitmap.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace pdflib {

namespace {

// The device keeps a copy; the engine only takes it through a plain pointer.
SplashColor whitePaper = {0xFF, 0xFF, 0xFF, 0xFF};

constexpr std::uint32_t kOpaque = 0xFF000000u; // the pixel's fourth byte

// x / 255, rounded as the engine rounds it.
inline unsigned Div255(unsigned x) { return (x + (x >> 8) + 0x80) >> 8; }

// A pixel partly covered: each colour byte between the paper's and its own.
inline std::uint32_t OnPaper(std::uint32_t pixel, unsigned alpha) {
  const unsigned paperShare = (255 - alpha) * 255;
  std::uint32_t out = kOpaque;
  for (int shift = 0; shift < 24; shift += 8)
    out |= Div255(paperShare + alpha * ((pixel >> shift) & 0xFFu)) << shift;
  return out;
}

void LayRow(const unsigned char *source, const unsigned char *alpha, unsigned char *target, int count) {
  int x = 0;
  // A page is mostly bare paper and solid ink: eight pixels at a time where
  // their coverage is all the same.
  for (; x + 8 <= count; x += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, alpha + x, sizeof eight);
    if (eight == 0) {
      std::memset(target + static_cast<std::ptrdiff_t>(x) * 4, 0xFF, 32);
      continue;
    }
    std::uint32_t pixels[8];
    std::memcpy(pixels, source + static_cast<std::ptrdiff_t>(x) * 4, sizeof pixels);
    if (eight == ~std::uint64_t{0}) {
      for (std::uint32_t &pixel : pixels)
        pixel |= kOpaque;
    } else {
      for (int k = 0; k < 8; ++k) {
        const unsigned a = alpha[x + k];
        pixels[k] = a == 0 ? 0xFFFFFFFFu : a == 255 ? pixels[k] | kOpaque : OnPaper(pixels[k], a);
      }
    }
    std::memcpy(target + static_cast<std::ptrdiff_t>(x) * 4, pixels, sizeof pixels);
  }
  for (; x < count; ++x) {
    std::uint32_t pixel;
    std::memcpy(&pixel, source + static_cast<std::ptrdiff_t>(x) * 4, sizeof pixel);
    const unsigned a = alpha[x];
    pixel = a == 0 ? 0xFFFFFFFFu : a == 255 ? pixel | kOpaque : OnPaper(pixel, a);
    std::memcpy(target + static_cast<std::ptrdiff_t>(x) * 4, &pixel, sizeof pixel);
  }
}

} // namespace

PaperDevice::PaperDevice() : SplashOutputDev(splashModeXBGR8, 4, false, whitePaper, true) {}

void LayOnPaper(SplashBitmap &page, PdfDC &dc, std::int32_t left, std::int32_t top, std::int32_t width,
                std::int32_t height) {
  const int rows = std::min(height, page.getHeight());
  const int columns = std::min(width, page.getWidth());
  const unsigned char *source = page.getDataPtr();
  const unsigned char *alpha = page.getAlphaPtr();
  auto *target = static_cast<unsigned char *>(dc.pixels);
  for (int row = 0; row < rows; ++row) {
    unsigned char *to =
        target + static_cast<std::ptrdiff_t>(top + row) * dc.stride + static_cast<std::ptrdiff_t>(left) * 4;
    const unsigned char *from = source + static_cast<std::ptrdiff_t>(row) * page.getRowSize();
    // Without coverage the engine leaves the pixels as they were drawn.
    if (alpha == nullptr)
      std::memcpy(to, from, static_cast<std::size_t>(columns) * 4);
    else
      LayRow(from, alpha + static_cast<std::ptrdiff_t>(row) * page.getAlphaRowSize(), to, columns);
  }
}

} // namespace pdflib
