#!/usr/bin/env bash
# Remakes docs/main-window.png: the main window on an Xvfb display of its
# own, with engine doubles behind it. Run from anywhere after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BUILD_DIR:-build}
cmake --build "$build" --target window-screenshot >/dev/null
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
DISPLAY=":$n" QT_QPA_PLATFORM=xcb "$build/tests/app/window-screenshot" docs/main-window.png
echo "docs/main-window.png written"
