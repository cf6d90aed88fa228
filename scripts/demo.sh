#!/usr/bin/env bash
# Builds the library and runs the demo on the built-in simulated printer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVPW_TESTS=OFF -DORVPW_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target orvpw-demo
./build/tools/demo/orvpw-demo "$@"
