#!/usr/bin/env bash
# Crash trial (not part of the tests): kills writers of the table store with SIGKILL at random
# moments and checks after every kill that
#   - every row whose post returned is there,
#   - every table opens through the store and passes SQLite's integrity check,
#   - no half-written table is left (a table is either absent or whole),
#   - a rerun of the writer succeeds (and leaves every table whole).
# Writers: post (rows posted one by one with `kvist-ff insert`), import (`kvist-ff import` of
# the sample .ff2 files), create-suite (`kvist-ff create-suite --demo`), and onto the private
# MariaDB: copy-alias (`kvist-ff copy-alias` of the sample .ff2 files into a server alias) and
# convert (`kvist-ff convert` of them into a database through an SQL alias; every other run
# into a database that holds the complete copy of an earlier run already, which must never be
# lost). A further writer W is added by defining writer_W, reference_W (optional) and rerun_W
# below; a writer on the server also defines target_W, rows_W and leftovers_W.
#   scripts/crash-trial.sh [KILLS] [WRITER,...]
# KILLS (default 120) are spread over the writers in turn. Needs build/kvist-ff and sqlite3;
# the server writers start the private MariaDB (scripts/mysql-local.sh, at $KV_MYSQL_DIR and
# port $KV_MYSQL_PORT, default 33306) when it does not run, and need the mariadb client.
# Work folder: $KV_CRASH_DIR, else ${TMPDIR:-/tmp}/kv-crash-trial (emptied at the start).
# Prints the figures per writer (rows lost: rows of a table the reference holds that a
# present table lacks, or that a table which was there before the kill lost); exit 1 when any
# check failed.
set -euo pipefail

kills=${1:-120}
writers=${2:-post,import,create-suite}
root=$(cd "$(dirname "$0")/.." && pwd)
tool=$root/build/kvist-ff
work=${KV_CRASH_DIR:-${TMPDIR:-/tmp}/kv-crash-trial}
[ -x "$tool" ] || { echo "build kvist-ff first (cmake --build build)" >&2; exit 2; }
command -v sqlite3 >/dev/null || { echo "the crash trial needs the sqlite3 command" >&2; exit 2; }
rm -rf "$work"
mkdir -p "$work"
export FF_CONFIG_DIR=$work/config
ff() { "$tool" "$@"; }

# ---- Writers: each runs in the foreground until done (or killed) in the alias given ----

writer_post() {
  local alias=$1 folder=$2 nr
  ff create "$alias" POST NR:Integer NAVN:String:20 --index NR:NR >/dev/null 2>&1 || true
  for ((nr = 1; ; nr++)); do
    ff insert "$alias" POST "NR=$nr" "NAVN=rad $nr" && echo "$nr" >>"$folder/../posted.log"
  done
}
rerun_post() {
  local alias=$1
  ff create "$alias" POST NR:Integer NAVN:String:20 --index NR:NR >/dev/null 2>&1 || true
  ff insert "$alias" POST NR=0 "NAVN=etter drap"
}

# The source: every sample .ff2 file that imports cleanly.
prepare_import_source() {
  mkdir -p "$work/source" "$work/probe"
  ff alias add KILDE "$work/source/" >/dev/null
  ff alias add PROBE "$work/probe/" >/dev/null
  for sample in "$root"/tests/store/ff2/samples/*.[fF][fF]2; do
    cp "$sample" "$work/source/"
    local table
    table=$(basename "${sample%.*}")
    ff import KILDE --to PROBE "$table" >/dev/null 2>&1 || rm -f "$work/source/$(basename "$sample")"
  done
}
writer_import() { ff import KILDE --to "$1" >/dev/null 2>&1; }
# Imports the tables the killed run did not leave behind.
rerun_import() {
  local alias=$1 missing=()
  while read -r table; do
    ff tables "$alias" | grep -qx "$table" || missing+=("$table")
  done < <(ff tables KILDE)
  ((${#missing[@]} == 0)) || ff import KILDE --to "$alias" "${missing[@]}" >/dev/null
}

writer_create-suite() { ff create-suite "$1" --demo >/dev/null 2>&1; }
rerun_create-suite() { ff create-suite "$1" --demo >/dev/null; }

# ---- Writers onto the private MariaDB ----

mysql_dir=${KV_MYSQL_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/kvistmerket/mysql}
sql() { mariadb --no-defaults --socket="$mysql_dir/mysqld.sock" -N -B "$@"; }

# Starts the private MariaDB with a TCP port when it has none, and signs the store on to it.
prepare_server() {
  [ -n "${server:-}" ] && return
  command -v mariadb >/dev/null || { echo "the server writers need the mariadb client" >&2; exit 2; }
  export KV_MYSQL_PORT=${KV_MYSQL_PORT:-33306}
  "$root/scripts/mysql-local.sh" start --port "$KV_MYSQL_PORT" >/dev/null
  local config
  config=$("$root/scripts/mysql-local.sh" tcp-config)
  server="ff_server@127.0.0.1:$(sed -n 's/^port=//p' <<<"$config")"
  sed -n 's/^password=//p' <<<"$config" |
    ff login "$server" "$(sed -n 's/^user=//p' <<<"$config")" --ca "$(sed -n 's/^ca=//p' <<<"$config")" >/dev/null
  mkdir -p "$work/settings/etc" "$work/settings/work"
}
database_of() { echo "krasj_$1"; }

target_copy-alias() {
  sql -e "DROP DATABASE IF EXISTS $(database_of "$1")"
  ff alias add "$1" --server "$server" --database "$(database_of "$1")" >/dev/null
}
writer_copy-alias() { ff copy-alias KILDE "$1" >/dev/null 2>&1; }
rerun_copy-alias() { ff copy-alias KILDE "$1" >/dev/null; }
rows_copy-alias() { table_rows "$1"; }
# Tables the store keeps unfinished (hidden) on the server.
leftovers_copy-alias() {
  sql -e "SELECT COUNT(*) FROM $(database_of "$1")._ff_tables WHERE ready = 0" 2>/dev/null || echo 0
}

# The SQL alias KRASJ leads to the target's database; every other run (odd N) starts from a
# database that holds a complete copy already.
target_convert() {
  local database
  database=$(database_of "$1")
  printf '[KRASJ]\r\nDriver=QMARIADB\r\nHost=\r\nSocket=%s\r\nPort=\r\nDatabase=%s\r\nUser=%s\r\nPassword=\r\n' \
    "$mysql_dir/mysqld.sock" "$database" "$(id -un)" >"$work/settings/etc/SQLALIAS.INI"
  sql -e "DROP DATABASE IF EXISTS $database; CREATE DATABASE $database"
  [[ "$2" =~ ^[0-9]+$ ]] && (($2 % 2 == 1)) && rerun_convert "$1" >/dev/null
  return 0
}
writer_convert() { (cd "$work/settings/work" && ff convert KILDE --to KRASJ --quiet) >/dev/null 2>&1; }
rerun_convert() { (cd "$work/settings/work" && ff convert KILDE --to KRASJ --quiet) >/dev/null; }
# "TABLE ROWS CHECKSUM" per converted table, sorted (staging tables left out).
rows_convert() {
  local database table
  database=$(database_of "$1")
  sql -e "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '$database'
          AND TABLE_NAME NOT LIKE 'kvist\_ny\_%' AND TABLE_NAME NOT LIKE 'kvist\_gml\_%'" |
    while read -r table; do
      echo "$table $(sql -e "SELECT COUNT(*) FROM \`$database\`.\`$table\`") $(sql -e "CHECKSUM TABLE \`$database\`.\`$table\`" | cut -f2)"
    done | sort
}
# Staging tables a rerun did not clear away.
leftovers_convert() {
  sql -e "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = '$(database_of "$1")'
          AND (TABLE_NAME LIKE 'kvist\_ny\_%' OR TABLE_NAME LIKE 'kvist\_gml\_%')"
}

# ---- Checks ----

# "TABLE ROWS" per table of an alias, sorted; a table that does not open is "TABLE FEIL".
table_rows() {
  local alias=$1 table rows
  ff tables "$alias" | while read -r table; do
    if rows=$(ff dump "$alias" "$table" 2>/dev/null | wc -l); then
      echo "$table $((rows - 1))"
    else
      echo "$table FEIL"
    fi
  done | sort
}

# Counts tables of a folder that fail SQLite's integrity check, and of the rows listed that
# failed the store's open.
damaged_tables() {
  local folder=$1 rows=$2 bad=0 file
  for file in "$folder"/*.ffdb; do
    [ -e "$file" ] || continue
    [ "$(sqlite3 "$file" 'PRAGMA integrity_check' 2>&1)" = ok ] || bad=$((bad + 1))
  done
  echo $((bad + $(grep -c ' FEIL$' <<<"$rows" || true)))
}

# Tables present with other rows than the reference run left: half-written.
half_written() {
  local rows=$1 reference=$2
  { grep -v -e ' FEIL$' -e '^$' <<<"$rows" || true; } | { grep -vxFf "$reference" || true; } | wc -l
}

# Rows a present table lacks of what the reference holds, and rows of tables that were there
# before the kill and are gone.
lost_table_rows() {
  local before=$1 after=$2 reference=$3
  awk 'FNR == 1 { part++ }
    part == 1 { ref[$1] = $2 } part == 2 && NF { had[$1] = $2 } part == 3 && NF { now[$1] = $2 }
    END {
      for (t in now) if ((t in ref) && now[t] != "FEIL" && now[t] + 0 < ref[t] + 0) lost += ref[t] - now[t]
      for (t in had) if (!(t in now)) lost += had[t]
      print lost + 0
    }' "$reference" <(echo "$before") <(echo "$after")
}

# Posted rows (post returned) missing from the table.
lost_rows() {
  local alias=$1 folder=$2
  [ -s "$folder/../posted.log" ] || { echo 0; return; }
  ff dump "$alias" POST 2>/dev/null | cut -f1 | tail -n +2 | sort -u >"$folder/../present.txt" || true
  sort -u "$folder/../posted.log" | comm -23 - "$folder/../present.txt" | wc -l
}

# ---- The trial ----

on_server() { declare -F "target_$1" >/dev/null; }

# Makes the alias a run writes into: a folder, or what target_W makes (N: the run's number).
make_target() {
  local writer=$1 alias=$2 folder=$3 n=$4
  if on_server "$writer"; then
    "target_$writer" "$alias" "$n"
  else
    mkdir -p "$folder"
    ff alias add "$alias" "$folder/" >/dev/null
  fi
}
rows_of() { if declare -F "rows_$1" >/dev/null; then "rows_$1" "$2"; else table_rows "$2"; fi; }
leftovers_of() {
  local writer=$1 alias=$2 folder=$3
  if declare -F "leftovers_$writer" >/dev/null; then "leftovers_$writer" "$alias"; else find "$folder" -name '*.new' | wc -l; fi
}

declare -A runs lost damaged half reruns leftovers seconds
posted=0
reference_of() {
  local writer=$1 alias="REF_${1//-/_}"
  make_target "$writer" "$alias" "$work/ref-$writer" ref
  local start end
  start=$(date +%s%N)
  "writer_$writer" "$alias" "$work/ref-$writer"
  end=$(date +%s%N)
  seconds[$writer]=$(((end - start) / 1000000))
  rows_of "$writer" "$alias" >"$work/ref-$writer.txt"
}

trial() {
  local writer=$1 n=$2 alias="T${2}" folder="$work/t$2/data"
  make_target "$writer" "$alias" "$folder" "$n"
  mkdir -p "$folder"
  local before=""
  [ "$writer" = post ] || before=$(rows_of "$writer" "$alias")
  # post runs for ever; the others are killed somewhere within one clean run's time.
  local window_ms=${seconds[$writer]:-2000}
  [ "$writer" = post ] && window_ms=2000
  local delay_ms=$((RANDOM % (window_ms + 50)))
  setsid bash -c "$(declare -f ff "writer_$writer"); tool='$tool'; work='$work'; writer_$writer '$alias' '$folder'" &
  local pid=$!
  sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
  kill -KILL -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true

  runs[$writer]=$((${runs[$writer]:-0} + 1))
  if [ "$writer" = post ]; then
    damaged[$writer]=$((${damaged[$writer]:-0} + $(damaged_tables "$folder" "$(table_rows "$alias")")))
    lost[$writer]=$((${lost[$writer]:-0} + $(lost_rows "$alias" "$folder")))
    [ -f "$folder/../posted.log" ] && posted=$((posted + $(wc -l <"$folder/../posted.log")))
    rerun_post "$alias" >/dev/null 2>&1 || reruns[$writer]=$((${reruns[$writer]:-0} + 1))
  else
    local reference="$work/ref-$writer.txt" after
    after=$(rows_of "$writer" "$alias")
    damaged[$writer]=$((${damaged[$writer]:-0} + $(damaged_tables "$folder" "$after")))
    half[$writer]=$((${half[$writer]:-0} + $(half_written "$after" "$reference")))
    lost[$writer]=$((${lost[$writer]:-0} + $(lost_table_rows "$before" "$after" "$reference")))
    # A writer the kill came too late for has nothing left to do.
    if ! diff -q <(echo "$after") "$reference" >/dev/null; then
      if ! "rerun_$writer" "$alias" >/dev/null 2>&1 || ! diff -q <(rows_of "$writer" "$alias") "$reference" >/dev/null; then
        reruns[$writer]=$((${reruns[$writer]:-0} + 1))
      fi
    fi
  fi
  # Temporary files (or hidden and staging tables on the server) a rerun did not clear away.
  leftovers[$writer]=$((${leftovers[$writer]:-0} + $(leftovers_of "$writer" "$alias" "$folder")))
  on_server "$writer" && sql -e "DROP DATABASE IF EXISTS $(database_of "$alias")"
  rm -rf "$work/t$n"
}

IFS=, read -r -a chosen <<<"$writers"
source_ready=""
for writer in "${chosen[@]}"; do
  declare -F "writer_$writer" >/dev/null || { echo "unknown writer: $writer" >&2; exit 2; }
  if [ "$writer" != post ] && [ "$writer" != create-suite ] && [ -z "$source_ready" ]; then
    prepare_import_source
    source_ready=1
  fi
  on_server "$writer" && prepare_server
  [ "$writer" = post ] || reference_of "$writer"
done
for ((n = 0; n < kills; n++)); do trial "${chosen[n % ${#chosen[@]}]}" "$n"; done
for writer in "${chosen[@]}"; do
  on_server "$writer" && sql -e "DROP DATABASE IF EXISTS $(database_of "REF_${writer//-/_}")"
done

failed=0
for writer in "${chosen[@]}"; do
  printf '%-13s kills %4d  rows lost %d  tables damaged %d  half-written %d  reruns failed %d  temp files left %d\n' \
    "$writer" "${runs[$writer]:-0}" "${lost[$writer]:-0}" "${damaged[$writer]:-0}" "${half[$writer]:-0}" \
    "${reruns[$writer]:-0}" "${leftovers[$writer]:-0}"
  ((${lost[$writer]:-0} + ${damaged[$writer]:-0} + ${half[$writer]:-0} + ${reruns[$writer]:-0} == 0)) || failed=1
done
echo "rows whose post returned, checked after the kills: $posted"
exit $failed
