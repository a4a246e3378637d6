#!/usr/bin/env bash
# Runs the differential test of the data set for SECONDS seconds (default 60): random sequences
# of data-set calls from seeds, on a table in a SQLite folder and the same table on the private
# MariaDB, compared after every call. Prints the operations compared and the differences found,
# each with its seed and a shrunk replay; exits non-zero when any differed.
#   scripts/differential.sh [SECONDS]
# KV_DIFF_SEED sets the first seed (else the clock), KV_DIFF_OPS the calls per seed,
# KV_DIFF_TRACE=1 prints every call with what it gave. What the back ends may show differently
# is listed in tests/support/store/DiffTolerances.h.
set -euo pipefail
cd "$(dirname "$0")/.."
export KV_DIFF_SECONDS=${1:-60}

started_mysql=0
stop_mysql() {
  local rc=$?
  if [ "$started_mysql" = 1 ]; then scripts/mysql-local.sh stop >/dev/null || true; fi
  exit "$rc"
}
trap stop_mysql EXIT
if ! scripts/mysql-local.sh status >/dev/null; then
  started_mysql=1
fi
scripts/mysql-local.sh start --port "${KV_MYSQL_PORT:-33306}" >/dev/null

[ -f build/CMakeCache.txt ] || scripts/setup.sh
cmake --build build -j2 --target DataSetDifferential_test >/dev/null
build/tests/DataSetDifferential_test --gtest_filter='*RandomCallsShowTheSameOnBothBackEnds'
