// How long a task page takes to appear: the renderer drawing page 1 of a fresh
// 10-page document (parsed first) and then pages 2 to 10 (reloaded from the
// bytes for every page, as the station does), beside the command-line
// rasteriser that ships with the system's PDF tools doing the same pages.
#include "pdf_render/my_chrome_pdf_render.h"

#include "table_store/streams.h"
#include "test_pdf_maker.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::vector<TestPage> TaskPages() {
  std::vector<TestPage> pages(10);
  for (std::size_t p = 0; p < pages.size(); ++p) {
    for (int line = 0; line < 50; ++line)
      pages[p].lines.push_back("Task " + std::to_string(p + 1) + ", line " + std::to_string(line + 1) +
                               ": choose the word that fits the gap in the sentence below.");
    for (int box = 0; box < 6; ++box)
      pages[p].blackRects.push_back({400, 100.0 + box * 110, 120, 2});
  }
  return pages;
}

// Two documents that differ only in a comment, so that taking turns defeats
// the library's parsed-document cache.
const std::string &Document(int which) {
  static const std::string documents[2] = {MakeTestPdf(TaskPages(), "first"), MakeTestPdf(TaskPages(), "second")};
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
BENCHMARK(BM_RendererFirstPage)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_RendererPages2To10)->Unit(benchmark::kMillisecond);

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

BENCHMARK_MAIN();
