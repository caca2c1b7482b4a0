#!/usr/bin/env bash
# Builds qvsm and runs every test. Extra arguments go to cmake, e.g. -DQVSM_SANITIZE=ON.
# QVSM_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")"
bash cmake/install-deps.sh
build="${QVSM_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja "$@"
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 600
