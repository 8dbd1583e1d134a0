#!/bin/sh
# Builds Trimora and runs every test: unit, window (gui), end-to-end (e2e) and preview, then the
# unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
(cd build && ctest -j2 --output-on-failure --timeout 600)
cmake -S . -B build-asan -DTRIMORA_SANITIZE=ON -DTRIMORA_GUI=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j2 --target unit_tests
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -L unit -j2 --output-on-failure)
