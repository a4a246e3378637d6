#!/usr/bin/env bash
# A private MariaDB for the demo and the tests: its data, socket, pid and log live in one folder
# of ours, and root signs on through the socket without a password.
#   scripts/mysql-local.sh start [--port PORT]|stop|status|tcp-config
# Folder: $KV_MYSQL_DIR, else ${XDG_STATE_HOME:-~/.local/state}/kvistmerket/mysql (the program's
# default "MySQLweb" alias looks for the socket in the same place). Start and stop are idempotent.
# Without a port it listens on no TCP port. With --port (or $KV_MYSQL_PORT) it also listens on
# 127.0.0.1 at that port, never on another address, for the store's "TCP/IP" protocol: the user
# "kvist" signs on from 127.0.0.1 with a password made once, and tcp.cfg in the folder holds
# port=, user= and password= for the demo and the tests. A server running without the asked
# port is restarted with it.
set -euo pipefail

dir=${KV_MYSQL_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/kvistmerket/mysql}
socket="$dir/mysqld.sock"
pidfile="$dir/mysqld.pid"
user=$(id -un)
# The database the default alias uses.
database=kvist
tcpconfig="$dir/tcp.cfg"
port=${KV_MYSQL_PORT:-}

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

running_port() {
  [ -f "$tcpconfig" ] && sed -n 's/^port=//p' "$tcpconfig"
}

# The TCP user: a password made once, kept readable by us only.
tcp_login() {
  local password
  password=$(sed -n 's/^password=//p' "$dir/tcp.login" 2>/dev/null || true)
  if [ -z "$password" ]; then
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    (umask 077 && echo "password=$password" >"$dir/tcp.login")
  fi
  mariadb --no-defaults --socket="$socket" --user=root -e "
    CREATE USER IF NOT EXISTS 'kvist'@'127.0.0.1' IDENTIFIED BY '$password';
    ALTER USER 'kvist'@'127.0.0.1' IDENTIFIED BY '$password';
    GRANT ALL PRIVILEGES ON *.* TO 'kvist'@'127.0.0.1'"
  (umask 077 && printf 'port=%s\nuser=kvist\npassword=%s\n' "$port" "$password" >"$tcpconfig")
}

start() {
  if running; then
    if [ -z "$port" ] || [ "$(running_port)" = "$port" ]; then
      echo "MariaDB already running on $socket${port:+ and 127.0.0.1:$port}"
      return
    fi
    echo "MariaDB running without port $port: restarting it"
    stop
  fi
  initialise
  rm -f "$socket" "$pidfile" "$tcpconfig"
  local network=(--skip-networking)
  [ -n "$port" ] && network=(--port="$port" --bind-address=127.0.0.1 --skip-name-resolve)
  setsid mariadbd --no-defaults --datadir="$dir/data" --socket="$socket" --pid-file="$pidfile" \
    "${network[@]}" --user="$user" --log-error="$dir/error.log" \
    --innodb-buffer-pool-size=64M --max-connections=50 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 150); do
    if running; then
      mariadb --no-defaults --socket="$socket" --user=root -e "CREATE DATABASE IF NOT EXISTS $database"
      [ -n "$port" ] && tcp_login
      echo "MariaDB started on $socket${port:+ and 127.0.0.1:$port}"
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
  rm -f "$tcpconfig"
  for _ in $(seq 1 150); do
    [ -e "$pidfile" ] || break
    sleep 0.2
  done
  echo "MariaDB stopped"
}

command=${1:-}
shift || true
if [ "$command" = start ] && [ "${1:-}" = --port ]; then
  port=${2:?"--port needs a number"}
  shift 2
fi
case "$port" in
  "" | [1-9] | [1-9][0-9] | [1-9][0-9][0-9] | [1-9][0-9][0-9][0-9] | [1-9][0-9][0-9][0-9][0-9]) ;;
  *)
    echo "not a port: $port" >&2
    exit 2
    ;;
esac
case "$command" in
  start) start ;;
  stop) stop ;;
  tcp-config)
    # port=, user= and password= of the TCP listener, for the demo and the tests.
    if running && [ -f "$tcpconfig" ]; then
      cat "$tcpconfig"
    else
      echo "MariaDB is not listening on a TCP port (scripts/mysql-local.sh start --port PORT)" >&2
      exit 3
    fi
    ;;
  status)
    if running; then
      echo "MariaDB running on $socket$( [ -n "$(running_port)" ] && echo " and 127.0.0.1:$(running_port)")"
    else
      echo "MariaDB not running"
      exit 3
    fi
    ;;
  *)
    echo "usage: scripts/mysql-local.sh start [--port PORT]|stop|status|tcp-config" >&2
    exit 2
    ;;
esac
