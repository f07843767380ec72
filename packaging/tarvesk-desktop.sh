#!/bin/sh
# Starts Tarvesk for the user at the desktop, from a folder of the user's own:
# $XDG_DATA_HOME/tarvesk (~/.local/share/tarvesk), where it keeps that user's
# Tarvesk.ini and logs. The installed folder stays root's: handing it to a user
# would let that user replace the program that the service runs as root.
# The installed program (and its README, where one lies beside it) is copied
# there when the copy is missing or differs, so an upgrade reaches every user
# at their next start.
set -eu

installed=$(dirname "$(readlink -f "$0")")
folder="${XDG_DATA_HOME:-$HOME/.local/share}/tarvesk"
mkdir -p "$folder"
chmod 700 "$folder"

refresh() {  # refresh FILE MODE
  [ -f "$installed/$1" ] || return 0
  cmp -s "$installed/$1" "$folder/$1" && return 0
  # A new file renamed into place: a running copy keeps its own.
  cp "$installed/$1" "$folder/.$1.new"
  chmod "$2" "$folder/.$1.new"
  mv -f "$folder/.$1.new" "$folder/$1"
}
refresh tarvesk 755
refresh README.md 644

cd "$folder"
exec "$folder/tarvesk" "$@"
