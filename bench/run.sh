#!/usr/bin/env bash
# Builds the benchmarks (optimised) and runs every one of them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
