// Start-up on a 100 MB materials file against inflating the same file alone.
#include "edition_settings.h"
#include "frame.h"
#include "main_window.h"
#include "materials_file.h"
#include "qt_station_loop.h"
#include "message_service.h"

#include "platform/audio/audio_seam.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr std::size_t kBodyBytes = 100u << 20;

// A body like the materials': mostly already-compressed media, some text.
std::string MakeBody() {
  std::string body;
  body.reserve(kBodyBytes);
  std::mt19937_64 rng(11);
  while (body.size() < kBodyBytes) {
    for (int i = 0; i < 4096 && body.size() < kBodyBytes; ++i) {
      const auto v = rng();
      body.append(reinterpret_cast<const char *>(&v), std::min<std::size_t>(8, kBodyBytes - body.size()));
    }
    for (int i = 0; i < 200 && body.size() < kBodyBytes; ++i)
      body.append("line of option text " + std::to_string(i) + "\r\n");
  }
  body.resize(kBodyBytes);
  return body;
}

struct Materials {
  std::filesystem::path dir;
  std::string container;
  Materials() {
    char tmpl[] = "/tmp/station_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    container = station::PackMaterials(MakeBody());
    std::ofstream(dir / "klt-re11.kim", std::ios::binary) << container;
  }
  ~Materials() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Materials &Files() {
  static Materials m;
  return m;
}

class BlankFrame : public station::TFrame {
 public:
  using TFrame::TFrame;
  void Start(std::optional<int>) override {}
};

// Answers every box with OK at once.
class SilentMessages : public station::MessageService {
 public:
  station::BoxAnswer Show(const station::BoxRequest &) override { return station::BoxAnswer::Ok; }
};

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;
}

void BM_InflateAlone(benchmark::State &state) {
  const std::string &container = Files().container;
  std::string body;
  for (auto _ : state) {
    if (station::InflateMaterials(container, body) != station::InflateResult::Ok) state.SkipWithError("inflate");
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * std::int64_t(kBodyBytes));
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_InflateAlone)->Unit(benchmark::kMillisecond)->Iterations(3);

// From creating the main window to its first screen: open, inflate into the
// temporary file, load, audio set-up (scripted devices), first screen.
void BM_StartupToFirstScreen(benchmark::State &state) {
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(Files().dir);
  station::EditionSettings settings = station::Grade11Settings();
  settings.screens[1] = {[](station::TfrmMain &m) { return std::make_unique<BlankFrame>(m); }, std::nullopt};
  station::QtStationLoop loop;
  SilentMessages boxes;
  for (auto _ : state) {
    klt::audio::seam::UseScriptedDevices({});
    station::TfrmMain window(settings, station::StationServices{loop, boxes});
    if (!window.FormCreate() || !window.CurrentFrame()) state.SkipWithError("start-up failed");
  }
  std::filesystem::current_path(old);
  state.SetBytesProcessed(state.iterations() * std::int64_t(kBodyBytes));
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_StartupToFirstScreen)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
