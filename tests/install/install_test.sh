#!/usr/bin/env bash
# Installation checks on the real build: `cmake --install` into temporary
# folders, the desktop and freedesktop/systemd validators on the installed
# files, the installed program started the way the unit starts it, and the
# uninstall script.
# usage: install_test.sh CASE BUILD_DIR SOURCE_DIR CMAKE
set -euo pipefail

case_name="$1"
build="$2"
source="$3"
cmake="$4"
SKIP=77

work="$(mktemp -d)"
child=""
cleanup() {
  if [ -n "$child" ]; then kill "$child" 2>/dev/null || true; wait "$child" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_file() { [ -f "$1" ] || fail "missing file $1"; }
expect_absent() { [ ! -e "$1" ] || fail "should not exist: $1"; }

prefix="$work/opt/tarvesk"
install_into() {  # install_into PREFIX [DESTDIR]
  DESTDIR="${2:-}" "$cmake" --install "$build" --prefix "$1" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }
}

# Width and height of a PNG, read from its IHDR chunk.
png_size() {
  local w h
  w=$(od -An -tu1 -j16 -N4 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  h=$(od -An -tu1 -j20 -N4 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
  echo "${w}x${h}"
}

# The value of KEY= in a unit or desktop file (first occurrence).
key_of() { sed -n "s/^$2=//p" "$1" | head -n1; }

ini_value() { sed -n "s/^$2=//p" "$1" | tr -d '\r' | head -n1; }

# run_until PATTERN LOG COMMAND...: runs COMMAND until PATTERN shows in its
# output (LOG) or it ends; fails without PATTERN.
run_until() {
  : >"$2"
  "${@:3}" >>"$2" 2>&1 &
  child=$!
  for _ in $(seq 1 80); do ! grep -q "$1" "$2" && kill -0 "$child" 2>/dev/null && sleep 0.25 || break; done
  kill "$child" 2>/dev/null || true
  wait "$child" 2>/dev/null || true
  child=""
  grep -q "$1" "$2"
}

case "$case_name" in
layout)
  install_into "$prefix"
  [ -x "$prefix/tarvesk" ] && [ -x "$prefix/tarvesk-service" ] || fail "executables not at the top of the prefix"
  # The service program loads no display library.
  ! readelf -d "$prefix/tarvesk-service" | grep -E 'NEEDED.*(libQt6Gui|libQt6Widgets|libX|libGL)' ||
    fail "the service program needs a display library"
  expect_absent "$prefix/bin"
  for size in 16 32 48 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/tarvesk.png"
    expect_file "$png"
    [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is $(png_size "$png")"
  done
  expect_file "$prefix/share/icons/hicolor/scalable/apps/tarvesk.svg"
  cmp -s "$prefix/README.md" "$source/README.md" || fail "README not beside the program"
  expect_file "$prefix/share/tarvesk.service"
  expect_file "$prefix/share/tarvesk.desktop"
  [ -x "$prefix/share/tarvesk-uninstall.sh" ] || fail "uninstall script not installed executable"
  # The configured files name this prefix, with no placeholder left.
  ! grep -q '@' "$prefix/share/tarvesk.service" "$prefix/share/tarvesk.desktop" || fail "unconfigured placeholder"
  [ "$(key_of "$prefix/share/tarvesk.service" ExecStart)" = "$prefix/tarvesk-service" ] || fail "ExecStart"
  [ "$(key_of "$prefix/share/tarvesk.service" WorkingDirectory)" = "$prefix" ] || fail "WorkingDirectory"
  [ "$(key_of "$prefix/share/tarvesk.service" Documentation)" = "file://$prefix/README.md" ] || fail "Documentation"
  grep -qx "#   cp $prefix/share/tarvesk.service /etc/systemd/system/" "$prefix/share/tarvesk.service" || fail "enable note"
  [ "$(key_of "$prefix/share/tarvesk.desktop" Exec)" = "$prefix/tarvesk-desktop" ] || fail "Exec"
  [ -x "$prefix/tarvesk-desktop" ] || fail "launcher not installed executable"
  # (A sanitizer build, which is never installed, keeps its source paths.)
  if ! grep -q '^TARVESK_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    ! grep -qF -e "$source" -e "$build" "$prefix/tarvesk" || fail "the program holds a path of the build machine"
  fi
  # No settings or logs come with the installation, and nothing lands outside the prefix.
  [ -z "$(find "$prefix" -name 'Tarvesk.ini' -o -name '*.log')" ] || fail "data files installed"
  outside=$(find "$work" -path "$prefix" -prune -o -path "$work/install.log" -prune -o -type f -print)
  [ -z "$outside" ] || fail "files outside the prefix: $outside"
  grep -q "Tarvesk installed into $prefix" "$work/install.log" || fail "no install message"
  ;;

destdir)
  had_real=no; [ -e /opt/tarvesk ] && had_real=yes
  install_into /opt/tarvesk "$work/stage"
  [ -x "$work/stage/opt/tarvesk/tarvesk" ] || fail "executable not staged under DESTDIR"
  unit="$work/stage/opt/tarvesk/share/tarvesk.service"
  expect_file "$unit"
  [ "$(key_of "$unit" ExecStart)" = "/opt/tarvesk/tarvesk-service" ] || fail "DESTDIR leaked into the unit"
  [ "$(key_of "$work/stage/opt/tarvesk/share/tarvesk.desktop" Icon)" = \
    "/opt/tarvesk/share/icons/hicolor/256x256/apps/tarvesk.png" ] || fail "desktop Icon"
  # Nothing went to the real prefix.
  [ "$had_real" = yes ] || expect_absent /opt/tarvesk
  ;;

desktop)
  command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate missing"; exit $SKIP; }
  install_into "$prefix"
  entry="$prefix/share/tarvesk.desktop"
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
  [ -z "$out" ] || fail "desktop-file-validate has remarks: $out"
  [ "$(key_of "$entry" Type)" = Application ] || fail "Type"
  [ "$(key_of "$entry" Name)" = Tarvesk ] || fail "Name"
  [ "$(key_of "$entry" X-GNOME-Autostart-enabled)" = true ] || fail "autostart flag"
  [ "$(key_of "$entry" Exec)" = "$prefix/tarvesk-desktop" ] || fail "Exec does not name the launcher"
  expect_file "$(key_of "$entry" Icon)"
  ;;

launcher)
  install_into "$prefix"
  # The user's side runs as nobody when the test runs as root.
  as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || { echo "setpriv missing"; exit $SKIP; }
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 711 "$work"
  fi
  user_id=$("${as_user[@]}" id -u)
  home="$work/home"
  mkdir -p "$home/.config/autostart"
  copy="$home/.local/share/tarvesk"
  launch() { run_until "$1" "$work/run.log" "${as_user[@]}" env -i HOME="$home" PATH="$PATH" "$prefix/tarvesk-desktop"; }
  started="running without a window, with $copy/Tarvesk.ini"

  # Coming from 1.0.0: the user's settings and logs come along on the first
  # run, and the old autostart entry is named. They lie in the installed
  # folder (a cmake install of the user's) or, where root can make it, in the
  # root's folder where the package's upgrade left the user copies.
  from=$prefix
  [ "$(id -u)" -ne 0 ] || { from=$prefix/from-1.0.0/$user_id && mkdir -p "$from" && printf 'y\r\n' >"$from/2026-12.log"; }
  printf '[HowToMonitor]\r\nPageURL=http://taken.example/\r\n' >"$from/Tarvesk.ini"
  printf 'x\r\n' >"$from/2026-11.log"
  chown "$user_id" "$from/Tarvesk.ini" "$from/2026-11.log"
  printf '[Desktop Entry]\nExec=%s/tarvesk\n' "$prefix" >"$home/.config/autostart/tarvesk.desktop"
  chown -R "$user_id" "$home"
  launch "$started" && grep -q "took over your Tarvesk.ini 2026-11.log from $from" "$work/run.log" &&
    grep -q "autostart/tarvesk.desktop still starts $prefix/tarvesk" "$work/run.log" ||
    { cat "$work/run.log" >&2; fail "the first run did not say what it took over and what still starts"; }
  [ "$(ini_value "$copy/Tarvesk.ini" PageURL)" = http://taken.example/ ] && cmp -s "$copy/2026-11.log" "$from/2026-11.log" ||
    fail "the settings or the log were not taken over"
  expect_absent "$copy/2026-12.log"
  # The copy is the installed program, in a folder of the user's alone.
  cmp -s "$copy/tarvesk" "$prefix/tarvesk" && cmp -s "$copy/tarvesk-service" "$prefix/tarvesk-service" ||
    fail "the user's copy is not the installed program"
  cmp -s "$copy/README.md" "$prefix/README.md" || fail "no README beside the user's copy"
  [ "$(stat -c %a "$copy")" = 700 ] || fail "the user's folder is open to others"
  [ -z "$(find "$copy" -name '.*' ! -name .Tarvesk.lock)" ] || fail "a temporary copy was left: $(ls -A "$copy")"
  # Taken over once: a second run keeps what the user has since.
  echo '; mine' >>"$copy/Tarvesk.ini"
  launch "$started" || fail "the second run did not start"
  ! grep -q "took over" "$work/run.log" || fail "taken over again"
  grep -q '^; mine' "$copy/Tarvesk.ini" || fail "the second run replaced the user's settings"

  # The user's own folder at 0755 is made 0700 again; a folder above it that
  # others may change is refused, in a box too where there is a display; a
  # linked folder is refused in one line that does not advise chmod.
  chmod 755 "$copy"
  launch "$started" && [ "$(stat -c %a "$copy")" = 700 ] || fail "a 0755 folder of the user's was not made 0700"
  chmod 777 "$home/.local"
  ! run_until never "$work/run.log" "${as_user[@]}" env -i HOME="$home" PATH="$PATH" DISPLAY=:99 \
    QT_QPA_PLATFORM=offscreen "$prefix/tarvesk-desktop" &&
    [ "$(grep -c "^Tarvesk: $home/.local (uid $user_id, mode 777) can be changed by others" "$work/run.log")" -eq 2 ] ||
    fail "a folder above that others may change was used, or not refused on the screen: $(cat "$work/run.log")"
  chmod 755 "$home/.local"
  mv "$copy" "$copy.real"
  ln -s "$copy.real" "$copy"
  ! launch "$started" && [ "$(wc -l <"$work/run.log")" -eq 1 ] && ! grep -q chmod "$work/run.log" ||
    fail "a linked folder was used: $(cat "$work/run.log")"

  # Root runs the installed program in place and never writes into the
  # folder its environment names, whoever owns it: not through a planted
  # link, not waiting on a FIFO.
  if [ "$(id -u)" -eq 0 ]; then
    rm "$copy" "$copy.real/tarvesk" "$copy.real/README.md"
    mv "$copy.real" "$copy"
    echo precious >"$work/root-file"
    chmod 600 "$work/root-file"
    ln -s "$work/root-file" "$copy/.tarvesk.new"
    mkfifo "$copy/README.md"
    chown -h "$user_id" "$copy/.tarvesk.new" "$copy/README.md"
    before=$(ls -lA --time-style=full-iso "$copy")
    run_until "running without a window, with $prefix/Tarvesk.ini" "$work/run.log" \
      env -i HOME="$home" XDG_DATA_HOME="$home/.local/share" PATH="$PATH" "$prefix/tarvesk-desktop" ||
      { cat "$work/run.log" >&2; fail "root's run of the installed program did not start"; }
    [ "$(cat "$work/root-file")" = precious ] && [ "$(stat -c %a "$work/root-file")" = 600 ] ||
      fail "root wrote through the user's link"
    [ "$(ls -lA --time-style=full-iso "$copy")" = "$before" ] || fail "root wrote into the user's folder"
  fi
  ;;

unit)
  command -v systemd-analyze >/dev/null || { echo "systemd-analyze missing"; exit $SKIP; }
  install_into "$prefix"
  unit="$prefix/share/tarvesk.service"
  # Works without systemd as PID 1; --man=no keeps it from looking up man pages.
  out=$(systemd-analyze verify --man=no "$unit" 2>&1) || fail "systemd-analyze verify: $out"
  # The program finds out by itself that there is no display.
  grep -q 'QT_QPA_PLATFORM' "$unit" && fail "the unit should not choose the window platform"
  grep -qx 'RestartPreventExitStatus=3' "$unit" || fail "RestartPreventExitStatus="
  grep -qx 'After=network-online.target' "$unit" || fail "After="
  grep -qx 'Wants=network-online.target' "$unit" || fail "Wants="
  grep -qx 'WantedBy=multi-user.target' "$unit" || fail "WantedBy="
  grep -Eqx 'Restart=(on-failure|always)' "$unit" || fail "Restart="
  # Commands outlive the service; the service is confined only where no
  # recovery command needs it (9.6 without any hardening).
  grep -qx 'KillMode=process' "$unit" || fail "KillMode="
  # Commands get the system's umask, locale, /proc/sys and environment; the
  # first check at boot waits for the usual web servers.
  grep -Eq '^(UMask|ProtectKernelTunables|Environment=LANG)=?' "$unit" && fail "UMask=, ProtectKernelTunables= or LANG="
  grep -Eq '^(RuntimeDirectory|Environment)=' "$unit" && fail "RuntimeDirectory= or Environment="
  grep -Eqx 'After=.*apache2\.service.*nginx\.service.*' "$unit" || fail "After= on the web servers"
  grep -Eq '^Wants=.*(apache2|nginx)' "$unit" && fail "Wants= on a web server"
  score=$(systemd-analyze security --offline=yes "$unit" 2>/dev/null | sed -n 's/.*exposure level for .*: \([0-9.]*\) .*/\1/p')
  awk -v s="${score:-10}" 'BEGIN { exit !(s < 8) }' || fail "exposure level ${score:-unknown}"
  grep -qx 'Type=notify' "$unit" && grep -qx 'NotifyAccess=main' "$unit" && grep -Eqx 'WatchdogSec=[0-9]+s' "$unit" ||
    fail "Type=, NotifyAccess= or WatchdogSec="
  # The check has teeth: a unit whose program is not there is refused.
  install_into /opt/tarvesk-absent "$work/stage"
  if systemd-analyze verify --man=no "$work/stage/opt/tarvesk-absent/share/tarvesk.service" >/dev/null 2>&1; then
    fail "verify accepted a unit whose ExecStart does not exist"
  fi
  ;;

resume)
  install_into "$prefix"
  unit="$prefix/share/tarvesk.service"
  printf '%s\r\n' '[HowToMonitor]' 'PageURL=http://127.0.0.1:9/' 'Interval=1' 'ResetIIS=0' \
    'ResetComputer=0' 'AbortMonitor=0' '[HowtoNotify]' 'NotifyIISReset=0' 'NotifyComputerReset=0' \
    'NotifyAbortMonitor=0' '[Status]' 'Language=eng' 'Monitoring=1' 'StartTime=2026-1-1 08:00:00' \
    'PageCheckCount=41' 'IISResetCount=0' 'ComputerResetCount=0' 'ContinousComputerResetFailure=0' \
    >"$prefix/Tarvesk.ini"
  # A second installation over a used folder leaves the settings alone.
  cp "$prefix/Tarvesk.ini" "$work/ini.before"
  install_into "$prefix"
  cmp -s "$prefix/Tarvesk.ini" "$work/ini.before" || fail "reinstall changed Tarvesk.ini"

  # Start it as the unit says: its program, its folder, its environment (none:
  # no display either), nothing else.
  exec_start=$(key_of "$unit" ExecStart)
  workdir=$(key_of "$unit" WorkingDirectory)
  environment=()
  while IFS= read -r line; do environment+=("$line"); done < <(sed -n 's/^Environment=//p' "$unit")
  (cd "$workdir" && exec env -i HOME="$work" "${environment[@]}" "$exec_start") >"$work/run.log" 2>&1 &
  child=$!
  count=41
  for _ in $(seq 1 60); do
    sleep 0.25
    count=$(ini_value "$prefix/Tarvesk.ini" PageCheckCount)
    [ "${count:-0}" -gt 42 ] && break
    kill -0 "$child" 2>/dev/null || { cat "$work/run.log" >&2; fail "program ended on its own"; }
  done
  [ "${count:-0}" -gt 42 ] || { cat "$work/run.log" >&2; fail "run not resumed: PageCheckCount=$count"; }
  kill -0 "$child" 2>/dev/null || fail "program ended on its own"
  [ "$(ini_value "$prefix/Tarvesk.ini" Monitoring)" = 1 ] || fail "Monitoring flag changed"
  grep -q "no display; running without a window, with $prefix/Tarvesk.ini" "$work/run.log" ||
    { cat "$work/run.log" >&2; fail "no word about running without a display"; }
  ! grep -q QStandardPaths "$work/run.log" || { cat "$work/run.log" >&2; fail "Qt misses a runtime folder"; }
  kill "$child"
  wait "$child" 2>/dev/null || true
  child=""
  ;;

uninstall)
  uninstall="$source/packaging/uninstall.sh"
  # Wrong calls change nothing.
  set +e
  "$uninstall" >/dev/null 2>&1; [ $? -eq 2 ] || fail "no argument accepted"
  "$uninstall" relative/path >/dev/null 2>&1; [ $? -eq 2 ] || fail "relative prefix accepted"
  "$uninstall" "$work/empty" >/dev/null 2>&1; [ $? -eq 1 ] || fail "missing installation not reported"
  set -e

  install_into "$prefix"
  printf '[Status]\r\nMonitoring=1\r\n' >"$prefix/Tarvesk.ini"
  printf 'x\r\n' >"$prefix/2026-1.log"
  printf 'y\r\n' >"$prefix/2026-12.log"
  "$prefix/share/tarvesk-uninstall.sh" "$prefix/" >"$work/uninstall.log" 2>&1 ||
    { cat "$work/uninstall.log" >&2; fail "uninstall failed"; }
  expect_absent "$prefix/tarvesk"
  expect_absent "$prefix/share"
  [ "$(cat "$prefix/Tarvesk.ini")" = "$(printf '[Status]\r\nMonitoring=1\r')" ] || fail "Tarvesk.ini changed"
  expect_file "$prefix/2026-1.log"
  expect_file "$prefix/2026-12.log"
  [ "$(find "$prefix" -mindepth 1 -printf "%f\n" | LC_ALL=C sort | tr '\n' ' ')" = "2026-1.log 2026-12.log Tarvesk.ini " ] || fail "left: $(ls -A "$prefix")"
  # Removed once; a second run finds nothing to remove.
  set +e; "$uninstall" "$prefix" >/dev/null 2>&1; rc=$?; set -e
  [ $rc -eq 1 ] || fail "second uninstall gave $rc"

  # A file of the operator's own in share/ keeps that folder; a folder with
  # no data at all goes entirely.
  other="$work/other/opt/tarvesk"
  install_into "$other"
  echo keep >"$other/share/notes.txt"
  "$uninstall" "$other" >/dev/null
  expect_file "$other/share/notes.txt"
  expect_absent "$other/share/icons"
  rm "$other/share/notes.txt"
  install_into "$other"
  "$uninstall" "$other" >/dev/null
  expect_absent "$other"
  ;;

*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
