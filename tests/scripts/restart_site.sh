#!/bin/sh
# Stands in for a web-server restart: stops the test web server, waits a
# moment, starts it again on the same port. Usage: restart_site.sh DIR STATUS
dir=$1
status=$2
here=$(dirname "$0")
kill "$(cat "$dir/server.pid")" 2>/dev/null
echo restart >> "$dir/restarts"
sleep 1
setsid /usr/bin/python3 "$here/status_server.py" --status "$status" --port "$(cat "$dir/server.port")" \
  --pid-file "$dir/server.pid" </dev/null >/dev/null 2>&1 &
