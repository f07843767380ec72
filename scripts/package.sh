#!/usr/bin/env bash
# Builds the two Debian packages in build-deb/ and prints their paths, the
# service package's first and the window package's last:
#   tarvesk-service_<version>+deb<release>_<arch>.deb   the service and its unit
#   tarvesk_<version>+deb<release>_<arch>.deb           the window, which needs it
# Usage: scripts/package.sh [build-dir]. The version is the project's with the
# Debian release it is built on (from /etc/os-release); the library
# dependencies come from dpkg-shlibdeps (dpkg-dev), the fonts are named in
# packaging/deb.cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-deb}

# Debian's hardening flags (fortify, stack protector, relro, bindnow), with
# warnings as errors as in every other build.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DTARVESK_WERROR=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DTARVESK_BUILD_TESTS=OFF -DTARVESK_DEB_LAYOUT=ON >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target tarvesk tarvesk-service >/dev/null
rm -f "$build_dir"/tarvesk_*.deb "$build_dir"/tarvesk-service_*.deb
(cd "$build_dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$build_dir/cpack.log" >&2; exit 1; }
folder=$(cd "$build_dir" && pwd)
ls "$folder"/tarvesk-service_*.deb
ls "$folder"/tarvesk_*.deb
