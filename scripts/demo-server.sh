#!/usr/bin/env bash
# Puts the suite's demo database on the private MariaDB for the "TCP/IP" protocol: the server
# listens on 127.0.0.1 at $KV_MYSQL_PORT (default 33306), the sample firm is copied once from
# the folder alias KVIST into the server database KVIST (alias KVIST_SERVER), the client
# configuration FOLDER/config/client.cfg gets the server, its login and the CA its TLS
# certificate is checked with, and the demo's
# settings files (see scripts/demo-database.sh) sign on with "TCP/IP" and
# "ff_server@127.0.0.1:PORT".
# Prints the export line for the alias registry it used.
# Usage: scripts/demo-server.sh FOLDER [--keep-settings]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "$1")
shift
port=${KV_MYSQL_PORT:-33306}
server="ff_server@127.0.0.1:$port"
scripts/mysql-local.sh start --port "$port" >&2
eval "$(scripts/demo-database.sh "$folder" --server "$server" "$@")"
tcp=$(scripts/mysql-local.sh tcp-config)
user=$(sed -n 's/^user=//p' <<<"$tcp")
password=$(sed -n 's/^password=//p' <<<"$tcp")
build/kvist-ff login "$server" "$user" --ca "$(sed -n 's/^ca=//p' <<<"$tcp")" <<<"$password" >&2
build/kvist-ff alias add KVIST_SERVER --server "$server" --database KVIST
if [ -z "$(build/kvist-ff tables KVIST_SERVER)" ]; then
  echo "Copying the demo database KVIST to the server database KVIST on $server" >&2
  build/kvist-ff copy-alias KVIST KVIST_SERVER >/dev/null
fi
echo "export FF_CONFIG_DIR=$FF_CONFIG_DIR"
