#!/usr/bin/env bash
# Installs what is needed, builds and starts Tarvesk: the window on a desktop,
# the service program (no window, no display library) on a server without
# one. Both keep the same INI file and monthly logs beside the executables,
# in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then exec build/tarvesk; fi
exec build/tarvesk-service
