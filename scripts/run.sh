#!/bin/sh
# Builds Trimora and starts the window.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target trimora_program
exec build/bin/trimora "$@"
