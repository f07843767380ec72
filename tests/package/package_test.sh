#!/usr/bin/env bash
# Builds the Debian package and checks it: lintian finds no error, the file
# list and the control fields are the expected ones, apt can satisfy its
# dependencies here, and an install, a start of the installed program, a
# removal and a purge into a scratch root keep the operator's files. dpkg
# works on that root with its own database; the machine's own /opt and dpkg
# database are never touched.
# usage: tests/package/package_test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
child=""
cleanup() {
  if [ -n "$child" ]; then kill "$child" 2>/dev/null || true; wait "$child" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
had_opt=no; [ -e /opt/tarvesk ] && had_opt=yes

deb=$(scripts/package.sh "$@" | tail -n1)
[ -f "$deb" ] || fail "package.sh did not name a package: $deb"
# The version is the project's with the release built on: 1.0.0~deb12.
version=$(sed -n 's/^project(Tarvesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=$(. /etc/os-release && echo "${ID/#debian/deb}${VERSION_ID}")
version="$version~$release"
[ "$(basename "$deb")" = "tarvesk_${version}_$(dpkg --print-architecture).deb" ] || fail "file name $deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"

# lintian: errors fail, everything else is shown.
lintian --allow-root --fail-on error "$deb" || fail "lintian reports errors"

depends=$(dpkg-deb -f "$deb" Depends)
# Debian 13 renamed the libraries whose interface holds a time_t (libcurl4t64).
for needed in fonts-noto-cjk libqt6widgets6 libcurl4; do
  grep -Eq "(^|[ ,|])${needed}(t64)?( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
apt-get install --simulate -qq "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt cannot satisfy the dependencies"; }

expected="./opt/tarvesk/tarvesk
./opt/tarvesk/tarvesk-desktop
./usr/lib/systemd/system/tarvesk.service
./usr/share/applications/tarvesk.desktop
./usr/share/doc/tarvesk/README.md
./usr/share/doc/tarvesk/changelog.gz
./usr/share/doc/tarvesk/copyright
./usr/share/icons/hicolor/16x16/apps/tarvesk.png
./usr/share/icons/hicolor/256x256/apps/tarvesk.png
./usr/share/icons/hicolor/32x32/apps/tarvesk.png
./usr/share/icons/hicolor/48x48/apps/tarvesk.png
./usr/share/icons/hicolor/scalable/apps/tarvesk.svg
./usr/share/lintian/overrides/tarvesk"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort)
[ "$files" = "$expected" ] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$files"))"
# No maintainer scripts: nothing is enabled or started by the install.
[ -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'inst$|rm$')" ] || fail "maintainer scripts shipped"

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
pkg() { dpkg --root="$root" --force-depends "$@" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg $*"; }; }
status() { dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${db:Status-Status}' tarvesk 2>/dev/null || echo not-installed; }

pkg -i "$deb"
[ "$(status)" = installed ] || fail "not installed: $(status)"
opt="$root/opt/tarvesk"
[ -x "$opt/tarvesk" ] || fail "program not in /opt/tarvesk"
[ -z "$(find "$root/etc" -name 'tarvesk*' 2>/dev/null)" ] || fail "the install enabled something in /etc"
unit="$root/usr/lib/systemd/system/tarvesk.service"
grep -qx 'ExecStart=/opt/tarvesk/tarvesk' "$unit" || fail "unit ExecStart"
grep -qx 'WorkingDirectory=/opt/tarvesk' "$unit" || fail "unit WorkingDirectory"
grep -qx 'Documentation=file:///usr/share/doc/tarvesk/README.md' "$unit" || fail "unit Documentation"
entry="$root/usr/share/applications/tarvesk.desktop"
grep -qx 'Exec=/opt/tarvesk/tarvesk-desktop' "$entry" || fail "desktop Exec"
grep -qx 'Icon=tarvesk' "$entry" || fail "desktop Icon is not the theme name"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
fi
if command -v systemd-analyze >/dev/null; then
  # The unit as the scratch root would run it.
  sed "s|/opt/tarvesk|$opt|g" "$unit" >"$work/tarvesk.service"
  out=$(systemd-analyze verify --man=no "$work/tarvesk.service" 2>&1) || fail "systemd-analyze verify: $out"
fi

# The installed program starts as the unit starts it and writes its settings
# beside itself; the operator adds a log and a file of their own.
(cd "$opt" && exec env -i HOME="$work" QT_QPA_PLATFORM=offscreen "$opt/tarvesk") >"$work/run.log" 2>&1 &
child=$!
for _ in $(seq 1 80); do
  [ -s "$opt/Tarvesk.ini" ] && break
  kill -0 "$child" 2>/dev/null || { cat "$work/run.log" >&2; fail "installed program ended on its own"; }
  sleep 0.25
done
[ -s "$opt/Tarvesk.ini" ] || { cat "$work/run.log" >&2; fail "installed program wrote no Tarvesk.ini"; }
kill "$child"; wait "$child" 2>/dev/null || true; child=""
printf 'x\r\n' >"$opt/2026-12.log"
echo mine >"$opt/notes.txt"
cp "$opt/Tarvesk.ini" "$work/ini.before"

kept() {  # after removal or purge: the program is gone, the operator's files stay
  [ ! -e "$opt/tarvesk" ] || fail "$1 left the program"
  [ ! -e "$unit" ] && [ ! -e "$entry" ] || fail "$1 left the unit or the desktop entry"
  cmp -s "$opt/Tarvesk.ini" "$work/ini.before" || fail "$1 changed or removed Tarvesk.ini"
  [ -f "$opt/2026-12.log" ] && [ "$(cat "$opt/notes.txt")" = mine ] || fail "$1 removed the operator's files"
}
pkg -r tarvesk
kept removal
pkg -i "$deb"
cmp -s "$opt/Tarvesk.ini" "$work/ini.before" || fail "reinstall changed Tarvesk.ini"
pkg -P tarvesk
kept purge
[ "$(status)" = not-installed ] || fail "still known after purge: $(status)"

if [ "$had_opt" = no ] && [ -e /opt/tarvesk ]; then fail "the machine's /opt/tarvesk was touched"; fi
echo "PASS: package $(basename "$deb")"
