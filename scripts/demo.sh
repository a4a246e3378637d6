#!/usr/bin/env bash
# Sets up and runs the main job: the conversion program on the suite's demo database, signed on
# at once with -autologon, with "MySQLweb" on the private MariaDB. Pick a table, "Lag tabell SQL",
# then "Kjør SQL". The demo's settings are written afresh on every run (--keep-settings keeps
# what the windows saved last time). --sign-on leaves out -autologon, to see the sign-on window
# first. With --server the database is on the private MariaDB and the program signs on with
# "TCP/IP" and "ff_server@127.0.0.1:PORT" (scripts/demo-server.sh). Other arguments go to the
# program. Without a display it runs under Xvfb: a picture of the window is saved and the demo
# ends. The demo lives in $KV_DEMO_DIR, else var/demo (var/demo-server with --server).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
root=$PWD

args=(-autologon)
settings=()
maker=scripts/demo-database.sh
default_folder=$root/var/demo
while [ $# -gt 0 ]; do
  case "$1" in
    --sign-on) args=() ;;
    --keep-settings) settings=(--keep-settings) ;;
    --server) maker=scripts/demo-server.sh default_folder=$root/var/demo-server ;;
    *) break ;;
  esac
  shift
done
args+=("$@")
demo=$(realpath -m "${KV_DEMO_DIR:-$default_folder}")
# The program takes its user name from USERNAME, USER or LOGNAME; a session without them (a
# container, cron) would leave "Brukernavn" empty, and the sign-on window then refuses "Ok".
[ -n "${USERNAME:-${USER:-${LOGNAME:-}}}" ] || export USER=$(id -un)

eval "$("$maker" "$demo" "${settings[@]}")"
scripts/mysql-local.sh start

cd "$demo"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running the program under Xvfb and saving a picture of it to $demo/conversion-window.png"
  KV_SCREENSHOT="$demo/conversion-window.png" KV_SCREENSHOT_TABLE=PROSJEKT \
    xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/kvist-convert" "${args[@]}"
  echo "Saved $demo/conversion-window.png"
else
  "$root/build/kvist-convert" "${args[@]}"
fi
