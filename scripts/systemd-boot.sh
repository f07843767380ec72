#!/usr/bin/env bash
# First measures what the service package pulls in on a root as
# `debootstrap --variant=minbase` makes it: no display library or font, and
# on Debian 12 at most 25 packages and 70 MB. Then boots Debian 12 (or 13) with
# systemd as PID 1 in a container (systemd-nspawn), installs the service
# package just built there, alone, and drives the service the way systemd
# drives it on a server: ready only once loaded, the status line and the
# reason in the journal, a restart command that restarts a web unit, the
# watchdog, stop and restart, start at boot with the counters kept, and a
# reboot command that reboots. Each check prints what it saw; the first that
# fails ends the run with status 1. CI runs it after the package check, as
# root.
#
#   scripts/systemd-boot.sh SERVICE-DEB [bookworm|trixie]
#
# The machine need not run systemd itself. The roots (debootstrap --variant=
# minbase alone, and with systemd, dbus and python3 plus the package's
# dependencies) are cached in $TARVESK_CI_CACHE (default /var/cache/tarvesk-ci;
# empty: no cache), made again when the dependencies change and after a week;
# a run works on overlays over them, thrown away at the end. The container,
# its mounts and its control groups are removed however the run ends, a
# SIGTERM included.
set -euo pipefail
umask 022

src=$(cd "$(dirname "$0")/.." && pwd)
mirror=${TARVESK_DEBIAN_MIRROR:-http://deb.debian.org/debian}
include=systemd-sysv,dbus,ca-certificates,python3,procps,iproute2
# Packages a server without a desktop should not get for Tarvesk: Qt's
# display modules, X, GL and Wayland libraries, fonts.
display='libqt6(gui|widgets|opengl)|libx11|libxcb|libxkb|libgl[1xe]|libegl|libopengl|libwayland|libfontconfig|libfreetype|fonts-'

say() { echo "systemd-boot: $*" >&2; }
# shellcheck source=scripts/ci-root.sh
. "$src/scripts/ci-root.sh"

# The control-group folders of a machine name: the named systemd hierarchy
# and the unified one on a hybrid machine, the one tree on a unified machine.
cgroup_dirs() {
  if [ -d /sys/fs/cgroup/systemd ]; then
    echo "/sys/fs/cgroup/systemd/$1"
    [ -d /sys/fs/cgroup/unified ] && echo "/sys/fs/cgroup/unified/$1"
  else
    echo "/sys/fs/cgroup/$1"
  fi
  return 0
}

# ---------------------------------------------------------------------------
# Inside a mount namespace of its own, and control groups of its own, so that
# nspawn's groups land below them and not in the machine's root group.

boot_loop() {  # boots again after each reboot (nspawn's status 133)
  local n=0 rc
  # Debian 13's systemd runs on the unified control-group tree only.
  [ "$release" = bookworm ] || export SYSTEMD_NSPAWN_UNIFIED_HIERARCHY=1
  while :; do
    n=$((n + 1))
    rc=0
    echo "boot $n started" >>"$work/console.log"
    systemd-nspawn -q -D "$root" -M "$name" -b --keep-unit --register=no --private-network \
      --console=read-only </dev/null >>"$work/console.log" 2>&1 || rc=$?
    echo "boot $n ended with status $rc" >>"$work/console.log"
    [ "$rc" -eq 133 ] || break
  done
}

leader() {  # the container's PID 1, as the machine sees it; empty between boots
  local nspawn
  nspawn=$(pgrep -P "$loop" -x systemd-nspawn) || return 0
  pgrep -P "$nspawn" -x systemd || true
}

boots() { grep -c '^boot [0-9]* started$' "$work/console.log" 2>/dev/null || true; }

# Runs a shell command line in the container. Always under `timeout`: an
# nsenter that is running when the container reboots hangs.
in_ct() {
  local pid
  pid=$(leader)
  [ -n "$pid" ] || return 1
  timeout "${T:-20}" nsenter -a -t "$pid" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    SYSTEMD_PAGER= SYSTEMD_COLORS=0 COLUMNS=160 /bin/sh -c "$1"
}

# Waits up to $2 seconds for the command line $1 in the container to succeed.
wait_ct() {
  local end=$((SECONDS + $2))
  until in_ct "$1" >/dev/null 2>&1; do
    [ $SECONDS -lt "$end" ] || return 1
    sleep 0.5
  done
}

# Waits for boot number $1 (counted from 1) to have reached multi-user.
wait_boot() {
  local end=$((SECONDS + 90)) state
  while :; do
    if [ "$(boots)" -ge "$1" ]; then
      state=$(T=60 in_ct 'systemctl is-system-running --wait' 2>/dev/null) || true
      case $state in running | degraded) return 0 ;; esac
    fi
    kill -0 "$loop" 2>/dev/null || { say "the container stopped"; tail -n 20 "$work/console.log" >&2; return 1; }
    [ $SECONDS -lt "$end" ] || { say "boot $1 did not reach multi-user in 90 s"; return 1; }
    sleep 0.5
  done
}

pass() { echo "check $1: ok: ${*:2}"; }
fail() {
  echo "check $1: FAILED: $2"
  in_ct 'journalctl -n 30 --no-pager' 2>/dev/null || tail -n 40 "$work/console.log"
  exit 1
}

show() { in_ct "systemctl show -P $1 $2"; }
shows() {  # several properties of unit $1, one line
  local unit=$1 out=""
  shift
  for p in "$@"; do out="$out${out:+ }$(show "$p" "$unit")"; done
  echo "$out"
}
ini() { in_ct "sed -n 's/^$1=//p' /opt/tarvesk/Tarvesk.ini | tr -d '\\r'"; }
# The service's journal lines of this boot (or boot $2) holding $1. grep's
# whole output is read: `grep -q` would end the pipe early, which pipefail
# then reports as a failure.
journal_has() { in_ct "journalctl -b ${2:-0} -o cat -u tarvesk --no-pager | grep -F -e '$1' >/dev/null"; }

# debootstrap_root DIR [PACKAGES]: the release as `debootstrap --variant=
# minbase` makes it, with PACKAGES (comma-separated) added.
debootstrap_root() {
  say "debootstrap --variant=minbase${2:+ --include=$2} $release (no cached root)"
  debootstrap --variant=minbase ${2:+"--include=$2"} "$release" "$1" "$mirror" >"$1.log" 2>&1 ||
    { tail -n 30 "$1.log" >&2; return 1; }
  rm -f "$1.log"
}

# The root: the cache of the release with this package's dependencies, made
# once (debootstrap, then the package installed and purged, which leaves its
# dependencies).
make_root() {
  local dir=$1
  debootstrap_root "$dir" "$include"
  mount -t proc proc "$dir/proc"
  cp "$deb" "$dir/tmp/tarvesk-service.deb"
  chroot "$dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive sh -ec '
    apt-get install -y -qq --no-install-recommends /tmp/tarvesk-service.deb >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }
    dpkg --purge tarvesk-service >/dev/null; apt-get clean; rm -f /tmp/apt.log /tmp/tarvesk-service.deb
    rm -rf /opt/tarvesk'
  umount "$dir/proc"
}

# What a server without a desktop pays for the service package: on a root
# as debootstrap --variant=minbase makes it, apt would install no display
# library or font, and on Debian 12, where the bound was set, at most 25
# packages of at most 70 MB (their Installed-Size, as apt adds them up: KiB,
# shown in units of 10^6 bytes). Debian 13's figures are shown: its minbase
# holds less, and its Qt Core needs more.
minimal_root() {
  local dir=$work/minimal packages count sizes size
  mkdir -p "$dir"
  cached_root "$cache" "minbase-$release" plain "$dir" "$dir/root" debootstrap_root
  cp "$deb" "$dir/root/tmp/tarvesk-service.deb"
  chroot "$dir/root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin apt-get install --simulate \
    --no-install-recommends /tmp/tarvesk-service.deb >"$dir/apt.log" 2>&1 ||
    fail "minimal root" "apt-get install --simulate failed: $(tail -n 5 "$dir/apt.log")"
  # name=version of each package it would install besides the service's
  packages=$(sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*/\1=\2/p' "$dir/apt.log" | grep -v '^tarvesk-service=') ||
    fail "minimal root" "apt would install nothing: $(tail -n 5 "$dir/apt.log")"
  count=$(($(wc -l <<<"$packages") + 1))
  # Installed-Size of each (KiB), one line per package, the service's last.
  # shellcheck disable=SC2086 # one word per package
  sizes=$(chroot "$dir/root" apt-cache show --no-all-versions $packages | sed -n 's/^Installed-Size: //p') ||
    fail "minimal root" "apt-cache show failed for: $packages"
  sizes="$sizes
$(dpkg-deb -f "$deb" Installed-Size)"
  [ "$(grep -cx '[0-9][0-9]*' <<<"$sizes")" = "$count" ] || fail "minimal root" "not one size for each of the $count packages"
  size=$(awk '{ kib += $1 } END { printf "%.1f", kib * 1024 / 1e6 }' <<<"$sizes")
  ! grep -E "^($display)" <<<"$packages" || fail "minimal root" "display libraries or fonts among them (above)"
  if [ "$release" = bookworm ] && { [ "$count" -gt 25 ] || awk -v mb="$size" 'BEGIN { exit !(mb > 70) }'; }; then
    fail "minimal root" "$count packages, $size MB: more than 25 packages or 70 MB"
  fi
  pass "minimal root" "apt-get install --no-install-recommends of it on a minbase $release root: $count packages" \
    "(the service's and $((count - 1)) it needs), $size MB, no display library or font"
}

prepare_root() {
  local key
  key=$( (echo "$release $include"; dpkg-deb -f "$deb" Depends) | sha256sum | cut -c1-12)
  cached_root "$cache" "systemd-$release" "$key" "$work" "$root" make_root
}

# What the run adds to the root: the package to install, a small web unit
# whose answer is set through a file, the drop-in that orders Tarvesk after
# it, and a journal kept across reboots.
furnish_root() {
  cp "$deb" "$root/root/tarvesk-service.deb"  # /tmp is emptied at boot
  echo tarvesk-ci >"$root/etc/hostname"
  mkdir -p "$root/var/log/journal" "$root/var/lib/ci-web" "$root/etc/systemd/system/tarvesk.service.d"
  install -m 755 "$src/tests/scripts/status_server.py" "$root/usr/local/bin/ci-web"
  # /run/ci-web/status: a fault a restart mends; /var/lib/ci-web/status: one
  # that outlives restarts and reboots.
  cat >"$root/etc/systemd/system/ci-web.service" <<'EOF'
[Unit]
Description=Small web server for the CI
[Service]
RuntimeDirectory=ci-web
ExecStartPre=/bin/sh -c 'cp /var/lib/ci-web/status /run/ci-web/status 2>/dev/null || true'
# A real server takes a moment to come back; one that never reads as stopped
# would have Tarvesk wait its full minute for the stop after a restart.
ExecStartPre=/bin/sleep 2
ExecStart=/usr/local/bin/ci-web --port 80 --status-file /run/ci-web/status
[Install]
WantedBy=multi-user.target
EOF
  ln -s /etc/systemd/system/ci-web.service "$root/etc/systemd/system/multi-user.target.wants/ci-web.service"
  printf '[Unit]\nAfter=ci-web.service\n' >"$root/etc/systemd/system/tarvesk.service.d/web-server.conf"
}

settings() {  # Tarvesk.ini of a resumed run: reboot and give-up stages as $1, $2
  printf '%s\r\n' '[HowToMonitor]' 'PageURL=http://127.0.0.1/' 'Interval=1' \
    'CmdResetIIS=systemctl restart ci-web' 'ResetIIS=1' 'PageFailureThreshold=2' \
    'CmdResetComputer=systemctl reboot' "ResetComputer=$1" 'IISResetThreshold=1' "AbortMonitor=$2" \
    'ComputerResetThreshold=1' '[HowtoNotify]' 'NotifyIISReset=0' 'NotifyComputerReset=0' \
    'NotifyAbortMonitor=0' '[Status]' 'Language=eng' 'Monitoring=1' 'StartTime=2026-12-1 08:00:00' \
    'PageCheckCount=0' 'IISResetCount=0' 'ComputerResetCount=0' 'ContinousComputerResetFailure=0'
}

write_settings() {
  settings "$@" >"$work/Tarvesk.ini"
  in_ct 'cat >/opt/tarvesk/Tarvesk.ini && chmod 600 /opt/tarvesk/Tarvesk.ini' <"$work/Tarvesk.ini"
}

checks() {
  local pid pid2 count state saw web score
  wait_boot 1 || fail boot "the container did not boot (see above)"
  in_ct 'dpkg -i /root/tarvesk-service.deb >/tmp/dpkg.log 2>&1 || { cat /tmp/dpkg.log; exit 1; }' ||
    fail install "dpkg -i failed"
  # The service alone: no window program, no display library.
  in_ct '[ ! -e /opt/tarvesk/tarvesk ]' || fail install "a window program in /opt/tarvesk"
  saw=$(in_ct "dpkg-query -W -f='\${Package}\n'") || fail install "dpkg-query failed"
  ! grep -E "^($display)" <<<"$saw" || fail install "display libraries or fonts in the root (above)"
  state=$(show UnitFileState tarvesk)
  [ "$state" = disabled ] || fail install "installing it should enable nothing: $state"
  score=$(in_ct 'systemd-analyze security --no-pager tarvesk.service' | sed -n 's/.*exposure level for .*: \([0-9.]* [A-Z]*\).*/\1/p')
  pass install "installed, not enabled; systemd-analyze security tarvesk.service: ${score:-?}"
  write_settings 0 0

  # Held stopped before the program runs, the unit must stay activating;
  # let go, `systemctl start` returns once READY=1 came.
  in_ct 'mkdir -p /run/systemd/system/tarvesk.service.d && printf "[Service]\nSyslogIdentifier=tarvesk\nExecStart=\nExecStart=/bin/sh -c \"kill -STOP \$\$\$\$; exec /opt/tarvesk/tarvesk-service\"\n" >/run/systemd/system/tarvesk.service.d/held.conf && systemctl daemon-reload && systemctl start --no-block tarvesk'
  wait_ct 'ps -o stat= -p "$(systemctl show -P MainPID tarvesk)" | grep ^T >/dev/null' 10 ||
    fail ready "the held start did not stop"
  state=$(shows tarvesk ActiveState SubState StatusText)
  [ "$state" = "activating start " ] || fail ready "before the program ran: $state"
  in_ct 'kill -CONT "$(systemctl show -P MainPID tarvesk)"'
  T=30 in_ct 'systemctl start tarvesk' || fail ready "systemctl start did not return"
  in_ct 'rm -r /run/systemd/system/tarvesk.service.d && systemctl daemon-reload'
  saw=$(shows tarvesk ActiveState SubState)
  [ "$saw" = "active running" ] || fail ready "after start: $saw"
  wait_ct '[ "$(systemctl show -P StatusText tarvesk)" = "Monitoring, page is valid." ]' 10 ||
    fail ready "status text: $(show StatusText tarvesk)"
  journal_has 'running without a window' || fail ready "no start line in the journal"
  ! journal_has 'XDG_RUNTIME_DIR' || fail ready "Qt still misses its runtime folder"
  # The service program runs; nothing needs a runtime folder of its own.
  in_ct '[ "$(readlink "/proc/$(systemctl show -P MainPID tarvesk)/exe")" = /opt/tarvesk/tarvesk-service ]' ||
    fail ready "the service program is not what runs"
  in_ct '[ ! -e /run/tarvesk ]' || fail ready "a runtime folder /run/tarvesk was made"
  pass ready "activating while held before READY=1, then active (running), StatusText=\"$(show StatusText tarvesk)\""

  # A page answering 500: the reason in the journal, the restart command
  # restarts the web unit through systemctl, and the page is good again.
  web=$(show InvocationID ci-web)
  in_ct 'echo 500 >/run/ci-web/status'
  wait_ct 'journalctl -o cat -u tarvesk --no-pager | grep -F "page good again" >/dev/null' 30 ||
    fail reason "the page did not recover"
  journal_has 'page check failed: HTTP 500 (http://127.0.0.1/' || fail reason "no reason line"
  journal_has 'Reset IIS: systemctl restart ci-web (last failed check: HTTP 500)' || fail reason "no restart line"
  [ "$(show InvocationID ci-web)" != "$web" ] || fail reason "ci-web was not restarted"
  in_ct 'systemctl is-active ci-web >/dev/null' || fail reason "ci-web is not active"
  pass reason "$(in_ct 'journalctl -o cat -u tarvesk --no-pager | grep -F -e "HTTP 500" | head -n 2 | paste -sd"|"'); ci-web restarted"
  in_ct 'journalctl -u tarvesk -o short --no-pager | grep -F "]: Tarvesk: "' >&2

  # The watchdog, shortened: the process stopped is killed and started again,
  # and the run goes on.
  in_ct 'printf "[Service]\nWatchdogSec=5s\n" >/etc/systemd/system/tarvesk.service.d/watchdog.conf && systemctl daemon-reload && systemctl restart tarvesk'
  pid=$(show MainPID tarvesk)
  # Its pings keep it alive past the 5 s.
  sleep 7
  [ "$(show MainPID tarvesk)" = "$pid" ] && [ "$(show NRestarts tarvesk)" = 0 ] ||
    fail watchdog "killed although it ran: PID $pid -> $(show MainPID tarvesk), NRestarts=$(show NRestarts tarvesk)"
  count=$(ini PageCheckCount)
  in_ct "kill -STOP $pid"
  wait_ct "[ \"\$(systemctl show -P MainPID tarvesk)\" != $pid ] && [ \"\$(systemctl show -P SubState tarvesk)\" = running ]" 30 ||
    fail watchdog "not restarted: $(shows tarvesk ActiveState SubState Result)"
  journal_has 'tarvesk.service: Watchdog timeout (limit 5s)!' ||
    fail watchdog "no watchdog time-out in the journal"
  wait_ct "[ \$(sed -n 's/^PageCheckCount=\([0-9]*\).*/\1/p' /opt/tarvesk/Tarvesk.ini) -gt $((count + 1)) ]" 15 ||
    fail watchdog "the count did not go on from $count: $(ini PageCheckCount)"
  [ "$(ini StartTime)" = "2026-12-1 08:00:00" ] || fail watchdog "StartTime now $(ini StartTime)"
  in_ct 'journalctl -u tarvesk -o short --no-pager | grep -F -A 4 "Watchdog timeout"' >&2
  pass watchdog "PID $pid alive for 7 s, then stopped, watchdog time-out, PID $(show MainPID tarvesk) running, NRestarts=$(show NRestarts tarvesk), count $count -> $(ini PageCheckCount), StartTime kept"
  in_ct 'rm /etc/systemd/system/tarvesk.service.d/watchdog.conf && systemctl daemon-reload'

  # Restart, then stop: STOPPING=1 is heard (systemd says so when debugging),
  # and the program ends cleanly.
  pid=$(show MainPID tarvesk)
  T=30 in_ct 'systemctl restart tarvesk' || fail stop "systemctl restart failed"
  pid2=$(show MainPID tarvesk)
  [ "$pid2" != "$pid" ] && [ "$(show SubState tarvesk)" = running ] || fail stop "restart: PID $pid -> $pid2"
  T=30 in_ct 'systemd-analyze log-level debug && systemctl stop tarvesk; systemd-analyze log-level info'
  in_ct "journalctl -b -o cat --no-pager | grep -F 'tarvesk.service: Got notification message from PID $pid2' | grep -F STOPPING=1 >/dev/null" ||
    fail stop "no STOPPING=1 from PID $pid2"
  journal_has 'tarvesk.service: Main process exited, code=exited, status=0/SUCCESS' ||
    fail stop "no clean exit in the journal"
  saw=$(shows tarvesk ActiveState Result)
  [ "$saw" = "inactive success" ] || fail stop "after stop: ActiveState Result = $saw"
  ! in_ct '[ -e /run/tarvesk ]' || fail stop "/run/tarvesk left behind"
  pass stop "restart: PID $pid -> $pid2; stop: STOPPING=1 heard, exited with status 0, Result=success"

  # Enabled, the container rebooted: Tarvesk starts after the web unit and
  # resumes the run where it was.
  in_ct 'systemctl enable tarvesk 2>/dev/null'
  count=$(ini PageCheckCount)
  in_ct 'systemctl reboot' || true
  wait_boot 2 || fail boot "no second boot"
  wait_ct 'systemctl is-active tarvesk >/dev/null' 30 || fail boot "tarvesk not active after boot"
  wait_ct "[ \$(sed -n 's/^PageCheckCount=\([0-9]*\).*/\1/p' /opt/tarvesk/Tarvesk.ini) -gt $((count + 1)) ]" 15 ||
    fail boot "the count did not go on from $count: $(ini PageCheckCount)"
  [ "$(ini StartTime)" = "2026-12-1 08:00:00" ] || fail boot "StartTime now $(ini StartTime)"
  [ "$(show ActiveEnterTimestampMonotonic ci-web)" -le "$(show ExecMainStartTimestampMonotonic tarvesk)" ] ||
    fail boot "Tarvesk started before the web unit was up"
  ! journal_has 'Reset IIS' || fail boot "a restart at boot"
  pass boot "enabled, rebooted: active after ci-web, count $count -> $(ini PageCheckCount), StartTime kept, no restart at boot"
  # For the README: the service as the operator sees it, with a failing page.
  in_ct 'echo 503 >/run/ci-web/status'
  wait_ct 'systemctl show -P StatusText tarvesk | grep -F "HTTP 503" >/dev/null' 10 || true
  in_ct 'systemctl status --no-pager -n 4 tarvesk' >&2 || true
  # A restart by then (Interval=1) took the file with its runtime folder.
  in_ct 'rm -f /run/ci-web/status'

  # A page that stays bad: restarted, then the reboot command reboots the
  # container; after the boot the run resumes, counts the reboot and gives up.
  T=30 in_ct 'systemctl stop tarvesk'
  write_settings 1 1
  in_ct 'echo 500 >/var/lib/ci-web/status && systemctl restart ci-web && systemctl start tarvesk'
  wait_boot 3 || fail "reboot stage" "the reboot command did not reboot the container"
  wait_ct 'systemctl is-active tarvesk >/dev/null' 30 || fail "reboot stage" "tarvesk not active after boot"
  journal_has 'Reset Computer: systemctl reboot (last failed check: HTTP 500)' -1 || fail "reboot stage" "no reboot line"
  [ "$(ini ComputerResetCount)" = 1 ] && [ "$(ini ContinousComputerResetFailure)" = 1 ] ||
    fail "reboot stage" "ComputerResetCount=$(ini ComputerResetCount) ContinousComputerResetFailure=$(ini ContinousComputerResetFailure)"
  wait_ct 'journalctl -b -o cat -u tarvesk --no-pager | grep -F "Abort Monitor (last failed check: HTTP 500)" >/dev/null' 30 ||
    fail "reboot stage" "no give-up after the reboot"
  pass "reboot stage" "rebooted by 'systemctl reboot', ComputerResetCount=1, ContinousComputerResetFailure=1, then gave up"
  in_ct 'journalctl -u tarvesk -o short --no-pager | grep -F "]: Tarvesk: " | tail -n 5' >&2 || true
}

inside() {
  work=$1 cache=$2 deb=$3 name=$4 release=$5
  root=$work/root loop=""
  local dir
  for dir in $(cgroup_dirs "$name"); do
    mkdir -p "$dir"
    echo $$ >"$dir/cgroup.procs"
  done
  # Stopped or not, the container goes first; the mounts go with the namespace.
  trap '[ -z "$loop" ] || { kill "$loop" 2>/dev/null; pkill -TERM -P "$loop" -x systemd-nspawn; wait "$loop" 2>/dev/null; }' EXIT
  trap 'exit 143' TERM
  minimal_root
  prepare_root
  furnish_root
  say "root ready in $SECONDS s"
  boot_loop &
  loop=$!
  checks
  say "checks passed in $SECONDS s"
  in_ct 'rm /var/lib/ci-web/status; systemctl poweroff' || true
  wait "$loop" || true
  loop=""
}

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit
fi

[ "$(id -u)" -eq 0 ] || { say "run as root (debootstrap, nspawn, mounts)"; exit 1; }
[ $# -ge 1 ] && [ $# -le 2 ] && [ -f "$1" ] || { say "usage: $0 SERVICE-DEB [bookworm|trixie]"; exit 1; }
release=${2:-bookworm}
deb=$(realpath "$1")
[ "$(dpkg-deb -f "$deb" Package)" = tarvesk-service ] || { say "$1 is not the service package tarvesk-service"; exit 1; }
if ! command -v systemd-nspawn >/dev/null || ! command -v debootstrap >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends systemd-container debootstrap >/dev/null
fi
cache=${TARVESK_CI_CACHE-/var/cache/tarvesk-ci}
mkdir -p /var/tmp
work=$(mktemp -d /var/tmp/tarvesk-systemd.XXXXXX)
name=tarvesk-ci-$$
start=$(date +%s)
unshare --mount --propagation private "$0" --inside "$work" "$cache" "$deb" "$name" "$release" &
inner=$!

cleanup() {
  # The inner run stops its container; given 20 s for that, then it is killed
  # with the rest below.
  if [ -n "$inner" ]; then
    kill "$inner" 2>/dev/null || true
    for _ in $(seq 1 200); do kill -0 "$inner" 2>/dev/null || break; sleep 0.1; done
  fi
  # Whatever still runs in the run's groups (a container that did not stop)
  # is killed, then the groups go, the deepest first.
  local dir pids left=""
  for dir in $(cgroup_dirs "$name"); do
    [ -d "$dir" ] || continue
    pids=$(find "$dir" -name cgroup.procs -exec cat {} +)
    # shellcheck disable=SC2086 # one word per process
    [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
    for _ in $(seq 1 50); do
      [ -z "$(find "$dir" -name cgroup.procs -exec cat {} +)" ] && break
      sleep 0.1
    done
    find "$dir" -depth -type d -exec rmdir {} + 2>/dev/null || true
    [ ! -d "$dir" ] || left="$left $dir"
  done
  [ -z "$inner" ] || wait "$inner" 2>/dev/null || true
  rm -rf "/run/systemd/nspawn/propagate/$name" "$work"
  [ -z "$left" ] || { say "left behind:$left"; return 1; }
}
trap 'rc=$?; cleanup || rc=1; exit $rc' EXIT
trap 'say "stopped by SIGTERM"; exit 143' TERM
trap 'say "stopped by SIGINT"; exit 130' INT
finish_with_inner
