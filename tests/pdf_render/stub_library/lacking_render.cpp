// A stand-in for our PDF library that lacks its drawing call, for testing how
// the binding refuses an incomplete library.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t GetPDFDocInfo(const void *, std::int32_t,
                                                                             std::int32_t *pageCount, double *width) {
  *pageCount = 0;
  *width = 0;
  return 0;
}

extern "C" __attribute__((visibility("default"))) std::int32_t
GetPDFPageSizeByIndex(const void *, std::int32_t, std::int32_t, double *width, double *height) {
  *width = 0;
  *height = 0;
  return 0;
}
