#!/usr/bin/env bash
# Builds the two Debian packages and checks them: lintian is silent, the file
# lists and the control fields are the expected ones, apt can satisfy their
# dependencies here, and an install, a start of the service program from the
# service package alone, a removal and a purge into a scratch root keep the
# operator's files, and so does `apt-get install -y` over the released 1.0.0
# and over 1.0.1, both one package. dpkg works on that root with its own
# database; the machine's own /opt and dpkg database are never touched.
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

debs=$(scripts/package.sh "$@")
service_deb=$(head -n1 <<<"$debs") deb=$(tail -n1 <<<"$debs")
# The version is the project's with the release built on: 1.1.0+deb12.
version=$(sed -n 's/^project(Tarvesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
release=$(. /etc/os-release && echo "${ID/#debian/deb}${VERSION_ID}")
version="$version+$release"
# Above everything released before, and a Debian 13 build above the Debian 12
# build of the same release, so that apt moves to it on its own.
for earlier in 1.0.0 1.0.0~deb12 1.0.0~deb13 1.0.0+deb13 1.0.1+deb13; do
  dpkg --compare-versions "$version" gt "$earlier" || fail "$version does not sort above $earlier"
done
dpkg --compare-versions "${version%+*}+deb13" gt "${version%+*}+deb12" || fail "the Debian 13 build sorts below 12's"

# lintian: errors and warnings fail, everything else is shown.
lintian --allow-root --fail-on error,warning "$service_deb" "$deb" || fail "lintian reports errors or warnings"
apt-get install --simulate -qq "$service_deb" "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt cannot satisfy the dependencies"; }

# Each package's file name, files and Depends: all of NEEDED (Debian 13
# renamed the libraries whose interface holds a time_t: libcurl4t64), and
# nothing that REFUSED matches.
check_package() {  # check_package PACKAGE FILE EXPECTED NEEDED [REFUSED]
  [ "$(basename "$2") $(dpkg-deb -f "$2" Version)" = "$1_${version}_$(dpkg --print-architecture).deb $version" ] || fail "$2"
  files=$(dpkg-deb --fsys-tarfile "$2" | tar -t | grep -v '/$' | LC_ALL=C sort)
  [ "$files" = "$3" ] || fail "file list of $1 differs:
$(diff <(echo "$3") <(echo "$files"))"
  depends=$(dpkg-deb -f "$2" Depends | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//; s/t64$//')
  for needed in $4; do grep -qx "$needed" <<<"$depends" || fail "$1 does not depend on $needed: $depends"; done
  ! grep -Ex "${5:-}" <<<"$depends" || fail "$1 depends on the packages above"
  # Two maintainer scripts, which take the folder back and check what was
  # unpacked; nothing is enabled or started by the install.
  [ "$(dpkg-deb --ctrl-tarfile "$2" | tar -t | grep -E 'inst$|rm$' | sort | tr '\n' ' ')" = "./postinst ./preinst " ] ||
    fail "maintainer scripts other than preinst and postinst"
  ! dpkg-deb -I "$2" preinst postinst | grep -Eq 'systemctl|deb-systemd|invoke-rc' || fail "a script enables or starts something"
}
check_package tarvesk-service "$service_deb" "./opt/tarvesk/tarvesk-service
./usr/lib/systemd/system/tarvesk.service
./usr/share/doc/tarvesk-service/README.md
./usr/share/doc/tarvesk-service/changelog.gz
./usr/share/doc/tarvesk-service/copyright
./usr/share/lintian/overrides/tarvesk-service" "libqt6core6 libcurl4 libsystemd0" \
  '(libqt6(gui|widgets|opengl)|libx11|libxcb|libxkb|libgl[1xe]|libegl|libopengl|libwayland|libfontconfig|libfreetype|fonts-).*'
check_package tarvesk "$deb" "./opt/tarvesk/tarvesk
./opt/tarvesk/tarvesk-desktop
./usr/share/applications/tarvesk.desktop
./usr/share/doc/tarvesk/changelog.gz
./usr/share/doc/tarvesk/copyright
./usr/share/icons/hicolor/16x16/apps/tarvesk.png
./usr/share/icons/hicolor/256x256/apps/tarvesk.png
./usr/share/icons/hicolor/32x32/apps/tarvesk.png
./usr/share/icons/hicolor/48x48/apps/tarvesk.png
./usr/share/icons/hicolor/scalable/apps/tarvesk.svg
./usr/share/lintian/overrides/tarvesk" "tarvesk-service fonts-noto-cjk libqt6widgets6 libcurl4"
# The window runs the service program of its own build; the service package
# takes the unit over from 1.0.1's one package.
dpkg-deb -f "$deb" Depends | grep -Fq "tarvesk-service (= $version)," || fail "the window needs a service of another version"
[ "$(dpkg-deb -f "$service_deb" Breaks Replaces)" = "Breaks: tarvesk (<< 1.1.0~)
Replaces: tarvesk (<< 1.1.0~)" ] || fail "the service package does not take over from 1.0.1's"

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
# The postinst runs outside the scratch root (which holds no shell) and acts
# on $DPKG_ROOT, as dpkg tells it.
pkg() { dpkg --root="$root" --force-depends --force-script-chrootless "$@" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg $*"; }; }
refused() {  # refused TEXT DPKG-ARGS...: dpkg fails, saying TEXT
  ! (pkg "${@:2}") 2>/dev/null && grep -q "$1" "$work/dpkg.log" || { cat "$work/dpkg.log" >&2; fail "dpkg ${*:2} did not fail with: $1"; }
}
status() { dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Version} ${db:Status-Status}\n' "$@" 2>/dev/null || echo not-installed; }

pkg -i "$service_deb"
[ "$(status tarvesk-service)" = "$version installed" ] || fail "not installed: $(status tarvesk-service)"
opt="$root/opt/tarvesk"
[ -x "$opt/tarvesk-service" ] && [ ! -e "$opt/tarvesk" ] || fail "not the service program alone in /opt/tarvesk"
[ -z "$(find "$root/etc" -name 'tarvesk*' 2>/dev/null)" ] || fail "the install enabled something in /etc"
unit="$root/usr/lib/systemd/system/tarvesk.service"
grep -qx 'ExecStart=/opt/tarvesk/tarvesk-service' "$unit" || fail "unit ExecStart"
grep -qx 'WorkingDirectory=/opt/tarvesk' "$unit" || fail "unit WorkingDirectory"
grep -qx 'Documentation=file:///usr/share/doc/tarvesk-service/README.md' "$unit" || fail "unit Documentation"
if command -v systemd-analyze >/dev/null; then
  # The unit as the scratch root would run it.
  sed "s|/opt/tarvesk|$opt|g" "$unit" >"$work/tarvesk.service"
  out=$(systemd-analyze verify --man=no "$work/tarvesk.service" 2>&1) || fail "systemd-analyze verify: $out"
fi

# The service program starts as the unit starts it and writes its settings
# beside itself; the operator adds a log and a file of their own.
(cd "$opt" && exec env -i "$opt/tarvesk-service") >"$work/run.log" 2>&1 &
child=$!
for _ in $(seq 1 80); do
  [ -s "$opt/Tarvesk.ini" ] && break
  kill -0 "$child" 2>/dev/null || { cat "$work/run.log" >&2; fail "installed program ended on its own"; }
  sleep 0.25
done
[ -s "$opt/Tarvesk.ini" ] || { cat "$work/run.log" >&2; fail "installed program wrote no Tarvesk.ini"; }
# Started with no locale at all, as a service may be: the toolkit does not
# complain about the character set.
! grep -q "Detected locale" "$work/run.log" || { cat "$work/run.log" >&2; fail "a locale warning with no locale set"; }
kill "$child"; wait "$child" 2>/dev/null || true; child=""
printf 'x\r\n' >"$opt/2026-12.log"
echo mine >"$opt/notes.txt"
cp "$opt/Tarvesk.ini" "$work/ini.before"

pkg -i "$deb"
entry="$root/usr/share/applications/tarvesk.desktop"
grep -qx 'Exec=/opt/tarvesk/tarvesk-desktop' "$entry" || fail "desktop Exec"
grep -qx 'Icon=tarvesk' "$entry" || fail "desktop Icon is not the theme name"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
fi
kept() {  # the operator's files are as they were
  cmp -s "$opt/Tarvesk.ini" "$work/ini.before" || fail "$1 changed or removed Tarvesk.ini"
  [ "$(cat "$opt/2026-12.log")" = $'x\r' ] && [ "$(cat "$opt/notes.txt")" = mine ] || fail "$1 changed the operator's files"
}
gone() {  # after removal or purge: the programs are gone, the operator's files stay
  [ ! -e "$opt/tarvesk" ] && [ ! -e "$opt/tarvesk-service" ] || fail "$1 left a program"
  [ ! -e "$unit" ] && [ ! -e "$entry" ] || fail "$1 left the unit or the desktop entry"
  kept "$1"
}
pkg -r tarvesk tarvesk-service
gone removal
pkg -i "$service_deb" "$deb"
kept reinstall
pkg -P tarvesk tarvesk-service
gone purge
[ "$(status tarvesk tarvesk-service)" = not-installed ] || fail "still known after purge: $(status tarvesk tarvesk-service)"

# The one package 1.0.0 and 1.0.1 were, made of today's two without the
# service program and the scripts, which they lacked.
old_package() {
  dpkg-deb -R "$deb" "$work/old" && dpkg-deb -x "$service_deb" "$work/old"
  rm -r "$work/old"/{opt/tarvesk/tarvesk-service,usr/share/lintian/overrides/tarvesk-service,DEBIAN/postinst,DEBIAN/preinst}
  mv "$work/old/usr/share/doc/tarvesk-service/README.md" "$work/old/usr/share/doc/tarvesk/" && rm -r "$work/old/usr/share/doc/tarvesk-service"
  sed -i -e "s/^Version: .*/Version: $1/" -e 's/^Depends: tarvesk-service ([^)]*), /Depends: /' "$work/old/DEBIAN/control"
  dpkg-deb -b "$work/old" "$work/old.deb" >/dev/null && rm -r "$work/old"
  pkg -i "$work/old.deb"
}
# apt takes the machine's packages as installed in the scratch root, so that
# nothing but Tarvesk is to be done; its state and logs stay in the work folder.
awk -v RS= -v ORS='\n\n' '!/^Package: tarvesk(-service)?\n/' /var/lib/dpkg/status >>"$root/var/lib/dpkg/status"
mkdir -p "$work/apt-log"
upgrade() {  # apt-get install -y of both packages ends with both installed, as packaged
  apt-get install -y -q --no-install-recommends -o Dir::State::status="$root/var/lib/dpkg/status" \
    -o Dir::State::extended_states="$work/extended_states" -o Dir::Log="$work/apt-log" \
    -o DPkg::Options::=--root="$root" -o DPkg::Options::=--force-script-chrootless \
    "$service_deb" "$deb" </dev/null >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install -y over $1"; }
  [ "$(status tarvesk tarvesk-service | paste -sd' ')" = "$version installed $version installed" ] || fail "not upgraded over $1"
  out=$(dpkg --root="$root" --verify tarvesk tarvesk-service 2>&1) && [ -z "$out" ] || fail "over $1 the packages' files differ: $out"
}
old_package "1.0.1+$release"
upgrade 1.0.1
kept "the upgrade over 1.0.1"

# Over the released 1.0.0, on whose README's advice a desktop user took the
# folder: apt-get upgrades without a question, keeps the settings and the
# log, and gives the folder back to root.
pkg -P tarvesk tarvesk-service
old_package 1.0.0
: >"$opt/.Tarvesk.lock"
chown -R 65534 "$opt"
chmod 775 "$opt"
# His link, and a second name of a root file elsewhere (root stands in for
# him where fs.protected_hardlinks keeps him from making it).
echo secret >"$work/outside" && chmod 640 "$work/outside"
ln -s "$work/outside" "$opt/2026-10.log" && chown -h 65534 "$opt/2026-10.log" && ln "$work/outside" "$opt/2026-11.log"
outside() { stat -c '%U:%G %a %h' "$work/outside"; cat "$work/outside"; }
outside >"$work/outside.before"
mkdir "$work/before" && cp "$opt/Tarvesk.ini" "$opt/2026-12.log" "$work/before/"
upgrade 1.0.0
root_alone() { [ "$(stat -c %U:%G "$1")" = root:root ] && [ -z "$(find "$1" -maxdepth 0 -perm /022)" ]; }
for path in "$opt" "$opt/tarvesk" "$opt/tarvesk-desktop" "$opt/tarvesk-service"; do
  root_alone "$path" || fail "$path is not root's alone after the upgrade: $(stat -c '%U:%G %a' "$path")"
done
copies="$opt/from-1.0.0/65534"
for name in Tarvesk.ini 2026-12.log; do
  cmp -s "$opt/$name" "$work/before/$name" && cmp -s "$copies/$name" "$opt/$name" ||
    fail "the upgrade changed $name, or left its owner no copy of it"
  [ "$(stat -c '%U:%G %a' "$opt/$name")" = "root:root 600" ] && [ "$(stat -c '%u %a' "$copies/$name")" = "65534 600" ] ||
    fail "$name is not root's 0600, or its copy not its owner's 0600"
done
[ "$(stat -c '%U:%G %a %s' "$opt/.Tarvesk.lock")" = "root:root 600 0" ] && [ ! -e "$copies/.Tarvesk.lock" ] || fail "the lock"
# The user's commands, now in a file of root's, wait for the operator's review.
[ "$(stat -c '%U:%G %a' "$opt/.Tarvesk.ini.taken-over")" = "root:root 600" ] || fail "no marker of the taken-over INI"
cmp -s <(outside) "$work/outside.before" && [ -L "$opt/2026-10.log" ] || fail "the upgrade changed a file outside the folder"
for said in "gave /opt/tarvesk back to root" "made 2026-12.log Tarvesk.ini .Tarvesk.lock in /opt/tarvesk root's" \
  "2026-10.log (symbolic link of uid 65534), 2026-11.log (regular file of uid 0, with 2 names)" \
  "runs none of the commands in Tarvesk.ini as root until"; do
  grep -q "tarvesk: .*$said" "$work/apt.log" || { cat "$work/apt.log" >&2; fail "the upgrade did not say: $said"; }
done
# A folder that is root's already is left in silence.
pkg -i "$service_deb" "$deb"
! grep -q "^tarvesk:" "$work/dpkg.log" || fail "a reinstall over root's folder said: $(cat "$work/dpkg.log")"
# A root:root folder that others may write in is mended too.
chmod 775 "$opt" && pkg -i "$deb"
root_alone "$opt" || fail "a root:root 0775 folder stayed open to the group"
# The race, with root standing in for the user: a program replaced between
# the unpacking and the postinst fails the configuration of its own package
# and is moved aside.
for file in "$service_deb" "$deb"; do
  package=$(dpkg-deb -f "$file" Package)
  chown 65534 "$opt" && pkg --unpack "$file"
  root_alone "$opt" || fail "the folder was not taken back before unpacking"
  cp /bin/true "$opt/.swap" && mv "$opt/.swap" "$opt/$package"
  refused "/opt/tarvesk/$package is not the file this package unpacked.*--reinstall $package\$" --configure "$package"
  [ ! -e "$opt/$package" ] && cmp -s /bin/true "$opt/$package.not-packaged" || fail "the replaced $package was left in place"
  pkg -i "$file"
done
# A linked folder is never changed, nor what it leads to.
mv "$opt" "$work/linked" && ln -s "$work/linked" "$opt" && chown 65534 "$work/linked"
refused "/opt/tarvesk is a link to $work/linked, not to a folder of root's alone" -i "$deb"
[ "$(stat -c %u "$work/linked")" = 65534 ] || fail "the folder a link leads to was chowned"

if [ "$had_opt" = no ] && [ -e /opt/tarvesk ]; then fail "the machine's /opt/tarvesk was touched"; fi
echo "PASS: packages $(basename "$service_deb") $(basename "$deb")"
