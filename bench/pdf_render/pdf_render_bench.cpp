// How long a task page takes to appear: the renderer drawing page 1 of a fresh
// 10-page A4 document (parsed first) and then pages 2 to 10 (reloaded from the
// bytes for every page, as the station does), beside the PDF engine's own
// classes drawing the same pages in this process: a parsed document and a
// drawing device with 32-bit pixels, smoothed glyphs and lines, no hinting,
// 100 dpi, as the renderer asks of them. Both sides' pixels must be the same.
// The pages carry text in two embedded fonts and a picture, as task pages do.
//
// The command-line rasteriser that ships with the engine is timed on the same
// pages as an end-to-end figure only: it also pays a process start, its font
// set-up and a picture file written per page.
#include "pdf_render/my_chrome_pdf_render.h"

#include "common/digest.h"
#include "common/fair_pair.h"
#include "table_store/streams.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <splash/SplashBitmap.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

QImage Picture() {
  QImage picture(400, 300, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 3) % 256, int(128 + 127 * std::sin(x * 0.05 + y * 0.03))));
  return picture;
}

// Ten A4 task pages; `title` lands in the document's information only.
std::string TaskDocument(const QString &title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setTitle(title);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setResolution(300);
  const QImage picture = Picture();
  QPainter painter(&writer);
  for (int page = 1; page <= 10; ++page) {
    if (page > 1)
      writer.newPage();
    QFont heading("Liberation Sans");
    heading.setPixelSize(36);
    heading.setBold(true);
    painter.setFont(heading);
    painter.drawText(150, 120, QString("Вариант 1. Задание %1").arg(page));
    QFont body("Liberation Serif");
    body.setPixelSize(40);
    painter.setFont(body);
    for (int line = 1; line <= 40; ++line)
      painter.drawText(150, 140 + line * 60,
                       QString("%1. Choose the word that fits the gap: выберите слово, которое подходит.").arg(line));
    painter.drawImage(QRect(1400, 2700, 800, 600), picture);
  }
  painter.end();
  return bytes.toStdString();
}

// Two documents that differ only in their title, so that taking turns defeats
// the library's parsed-document cache.
const std::string &Document(int which) {
  static const std::string documents[2] = {TaskDocument("first"), TaskDocument("second")};
  return documents[which];
}

void LoadAndRender(TMyChromePDFRender &renderer, const std::string &bytes, int page, QImage &bitmap) {
  ts::TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.SetPosition(0);
  renderer.LoadFromStream(stream, 0);
  if (!renderer.RenderPageToBitmap(bitmap, page, 100, 100, false, false, true))
    throw std::runtime_error("page " + std::to_string(page) + " was not drawn");
}

std::string PixelDigest(const unsigned char *pixels, int width, int height, std::ptrdiff_t rowBytes) {
  bench_fair::Digest digest;
  for (int y = 0; y < height; ++y)
    digest.Add(pixels + y * rowBytes, static_cast<std::size_t>(width) * 4);
  return std::to_string(width) + "x" + std::to_string(height) + " pixels, digest " + digest.Hex();
}

std::string PixelDigest(const QImage &bitmap) {
  return PixelDigest(bitmap.constBits(), bitmap.width(), bitmap.height(), bitmap.bytesPerLine());
}

// The renderer as the station drives it.
struct Renderer {
  TMyChromePDFRender renderer;
  QImage bitmap;
  int turn = 0;
};

void IgnoreEngineMessage(ErrorCategory, Goffset, const char *) {}

// The engine's classes alone: the document parsed from the bytes in place,
// one device kept for it across pages.
class Engine {
public:
  Engine() : params_(IgnoreEngineMessage) {}
  ~Engine() { Close(); }
  void Open(const std::string &bytes) {
    Close();
    document_ = std::make_unique<PDFDoc>(
        new MemStream(const_cast<char *>(bytes.data()), 0, static_cast<Goffset>(bytes.size()), Object(objNull)));
    if (!document_->isOk())
      throw std::runtime_error("the engine cannot read the document");
    SplashColor paper = {0xFF, 0xFF, 0xFF, 0xFF};
    device_ = std::make_unique<SplashOutputDev>(splashModeXBGR8, 4, false, paper, true);
    device_->setFontAntialias(true);
    device_->setVectorAntialias(true);
    device_->setFreeTypeHinting(false, false);
    device_->startDoc(document_.get());
  }
  void Draw(int page) { document_->displayPage(device_.get(), page, 100, 100, 0, false, true, false); }
  std::string Pixels() const {
    SplashBitmap *bitmap = device_->getBitmap();
    return PixelDigest(bitmap->getDataPtr(), bitmap->getWidth(), bitmap->getHeight(), bitmap->getRowSize());
  }
  int turn = 0;

private:
  void Close() {
    device_.reset();
    document_.reset();
  }
  GlobalParamsIniter params_;
  std::unique_ptr<PDFDoc> document_;
  std::unique_ptr<SplashOutputDev> device_;
};

// Page 1 of a document not seen before: the two documents take turns.
bench_fair::Pair FirstPage() {
  auto ours = std::make_shared<Renderer>();
  auto engine = std::make_shared<Engine>();
  bench_fair::Pair pair;
  pair.peerName = "PDF engine in process";
  pair.ours.run = [ours] {
    LoadAndRender(ours->renderer, Document(ours->turn), 1, ours->bitmap);
    ours->turn ^= 1;
  };
  pair.ours.result = [ours] { return PixelDigest(ours->bitmap); };
  pair.peer.run = [engine] {
    engine->Open(Document(engine->turn));
    engine->Draw(1);
    engine->turn ^= 1;
  };
  pair.peer.result = [engine] { return engine->Pixels(); };
  return pair;
}

// Pages 2 to 10 of the document already open; the last page's pixels are
// compared.
bench_fair::Pair Pages2To10() {
  auto ours = std::make_shared<Renderer>();
  auto engine = std::make_shared<Engine>();
  LoadAndRender(ours->renderer, Document(0), 1, ours->bitmap);
  engine->Open(Document(0));
  engine->Draw(1);
  bench_fair::Pair pair;
  pair.peerName = "PDF engine in process";
  pair.ours.run = [ours] {
    for (int page = 2; page <= 10; ++page)
      LoadAndRender(ours->renderer, Document(0), page, ours->bitmap);
  };
  pair.ours.result = [ours] { return PixelDigest(ours->bitmap); };
  pair.peer.run = [engine] {
    for (int page = 2; page <= 10; ++page)
      engine->Draw(page);
  };
  pair.peer.result = [engine] { return engine->Pixels(); };
  return pair;
}

class RasteriserFolder {
public:
  RasteriserFolder() : folder_(fs::temp_directory_path() / ("pdf_bench_" + std::to_string(::getpid()))) {
    fs::create_directories(folder_);
    std::ofstream(folder_ / "task.pdf", std::ios::binary) << Document(0);
  }
  ~RasteriserFolder() { fs::remove_all(folder_); }
  std::string Command(int first, int last) const {
    return "pdftoppm -r 100 -f " + std::to_string(first) + " -l " + std::to_string(last) + " '" +
           (folder_ / "task.pdf").string() + "' '" + (folder_ / "page").string() + "'";
  }

private:
  fs::path folder_;
};

void RunRasteriser(benchmark::State &state, int first, int last) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0) {
    state.SkipWithError("pdftoppm is not installed");
    return;
  }
  RasteriserFolder folder;
  const std::string command = folder.Command(first, last);
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("pdftoppm failed");
      break;
    }
  }
}

// End to end on the command line, not a peer: no ratio is taken.
void BM_CommandLinePdftoppmFirstPage(benchmark::State &state) { RunRasteriser(state, 1, 1); }
BENCHMARK(BM_CommandLinePdftoppmFirstPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CommandLinePdftoppmPages2To10(benchmark::State &state) { RunRasteriser(state, 2, 10); }
BENCHMARK(BM_CommandLinePdftoppmPages2To10)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  // The documents are written with the system's fonts, which need an
  // application object; no window is shown.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  bench_fair::Register("Pdf/FirstPage", FirstPage);
  bench_fair::Register("Pdf/Pages2To10", Pages2To10);
  return bench_fair::Main(argc, argv);
}
