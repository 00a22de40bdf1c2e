#!/usr/bin/env bash
# Builds Gridwell with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# The independent readers that the binary-workbook tests compare against (tests only).
bash scripts/install-test-readers.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGRIDWELL_SANITIZE=ON -DGRIDWELL_BUILD_BENCH=OFF
cmake --build build-asan

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
ctest --test-dir build-asan --output-on-failure --timeout 900
