#!/usr/bin/env bash
# Sets Kestrin up on Debian 12: installs every package it needs (only what is
# missing, so a second run changes nothing), then
#   ./setup.sh          builds everything (the program, the tests, benchmarks)
#   ./setup.sh sample   builds the program and the sample's pattern writer only,
#                       and exports the bundled sample unattended with a pattern file
#   ./setup.sh test     builds everything and runs the test suite
# KESTRIN_WARNINGS_AS_ERRORS=ON makes every compiler warning an error (CI).
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake pkg-config clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  mdbtools mdbtools-dev libglib2.0-dev libsqlite3-dev
  qt6-base-dev qt6-translations-l10n
  libreoffice-calc libreoffice-dev libreoffice-l10n-ja libreoffice-qt5 qtwayland5
  locales poppler-utils unzip
  xvfb xauth x11-utils x11-apps imagemagick weston
  xdg-utils desktop-file-utils shared-mime-info appstream man-db
  dpkg-dev file
  fonts-ipafont-gothic libharfbuzz-dev libfontconfig-dev
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
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=${KESTRIN_BUILD_TYPE:-RelWithDebInfo} \
  -DKESTRIN_WARNINGS_AS_ERRORS=${KESTRIN_WARNINGS_AS_ERRORS:-OFF} >/dev/null
# The sample needs only the program (with its ReadMe.txt) and the writer of
# its pattern file.
targets=()
if [ "${1:-}" = sample ]; then targets=(--target kestrin kestrin_readme sample-pattern); fi
cmake --build "$build" -j"$(nproc)" "${targets[@]}"

case "${1:-}" in
  "") ;;
  sample)
    # A pattern naming this checkout's sample database and a fresh copy of
    # its workbook, run by kestrin as a scheduled export would run it.
    mkdir -p "$build/sample-output"
    out=$(cd "$build/sample-output" && pwd)
    cp sample/sample.xls "$out/sample.xls"
    "$build/sample/sample-pattern" "$out/sample.kst" "$PWD/sample/sample.mdb" "$out/sample.xls"
    status=0
    "$build/app/kestrin" --batch "$out/sample.kst" || status=$?
    if [ "$status" -eq 0 ]; then
      echo "setup: the sample was exported into $out/sample.xls (pattern file: $out/sample.kst)"
    else
      echo "setup: the sample export failed (exit status $status)" >&2
    fi
    exit "$status"
    ;;
  test) exec ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ;;
  *) echo "setup: unknown action '$1' (use sample or test)" >&2; exit 2 ;;
esac
