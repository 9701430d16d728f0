#include "pdf_render/my_pdf_render.h"

#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/dataset.h"
#include "table_store/dataset/dataset_messages.h"
#include "table_store/messages.h"

#include <QImage>
#include <QRect>

#include <string>

namespace {

bool TakesLibraryPixels(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied;
}

// Hands the image's pixels to Draw as a device context. Images in other
// formats are drawn through a 32-bit copy and converted back, so the caller's
// image keeps its format.
template <class DrawFn> bool DrawOnImage(QImage &Image, DrawFn Draw) {
  if (Image.isNull() || TakesLibraryPixels(Image.format())) {
    PdfDC dc{};
    if (!Image.isNull()) {
      dc.pixels = Image.bits();
      dc.width = Image.width();
      dc.height = Image.height();
      dc.stride = static_cast<std::int32_t>(Image.bytesPerLine());
    }
    dc.format = PDF_DC_FORMAT_XRGB32;
    return Draw(dc);
  }
  QImage surface = Image.convertToFormat(QImage::Format_RGB32);
  PdfDC dc{surface.bits(), surface.width(), surface.height(), static_cast<std::int32_t>(surface.bytesPerLine()),
           PDF_DC_FORMAT_XRGB32};
  const bool drawn = Draw(dc);
  Image = surface.convertToFormat(Image.format());
  return drawn;
}

} // namespace

void TCustomMyPDFRender::CopyTo(TCustomMyPDFRender &Dest) const {
  if (&Dest == this)
    return;
  Dest.FreeData();
  Dest.FText = FText;
}

void TCustomMyPDFRender::ClearState() { FText.clear(); }

void TCustomMyPDFRender::CheckPageNumber(std::int32_t Page) const {
  const std::int32_t count = GetPageCount();
  if (count < 1)
    throw EMyPDFRendererError("There are 0 pageses in document");
  if (Page < 1 || Page > count)
    throw EMyPDFRendererError("Page-Number \"" + std::to_string(Page) + "\" is out of range [1.." +
                              std::to_string(count) + "]");
}

bool TCustomMyPDFRender::LoadPDFFromDB(ts::TField *Field) {
  if (Field == nullptr)
    throw EMyPDFRendererError("LoadPDFFromDB(Field=nil)");
  if (dynamic_cast<ts::TBlobField *>(Field) == nullptr)
    throw EMyPDFRendererError("LoadPDFFromDB(Field<>TBLOBField)");
  // A field outside any table has no current record to read from.
  if (Field->DataSet() == nullptr)
    throw ts::EDatabaseError(ts::FormatMessage(ts::msg::kFieldNoDataSet, {Field->DisplayName()}));
  const auto stream = Field->DataSet()->CreateBlobStream(*Field, ts::TBlobStreamMode::Read);
  return LoadFromStream(*stream, 0);
}

bool TCustomMyPDFRender::RenderPageToCanvas(QImage &Canvas, const QRect &Rect, std::int32_t Page,
                                            std::int32_t DpiX, std::int32_t DpiY, bool OptionA, bool OptionB) {
  return DrawOnImage(Canvas, [&](PdfDC &dc) {
    return RenderPageToDC(dc, Rect.left(), Rect.top(), Rect.width(), Rect.height(), Page, DpiX, DpiY, true, false,
                          true, OptionB, OptionA);
  });
}

bool TCustomMyPDFRender::RenderPageToBitmap(QImage &Bitmap, std::int32_t Page, std::int32_t DpiX,
                                            std::int32_t DpiY, bool OptionA, bool OptionB, bool AutoSize) {
  if (AutoSize) {
    std::int32_t width = 0;
    std::int32_t height = 0;
    GetPageSizePixels(Page, DpiX, DpiY, width, height);
    if (width != Bitmap.width() || height != Bitmap.height()) {
      const QImage::Format format = Bitmap.isNull() ? QImage::Format_RGB32 : Bitmap.format();
      // A size the image cannot take (nothing, or more than memory allows)
      // leaves a null image, which the library then refuses to draw on.
      Bitmap = (width > 0 && height > 0) ? QImage(width, height, format) : QImage();
    }
  }
  // A page drawn on white paper covers the whole bitmap, so the bitmap is
  // made white only where no page came: when the library fails or an error
  // ends the drawing.
  const auto whiten = [&] {
    if (!Bitmap.isNull())
      Bitmap.fill(Qt::white);
  };
  bool drawn = false;
  try {
    drawn = DrawOnImage(Bitmap, [&](PdfDC &dc) {
      return RenderPageToDC(dc, 0, 0, Bitmap.width(), Bitmap.height(), Page, DpiX, DpiY, !AutoSize, false, true,
                            OptionB, OptionA);
    });
  } catch (...) {
    whiten();
    throw;
  }
  if (!drawn)
    whiten();
  return drawn;
}
