#!/usr/bin/env bash
# A private MariaDB for the demo and the tests: its data, socket, pid, log and TLS certificates
# live in one folder of ours that only we can open. The administrator is our own system user
# (root when we are root), signing on through the socket only (unix_socket, no password); no
# root over TCP/IP.
# It logs binary, as a firm's server often does, so nothing the store does may need SUPER.
#   scripts/mysql-local.sh start [--port PORT]|stop|status|tcp-config|firm DATABASE [--owner] [--login]
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
# Our administrator account: unix_socket signs on the system user of the same name.
admin=$user
tls="$dir/tls"
# The database the default alias uses.
database=kvist
tcpconfig="$dir/tcp.cfg"
port=${KV_MYSQL_PORT:-}

running() {
  mariadb-admin --no-defaults --socket="$socket" --user="$admin" ping >/dev/null 2>&1 ||
    mariadb-admin --no-defaults --socket="$socket" --user=root ping >/dev/null 2>&1
}

as_admin() {
  mariadb --no-defaults --socket="$socket" --user="$admin" "$@"
}

# A CA and the server's certificate signed by it, made once.
certificates() {
  [ -f "$tls/server.pem" ] && return
  command -v openssl >/dev/null || {
    echo "openssl is missing (scripts/setup.sh installs it)" >&2
    exit 1
  }
  mkdir -p "$tls"
  chmod 700 "$tls"
  (
    umask 077
    cd "$tls"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Kvistmerket lokal CA" \
      -keyout ca.key -out ca.pem 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
      >server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
      -extfile server.ext -out server.pem 2>/dev/null
    rm -f server.csr server.ext
  )
  chmod 644 "$tls/ca.pem" "$tls/server.pem"
}

# Root and our administrator sign on through the socket only; a server made before this (root
# without a password, also over TCP/IP) is brought to the same.
harden() {
  local sql="CREATE USER IF NOT EXISTS '$admin'@'localhost' IDENTIFIED VIA unix_socket;
    ALTER USER '$admin'@'localhost' IDENTIFIED VIA unix_socket;
    GRANT ALL PRIVILEGES ON *.* TO '$admin'@'localhost' WITH GRANT OPTION;
    ALTER USER 'root'@'localhost' IDENTIFIED VIA unix_socket;
    DROP USER IF EXISTS 'root'@'127.0.0.1', 'root'@'::1', 'root'@'%', 'root'@'$(hostname)';"
  as_admin -e "$sql" 2>/dev/null || mariadb --no-defaults --socket="$socket" --user=root -e "$sql"
}

initialise() {
  [ -d "$dir/data/mysql" ] && return
  mkdir -p "$dir/data"
  mariadb-install-db --no-defaults --datadir="$dir/data" --user="$user" \
    --auth-root-authentication-method=socket --auth-root-socket-user="$user" --skip-test-db >"$dir/install.log" 2>&1 || {
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
  # The tests' and the demo's administrator over TCP/IP: databases and tables of any name, but
  # no files of the server's machine, no other accounts, no server settings.
  as_admin -e "
    CREATE USER IF NOT EXISTS 'kvist'@'127.0.0.1' IDENTIFIED BY '$password';
    ALTER USER 'kvist'@'127.0.0.1' IDENTIFIED BY '$password';
    REVOKE ALL PRIVILEGES, GRANT OPTION FROM 'kvist'@'127.0.0.1';
    GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, DROP, INDEX, ALTER, CREATE TEMPORARY TABLES,
      LOCK TABLES, TRIGGER, CREATE VIEW, SHOW VIEW, REFERENCES ON *.* TO 'kvist'@'127.0.0.1'"
  (umask 077 && printf 'port=%s\nuser=kvist\npassword=%s\nca=%s\n' "$port" "$password" "$tls/ca.pem" >"$tcpconfig")
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
  mkdir -p "$dir"
  chmod 700 "$dir"  # the socket within: only we may open it
  initialise
  certificates
  rm -f "$socket" "$pidfile" "$tcpconfig"
  local network=(--skip-networking)
  [ -n "$port" ] && network=(--port="$port" --bind-address=127.0.0.1 --skip-name-resolve --require-secure-transport=ON)
  setsid mariadbd --no-defaults --datadir="$dir/data" --socket="$socket" --pid-file="$pidfile" \
    "${network[@]}" --user="$user" --log-error="$dir/error.log" \
    --ssl-ca="$tls/ca.pem" --ssl-cert="$tls/server.pem" --ssl-key="$tls/server.key" \
    --log-bin="$dir/binlog" --server-id=1 --expire-logs-days=1 \
    --innodb-buffer-pool-size=64M --max-connections=50 </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 150); do
    if running; then
      harden
      as_admin -e "CREATE DATABASE IF NOT EXISTS $database"
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
  mariadb-admin --no-defaults --socket="$socket" --user="$admin" shutdown
  rm -f "$tcpconfig"
  for _ in $(seq 1 150); do
    [ -e "$pidfile" ] || break
    sleep 0.2
  done
  echo "MariaDB stopped"
}

# A password made once for an account of a firm database, kept in its login file.
firm_password() {
  local file=$1 key=$2 password
  password=$(sed -n "s/^$key=//p" "$file" 2>/dev/null || true)
  if [ -z "$password" ]; then
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    (umask 077 && echo "$key=$password" >>"$file")
  fi
  echo "$password"
}

firm() {
  local db=${1:-} role=daily login=0
  shift || true
  [[ "$db" =~ ^[A-Za-z0-9_]{1,60}$ ]] || {
    echo "firm needs a database name of letters, digits and _ (at most 60)" >&2
    exit 2
  }
  for option in "$@"; do
    case "$option" in
      --owner) role=owner ;;
      --login) login=1 ;;
      *) echo "unknown option: $option" >&2; exit 2 ;;
    esac
  done
  [ -f "$tcpconfig" ] || {
    echo "MariaDB is not listening on a TCP port (scripts/mysql-local.sh start --port PORT)" >&2
    exit 3
  }
  local file="$dir/firm-$db.login" daily owner
  daily=$(firm_password "$file" daily)
  owner=$(firm_password "$file" owner)
  # The owner's TRIGGER right serves only to remove the counting triggers of earlier builds.
  as_admin -e "
    CREATE DATABASE IF NOT EXISTS \`$db\` CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin;
    CREATE USER IF NOT EXISTS '${db}_bruk'@'127.0.0.1' IDENTIFIED BY '$daily';
    ALTER USER '${db}_bruk'@'127.0.0.1' IDENTIFIED BY '$daily';
    GRANT SELECT, INSERT, UPDATE, DELETE ON \`$db\`.* TO '${db}_bruk'@'127.0.0.1';
    CREATE USER IF NOT EXISTS '${db}_eier'@'127.0.0.1' IDENTIFIED BY '$owner';
    ALTER USER '${db}_eier'@'127.0.0.1' IDENTIFIED BY '$owner';
    GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, DROP, INDEX, ALTER, TRIGGER ON \`$db\`.* TO '${db}_eier'@'127.0.0.1'"
  local account=${db}_bruk password=$daily
  [ "$role" = owner ] && account=${db}_eier password=$owner
  local server="ff_server@127.0.0.1:$(running_port)"
  printf 'server=%s\nuser=%s\npassword=%s\nca=%s\n' "$server" "$account" "$password" "$tls/ca.pem"
  if [ "$login" = 1 ]; then
    "${KV_FF:-$(dirname "$0")/../build/kvist-ff}" login "$server" "$account" --ca "$tls/ca.pem" <<<"$password"
  fi
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
  firm)
    running || {
      echo "MariaDB not running (scripts/mysql-local.sh start --port PORT)" >&2
      exit 3
    }
    firm "$@"
    ;;
  tcp-config)
    # port=, user=, password= and ca= of the TCP listener, for the demo and the tests.
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
    echo "usage: scripts/mysql-local.sh start [--port PORT]|stop|status|tcp-config|firm DATABASE [--owner] [--login]" >&2
    exit 2
    ;;
esac
