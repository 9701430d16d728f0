#!/usr/bin/env bash
# Installs what is needed, builds the station program of the chosen edition,
# the PDF library it loads and the demo materials (with the tools that make
# them), prepares a working folder with them and starts the station there:
# the grade-11 edition by default, the grade-7 edition with
#   bash scripts/run.sh 7
#
# The station refuses to close until it is stopped from its own screens; end
# it from this terminal with Ctrl+C. On a machine without a display, run this
# script under a virtual one (see README.md).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
case "${1:-11}" in
  11) grade=grade11 kim=klt-re11.kim work="$root/build/station-re11" program=Korvell_KLT_RE11 ;;
  7) grade=grade07 kim=klt-fl7.kim work="$root/build/station-vo07" program=Korvell_KLT_VO07 ;;
  *) echo "usage: bash scripts/run.sh [11|7]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what the run needs: tests, benchmarks and fuzz targets are left to
# scripts/test.sh.
cmake --build build -j "$(nproc)" --target "$program" pdf_library "${grade}_materials"

# The station reads its materials, test sound and encoder from its working
# folder (the encoder also from PATH) and writes the answers there.
demo="$root/build/demo/$grade"
if [ ! -f "$demo/$kim" ]; then
  echo "The demo materials file $demo/$kim was not made (it needs kimtool)." >&2
  exit 1
fi
if ! command -v oggenc >/dev/null; then
  echo "The Ogg Vorbis encoder oggenc is not on PATH (package vorbis-tools)." >&2
  exit 1
fi
mkdir -p "$work/KIM"
cp "$demo/$kim" "$work/"
cp "$demo/KIM/TestWAV.wav" "$work/KIM/"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: run this script as  xvfb-run -a bash scripts/run.sh $*" >&2
  exit 1
fi
echo "Starting $program in $work"
cd "$work"
exec "$root/build/bin/$program"
