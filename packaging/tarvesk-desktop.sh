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
refuse() { say "$*"; exit 1; }

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
mkdir -p "$data"
[ -e "$folder" ] || [ -L "$folder" ] || mkdir -m 700 "$folder"
# Another user who could reach into it could swap the program between the
# check below and its start, or read the mail password.
if [ -L "$folder" ] || [ ! -d "$folder" ] || [ "$(stat -c %u "$folder")" != "$(id -u)" ] ||
   [ -z "$(find "$folder" -maxdepth 0 -perm -700 ! -perm /077)" ]; then
  refuse "$folder must be a folder of your own (not a link) with mode 0700; mend it with: chmod 700 \"$folder\""
fi

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
# the first run here, that user's settings and logs there come along.
if ! regular "$folder/Tarvesk.ini" && ! [ -L "$folder/Tarvesk.ini" ]; then
  mine() { regular "$1" && [ "$(stat -c %u "$1")" = "$(id -u)" ]; }
  if mine "$installed/Tarvesk.ini" && copy_in "$installed/Tarvesk.ini" Tarvesk.ini 600; then
    taken="Tarvesk.ini"
    for log in "$installed"/[0-9][0-9][0-9][0-9]-[0-9].log "$installed"/[0-9][0-9][0-9][0-9]-1[0-2].log; do
      name=${log##*/}
      if mine "$log" && [ ! -e "$folder/$name" ] && [ ! -L "$folder/$name" ] && copy_in "$log" "$name" 600; then
        taken="$taken $name"
      fi
    done
    say "took over your $taken from $installed into $folder; the files in $installed are no longer used"
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
