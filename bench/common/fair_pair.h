// Our work beside its peer, measured so that only their ratio counts: both
// sides do the same work on the same data in this process, each is warmed
// before anything is timed, the side that runs first alternates from one
// repetition to the next, every repetition is printed, and the figure kept is
// the median of the per-repetition ratios (ours / peer; below 1 we are
// faster). After every run each side says what its work produced; the two
// must agree, or the pair fails and the program ends non-zero.
//
// Each side's processor time (every thread of this process; for a side in
// a process of its own, that process's) is printed beside its wall time,
// and the ratio of processor times beside the ratio of wall times; the
// wall-time ratio is the pair's figure.
//
// A pair is a Google Benchmark of one iteration, so --benchmark_filter picks
// pairs; its time is the median of our side's times, and its counters carry
// both medians and the ratio. --pair_repetitions=N (default 5, at least 1)
// and --pair_warmups=N (default 1) apply to every pair.
#pragma once

#include <functional>
#include <string>

namespace bench_fair {

struct Side {
  std::function<void()> setUp;          // before every run, untimed
  std::function<void()> run;            // the work that is timed
  std::function<std::string()> result;  // after every run, untimed; both sides must say the same
  std::function<void()> tearDown;       // after the result, untimed
  // In place of `run`, for work timed where it happens (in a process of its
  // own): does the work and returns its seconds.
  std::function<double()> timedRun;
  // With `timedRun`: the processor seconds that work took (its process's,
  // up to its end); without it the processor time is not known.
  std::function<double()> timedRunCpu;
};

struct Pair {
  Side ours;
  Side peer;
  std::string peerName;  // what the peer is, for the printout
  int repetitions = 0;   // 0: the command line's count
  // Work items in one run (records, say): the printout adds each side's
  // nanoseconds per item. 0: not shown.
  long long items = 0;
  // Also weigh the heap each side's work holds when its run ends: the bytes
  // in use by the allocator then, less those in use before its set-up, read
  // the same way for both sides (for a side run in this process only).
  bool heap = false;
};

// Registers a pair under `name`; `make` builds its data and sides only when
// the pair is selected, and everything it holds is freed when the pair ends.
void Register(const std::string &name, std::function<Pair()> make);

// Runs the registered benchmarks (pairs and plain ones), then prints a table
// of every pair's medians. Returns non-zero when any pair's results differed.
int Main(int argc, char **argv);

}  // namespace bench_fair
