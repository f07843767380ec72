#!/usr/bin/env bash
# Runs the README's commands (scripts/test.sh: install, build, every CTest
# test; scripts/run.sh) and the package check inside a fresh Debian 13 root, made with
# `debootstrap --variant=minbase trixie`, as root. CI runs it after the suite
# on the machine's own Debian 12.
#
#   scripts/debian13.sh [SERVICE-DEB WINDOW-DEB]
#       the two packages built on Debian 12, which must then install and
#       start on 13 too
#
# The packages built there are left in build-deb13/.
#
# The root after debootstrap and scripts/install-deps.sh is cached in
# $TARVESK_CI_CACHE (default /var/cache/tarvesk-ci); an empty value means no
# cache: every run starts with debootstrap. The cache is made again when
# install-deps.sh changes, and after a week for the security updates. A run
# never changes the cached root: it works on an overlay over it, thrown away
# at the end, so no run sees another's files.
#
# Everything runs in a mount namespace of its own: the mounts end with it
# however the run ends, and removing the run's folder never reaches through
# them into the machine's /dev or /proc or the source tree.
set -euo pipefail
umask 022  # the root's folders: root's, writable by nobody else

src=$(cd "$(dirname "$0")/.." && pwd)
mirror=${TARVESK_DEBIAN_MIRROR:-http://deb.debian.org/debian}

say() { echo "debian13: $*" >&2; }
# shellcheck source=scripts/ci-root.sh
. "$src/scripts/ci-root.sh"

# Proc, sys, the machine's devices and terminals, a /run and /dev/shm of the
# root's own, and the machine's name servers for apt.
mount_root() {
  local root=$1
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o nosuid,nodev,mode=1777 tmpfs "$root/dev/shm"
  # Tests as root keep folders under /run: root's, writable by nobody else.
  mount -t tmpfs -o nosuid,nodev,mode=0755 tmpfs "$root/run"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
}

# Ends what is still running in the root (a test's X server, say), then
# unmounts everything below it.
unmount_root() {
  local root=$1 pid
  for pid in /proc/[0-9]*; do
    [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "${pid#/proc/}" 2>/dev/null
  done
  findmnt -rn -o TARGET | awk -v r="$root" '$0 == r || index($0, r "/") == 1' | sort -r |
    while read -r target; do umount -l "$target" || true; done
}

in_root() {  # runs a command in the root with a clean environment
  chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${@:2}"
}

# A minbase trixie with the project's packages, made in the namespace.
make_root() {
  local root=$1
  say "debootstrap --variant=minbase trixie (no cached root)"
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 30 "$root.debootstrap.log" >&2; return 1; }
  rm -f "$root.debootstrap.log"
  mount_root "$root"
  install -D -m 755 "$src/scripts/install-deps.sh" "$root/tmp/install-deps.sh"
  in_root "$root" /tmp/install-deps.sh
  in_root "$root" apt-get clean
  rm -f "$root/tmp/install-deps.sh"
  unmount_root "$root"
}

inside() {
  work=$1 root=$1/root  # globals: the exit trap unmounts them
  local cache=$2 debs=("${@:3}")
  trap 'unmount_root "$work/new"; unmount_root "$root"' EXIT
  cached_root "$cache" trixie "$(sha256sum "$src/scripts/install-deps.sh" | cut -c1-12)" "$work" "$root" make_root
  mount_root "$root"

  say "root ready in $SECONDS s"
  # The source tree, without build folders; the build is the root's own.
  mkdir -p "$root/src/tarvesk"
  tar -C "$src" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$root/src/tarvesk" -xf -
  in_root "$root" sh -c 'cd /src/tarvesk && scripts/test.sh && tests/package/package_test.sh'
  # The other README command: the program it starts runs on, without a window
  # here, until it is stopped.
  in_root "$root" sh -c 'cd /src/tarvesk && scripts/run.sh >/tmp/run.log 2>&1 &
    for _ in $(seq 1 240); do grep -q "running without a window" /tmp/run.log && break; sleep 0.5; done
    sleep 1; kill $! 2>/dev/null && grep -q "running without a window" /tmp/run.log ||
      { cat /tmp/run.log; echo "scripts/run.sh did not start the program"; exit 1; }'
  # The Debian 13 packages, for machines that run 13 only.
  mkdir -p "$src/build-deb13"
  cp "$root"/src/tarvesk/build-deb/tarvesk-service_*.deb "$root"/src/tarvesk/build-deb/tarvesk_*.deb "$src/build-deb13/"

  if [ ${#debs[@]} -gt 0 ]; then
    say "the packages built on Debian 12 on Debian 13: $(basename -a "${debs[@]}" | paste -sd' ')"
    cp "${debs[@]}" "$root/tmp/"
    in_root "$root" sh -ec '
      apt-get install -y -qq --no-install-recommends "/tmp/$1" "/tmp/$2" >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }
      cd /opt/tarvesk
      QT_QPA_PLATFORM=offscreen timeout 30 ./tarvesk >/tmp/run.log 2>&1 &
      for _ in $(seq 1 80); do [ -s Tarvesk.ini ] && break; sleep 0.25; done
      kill $! 2>/dev/null || true
      [ -s Tarvesk.ini ] || { cat /tmp/run.log; echo "it wrote no Tarvesk.ini"; exit 1; }' sh "$(basename "${debs[0]}")" "$(basename "${debs[1]}")"
  fi
}

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit
fi

[ "$(id -u)" -eq 0 ] || { say "run as root (debootstrap, chroot, mounts)"; exit 1; }
debs=()
if [ $# -gt 0 ]; then
  [ $# -eq 2 ] && [ "$(dpkg-deb -f "$1" Package) $(dpkg-deb -f "$2" Package)" = "tarvesk-service tarvesk" ] ||
    { say "usage: $0 [SERVICE-DEB WINDOW-DEB]"; exit 1; }
  debs=("$(realpath "$1")" "$(realpath "$2")")
fi
if ! command -v debootstrap >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi
cache=${TARVESK_CI_CACHE-/var/cache/tarvesk-ci}
mkdir -p /var/tmp
work=$(mktemp -d /var/tmp/tarvesk-debian13.XXXXXX)
start=$(date +%s)
unshare --mount --propagation private "$0" --inside "$work" "$cache" "${debs[@]}" &
inner=$!
# Stopped or not, the inner run ends first (it kills what runs in the root and
# its mounts go with its namespace), then its folder goes.
trap '[ -z "$inner" ] || { kill "$inner" 2>/dev/null; wait "$inner" 2>/dev/null || true; }; rm -rf "$work"' EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
finish_with_inner
