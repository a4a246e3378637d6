#!/usr/bin/env bash
# Sets up (installs, configures, builds) and runs every test. The tests of the SQL side and of
# the store's server back end need the private MariaDB, listening on 127.0.0.1 at
# $KV_MYSQL_PORT (default 33306) for the TCP/IP tests: it is started here when it is not
# running that way, and stopped again at the end.
# Then every fuzz target runs for 30 seconds from its checked-in corpus (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen

started_mysql=0
stop_mysql() {
  local rc=$?
  if [ "$started_mysql" = 1 ]; then scripts/mysql-local.sh stop || true; fi
  exit "$rc"
}
trap stop_mysql EXIT
if ! scripts/mysql-local.sh status >/dev/null; then
  started_mysql=1
fi
scripts/mysql-local.sh start --port "${KV_MYSQL_PORT:-33306}"

ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300

scripts/fuzz.sh all 30
