// How long a task page takes to appear: the renderer drawing page 1 of a fresh
// 10-page A4 document (parsed first) and then pages 2 to 10 (reloaded from the
// bytes for every page, as the station does), beside the command-line
// rasteriser that ships with the system's PDF tools doing the same pages at the
// same resolution; the ratios of the medians are printed at the end. The pages
// carry text in two embedded fonts and a picture, as task pages do.
#include "pdf_render/my_chrome_pdf_render.h"

#include "common/ratio_report.h"
#include "table_store/streams.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

void BM_RendererFirstPage(benchmark::State &state) {
  TMyChromePDFRender renderer;
  QImage bitmap;
  int turn = 0;
  for (auto _ : state) {
    LoadAndRender(renderer, Document(turn), 1, bitmap);
    turn ^= 1;
    benchmark::DoNotOptimize(bitmap.constBits());
  }
}
BENCHMARK(BM_RendererFirstPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RendererPages2To10(benchmark::State &state) {
  TMyChromePDFRender renderer;
  QImage bitmap;
  LoadAndRender(renderer, Document(0), 1, bitmap);
  for (auto _ : state) {
    for (int page = 2; page <= 10; ++page)
      LoadAndRender(renderer, Document(0), page, bitmap);
    benchmark::DoNotOptimize(bitmap.constBits());
  }
}
BENCHMARK(BM_RendererPages2To10)->Unit(benchmark::kMillisecond)->UseRealTime();

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

void BM_PdftoppmFirstPage(benchmark::State &state) { RunRasteriser(state, 1, 1); }
BENCHMARK(BM_PdftoppmFirstPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PdftoppmPages2To10(benchmark::State &state) { RunRasteriser(state, 2, 10); }
BENCHMARK(BM_PdftoppmPages2To10)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  // The documents are written with the system's fonts, which need an
  // application object; no window is shown.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  return bench_ratio::RunAndPrintRatios(argc, argv,
                                        {{"BM_RendererFirstPage", "BM_PdftoppmFirstPage"},
                                         {"BM_RendererPages2To10", "BM_PdftoppmPages2To10"}});
}
