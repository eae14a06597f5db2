#!/usr/bin/env bash
# Builds and runs every test: the whole suite under ASan+UBSan with warnings as
# errors, then the concurrency tests under TSan.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs="$(nproc)"

echo "== ASan+UBSan build: whole suite =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTELVORA_SANITIZE=address -DTELVORA_WERROR=ON -DTELVORA_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$jobs" --timeout 300)

echo "== TSan build: concurrency tests =="
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTELVORA_SANITIZE=thread -DTELVORA_WERROR=ON -DTELVORA_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
(cd build-tsan && ctest --output-on-failure -j"$jobs" --timeout 300 -L 'foundation|link|diagnostics')
