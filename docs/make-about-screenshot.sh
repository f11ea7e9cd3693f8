#!/usr/bin/env bash
# Remakes docs/about-box.png: the About box as a real window on an Xvfb
# display of its own. Run from anywhere after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BUILD_DIR:-build}
out=docs/about-box.png
cmake --build "$build" --target show_about >/dev/null
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
Xvfb -displayfd 3 -nolisten tcp -screen 0 800x600x24 2> "$tmp/xvfb.log" &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
display=:$(head -n1 "$tmp/display")

DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tests/menus/show_about" > "$tmp/window" &
shown_pid=$!
for _ in $(seq 100); do [ -s "$tmp/window" ] && break; sleep 0.05; done
window=$(head -n1 "$tmp/window")
DISPLAY=$display xwd -silent -id "$window" | convert xwd:- "png:$out"
echo "$out written"
