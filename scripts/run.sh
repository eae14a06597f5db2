#!/usr/bin/env bash
# Builds Telvora and runs it (extra arguments are passed to the program).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVORA_TESTS=OFF -DTELVORA_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target Telvora calvetto-peer
exec build/Telvora.app/Contents/MacOS/Telvora "$@"
