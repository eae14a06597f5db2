#!/usr/bin/env bash
# Builds and runs every test: the whole suite under ASan+UBSan with warnings as
# errors, then the concurrency tests under TSan, then a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# The compiler cache keys on paths relative to the checkout, so another clone of the same
# sources (CI's) finds what this one compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
jobs="$(nproc)"
summaries="$(mktemp)"
trap 'rm -f "$summaries"' EXIT
status=0
# Runs ctest in a build folder, keeping its closing line for the final count; a failing run
# does not stop the others. With in_session set, ctest runs inside a throw-away desktop
# session (Xvfb, openbox, trayer, session bus).
in_session=()
run_ctest() {
  local folder="$1"
  shift
  (cd "$folder" && "${in_session[@]}" ctest --output-on-failure -j"$jobs" --timeout 300 "$@") | tee -a "$summaries" || status=1
}

echo "== ASan+UBSan build: whole suite =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTELVORA_SANITIZE=address -DTELVORA_WERROR=ON -DTELVORA_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
in_session=("$PWD/scripts/desktop-session.sh")
run_ctest build-asan
in_session=()

echo "== TSan build: tests labelled threaded =="
# tests/<folder>/threaded-tests.txt name the tests of threaded code: only their programs are built here.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTELVORA_SANITIZE=thread -DTELVORA_WERROR=ON -DTELVORA_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target threaded_tests
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
run_ctest build-tsan -L '^threaded$'

echo "== libFuzzer: link, appcast, .strings, property-list and update-archive readers (clang) =="
# Every fuzz/*.cpp is a target. The committed seeds are replayed first; then all targets
# share one fuzzing budget (TELVORA_FUZZ_SECONDS, about a minute in all).
if command -v clang++ >/dev/null; then
  fuzz_targets=()
  for file in fuzz/*.cpp; do fuzz_targets+=("$(basename "$file" .cpp)"); done
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELVORA_FUZZ=ON \
    -DTELVORA_TESTS=OFF -DTELVORA_BENCH=OFF >/dev/null
  # Only the targets and the libraries they link are built, not the program or the tools.
  cmake --build build-fuzz -j"$jobs" --target "${fuzz_targets[@]}"
  mkdir -p build-fuzz/artifacts
  budget="${TELVORA_FUZZ_SECONDS:-60}"
  # A second per target goes to loading; the rest is fuzzing.
  per_target=$(( (budget - ${#fuzz_targets[@]}) / ${#fuzz_targets[@]} ))
  (( per_target >= 1 )) || per_target=1
  for target in "${fuzz_targets[@]}"; do
    echo "-- $target: replaying fuzz/corpus/$target, then fuzzing for ${per_target}s"
    "build-fuzz/fuzz/$target" -runs=0 -artifact_prefix="build-fuzz/artifacts/$target-" "fuzz/corpus/$target"
    # New findings go to the first (scratch) corpus; the committed seeds stay as they are.
    mkdir -p "build-fuzz/corpus/$target"
    "build-fuzz/fuzz/$target" -max_total_time="$per_target" -print_final_stats=1 \
      -artifact_prefix="build-fuzz/artifacts/$target-" "build-fuzz/corpus/$target" "fuzz/corpus/$target"
  done
else
  echo "clang++ not found: fuzzing skipped"
fi

echo "== Debian package: build, lintian, install and purge in a minimal Debian 12 root =="
# Needs root (debootstrap, chroot); a few minutes the first time, when the root is made.
if [ "$(id -u)" -eq 0 ]; then
  ./scripts/package-test.sh || status=1
else
  echo "not root: package test skipped"
fi

# One closing line over both test runs.
awk '/tests passed, [0-9]+ tests failed out of/ { total += $NF; failed += $4 }
     END { printf "%d passed, %d failed\n", total - failed, failed }' "$summaries"
exit "$status"
