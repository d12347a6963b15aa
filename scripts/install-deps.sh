#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, and those named as arguments, when any is
# missing.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev liblz4-dev libgtest-dev binutils
    libboost-graph-dev zlib1g-dev valgrind "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
