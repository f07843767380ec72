#!/bin/sh
# Starts Tarvesk for the user at the desktop, from a folder of the user's own:
# $XDG_DATA_HOME/tarvesk (~/.local/share/tarvesk), where it keeps that user's
# Tarvesk.ini and logs. The installed folder stays root's: handing it to a user
# would let that user replace the program that the service runs as root.
# The installed programs (the window and the service program it runs where
# there is no display, and the README, where one lies beside them) are copied
# there when a copy is missing or differs, so an upgrade reaches every user at
# their next start.
set -eu

installed=$(dirname "$(readlink -f "$0")")
say() { echo "Tarvesk: $*" >&2; }
# Started from a menu, nobody sees standard error: the installed program
# (root's, never the user's copy) shows the refusal in a box as well.
refuse() {
  say "$*"
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then "$installed/tarvesk" --message "$*" || true; fi
  exit 1
}

# Root runs the installed program where it lies. Its environment may still
# name a user's folders (sudo -E, su without -): they are never touched.
if [ "$(id -u)" -eq 0 ]; then
  cd "$installed"
  exec "$installed/tarvesk" "$@"
fi

regular() { [ -f "$1" ] && [ ! -L "$1" ]; }
# A file's bytes, read without following a link and without waiting on a
# FIFO that stands in its place.
read_regular() { dd if="$1" iflag=nonblock,nofollow bs=64K status=none; }

case "${XDG_DATA_HOME:-}" in
  /*) data=$XDG_DATA_HOME ;;
  *) [ -n "${HOME:-}" ] || refuse "neither XDG_DATA_HOME nor HOME names a folder to keep your settings in"
     data=$HOME/.local/share ;;
esac
folder=$data/tarvesk
uid=$(id -u)
# safe DIR: yours or root's, and nobody else may write in it. Others may add
# names to a sticky folder (/tmp), never rename yours.
safe() {
  # shellcheck disable=SC2046 # owner and mode, two words
  set -- $(stat -L -c '%u %a' "$1" 2>/dev/null)
  [ $# -eq 2 ] && { [ "$1" = 0 ] || [ "$1" = "$uid" ]; } && { [ $((0$2 & 022)) -eq 0 ] || [ $((0$2 & 01000)) -ne 0 ]; }
}
mkdir -p "$data"
# Another user who could rename in any folder on the way could swap the
# program between the comparison below and its start, or read the mail
# password. Walked as written and as the links resolve.
for start in "$data" "$(readlink -f "$data")"; do
  dir=$start
  while :; do
    safe "$dir" || refuse "$dir ($(stat -L -c 'uid %u, mode %a' "$dir" 2>/dev/null || echo 'not found')) can be changed by" \
      "others than you and root, who could swap the program in $folder before it starts: keep your data in" \
      "folders that only you and root can change (XDG_DATA_HOME names another)"
    case $dir in / | .) break ;; esac
    dir=$(dirname "$dir")
  done
done
[ -e "$folder" ] || [ -L "$folder" ] || mkdir -m 700 "$folder"
if [ -L "$folder" ] || [ ! -d "$folder" ] || [ "$(stat -c %u "$folder")" != "$uid" ]; then
  what="not a folder"
  if [ -L "$folder" ]; then what="a link"; elif [ -d "$folder" ]; then what="uid $(stat -c %u "$folder")'s folder"; fi
  refuse "$folder is $what, not a folder of your own: move it away (as its owner, or ask an administrator) and" \
    "start Tarvesk again, which then makes a new one"
fi
chmod 700 "$folder" || refuse "could not make $folder yours alone (mode 0700)"

# copy_in SOURCE NAME MODE: SOURCE into the folder as NAME through a new file
# of its own, checked against SOURCE before it takes NAME's place. A running
# copy keeps the file it started from.
copy_in() {
  tmp=$(mktemp "$folder/.$2.XXXXXX")
  if read_regular "$1" >"$tmp" && read_regular "$1" | cmp -s - "$tmp" && chmod "$3" "$tmp" &&
     mv -f "$tmp" "$folder/$2"; then
    return 0
  fi
  rm -f "$tmp"
  return 1
}

# refresh NAME MODE: the installed file copied where the copy is missing or differs.
refresh() {
  regular "$folder/$1" && read_regular "$installed/$1" | cmp -s - "$folder/$1" && return 0
  copy_in "$installed/$1" "$1" "$2"
}

# Coming from 1.0.0, where a desktop user ran the installed folder itself: on
# the first run here, that user's settings and logs come along, from that
# folder (a cmake install of the user's) or from the copies the package's
# upgrade left the user in from-1.0.0/<uid>/ (folders root's).
if ! regular "$folder/Tarvesk.ini" && ! [ -L "$folder/Tarvesk.ini" ]; then
  mine() { regular "$1" && [ "$(stat -c %u "$1")" = "$uid" ]; }
  from=$installed
  if ! mine "$from/Tarvesk.ini" && safe "$installed/from-1.0.0" && safe "$installed/from-1.0.0/$uid"; then
    from=$installed/from-1.0.0/$uid
  fi
  if mine "$from/Tarvesk.ini" && copy_in "$from/Tarvesk.ini" Tarvesk.ini 600; then
    taken="Tarvesk.ini"
    for log in "$from"/[0-9][0-9][0-9][0-9]-[0-9].log "$from"/[0-9][0-9][0-9][0-9]-1[0-2].log; do
      name=${log##*/}
      if mine "$log" && [ ! -e "$folder/$name" ] && [ ! -L "$folder/$name" ] && copy_in "$log" "$name" 600; then
        taken="$taken $name"
      fi
    done
    say "took over your $taken from $from into $folder; the files in $from are no longer used"
    autostart=${XDG_CONFIG_HOME:-${HOME:-/nonexistent}/.config}/autostart
    for entry in "$autostart"/*.desktop; do
      if regular "$entry" && grep -qx "Exec=$installed/tarvesk" "$entry"; then
        say "$entry still starts $installed/tarvesk at login, a second watchdog beside this one: remove it"
      fi
    done
  fi
fi

regular "$installed/tarvesk" || refuse "$installed/tarvesk is not a regular file; reinstall Tarvesk"
refresh tarvesk 755 || refuse "could not copy $installed/tarvesk into $folder"
if regular "$installed/tarvesk-service"; then
  refresh tarvesk-service 755 || say "could not copy $installed/tarvesk-service into $folder"
fi
if regular "$installed/README.md"; then refresh README.md 644 || say "could not copy the README into $folder"; fi

cd "$folder"
exec "$folder/tarvesk" "$@"
