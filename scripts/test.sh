#!/usr/bin/env bash
# Installs what is needed, builds and runs every test.
# Usage: scripts/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ "${1:-}" = "--sanitize" ]; then
  scripts/build.sh --sanitize
  build_dir=build-asan
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  scripts/build.sh
  build_dir=build
fi
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" --timeout 300
