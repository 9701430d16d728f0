// The renderer's error and its abstract base: page checks, and the drawing
// into a canvas or a bitmap in terms of the device-context drawing that each
// renderer provides.
#pragma once

#include "platform/pdf_library/pdf_dc.h"
#include "table_store/errors.h"

#include <cstdint>
#include <string>

class QImage;
class QRect;

namespace ts {
class TField;
class TStream;
} // namespace ts

// Raised for every failure of the renderer and of its library binding; it
// carries only its message.
class EMyPDFRendererError : public ts::Exception {
public:
  using ts::Exception::Exception;
  const char *ClassName() const noexcept override { return "EMyPDFRendererError"; }
};

class TCustomMyPDFRender {
public:
  TCustomMyPDFRender() { TCustomMyPDFRender::ClearState(); }
  virtual ~TCustomMyPDFRender() = default;
  TCustomMyPDFRender(const TCustomMyPDFRender &) = delete;
  TCustomMyPDFRender &operator=(const TCustomMyPDFRender &) = delete;

  // Makes this renderer a copy of Source (Source decides what it copies).
  void Assign(const TCustomMyPDFRender &Source) { Source.CopyTo(*this); }
  virtual void CopyTo(TCustomMyPDFRender &Dest) const;

  virtual std::int32_t GetPageCount() const = 0;
  virtual std::int64_t GetDataSize() const = 0;
  virtual void FreeData() = 0;
  virtual bool SaveToStream(ts::TStream &Stream) const = 0;
  virtual bool LoadFromStream(ts::TStream &Stream, std::int64_t Count) = 0;
  virtual bool GetPageSizeCm(std::int32_t Page, long double &Width, long double &Height) = 0;
  virtual bool GetPageSizePixels(std::int32_t Page, std::int32_t DpiX, std::int32_t DpiY, std::int32_t &Width,
                                 std::int32_t &Height) = 0;
  virtual bool RenderPageToDC(PdfDC &DC, std::int32_t X, std::int32_t Y, std::int32_t Width, std::int32_t Height,
                              std::int32_t Page, std::int32_t DpiX, std::int32_t DpiY, bool Flag1, bool Flag2,
                              bool Flag3, bool Flag4, bool Flag5) = 0;
  // Draws over the canvas without clearing it first.
  virtual bool RenderPageToCanvas(QImage &Canvas, const QRect &Rect, std::int32_t Page, std::int32_t DpiX,
                                  std::int32_t DpiY, bool OptionA, bool OptionB);
  // With AutoSize the bitmap takes the page's size in pixels; either way it is
  // filled white before the page is drawn.
  virtual bool RenderPageToBitmap(QImage &Bitmap, std::int32_t Page, std::int32_t DpiX, std::int32_t DpiY,
                                  bool OptionA, bool OptionB, bool AutoSize);

  bool IsEmpty() const { return GetPageCount() == 0; }
  void CheckPageNumber(std::int32_t Page) const;
  // The whole blob of the field, in the current record of its table, becomes
  // the document.
  bool LoadPDFFromDB(ts::TField *Field);

protected:
  // Empties the state of a fresh renderer, or of one whose data was just freed.
  virtual void ClearState();

  std::string FText;
};
