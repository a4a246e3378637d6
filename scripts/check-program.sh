#!/usr/bin/env bash
# The whole-program check a person would make: the real program on the suite's demo database,
# started with -autologon under Xvfb; it picks PROSJEKT, writes its SQL, runs it on "MySQLweb"
# (the private MariaDB) and saves a picture of that state in docs/. Then the table is looked up
# on the server. Run after scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
check=$root/var/check
eval "$(scripts/demo-database.sh "$check" --fresh)"
scripts/mysql-local.sh start
socket=${KV_MYSQL_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/kvistmerket/mysql}/mysqld.sock
mariadb --no-defaults --socket="$socket" --user=root -e "DROP TABLE IF EXISTS kvist.PROSJEKT"

(cd "$check" && KV_SCREENSHOT="$root/docs/whole-program.png" KV_SCREENSHOT_TABLE=PROSJEKT KV_SCREENSHOT_RUN=1 \
   xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/kvist-convert" -autologon)
echo "Picture: docs/whole-program.png"
echo "Columns of PROSJEKT on the private MariaDB:"
mariadb --no-defaults --socket="$socket" --user=root -e "SHOW COLUMNS FROM kvist.PROSJEKT" | head -6
