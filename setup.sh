#!/usr/bin/env bash
# Sets Kestrin up on Debian 12: installs every package it needs (only what is
# missing, so a second run changes nothing), builds it, then optionally
#   ./setup.sh sample   runs the export on the bundled sample
#   ./setup.sh test     runs the test suite
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake pkg-config clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  mdbtools mdbtools-dev libglib2.0-dev libsqlite3-dev
  qt6-base-dev
  libreoffice-calc libreoffice-dev libreoffice-l10n-ja
  locales poppler-utils unzip
  xvfb xauth x11-utils
  fonts-ipafont-gothic
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  echo "setup: installing ${missing[*]}"
  "${sudo[@]}" apt-get update
  # The office comes without recommends: Calc with its window, no extras.
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${KESTRIN_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=${KESTRIN_BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$build" -j"$(nproc)"

case "${1:-}" in
  "") ;;
  sample) exec "$build/sample/run-sample" ;;
  test) exec ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ;;
  *) echo "setup: unknown action '$1' (use sample or test)" >&2; exit 2 ;;
esac
