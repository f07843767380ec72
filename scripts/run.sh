#!/usr/bin/env bash
# Installs what is needed, builds and starts Tarvesk. Its INI file and monthly
# logs live beside the executable, in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/tarvesk
