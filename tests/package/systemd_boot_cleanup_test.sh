#!/usr/bin/env bash
# scripts/systemd-boot.sh stopped by SIGTERM while its container runs, and
# ending on a failed check: either way nothing of the run is left (no process,
# control group, mount or folder). Usage: systemd_boot_cleanup_test.sh SERVICE-DEB
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
deb=$(realpath "$1")
fail() { echo "systemd_boot_cleanup_test: FAIL: $*" >&2; exit 1; }

# Runs the stage until its output holds $1, then sends SIGTERM if $2 is set;
# checks the exit status against $3 and that the run left nothing.
run_and_check() {
  local until=$1 term=$2 want=$3 out pid status=0 n
  out=$(mktemp)
  "$src/scripts/systemd-boot.sh" "$deb" >"$out" 2>&1 &
  pid=$!
  for n in $(seq 1 600); do
    grep -F "$until" "$out" >/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  [ "$n" -lt 600 ] || { kill "$pid"; fail "never saw '$until'"; }
  [ -z "$term" ] || kill -TERM "$pid"
  wait "$pid" || status=$?
  [ "$status" -eq "$want" ] || { cat "$out"; fail "exit status $status, not $want"; }
  local name=tarvesk-ci-$pid
  for dir in /sys/fs/cgroup/systemd/$name /sys/fs/cgroup/unified/$name /sys/fs/cgroup/$name; do
    [ ! -e "$dir" ] || fail "control group $dir left"
  done
  ! pgrep -f -- "--inside .* $name" >/dev/null || fail "the inner run of $name still runs"
  ! grep -F /var/tmp/tarvesk-systemd. /proc/mounts || fail "a mount left"
  n=$(find /var/tmp -maxdepth 1 -name 'tarvesk-systemd.*' | wc -l)
  [ "$n" -eq 0 ] || fail "$n run folders left in /var/tmp"
  echo "systemd_boot_cleanup_test: $(tail -n 1 "$out"); nothing left"
  rm -f "$out"
}

# Stopped once the container has booted and the package is in.
run_and_check "check install: ok" term 143
# A check that fails: a package whose program ends at once (its checksum
# the package's, or the postinst refuses it first).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -R "$deb" "$work/pkg"
printf '#!/bin/sh\nexit 1\n' >"$work/pkg/opt/tarvesk/tarvesk-service"
sed -i "s|^[0-9a-f]*  opt/tarvesk/tarvesk-service\$|$(md5sum <"$work/pkg/opt/tarvesk/tarvesk-service" | cut -c1-32)  opt/tarvesk/tarvesk-service|" \
  "$work/pkg/DEBIAN/md5sums"
dpkg-deb -b "$work/pkg" "$work/ends-at-once.deb" >/dev/null
deb=$work/ends-at-once.deb
run_and_check "check ready: FAILED" "" 1
