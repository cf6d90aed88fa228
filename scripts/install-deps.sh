#!/usr/bin/env bash
# Installs the Debian packages the build and tests need (only those missing).
# Usage: scripts/install-deps.sh [fuzz]
set -euo pipefail

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev binutils
  libjpeg62-turbo-dev libtiff-dev libpng-dev libgif-dev libcups2-dev)
if [[ "${1:-}" == fuzz ]]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
