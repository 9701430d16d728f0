#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test twice: once in
# an ordinary build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== build (RelWithDebInfo)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

echo "== build (sanitizers)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKLT_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
echo "== tests under sanitizers"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600
