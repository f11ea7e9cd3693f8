#!/usr/bin/env bash
# Remakes docs/file-dialog-ja.png: the database dialog as a real window on an
# Xvfb display of its own, on a Japanese desktop (LANG=ja_JP.UTF-8), opened
# on a folder holding databases of both kinds, a workbook and a text file.
# Run from anywhere after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KESTRIN_BUILD_DIR:-build}
cmake --build "$build" --target show_file_dialog >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
folder="$tmp/データ"
mkdir -p "$folder/古いもの"
for name in 顧客.mdb 売上.accdb 月次集計.xls メモ.txt; do
  cp sample/sample.mdb "$folder/$name"
done
env LANG=ja_JP.UTF-8 LANGUAGE= LC_ALL= LC_MESSAGES= XDG_RUNTIME_DIR="$tmp" HOME="$tmp" \
  docs/capture-window.sh docs/file-dialog-ja.png 1024x768 "$build/tests/app/show_file_dialog" "$folder"
