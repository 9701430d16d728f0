#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the programs need.
# Idempotent: when everything is present it only checks and says nothing.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  build-essential cmake ninja-build pkg-config git python3
  libgtest-dev libgmock-dev libbenchmark-dev
  # the in-memory peer the table store's benchmarks measure against
  libsqlite3-dev
  clang libclang-rt-14-dev
  # declared dependencies
  zlib1g-dev libpng-dev
  # collation
  libicu-dev
  # user interface
  qt6-base-dev qt6-translations-l10n libgl-dev libegl-dev libxkbcommon-dev fonts-liberation2 xvfb xauth
  # audio layer
  libsdl2-dev libsndfile1-dev vorbis-tools espeak-ng sox
  # PDF library (the engine's own classes come with its private headers)
  libpoppler-dev libpoppler-private-dev poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
