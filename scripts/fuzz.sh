#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time.
# Usage: scripts/fuzz.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh fuzz
seconds=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVPW_FUZZ=ON \
  -DORVPW_TESTS=ON -DORVPW_BENCH=OFF >/dev/null
targets=$(find tests/fuzz -maxdepth 1 -name 'fuzz_*.cpp' -printf '%f\n' | sed 's/\.cpp$//' | sort)
cmake --build build-fuzz -j"$(nproc)" --target $targets
for target in $targets; do
  corpus=tests/fuzz/corpus/$target
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  seeds=()
  [[ -d $corpus ]] && seeds=("$corpus")
  echo "== $target (${seconds}s)"
  "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -rss_limit_mb=2048 "$work" "${seeds[@]}" 2>&1 | tail -n 12
done
