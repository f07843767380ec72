#!/bin/sh
# Runs a command with an empty /etc/hosts, as in a minimal root file system,
# inside a mount namespace of its own so the machine's file is untouched.
# Exits 77 (skipped), with the reason on standard error, where no namespace
# can be made: without the right to make one, or inside a chroot, whose root
# is no mount point and so cannot be made private.
set -u
skip() { echo "without_hosts_file: skipped: $*" >&2; exit 77; }
why=$(unshare --mount true 2>&1) || skip "no mount namespace: ${why:-unshare failed}"
empty=$(mktemp) || exit 1
trap 'rm -f "$empty"' EXIT
unshare --mount sh -c '
  why=$(mount --bind "$0" /etc/hosts 2>&1) || {
    echo "without_hosts_file: skipped: cannot bind over /etc/hosts: $why" >&2; exit 77; }
  exec "$@"' "$empty" "$@"
