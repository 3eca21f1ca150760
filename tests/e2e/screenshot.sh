#!/usr/bin/env bash
# Renews docs/screenshots/menu.png: the real program's tray menu with the
# clipboard history unfolded, showing Japanese entries, under Wine with the
# Japanese fonts. Builds the win64 program and driver in build/e2e-win64.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib.sh

build=build/e2e-win64
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target Quillharbor e2e_tests >/dev/null

shots=$PWD/build/e2e-shots
rm -rf "$shots"
mkdir -p "$shots" docs/screenshots
qh_wine_start "$PWD/build/e2e-wine"
trap qh_wine_stop EXIT
QH_EXE=$PWD/$build/Quillharbor.exe QH_SCREENSHOT_DIR=$shots \
    "$WINELOADER" "$build/tests/e2e/e2e_tests.exe" --gtest_filter='Menu.JapaneseEntries*'
convert "$shots/menu.bmp" docs/screenshots/menu.png
echo "wrote docs/screenshots/menu.png"
