#!/usr/bin/env bash
# Configures and builds Tarvesk. Usage: scripts/build.sh [--sanitize] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
if [ "${1:-}" = "--sanitize" ]; then sanitize=ON; shift; fi
build_dir=${1:-build}
[ "$sanitize" = ON ] && [ $# -eq 0 ] && build_dir=build-asan

cmake -S . -B "$build_dir" -DTARVESK_SANITIZE="$sanitize" -DTARVESK_WERROR=ON >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
