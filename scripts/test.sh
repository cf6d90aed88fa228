#!/usr/bin/env bash
# Builds everything and runs every test.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --tsan      ThreadSanitizer build of the tests that run threads, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

mode=${1:-}
build=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
targets=()
filter=()
case "$mode" in
  --sanitize)
    build=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DORVPW_SANITIZE=ON -DORVPW_BENCH=OFF)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  --tsan)
    build=build-tsan
    options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVPW_TSAN=ON -DORVPW_BENCH=OFF)
    targets=(--target test_exchange test_port_state test_log test_sim)
    filter=(-R "Thread|Concurren|Busy|SecondThread|Idle|Sim")
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--sanitize|--tsan]" >&2; exit 2 ;;
esac
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300 "${filter[@]}"
