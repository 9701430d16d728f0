#include "common/fair_pair.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace bench_fair {

namespace {

int gRepetitions = 5;
int gWarmups = 1;
bool gFailed = false;

struct Summary {
  std::string name;
  std::string peerName;
  int repetitions = 0;
  double ours = 0;  // seconds, medians
  double peer = 0;
  double ratio = 0;       // median of the per-repetition ratios
  double oursCpu = -1;    // processor seconds, medians; < 0 where not known
  double peerCpu = -1;
  double cpuRatio = -1;   // median of the per-repetition ratios of processor times
  long long items = 0;
  double oursHeap = -1;  // bytes, medians; < 0 when not weighed
  double peerHeap = -1;
  std::string failure;  // why the pair has no figures
};

std::vector<std::string> &PairNames() {
  static std::vector<std::string> names;
  return names;
}

// The console shows a pair by its own lines only: the frame's processor
// time of a pair would be that of its set-up, warm-ups and both sides.
class PlainRunsReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    std::vector<Run> plain;
    for (const Run &run : runs)
      if (std::find(PairNames().begin(), PairNames().end(), run.run_name.function_name) == PairNames().end())
        plain.push_back(run);
    if (!plain.empty()) ConsoleReporter::ReportRuns(plain);
  }
};

std::vector<Summary> &Summaries() {
  static std::vector<Summary> summaries;
  return summaries;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Measured {
  double wall = 0;  // seconds
  double cpu = -1;  // processor seconds; < 0 when not known
  double heap = 0;  // bytes the work holds when it ends, when weighed
};

double HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return double(info.uordblks) + double(info.hblkhd);
}

Measured RunOnce(Side &side, std::string &result, bool weighHeap) {
  const double heapBefore = weighHeap ? HeapInUse() : 0;
  if (side.setUp) side.setUp();
  Measured m;
  if (side.timedRun) {
    m.wall = side.timedRun();
    if (side.timedRunCpu) m.cpu = side.timedRunCpu();
  } else {
    const double cpu = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    side.run();
    const auto stop = std::chrono::steady_clock::now();
    m.cpu = ProcessCpuSeconds() - cpu;
    m.wall = std::chrono::duration<double>(stop - start).count();
  }
  if (weighHeap) m.heap = HeapInUse() - heapBefore;
  result = side.result ? side.result() : std::string();
  if (side.tearDown) side.tearDown();
  return m;
}

// A side's processor time as printed beside its wall time.
std::string CpuText(double seconds) {
  if (seconds < 0) return "processor time not known";
  char text[48];
  std::snprintf(text, sizeof text, "processor %.3f ms", seconds * 1e3);
  return text;
}

std::string Shown(const std::string &text) {
  constexpr std::size_t kShown = 100;
  return text.size() <= kShown ? text : text.substr(0, kShown) + "...";
}

// Runs ours and the peer in the given order; false when their results differ.
bool RunBoth(Pair &pair, bool oursFirst, Measured &ours, Measured &peer, std::string &result) {
  std::string oursResult, peerResult;
  if (oursFirst) {
    ours = RunOnce(pair.ours, oursResult, pair.heap);
    peer = RunOnce(pair.peer, peerResult, pair.heap);
  } else {
    peer = RunOnce(pair.peer, peerResult, pair.heap);
    ours = RunOnce(pair.ours, oursResult, pair.heap);
  }
  if (oursResult != peerResult) {
    std::fflush(stdout);
    std::fprintf(stderr, "RESULTS DIFFER\n  ours: %s\n  peer: %s\n", Shown(oursResult).c_str(),
                 Shown(peerResult).c_str());
    return false;
  }
  result = std::move(oursResult);
  return true;
}

void RunPair(benchmark::State &state, const std::string &name, const std::function<Pair()> &make) {
  for (auto _ : state) {
    try {
      Pair pair = make();
      const int repetitions = pair.repetitions > 0 ? pair.repetitions : gRepetitions;
      Measured ours, peer;
      std::string result;
      for (int w = 0; w < gWarmups; ++w)
        if (!RunBoth(pair, w % 2 == 0, ours, peer, result)) throw std::runtime_error("the results differ");
      std::vector<double> oursTimes, peerTimes, ratios, oursCpus, peerCpus, cpuRatios, oursHeaps, peerHeaps;
      for (int rep = 0; rep < repetitions; ++rep) {
        const bool oursFirst = rep % 2 == 0;
        if (!RunBoth(pair, oursFirst, ours, peer, result)) throw std::runtime_error("the results differ");
        oursTimes.push_back(ours.wall);
        peerTimes.push_back(peer.wall);
        ratios.push_back(ours.wall / peer.wall);
        std::printf("%s repetition %d/%d (%s first): ours %.3f ms (%s), peer %.3f ms (%s), ratio %.3f", name.c_str(),
                    rep + 1, repetitions, oursFirst ? "ours" : "peer", ours.wall * 1e3, CpuText(ours.cpu).c_str(),
                    peer.wall * 1e3, CpuText(peer.cpu).c_str(), ours.wall / peer.wall);
        if (ours.cpu >= 0 && peer.cpu > 0) {
          oursCpus.push_back(ours.cpu);
          peerCpus.push_back(peer.cpu);
          cpuRatios.push_back(ours.cpu / peer.cpu);
          std::printf(", processor-time ratio %.3f", ours.cpu / peer.cpu);
        }
        if (pair.heap) {
          oursHeaps.push_back(ours.heap);
          peerHeaps.push_back(peer.heap);
          std::printf("; heap held: ours %.1f MB, peer %.1f MB", ours.heap / 1e6, peer.heap / 1e6);
        }
        std::printf("\n");
      }
      Summary s;
      s.name = name;
      s.peerName = pair.peerName;
      s.repetitions = repetitions;
      s.ours = Median(oursTimes);
      s.peer = Median(peerTimes);
      s.ratio = Median(ratios);
      if (cpuRatios.size() == ratios.size()) {
        s.oursCpu = Median(oursCpus);
        s.peerCpu = Median(peerCpus);
        s.cpuRatio = Median(cpuRatios);
      }
      s.items = pair.items;
      if (pair.heap) {
        s.oursHeap = Median(oursHeaps);
        s.peerHeap = Median(peerHeaps);
      }
      std::printf("%s: median of %d repetitions beside %s: ours %.3f ms (%s), peer %.3f ms (%s), ratio %.3f",
                  name.c_str(), repetitions, s.peerName.c_str(), s.ours * 1e3, CpuText(s.oursCpu).c_str(),
                  s.peer * 1e3, CpuText(s.peerCpu).c_str(), s.ratio);
      if (s.cpuRatio >= 0) std::printf(", processor-time ratio %.3f", s.cpuRatio);
      if (s.items > 0)
        std::printf(", per item: ours %.0f ns, peer %.0f ns", s.ours * 1e9 / double(s.items),
                    s.peer * 1e9 / double(s.items));
      if (s.oursHeap >= 0)
        std::printf(", heap held: ours %.1f MB, peer %.1f MB, ratio %.3f", s.oursHeap / 1e6, s.peerHeap / 1e6,
                    s.oursHeap / s.peerHeap);
      std::printf("; both sides: %s\n", Shown(result).c_str());
      std::fflush(stdout);
      state.SetIterationTime(s.ours);
      state.counters["ours_ms"] = s.ours * 1e3;
      state.counters["peer_ms"] = s.peer * 1e3;
      state.counters["ratio"] = s.ratio;
      Summaries().push_back(std::move(s));
    } catch (const std::exception &e) {
      gFailed = true;
      std::fflush(stdout);
      std::fprintf(stderr, "%s FAILED: %s\n", name.c_str(), e.what());
      Summary s;
      s.name = name;
      s.failure = e.what();
      Summaries().push_back(std::move(s));
      state.SkipWithError(e.what());
    }
  }
}

// Takes --NAME=N out of the arguments; false when it is there but not a count.
bool TakeCount(int &argc, char **argv, std::string_view name, int least, int &value) {
  const std::string prefix = "--" + std::string(name) + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) != 0) continue;
    char *end = nullptr;
    const long n = std::strtol(argv[i] + prefix.size(), &end, 10);
    if (end == argv[i] + prefix.size() || *end != '\0' || n < least || n > 1000) {
      std::fprintf(stderr, "%s needs a whole number from %d to 1000\n", prefix.c_str(), least);
      return false;
    }
    value = int(n);
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    --i;
  }
  return true;
}

void PrintSummaries() {
  if (Summaries().empty()) return;
  std::printf("\n%-40s %12s %12s %8s %12s %12s %10s  %s\n", "pair: medians (ours / peer)", "ours ms", "peer ms",
              "ratio", "ours cpu ms", "peer cpu ms", "cpu ratio", "peer");
  for (const Summary &s : Summaries()) {
    if (!s.failure.empty()) {
      std::printf("%-40s FAILED: %s\n", s.name.c_str(), s.failure.c_str());
      continue;
    }
    char cpu[3][32] = {"-", "-", "-"};
    if (s.cpuRatio >= 0) {
      std::snprintf(cpu[0], sizeof cpu[0], "%.3f", s.oursCpu * 1e3);
      std::snprintf(cpu[1], sizeof cpu[1], "%.3f", s.peerCpu * 1e3);
      std::snprintf(cpu[2], sizeof cpu[2], "%.3f", s.cpuRatio);
    }
    std::printf("%-40s %12.3f %12.3f %8.3f %12s %12s %10s  %s (median of %d repetitions)\n", s.name.c_str(),
                s.ours * 1e3, s.peer * 1e3, s.ratio, cpu[0], cpu[1], cpu[2], s.peerName.c_str(), s.repetitions);
    if (s.items > 0)
      std::printf("%-40s %9.0f ns %9.0f ns  per item, %lld items\n", "", s.ours * 1e9 / double(s.items),
                  s.peer * 1e9 / double(s.items), s.items);
    if (s.oursHeap >= 0)
      std::printf("%-40s %9.1f MB %9.1f MB %8.3f  heap held when the work ends\n", "", s.oursHeap / 1e6,
                  s.peerHeap / 1e6, s.oursHeap / s.peerHeap);
  }
}

}  // namespace

void Register(const std::string &name, std::function<Pair()> make) {
  PairNames().push_back(name);
  benchmark::RegisterBenchmark(name.c_str(),
                               [name, make](benchmark::State &state) { RunPair(state, name, make); })
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

int Main(int argc, char **argv) {
  if (!TakeCount(argc, argv, "pair_repetitions", 1, gRepetitions) || !TakeCount(argc, argv, "pair_warmups", 0, gWarmups))
    return 2;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  PlainRunsReporter console;
  benchmark::RunSpecifiedBenchmarks(&console);
  benchmark::Shutdown();
  PrintSummaries();
  std::fflush(stdout);
  if (gFailed) std::fprintf(stderr, "a pair failed: its figures are not to be trusted\n");
  return gFailed ? 1 : 0;
}

}  // namespace bench_fair
