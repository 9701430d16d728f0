// Start-up of the grade-11 station on a 100 MB materials file, from process
// start to its first screen, against inflating the same file alone; the
// ratio of their medians is printed at the end. Each run is a fresh process
// (station_startup_probe), so its peak memory is its own.
#include <benchmark/benchmark.h>

#include "common/ratio_report.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

extern char **environ;

namespace {

std::string ProbePath();
bool RunToEnd(const char *mode, const std::string &dir, std::string &out, rusage &usage, long long &start);

// The materials file, made by the probe so that this process stays small:
// a process started from it begins with its size.
struct Materials {
  std::filesystem::path dir;
  std::int64_t bodyBytes = 0;
  std::int64_t fileBytes = 0;
  Materials() {
    char tmpl[] = "/tmp/station_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    std::string out;
    rusage usage{};
    long long start = 0;
    if (RunToEnd("make", dir.string(), out, usage, start)) bodyBytes = std::atoll(out.c_str());
    std::error_code ec;
    fileBytes = std::int64_t(std::filesystem::file_size(dir / "klt-re11.kim", ec));
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

std::string ProbePath() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "station_startup_probe";
  self[n] = '\0';
  return (std::filesystem::path(self).parent_path() / "station_startup_probe").string();
}

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct ProbeRun {
  bool ok = false;
  double seconds = 0;
  double peakMb = 0;
};

// Runs the probe and collects what it prints and its resource use; `start`
// is taken right before the process is started.
bool RunToEnd(const char *mode, const std::string &dir, std::string &out, rusage &usage, long long &start) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipefd[0]);
  const std::string probe = ProbePath();
  char *args[] = {const_cast<char *>(probe.c_str()), const_cast<char *>(mode), const_cast<char *>(dir.c_str()),
                  nullptr};
  start = NowNs();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, probe.c_str(), &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    return false;
  }
  char buf[64];
  for (ssize_t n; (n = read(pipefd[0], buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
  close(pipefd[0]);
  int status = 0;
  wait4(pid, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs the probe in `mode` and measures from before the spawn to the moment
// it reports.
ProbeRun RunProbe(const char *mode) {
  ProbeRun run;
  std::string out;
  rusage usage{};
  long long start = 0;
  if (!RunToEnd(mode, Files().dir.string(), out, usage, start)) return run;
  const long long done = std::atoll(out.c_str());
  run.ok = done > start;
  run.seconds = double(done - start) / 1e9;
  run.peakMb = double(usage.ru_maxrss) / 1024.0;
  return run;
}

void Measure(benchmark::State &state, const char *mode) {
  if (Files().bodyBytes == 0) {
    state.SkipWithError("the materials file could not be made");
    return;
  }
  double peak = 0;
  for (auto _ : state) {
    const ProbeRun run = RunProbe(mode);
    if (!run.ok) {
      state.SkipWithError("the probe failed");
      break;
    }
    state.SetIterationTime(run.seconds);
    peak = std::max(peak, run.peakMb);
  }
  state.SetBytesProcessed(state.iterations() * Files().bodyBytes);
  state.counters["peak_rss_MB"] = peak;
  state.counters["body_MB"] = double(Files().bodyBytes) / (1 << 20);
  state.counters["file_MB"] = double(Files().fileBytes) / (1 << 20);
}

// Process start, inflating into the temporary body, and nothing else.
void BM_InflateAlone(benchmark::State &state) { Measure(state, "inflate"); }
BENCHMARK(BM_InflateAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Process start to the first screen: application, main window, inflating,
// loading the table, audio set-up (scripted devices), locating variant 0.
void BM_StartupToFirstScreen(benchmark::State &state) { Measure(state, "startup"); }
BENCHMARK(BM_StartupToFirstScreen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char **argv) {
  return bench_ratio::RunAndPrintRatios(argc, argv, {{"BM_StartupToFirstScreen", "BM_InflateAlone"}});
}
