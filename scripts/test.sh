#!/usr/bin/env bash
# Sets up (installs, configures, builds) and runs every test. The tests of the SQL side need
# the private MariaDB: it is started here when it is not running, and stopped again at the end.
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
  scripts/mysql-local.sh start
  started_mysql=1
fi

ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300

scripts/fuzz.sh all 30
