#!/usr/bin/env bash
# Remakes docs/file-dialog-ja.png: the database dialog as a real window on an
# Xvfb display of its own, on a Japanese desktop (LANG=ja_JP.UTF-8), opened
# on a folder holding databases of both kinds, a workbook and a text file.
# Run from anywhere after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BUILD_DIR:-build}
out=docs/file-dialog-ja.png
cmake --build "$build" --target show_file_dialog >/dev/null
tmp=$(mktemp -d)
xvfb_pid=
shown_pid=
cleanup() {
  [ -n "$shown_pid" ] && kill "$shown_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

folder="$tmp/データ"
mkdir -p "$folder/古いもの"
for name in 顧客.mdb 売上.accdb 月次集計.xls メモ.txt; do
  cp sample/sample.mdb "$folder/$name"
done

exec 3> "$tmp/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 2> "$tmp/xvfb.log" &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
display=:$(head -n1 "$tmp/display")

DISPLAY=$display QT_QPA_PLATFORM=xcb LANG=ja_JP.UTF-8 LANGUAGE= LC_ALL= LC_MESSAGES= \
  XDG_RUNTIME_DIR="$tmp" HOME="$tmp" \
  "$build/tests/show_file_dialog" "$folder" > "$tmp/window" &
shown_pid=$!
for _ in $(seq 200); do [ -s "$tmp/window" ] && break; sleep 0.05; done
window=$(head -n1 "$tmp/window")
DISPLAY=$display xwd -silent -id "$window" | convert xwd:- "png:$out"
echo "$out written"
