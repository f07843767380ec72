#!/usr/bin/env bash
# Removes an installed Tarvesk from PREFIX (the folder given at install time,
# /opt/tarvesk by default). Tarvesk.ini and the monthly *.log files are the
# operator's data and stay; the folder itself goes only when nothing is left.
# Links made into /etc (systemd unit, autostart entry) are reported, not touched.
set -euo pipefail

if [ "$#" -ne 1 ] || [ -z "$1" ]; then
  echo "usage: $0 PREFIX" >&2
  exit 2
fi
prefix="${1%/}"
case "$prefix" in
  /*) ;;
  *) echo "uninstall: PREFIX must be an absolute path: $1" >&2; exit 2 ;;
esac
if [ ! -e "$prefix/tarvesk" ] && [ ! -e "$prefix/share/tarvesk.service" ]; then
  echo "uninstall: no Tarvesk installation in $prefix" >&2
  exit 1
fi

files=(
  tarvesk
  tarvesk-service
  tarvesk-desktop
  README.md
  share/tarvesk.service
  share/tarvesk.desktop
  share/tarvesk-uninstall.sh
  share/icons/hicolor/scalable/apps/tarvesk.svg
)
for size in 16 32 48 256; do
  files+=("share/icons/hicolor/${size}x${size}/apps/tarvesk.png")
done
for f in "${files[@]}"; do
  if [ -e "$prefix/$f" ] || [ -L "$prefix/$f" ]; then
    rm -f -- "$prefix/$f"
    echo "removed $prefix/$f"
  fi
done

# Folders the installation created, deepest first; each only when empty.
dirs=(share/icons/hicolor/scalable/apps share/icons/hicolor/scalable)
for size in 16 32 48 256; do
  dirs+=("share/icons/hicolor/${size}x${size}/apps" "share/icons/hicolor/${size}x${size}")
done
dirs+=(share/icons/hicolor share/icons share "")
for d in "${dirs[@]}"; do
  rmdir -- "$prefix/$d" 2>/dev/null || true
done
if [ -d "$prefix" ]; then
  echo "kept $prefix (settings and logs)"
fi

for link in /etc/systemd/system/tarvesk.service /etc/xdg/autostart/tarvesk.desktop; do
  if [ -L "$link" ] || [ -e "$link" ]; then
    echo "note: $link still exists; remove it (systemctl disable tarvesk.service / rm)" >&2
  fi
done
