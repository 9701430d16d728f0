// The renderer the stations create: holds one PDF document as a block of bytes
// and hands it whole to our PDF library for every question and every drawing.
#pragma once

#include "pdf_render/my_pdf_render.h"

#include <memory>

class TPdfLibrary;

class TMyChromePDFRender : public TCustomMyPDFRender {
public:
  // Uses the process-wide library binding.
  TMyChromePDFRender();
  explicit TMyChromePDFRender(TPdfLibrary &Library);
  ~TMyChromePDFRender() override;

  void CopyTo(TCustomMyPDFRender &Dest) const override;
  std::int32_t GetPageCount() const override { return FPageCount; }
  std::int64_t GetDataSize() const override { return FDataSize; }
  void FreeData() override;
  bool SaveToStream(ts::TStream &Stream) const override;
  // Reads Count bytes from the stream's position, or all the rest when
  // Count <= 0, as the new document.
  bool LoadFromStream(ts::TStream &Stream, std::int64_t Count) override;
  bool GetPageSizeCm(std::int32_t Page, long double &Width, long double &Height) override;
  bool GetPageSizePixels(std::int32_t Page, std::int32_t DpiX, std::int32_t DpiY, std::int32_t &Width,
                         std::int32_t &Height) override;
  bool RenderPageToDC(PdfDC &DC, std::int32_t X, std::int32_t Y, std::int32_t Width, std::int32_t Height,
                      std::int32_t Page, std::int32_t DpiX, std::int32_t DpiY, bool Flag1, bool Flag2, bool Flag3,
                      bool Flag4, bool Flag5) override;

protected:
  void ClearState() override;

private:
  TPdfLibrary &FLibrary;
  std::unique_ptr<unsigned char[]> FData;
  std::int32_t FDataSize = 0;
  std::int32_t FPageCount = 0;
  long double FPageWidthCm = 0;
};
