#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (under AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and fuzzes each one, starting
# from its seed corpus, for a bounded time.
#
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# New inputs go to build-fuzz/corpus/<target>; the seeds in tests/fuzz/corpus
# are only read. A finding is saved in build-fuzz/findings/ and the script
# exits non-zero.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

bash scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKLT_SANITIZE=ON -DKLT_FUZZ=ON -DKLT_BENCH=OFF >/dev/null
for t in "${targets[@]}"; do
  cmake --build build-fuzz --target "fuzz_$t" -j 4
done

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build-fuzz/findings
status=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  echo "== fuzzing $t for ${seconds}s"
  # Inputs up to a megabyte from the start: materials carry blobs far beyond
  # libFuzzer's default length, which it would only slowly grow towards.
  if ! "build-fuzz/bin/fuzz_$t" -max_total_time="$seconds" -max_len=1048576 -len_control=0 -timeout=10 \
      -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$t-" \
      "build-fuzz/corpus/$t" "tests/fuzz/corpus/$t"; then
    status=1
  fi
done
exit $status
