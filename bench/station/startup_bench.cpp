// Start-up of the grade-11 station on a 100 MB materials file, from process
// start to its first screen, beside inflating the same file into the same
// temporary file alone. Each side is a fresh process of the same program
// (station_startup_probe), started the same way and timed from just before
// its start to the moment it reports, so both pay the process start; its
// peak memory up to then is its own. The body the start-up loaded, saved
// again, must be the body the inflating wrote.
#include "common/fair_pair.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
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

// What one side's runs showed besides their times.
struct ProbeSide {
  const char *mode;
  std::string summary;  // of the last run
  double peakMb = 0;    // the highest of every run
  double cpu = 0;       // the last run's processor seconds up to its report
};

// Runs the probe in `mode` and returns the seconds from before the spawn to
// the moment it reports.
double RunProbe(ProbeSide &side) {
  std::string out;
  rusage usage{};
  long long start = 0;
  if (!RunToEnd(side.mode, Files().dir.string(), out, usage, start))
    throw std::runtime_error(std::string("the probe failed: ") + side.mode);
  const char *text = out.c_str();
  char *end = nullptr;
  const long long done = std::strtoll(text, &end, 10);
  const long peakKb = std::strtol(end, &end, 10);
  const long long processorNs = std::strtoll(end, &end, 10);
  if (done <= start || peakKb <= 0 || processorNs <= 0) throw std::runtime_error("the probe reported nothing usable: " + out);
  while (*end == ' ') ++end;
  side.summary = end;
  while (!side.summary.empty() && side.summary.back() == '\n') side.summary.pop_back();
  side.peakMb = std::max(side.peakMb, double(peakKb) / 1024.0);
  side.cpu = double(processorNs) / 1e9;
  return double(done - start) / 1e9;
}

// The start-up up to the first screen: application, main window, inflating
// into the temporary file, loading the table from it, audio set-up (scripted
// devices), locating variant 0. The peer: process start and the inflating
// into the temporary file, nothing else.
ProbeSide gStartup{"startup", {}, 0};
ProbeSide gInflate{"inflate", {}, 0};

bench_fair::Pair StartupToFirstScreen() {
  if (Files().bodyBytes == 0) throw std::runtime_error("the materials file could not be made");
  bench_fair::Pair pair;
  pair.peerName = "a process inflating the file alone";
  pair.ours.timedRun = [] { return RunProbe(gStartup); };
  pair.ours.timedRunCpu = [] { return gStartup.cpu; };
  pair.ours.result = [] { return gStartup.summary; };
  pair.peer.timedRun = [] { return RunProbe(gInflate); };
  pair.peer.timedRunCpu = [] { return gInflate.cpu; };
  pair.peer.result = [] { return gInflate.summary; };
  return pair;
}

}  // namespace

int main(int argc, char **argv) {
  bench_fair::Register("Station/StartupToFirstScreen", StartupToFirstScreen);
  const int rc = bench_fair::Main(argc, argv);
  if (gStartup.peakMb > 0)
    std::printf("peak memory up to the report: start-up %.1f MB, inflating alone %.1f MB; body %.1f MB, file %.1f MB\n",
                gStartup.peakMb, gInflate.peakMb, double(Files().bodyBytes) / (1 << 20),
                double(Files().fileBytes) / (1 << 20));
  return rc;
}
