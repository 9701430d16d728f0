// The calls of our PDF library and the drawing surface it draws on. Plain C so
// that the library can be loaded by name and its entry points looked up at run
// time. Page sizes are in points (1/72 inch), page indexes are 0-based, and a
// nonzero result means success.
#pragma once

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 32-bit pixels in native byte order as 0xAARRGGBB; the library writes them
// opaque (alpha 0xFF), so plain RGB surfaces and surfaces with alpha take the
// same bytes.
enum { PDF_DC_FORMAT_XRGB32 = 1 };

// A block of pixels that the caller owns. The library writes only inside
// width x height and never keeps the pointer.
typedef struct PdfDC {
  void *pixels;
  int32_t width;
  int32_t height;
  int32_t stride; // bytes from one row to the next
  int32_t format; // PDF_DC_FORMAT_*
} PdfDC;

// Writes the page count and the first page's width of the document; bytes that
// are no readable PDF give 0 pages, width 0 and result 0.
typedef int32_t (*TGetPDFDocInfo)(const void *data, int32_t size, int32_t *pageCount, double *width);

// Writes the width and height of the page as it is shown (turned pages report
// their turned size); a page that does not exist gives 0, 0 and result 0.
typedef int32_t (*TGetPDFPageSizeByIndex)(const void *data, int32_t size, int32_t index, double *width,
                                          double *height);

// Draws the page into the rectangle (x, y, width, height) of the surface at the
// given resolution; the page's top-left corner lands on (x, y) and whatever
// falls outside the surface is cut off. A call that succeeds writes every pixel
// of the rectangle that lies on the surface, the page on white paper; one that
// fails writes none.
//   fitToRect: scale the page so that it fills the rectangle instead of using
//              the resolution.
//   smooth:    anti-alias shapes and text.
// The remaining flags are accepted for their positions and have no effect.
typedef int32_t (*TRenderPDFPageToDC)(const void *data, int32_t size, int32_t index, PdfDC *dc, int32_t dpiX,
                                      int32_t dpiY, int32_t x, int32_t y, int32_t width, int32_t height,
                                      bool fitToRect, bool unused2, bool smooth, bool unused4, bool unused5);

#ifdef __cplusplus
}
#endif
