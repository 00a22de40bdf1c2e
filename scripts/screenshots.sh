#!/usr/bin/env bash
# Renders the main window and the diagnostics window into docs/ as PNG files, without a
# display (Qt's offscreen platform). Builds the renderer in the given build folder first.
# Usage: scripts/screenshots.sh [build folder]   (default: build)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
lock=/tmp/gridwell-build.lock

if [ ! -f "$build/build.ninja" ]; then
  flock "$lock" cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug
fi
flock "$lock" ninja -C "$build" -j2 ui_screenshots

mkdir -p "$root/docs"
QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/ui_screenshots" "$root/docs" "$root/examples/upper-basin-study.pvx"
# The help page shows the study panel too; it travels with the page.
cp "$root/docs/study-panel.png" "$root/Help-Gridwell/study-panel.png"
