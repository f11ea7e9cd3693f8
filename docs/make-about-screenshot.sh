#!/usr/bin/env bash
# Remakes docs/about-box.png: the About box as a real window on an Xvfb
# display of its own. Run from anywhere after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BUILD_DIR:-build}
cmake --build "$build" --target show_about >/dev/null
docs/capture-window.sh docs/about-box.png 800x600 "$build/tests/app/show_about"
