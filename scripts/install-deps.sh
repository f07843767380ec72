#!/usr/bin/env bash
# Installs the Debian packages Tarvesk needs to build, run and test, on
# Debian 12 or 13: every name here is the same on both releases.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev libglib2.0-dev
  libcurl4-openssl-dev libsystemd-dev
  googletest libgtest-dev libbenchmark-dev
  libcpp-httplib-dev
  python3 python3-aiosmtpd openssl
  fonts-noto-cjk fonts-dejavu-core fonts-liberation2
  clang libclang-rt-dev
  valgrind
  desktop-file-utils systemd
  xvfb openbox wmctrl xdotool
  dpkg-dev lintian
  strace
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
