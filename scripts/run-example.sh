#!/usr/bin/env bash
# Builds Gridwell and converts the bundled example study into out/upper-basin-study.xlsx.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DGRIDWELL_BUILD_TESTS=OFF -DGRIDWELL_BUILD_BENCH=OFF
cmake --build build-release --target gridwell

mkdir -p out
if build-release/app/gridwell -i examples/upper-basin-study.pvx -o out/upper-basin-study.xlsx -a 1 -n Short; then
  echo "Wrote out/upper-basin-study.xlsx (log: out/upper-basin-study.log)"
else
  status=$?
  echo "The conversion failed; its log says:" >&2
  cat out/upper-basin-study.log >&2 || true
  exit "$status"
fi
