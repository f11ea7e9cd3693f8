#!/usr/bin/env bash
# Builds the benchmarks (optimised) and runs them: all of them, or those named
# (bench/run.sh bench_pipeline). bench_pipeline compares the export with the
# mdb-export + soffice --convert-to pipeline; KESTRIN_BENCH_ROUNDS sets its rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BENCH_BUILD_DIR:-build-bench}
log="$build/bench-build.log"
if [ "$#" -gt 0 ]; then
  benches=("$@")
else
  benches=()
  for f in bench/bench_*.cpp; do benches+=("$(basename "$f" .cpp)"); done
fi
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release &&
  cmake --build "$build" -j"$(nproc)" --target "${benches[@]}"; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "bench: the build failed; the whole log is in $log" >&2
  exit 1
fi
for name in "${benches[@]}"; do
  b="$build/bench/$name"
  [ -x "$b" ] || { echo "bench: no benchmark $name" >&2; exit 1; }
  echo "== $name"
  "$b"
done
