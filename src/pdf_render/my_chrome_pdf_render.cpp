#include "pdf_render/my_chrome_pdf_render.h"

#include "pdf_render/fpu_guard.h"
#include "pdf_render/page_units.h"
#include "pdf_render/pdf_library_binding.h"

#include "table_store/streams.h"

#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr std::int64_t kLargestDocument = std::numeric_limits<std::int32_t>::max();

} // namespace

TMyChromePDFRender::TMyChromePDFRender() : TMyChromePDFRender(PdfLibrary()) {}

TMyChromePDFRender::TMyChromePDFRender(TPdfLibrary &Library) : FLibrary(Library) {}

TMyChromePDFRender::~TMyChromePDFRender() { TMyChromePDFRender::FreeData(); }

void TMyChromePDFRender::CopyTo(TCustomMyPDFRender &Dest) const {
  if (&Dest == this)
    return;
  TCustomMyPDFRender::CopyTo(Dest);
  auto *target = dynamic_cast<TMyChromePDFRender *>(&Dest);
  if (target == nullptr)
    return;
  std::unique_ptr<unsigned char[]> copy;
  if (FDataSize > 0) {
    copy = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(FDataSize));
    std::memcpy(copy.get(), FData.get(), static_cast<std::size_t>(FDataSize));
  }
  target->FData = std::move(copy);
  target->FDataSize = FData ? FDataSize : 0;
  target->FPageCount = FPageCount;
  target->FPageWidthCm = FPageWidthCm;
}

void TMyChromePDFRender::ClearState() {
  TCustomMyPDFRender::ClearState();
  FData.reset();
  FDataSize = 0;
  FPageCount = 0;
  FPageWidthCm = 0;
}

void TMyChromePDFRender::FreeData() {
  FData.reset();
  ClearState();
}

bool TMyChromePDFRender::SaveToStream(ts::TStream &Stream) const {
  if (FDataSize <= 0)
    return false;
  Stream.Write(FData.get(), FDataSize);
  return true;
}

bool TMyChromePDFRender::LoadFromStream(ts::TStream &Stream, std::int64_t Count) {
  const std::int64_t position = Stream.Position();
  const std::int64_t size = Stream.Size();
  // A stream positioned beyond its end has nothing left to give.
  const std::int64_t rest = size > position ? size - position : 0;
  if (Count > 0) {
    if (Count > rest)
      throw EMyPDFRendererError("Length-Parameter is over the stream size");
  } else {
    Count = rest;
  }
  if (Count > kLargestDocument)
    throw EMyPDFRendererError("PDF is too big: " + std::to_string(Count / 1048576) + " MB");

  FLibrary.BindPdfLibrary();
  FreeData();

  // The block is in place before its size is recorded, so a failed allocation
  // leaves an empty renderer rather than a size without bytes.
  FData = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(Count));
  FDataSize = static_cast<std::int32_t>(Count);
  // A short stream raises the stream's read error; the block stays, partly
  // filled, with no pages.
  Stream.ReadBuffer(FData.get(), Count);

  double width = 0;
  {
    TFpuExceptionMask guard;
    FLibrary.GetPDFDocInfo(FData.get(), FDataSize, &FPageCount, &width);
  }
  FPageWidthCm = PointsToCm(width);
  return true;
}

bool TMyChromePDFRender::GetPageSizeCm(std::int32_t Page, long double &Width, long double &Height) {
  FLibrary.BindPdfLibrary();
  CheckPageNumber(Page);
  TFpuExceptionMask guard;
  double width = 0;
  double height = 0;
  const bool success = FLibrary.GetPDFPageSizeByIndex(FData.get(), FDataSize, Page - 1, &width, &height) != 0;
  Width = PointsToCm(width);
  Height = PointsToCm(height);
  return success;
}

bool TMyChromePDFRender::GetPageSizePixels(std::int32_t Page, std::int32_t DpiX, std::int32_t DpiY,
                                           std::int32_t &Width, std::int32_t &Height) {
  FLibrary.BindPdfLibrary();
  CheckPageNumber(Page);
  TFpuExceptionMask guard;
  double width = 0;
  double height = 0;
  const bool success = FLibrary.GetPDFPageSizeByIndex(FData.get(), FDataSize, Page - 1, &width, &height) != 0;
  Width = PointsToPixels(width, DpiX);
  Height = PointsToPixels(height, DpiY);
  return success;
}

bool TMyChromePDFRender::RenderPageToDC(PdfDC &DC, std::int32_t X, std::int32_t Y, std::int32_t Width,
                                        std::int32_t Height, std::int32_t Page, std::int32_t DpiX,
                                        std::int32_t DpiY, bool Flag1, bool Flag2, bool Flag3, bool Flag4,
                                        bool Flag5) {
  FLibrary.BindPdfLibrary();
  CheckPageNumber(Page);
  std::int32_t result = 0;
  {
    TFpuExceptionMask guard;
    result = FLibrary.RenderPDFPageToDC(FData.get(), FDataSize, Page - 1, &DC, DpiX, DpiY, X, Y, Width, Height,
                                        Flag1, Flag2, Flag3, Flag4, Flag5);
  }
  return result != 0;
}
