// Runs the registered benchmarks as BENCHMARK_MAIN does, then prints for each
// pair of our work and its peer the ratio of their median times per
// iteration (the machine is shared and noisy: only ratios count, and run
// with --benchmark_repetitions=5 for medians worth the name). Where both
// sides run in this process, the ratio of their processor times follows,
// which a busy machine disturbs less.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench_ratio {

struct Pair {
  std::string ours;  // benchmark function names, without arguments
  std::string peer;
};

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
        seconds[run.run_name.function_name].push_back(run.real_accumulated_time / double(run.iterations));
        cpuSeconds[run.run_name.function_name].push_back(run.cpu_accumulated_time / double(run.iterations));
      }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::vector<double>> seconds;
  std::map<std::string, std::vector<double>> cpuSeconds;
};

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline int RunAndPrintRatios(int argc, char **argv, const std::vector<Pair> &pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const Pair &p : pairs) {
    const auto ours = reporter.seconds.find(p.ours);
    const auto peer = reporter.seconds.find(p.peer);
    if (ours == reporter.seconds.end() || peer == reporter.seconds.end()) continue;
    const double a = Median(ours->second);
    const double b = Median(peer->second);
    std::printf("ratio %s / %s = %.1f ms / %.1f ms = %.3f (medians of %zu and %zu runs)\n", p.ours.c_str(),
                p.peer.c_str(), a * 1e3, b * 1e3, a / b, ours->second.size(), peer->second.size());
    // A peer in a process of its own shows next to no processor time here.
    const double cpuA = Median(reporter.cpuSeconds[p.ours]);
    const double cpuB = Median(reporter.cpuSeconds[p.peer]);
    if (cpuA > a / 2 && cpuB > b / 2)
      std::printf("      processor time: %.1f ms / %.1f ms = %.3f\n", cpuA * 1e3, cpuB * 1e3, cpuA / cpuB);
  }
  return 0;
}

}  // namespace bench_ratio
