#!/usr/bin/env bash
# Builds the library and the orvpw tool, and runs the tool on its embedded simulated printer:
# open it, show its information and status, insert, flip and eject a card.
# Extra arguments replace that command list, e.g. scripts/demo.sh --json status.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target orvpw
if (($#)); then
  exec ./build/tools/cli/orvpw --sim "$@"
fi
exec ./build/tools/cli/orvpw --sim info status card insert card flip card eject
