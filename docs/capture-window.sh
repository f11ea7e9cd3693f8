#!/usr/bin/env bash
# Runs PROGRAM on an Xvfb display of its own (SIZE, e.g. 800x600) and saves
# its window as OUT (PNG) once the program prints its X window id on
# standard output; then ends both. The program gets the caller's
# environment, with DISPLAY and QT_QPA_PLATFORM=xcb.
#   docs/capture-window.sh OUT SIZE PROGRAM [ARGUMENT...]
set -euo pipefail
out=$1
size=$2
shift 2
tmp=$(mktemp -d)
xvfb_pid=
shown_pid=
cleanup() {
  [ -n "$shown_pid" ] && kill "$shown_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

exec 3> "$tmp/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 "${size}x24" 2> "$tmp/xvfb.log" &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
display=:$(head -n1 "$tmp/display")

DISPLAY=$display QT_QPA_PLATFORM=xcb "$@" > "$tmp/window" &
shown_pid=$!
for _ in $(seq 200); do [ -s "$tmp/window" ] && break; sleep 0.05; done
window=$(head -n1 "$tmp/window")
DISPLAY=$display xwd -silent -id "$window" | convert xwd:- "png:$out"
echo "$out written"
