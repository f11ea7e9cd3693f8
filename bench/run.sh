#!/usr/bin/env bash
# Builds the benchmarks (optimised) and runs every one of them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BENCH_BUILD_DIR:-build-bench}
log="$build/bench-build.log"
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release && cmake --build "$build" -j"$(nproc)"; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "bench: the build failed; the whole log is in $log" >&2
  exit 1
fi
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
