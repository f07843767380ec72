# Sourced by the CI scripts that run in a Debian root of their own
# shellcheck shell=bash
# (debian13.sh, systemd-boot.sh): the root is made once and cached.
#
#   cached_root CACHE NAME KEY WORK ROOT MAKE
#
# Mounts at ROOT an overlay over CACHE/NAME-KEY, made first by `MAKE DIR` when
# it is missing, when it is older than a week (for the security updates), or
# when KEY changed (the other NAME-* are removed then). The run's changes go
# to WORK/upper and are thrown away with WORK; no run sees another's files.
# An empty CACHE means no cache: `MAKE ROOT` every time. WORK/new is where a
# root is made: the caller's exit trap unmounts what is left there.
cached_root() {
  local cache=$1 name=$2 key=$3 work=$4 root=$5 make=$6 base
  if [ -z "$cache" ]; then
    "$make" "$root"
    return
  fi
  base=$cache/$name-$key
  if [ -d "$base" ] && [ -n "$(find "$base" -maxdepth 0 -mtime +6)" ]; then
    say "cached root older than a week: made anew"
    rm -rf "$base"
  fi
  if [ ! -d "$base" ]; then
    mkdir -p "$cache"
    find "$cache" -mindepth 1 -maxdepth 1 -name "$name-*" -exec rm -rf {} +
    "$make" "$work/new"
    touch "$work/new"
    mv -T "$work/new" "$base"
  else
    say "cached root $base"
  fi
  mkdir -p "$root" "$work/upper" "$work/overlay-work"
  mount -t overlay overlay -o "lowerdir=$base,upperdir=$work/upper,workdir=$work/overlay-work" "$root"
}

# Waits for the inner run ($inner, started at $start), says how it ended and
# how long it took (through the caller's `say`), and exits with its status.
finish_with_inner() {
  local status=0
  wait "$inner" || status=$?
  inner=""
  say "$([ $status -eq 0 ] && echo passed || echo "FAILED (status $status)") in $(( $(date +%s) - start )) s"
  exit $status
}
