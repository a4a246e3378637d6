#!/usr/bin/env bash
# Sets up and runs the main job: the conversion program on the suite's demo database, signed on
# at once with -autologon, with "MySQLweb" on the private MariaDB. Pick a table, "Lag tabell SQL",
# then "Kjør SQL". Extra arguments go to the program (leave out -autologon by giving --sign-on
# to see the sign-on window first). With --server (first) the database is on the private MariaDB
# and the program signs on with "TCP/IP" and "ff_server@127.0.0.1:PORT" (scripts/demo-server.sh).
# Without a display it runs under Xvfb: a picture of the window is saved and the demo ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
root=$PWD
demo=$root/var/demo
if [ "${1:-}" = "--server" ]; then
  shift
  demo=$root/var/demo-server
  eval "$(scripts/demo-server.sh "$demo")"
else
  eval "$(scripts/demo-database.sh "$demo")"
fi
scripts/mysql-local.sh start

args=(-autologon)
if [ "${1:-}" = "--sign-on" ]; then
  args=()
  shift
fi
args+=("$@")
cd "$demo"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running the program under Xvfb and saving a picture of it to $demo/conversion-window.png"
  KV_SCREENSHOT="$demo/conversion-window.png" KV_SCREENSHOT_TABLE=PROSJEKT \
    xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/kvist-convert" "${args[@]}"
  echo "Saved $demo/conversion-window.png"
else
  "$root/build/kvist-convert" "${args[@]}"
fi
