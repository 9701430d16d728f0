#include "pdf_render/my_chrome_pdf_render.h"

#include "fpu_state.h"
#include "test_pdf_maker.h"
#include "test_streams.h"

#include "table_store/dataset/blob_field.h"
#include "table_store/dataset/blob_stream.h"
#include "table_store/dataset/mem_table.h"
#include "table_store/dataset/numeric_fields.h"
#include "table_store/dataset/text_fields.h"

#include <QImage>
#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace {

std::string ErrorOf(const std::function<void()> &action) {
  try {
    action();
  } catch (const EMyPDFRendererError &error) {
    return error.what();
  }
  return "(no error)";
}

std::string ErrorOfAnyKind(const std::function<void()> &action) {
  try {
    action();
  } catch (const ts::Exception &error) {
    return error.Message();
  }
  return "(no error)";
}

void Load(TMyChromePDFRender &renderer, const std::string &bytes) {
  ts::TMemoryStream stream;
  Fill(stream, bytes);
  ASSERT_TRUE(renderer.LoadFromStream(stream, 0));
}

std::string Saved(const TMyChromePDFRender &renderer) {
  ts::TMemoryStream out;
  renderer.SaveToStream(out);
  return Contents(out);
}

bool IsWhite(const QImage &image, int x, int y) { return image.pixel(x, y) == qRgb(255, 255, 255); }
bool IsDark(const QImage &image, int x, int y) { return qGray(image.pixel(x, y)) < 64; }

// A4 with a black rectangle: 100 x 100 points whose top-left corner lies one
// inch from the left and two inches from the top.
std::string A4WithRectangle() {
  TestPage page;
  page.blackRects = {{72, 841.89 - 144 - 100, 100, 100}};
  return MakeTestPdf({page, TestPage{}});
}

// Claims a size it never delivers, as a huge or truncated source would.
class ClaimedSizeStream : public ts::TStream {
public:
  explicit ClaimedSizeStream(std::int64_t size) : size_(size) {}
  std::int64_t Read(void *buffer, std::int64_t count) override {
    // Only the first ten bytes ever arrive.
    const std::int64_t given = std::clamp<std::int64_t>(10 - position_, 0, count);
    std::memset(buffer, '%', static_cast<std::size_t>(given));
    position_ += given;
    return given;
  }
  std::int64_t Write(const void *, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, ts::TSeekOrigin origin) override {
    position_ = origin == ts::TSeekOrigin::Beginning ? offset
                : origin == ts::TSeekOrigin::Current ? position_ + offset
                                                     : size_ + offset;
    return position_;
  }
  std::int64_t Size() const override { return size_; }
  void SetSize(std::int64_t) override {}

private:
  std::int64_t size_;
  std::int64_t position_ = 0;
};

} // namespace

TEST(PdfRenderer, A4PageAt100DpiGivesAWhiteBitmapWithTheRectangleDark) {
  TMyChromePDFRender renderer;
  Load(renderer, A4WithRectangle());
  QImage bitmap;
  ASSERT_TRUE(renderer.RenderPageToBitmap(bitmap, 1, 100, 100, false, false, true));
  EXPECT_EQ(bitmap.width(), 827);
  EXPECT_EQ(bitmap.height(), 1169);
  // The rectangle spans pixels 100..239 across and 200..339 down.
  EXPECT_TRUE(IsDark(bitmap, 105, 205));
  EXPECT_TRUE(IsDark(bitmap, 235, 335));
  EXPECT_TRUE(IsWhite(bitmap, 95, 205));
  EXPECT_TRUE(IsWhite(bitmap, 105, 195));
  EXPECT_TRUE(IsWhite(bitmap, 245, 345));
  EXPECT_TRUE(IsWhite(bitmap, 0, 0));
  EXPECT_TRUE(IsWhite(bitmap, 826, 1168));

  // Page 2 is blank; the bitmap is filled afresh, nothing of page 1 remains.
  ASSERT_TRUE(renderer.RenderPageToBitmap(bitmap, 2, 100, 100, false, false, true));
  EXPECT_TRUE(IsWhite(bitmap, 105, 205));
}

TEST(PdfRenderer, WithoutAutoSizeTheBitmapKeepsItsSizeAndFormatAndIsWhitenedFirst) {
  TMyChromePDFRender renderer;
  Load(renderer, A4WithRectangle());
  QImage bitmap(60, 40, QImage::Format_RGB888);
  bitmap.fill(Qt::green);
  ASSERT_TRUE(renderer.RenderPageToBitmap(bitmap, 2, 100, 100, false, false, false));
  EXPECT_EQ(bitmap.size(), QSize(60, 40));
  EXPECT_EQ(bitmap.format(), QImage::Format_RGB888);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_TRUE(IsWhite(bitmap, x, y)) << x << "," << y;
}

TEST(PdfRenderer, CanvasIsDrawnInItsRectangleWithoutBeingCleared) {
  TMyChromePDFRender renderer;
  TestPage square;
  square.width = 72;
  square.height = 72;
  square.blackRects = {{0, 0, 72, 72}};
  Load(renderer, MakeTestPdf({square}));
  QImage canvas(100, 100, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::green);
  ASSERT_TRUE(renderer.RenderPageToCanvas(canvas, QRect(10, 20, 30, 40), 1, 100, 100, false, false));
  EXPECT_EQ(canvas.pixel(9, 30), qRgb(0, 255, 0));
  EXPECT_EQ(canvas.pixel(40, 30), qRgb(0, 255, 0));
  EXPECT_EQ(canvas.pixel(20, 60), qRgb(0, 255, 0));
  EXPECT_TRUE(IsDark(canvas, 10, 20));
  EXPECT_TRUE(IsDark(canvas, 39, 59));
}

TEST(PdfRenderer, PageNumbersOutsideTheDocumentAreRefused) {
  TMyChromePDFRender renderer;
  Load(renderer, MakeTestPdf(BlankA4Pages(11)));
  ASSERT_EQ(renderer.GetPageCount(), 11);
  QImage bitmap;
  EXPECT_TRUE(renderer.RenderPageToBitmap(bitmap, 11, 10, 10, false, false, true));
  EXPECT_EQ(ErrorOf([&] { renderer.RenderPageToBitmap(bitmap, 12, 100, 100, false, false, true); }),
            "Page-Number \"12\" is out of range [1..11]");
  EXPECT_EQ(ErrorOf([&] { renderer.RenderPageToBitmap(bitmap, 0, 100, 100, false, false, true); }),
            "Page-Number \"0\" is out of range [1..11]");
  long double w = 0, h = 0;
  EXPECT_EQ(ErrorOf([&] { renderer.GetPageSizeCm(-1, w, h); }), "Page-Number \"-1\" is out of range [1..11]");
  // Callers that catch every error of the system by its common root see it too.
  EXPECT_THROW(renderer.GetPageSizeCm(12, w, h), ts::Exception);
  EXPECT_EQ(renderer.GetPageCount(), 11);
}

TEST(PdfRenderer, DocumentsWithoutPagesRefuseEveryPageOperation) {
  TMyChromePDFRender renderer;
  QImage bitmap(5, 5, QImage::Format_RGB32);
  std::int32_t w = 0, h = 0;
  EXPECT_TRUE(renderer.IsEmpty());
  EXPECT_EQ(ErrorOf([&] { renderer.RenderPageToBitmap(bitmap, 1, 100, 100, false, false, true); }),
            "There are 0 pageses in document");

  Load(renderer, "%PDF-1.4\nthis is not a PDF document, only its first line\n");
  EXPECT_EQ(renderer.GetPageCount(), 0);
  EXPECT_GT(renderer.GetDataSize(), 0);
  EXPECT_EQ(ErrorOf([&] { renderer.GetPageSizePixels(1, 100, 100, w, h); }), "There are 0 pageses in document");
  bitmap.fill(Qt::green);
  EXPECT_EQ(ErrorOf([&] { renderer.RenderPageToBitmap(bitmap, 1, 100, 100, false, false, false); }),
            "There are 0 pageses in document");
  EXPECT_TRUE(IsWhite(bitmap, 0, 0) && IsWhite(bitmap, 4, 4));  // whitened before the page was asked for

  Load(renderer, "");
  EXPECT_EQ(renderer.GetDataSize(), 0);
  EXPECT_TRUE(renderer.IsEmpty());
}

TEST(PdfRenderer, LoadFromStreamTakesTheRestOrExactlyCountBytes) {
  const std::string pdf = MakeTestPdf(BlankA4Pages(1));
  std::string source(100, 'x');
  source += pdf;
  source.resize(1000, '\n'); // blank lines after the end mark do no harm
  ASSERT_GT(1000u, 100 + pdf.size());

  TMyChromePDFRender renderer;
  ts::TMemoryStream stream;
  Fill(stream, source);
  stream.SetPosition(100);
  ASSERT_TRUE(renderer.LoadFromStream(stream, 0));
  EXPECT_EQ(renderer.GetDataSize(), 900);
  EXPECT_EQ(renderer.GetPageCount(), 1);
  EXPECT_EQ(Saved(renderer), source.substr(100));

  stream.SetPosition(100);
  EXPECT_EQ(ErrorOf([&] { renderer.LoadFromStream(stream, 901); }), "Length-Parameter is over the stream size");
  EXPECT_EQ(ErrorOf([&] { renderer.LoadFromStream(stream, std::numeric_limits<std::int64_t>::max()); }),
            "Length-Parameter is over the stream size");
  EXPECT_EQ(renderer.GetDataSize(), 900);
  EXPECT_EQ(renderer.GetPageCount(), 1);
  EXPECT_EQ(stream.Position(), 100);

  ASSERT_TRUE(renderer.LoadFromStream(stream, static_cast<std::int64_t>(pdf.size())));
  EXPECT_EQ(Saved(renderer), pdf);
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(100 + pdf.size()));

  // Beyond the end there is nothing left: an empty document, not a negative size.
  stream.SetPosition(5000);
  ASSERT_TRUE(renderer.LoadFromStream(stream, 0));
  EXPECT_EQ(renderer.GetDataSize(), 0);
  EXPECT_TRUE(renderer.IsEmpty());
}

TEST(PdfRenderer, OversizedAndShortSourcesAreReported) {
  TMyChromePDFRender renderer;
  const std::string pdf = MakeTestPdf(BlankA4Pages(1));
  Load(renderer, pdf);

  ClaimedSizeStream huge(std::int64_t{1} << 31);
  EXPECT_EQ(ErrorOf([&] { renderer.LoadFromStream(huge, 0); }), "PDF is too big: 2048 MB");
  EXPECT_EQ(Saved(renderer), pdf);

  ClaimedSizeStream shortStream(1000);
  EXPECT_THROW(renderer.LoadFromStream(shortStream, 0), ts::EReadError);
  EXPECT_EQ(renderer.GetPageCount(), 0);
  QImage bitmap;
  EXPECT_EQ(ErrorOf([&] { renderer.RenderPageToBitmap(bitmap, 1, 100, 100, false, false, true); }),
            "There are 0 pageses in document");
}

TEST(PdfRenderer, SaveToStreamWritesTheDocumentOrNothing) {
  TMyChromePDFRender renderer;
  ts::TMemoryStream out;
  Fill(out, "kept");
  out.Seek(0, ts::TSeekOrigin::End);
  EXPECT_FALSE(renderer.SaveToStream(out));
  EXPECT_EQ(Contents(out), "kept");
  const std::string pdf = MakeTestPdf(BlankA4Pages(1));
  Load(renderer, pdf);
  EXPECT_TRUE(renderer.SaveToStream(out));
  EXPECT_EQ(Contents(out), "kept" + pdf);
}

TEST(PdfRenderer, CopyToGivesAnIndependentCopy) {
  const std::string pdf = A4WithRectangle();
  auto source = std::make_unique<TMyChromePDFRender>();
  Load(*source, pdf);
  TMyChromePDFRender copy;
  Load(copy, MakeTestPdf(BlankA4Pages(7)));
  source->CopyTo(copy);
  EXPECT_EQ(copy.GetPageCount(), 2);
  EXPECT_EQ(Saved(copy), pdf);

  // Another document in the source, then no source at all: the copy holds on.
  Load(*source, MakeTestPdf(BlankA4Pages(4)));
  source.reset();
  EXPECT_EQ(Saved(copy), pdf);
  QImage bitmap;
  ASSERT_TRUE(copy.RenderPageToBitmap(bitmap, 1, 100, 100, false, false, true));
  EXPECT_TRUE(IsDark(bitmap, 105, 205));

  // Copying onto itself keeps the document.
  copy.Assign(copy);
  EXPECT_EQ(Saved(copy), pdf);
  TMyChromePDFRender empty;
  copy.Assign(empty);
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.GetDataSize(), 0);
}

TEST(PdfRenderer, PageSizesComeInCentimetresAndEvenRoundedPixels) {
  TestPage half;
  half.width = 36; // half an inch
  half.height = 720;
  TMyChromePDFRender renderer;
  Load(renderer, MakeTestPdf({half, TestPage{}}));
  long double wcm = 0, hcm = 0;
  ASSERT_TRUE(renderer.GetPageSizeCm(1, wcm, hcm));
  EXPECT_NEAR(static_cast<double>(wcm), 1.27, 1e-12);
  EXPECT_NEAR(static_cast<double>(hcm), 25.4, 1e-12);

  std::int32_t w = 0, h = 0;
  // 0.5, 1.5 and 2.5 pixels wide: halves go to the even neighbour.
  ASSERT_TRUE(renderer.GetPageSizePixels(1, 1, 1, w, h));
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 10);
  ASSERT_TRUE(renderer.GetPageSizePixels(1, 3, 3, w, h));
  EXPECT_EQ(w, 2);
  ASSERT_TRUE(renderer.GetPageSizePixels(1, 5, 5, w, h));
  EXPECT_EQ(w, 2);
  ASSERT_TRUE(renderer.GetPageSizePixels(1, 7, 7, w, h));
  EXPECT_EQ(w, 4);
  ASSERT_TRUE(renderer.GetPageSizePixels(1, 2147483647, 2147483647, w, h));
  EXPECT_EQ(h, std::numeric_limits<std::int32_t>::max());
  ASSERT_TRUE(renderer.GetPageSizePixels(2, 100, 100, w, h));
  EXPECT_EQ(w, 827);
  EXPECT_EQ(h, 1169);
}

TEST(PdfRenderer, CallsLeaveTheCallersFloatingPointStateAsItWas) {
  TMyChromePDFRender renderer;
  const std::string pdf = A4WithRectangle();
  std::int32_t w = 0, h = 0;
  SetUnusualFpuState();
  const FpuState before = CurrentFpuState();
  ts::TMemoryStream stream;
  Fill(stream, pdf);
  const bool loaded = renderer.LoadFromStream(stream, 0);
  const FpuState afterLoad = CurrentFpuState();
  const bool measured = renderer.GetPageSizePixels(1, 100, 100, w, h);
  const FpuState afterMeasure = CurrentFpuState();
  bool raised = false;
  try {
    renderer.GetPageSizePixels(3, 100, 100, w, h);
  } catch (const EMyPDFRendererError &) {
    raised = true;
  }
  const FpuState afterRaise = CurrentFpuState();
  SetDefaultFpuState();
  EXPECT_TRUE(loaded);
  EXPECT_TRUE(measured);
  EXPECT_TRUE(raised);
  EXPECT_EQ(afterLoad, before);
  EXPECT_EQ(afterMeasure, before);
  EXPECT_EQ(afterRaise, before);
}

TEST(PdfRenderer, HugePagesGiveANullBitmapAndFalseRatherThanACrash) {
  TestPage huge;
  huge.width = 14400;
  huge.height = 14400;
  TMyChromePDFRender renderer;
  Load(renderer, MakeTestPdf({huge}));
  QImage bitmap(3, 3, QImage::Format_RGB32);
  // 200 inches at 2 000 000 dpi: far beyond what an image can hold.
  EXPECT_FALSE(renderer.RenderPageToBitmap(bitmap, 1, 2000000, 2000000, false, false, true));
  EXPECT_TRUE(bitmap.isNull());
}

namespace {

// A materials-like table with one record whose "VariantText" blob holds the
// given bytes (none: the blob stays null).
std::unique_ptr<ts::TdvoMemTable> MaterialsWith(const std::string &bytes) {
  auto table = std::make_unique<ts::TdvoMemTable>("complects");
  table->AddField<ts::TIntegerField>("VarNo");
  table->AddField<ts::TStringField>("subjname", 255);
  table->AddField<ts::TBlobField>("VariantText");
  table->Open();
  table->Append();
  table->FieldNamed("VarNo").SetAsInteger(0);
  if (!bytes.empty()) {
    auto stream = table->OpenBlobStream(table->FieldNamed("VariantText"), ts::TBlobStreamMode::Write);
    stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  table->Post();
  return table;
}

} // namespace

TEST(PdfRendererFromTable, LoadsTheWholeBlobOfTheCurrentRecord) {
  const std::string pdf = A4WithRectangle();
  auto table = MaterialsWith(pdf);
  TMyChromePDFRender renderer;
  ASSERT_TRUE(renderer.LoadPDFFromDB(&table->FieldNamed("variantText")));
  EXPECT_EQ(renderer.GetPageCount(), 2);
  EXPECT_EQ(Saved(renderer), pdf);
  QImage bitmap;
  ASSERT_TRUE(renderer.RenderPageToBitmap(bitmap, 1, 100, 100, false, false, true));
  EXPECT_TRUE(IsDark(bitmap, 105, 205));

  // A null blob is an empty document.
  auto empty = MaterialsWith("");
  ASSERT_TRUE(renderer.LoadPDFFromDB(&empty->FieldNamed("VariantText")));
  EXPECT_TRUE(renderer.IsEmpty());
  EXPECT_EQ(renderer.GetDataSize(), 0);
}

TEST(PdfRendererFromTable, RefusesAMissingOrNonBlobFieldAndKeepsItsDocument) {
  const std::string pdf = A4WithRectangle();
  auto table = MaterialsWith(pdf);
  TMyChromePDFRender renderer;
  ASSERT_TRUE(renderer.LoadPDFFromDB(&table->FieldNamed("VariantText")));
  EXPECT_EQ(ErrorOf([&] { renderer.LoadPDFFromDB(nullptr); }), "LoadPDFFromDB(Field=nil)");
  EXPECT_EQ(ErrorOf([&] { renderer.LoadPDFFromDB(&table->FieldNamed("subjname")); }),
            "LoadPDFFromDB(Field<>TBLOBField)");
  EXPECT_EQ(ErrorOf([&] { renderer.LoadPDFFromDB(&table->FieldNamed("VarNo")); }),
            "LoadPDFFromDB(Field<>TBLOBField)");
  // A blob field that belongs to no table is the table store's error.
  ts::TBlobField loose;
  loose.SetFieldName("Loose");
  EXPECT_EQ(ErrorOfAnyKind([&] { renderer.LoadPDFFromDB(&loose); }), "Field 'Loose' has no dataset");
  EXPECT_EQ(Saved(renderer), pdf);
}
