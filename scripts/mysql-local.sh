#!/usr/bin/env bash
# A private MariaDB for the demo and the tests: its data, socket, pid and log live in one folder
# of ours, it listens on no TCP port, and root signs on through the socket without a password.
#   scripts/mysql-local.sh start|stop|status
# Folder: $KV_MYSQL_DIR, else ${XDG_STATE_HOME:-~/.local/state}/kvistmerket/mysql (the program's
# default "MySQLweb" alias looks for the socket in the same place). Start and stop are idempotent.
set -euo pipefail

dir=${KV_MYSQL_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/kvistmerket/mysql}
socket="$dir/mysqld.sock"
pidfile="$dir/mysqld.pid"
user=$(id -un)
# The database the default alias uses.
database=kvist

running() {
  mariadb-admin --no-defaults --socket="$socket" --user=root ping >/dev/null 2>&1
}

initialise() {
  [ -d "$dir/data/mysql" ] && return
  mkdir -p "$dir/data"
  mariadb-install-db --no-defaults --datadir="$dir/data" --user="$user" \
    --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 || {
    echo "mariadb-install-db failed; see $dir/install.log" >&2
    exit 1
  }
}

start() {
  if running; then
    echo "MariaDB already running on $socket"
    return
  fi
  initialise
  rm -f "$socket" "$pidfile"
  setsid mariadbd --no-defaults --datadir="$dir/data" --socket="$socket" --pid-file="$pidfile" \
    --skip-networking --user="$user" --log-error="$dir/error.log" \
    --innodb-buffer-pool-size=64M --max-connections=50 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 150); do
    if running; then
      mariadb --no-defaults --socket="$socket" --user=root -e "CREATE DATABASE IF NOT EXISTS $database"
      echo "MariaDB started on $socket"
      return
    fi
    sleep 0.2
  done
  echo "MariaDB did not start; see $dir/error.log" >&2
  exit 1
}

stop() {
  if ! running; then
    echo "MariaDB not running"
    return
  fi
  mariadb-admin --no-defaults --socket="$socket" --user=root shutdown
  for _ in $(seq 1 150); do
    [ -e "$pidfile" ] || break
    sleep 0.2
  done
  echo "MariaDB stopped"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status)
    if running; then
      echo "MariaDB running on $socket"
    else
      echo "MariaDB not running"
      exit 3
    fi
    ;;
  *)
    echo "usage: scripts/mysql-local.sh start|stop|status" >&2
    exit 2
    ;;
esac
