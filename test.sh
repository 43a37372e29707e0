#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds and runs all tests.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
