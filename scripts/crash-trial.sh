#!/usr/bin/env bash
# Crash trial (not part of the tests): kills writers of the table store with SIGKILL at random
# moments and checks after every kill that
#   - every row whose post returned is there,
#   - every table opens through the store and passes SQLite's integrity check,
#   - no half-written table is left (a table is either absent or whole),
#   - a rerun of the writer succeeds (and leaves every table whole).
# Writers: post (rows posted one by one with `kvist-ff insert`), import (`kvist-ff import` of
# the sample .ff2 files), create-suite (`kvist-ff create-suite --demo`). A further writer W is
# added by defining writer_W, reference_W (optional) and rerun_W below.
#   scripts/crash-trial.sh [KILLS] [WRITER,...]
# KILLS (default 120) are spread over the writers in turn. Needs build/kvist-ff and sqlite3.
# Work folder: $KV_CRASH_DIR, else ${TMPDIR:-/tmp}/kv-crash-trial (emptied at the start).
# Prints the figures per writer; exit 1 when any check failed.
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

# Counts tables of a folder that fail SQLite's integrity check or the store's open.
damaged_tables() {
  local alias=$1 folder=$2 bad=0 file
  for file in "$folder"/*.ffdb; do
    [ -e "$file" ] || continue
    [ "$(sqlite3 "$file" 'PRAGMA integrity_check' 2>&1)" = ok ] || bad=$((bad + 1))
  done
  bad=$((bad + $(table_rows "$alias" | grep -c ' FEIL$' || true)))
  echo "$bad"
}

# Tables present with other rows than the reference run left: half-written.
half_written() {
  local alias=$1 reference=$2
  table_rows "$alias" | { grep -v ' FEIL$' || true; } | { grep -vxFf "$reference" || true; } | wc -l
}

# Posted rows (post returned) missing from the table.
lost_rows() {
  local alias=$1 folder=$2
  [ -s "$folder/../posted.log" ] || { echo 0; return; }
  ff dump "$alias" POST 2>/dev/null | cut -f1 | tail -n +2 | sort -u >"$folder/../present.txt" || true
  sort -u "$folder/../posted.log" | comm -23 - "$folder/../present.txt" | wc -l
}

# ---- The trial ----

declare -A runs lost damaged half reruns leftovers seconds
posted=0
reference_of() {
  local writer=$1 alias="REF_${1//-/_}"
  mkdir -p "$work/ref-$writer"
  ff alias add "$alias" "$work/ref-$writer/" >/dev/null
  local start end
  start=$(date +%s%N)
  "writer_$writer" "$alias" "$work/ref-$writer"
  end=$(date +%s%N)
  seconds[$writer]=$(((end - start) / 1000000))
  table_rows "$alias" >"$work/ref-$writer.txt"
}

trial() {
  local writer=$1 n=$2 alias="T${2}" folder="$work/t$2/data"
  mkdir -p "$folder"
  ff alias add "$alias" "$folder/" >/dev/null
  # post runs for ever; the others are killed somewhere within one clean run's time.
  local window_ms=${seconds[$writer]:-2000}
  [ "$writer" = post ] && window_ms=2000
  local delay_ms=$((RANDOM % (window_ms + 50)))
  setsid bash -c "$(declare -f ff "writer_$writer"); tool='$tool'; writer_$writer '$alias' '$folder'" &
  local pid=$!
  sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
  kill -KILL -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true

  runs[$writer]=$((${runs[$writer]:-0} + 1))
  damaged[$writer]=$((${damaged[$writer]:-0} + $(damaged_tables "$alias" "$folder")))
  if [ "$writer" = post ]; then
    lost[$writer]=$((${lost[$writer]:-0} + $(lost_rows "$alias" "$folder")))
    [ -f "$folder/../posted.log" ] && posted=$((posted + $(wc -l <"$folder/../posted.log")))
    rerun_post "$alias" >/dev/null 2>&1 || reruns[$writer]=$((${reruns[$writer]:-0} + 1))
  else
    local reference="$work/ref-$writer.txt"
    half[$writer]=$((${half[$writer]:-0} + $(half_written "$alias" "$reference")))
    # A writer the kill came too late for has nothing left to do.
    if ! diff -q <(table_rows "$alias") "$reference" >/dev/null; then
      if ! "rerun_$writer" "$alias" >/dev/null 2>&1 || ! diff -q <(table_rows "$alias") "$reference" >/dev/null; then
        reruns[$writer]=$((${reruns[$writer]:-0} + 1))
      fi
    fi
  fi
  # Temporary files a rerun did not clear away.
  leftovers[$writer]=$((${leftovers[$writer]:-0} + $(find "$folder" -name '*.new' | wc -l)))
  rm -rf "$work/t$n"
}

IFS=, read -r -a chosen <<<"$writers"
for writer in "${chosen[@]}"; do
  declare -F "writer_$writer" >/dev/null || { echo "unknown writer: $writer" >&2; exit 2; }
  [ "$writer" = import ] && prepare_import_source
  [ "$writer" = post ] || reference_of "$writer"
done
for ((n = 0; n < kills; n++)); do trial "${chosen[n % ${#chosen[@]}]}" "$n"; done

failed=0
for writer in "${chosen[@]}"; do
  printf '%-13s kills %4d  rows lost %d  tables damaged %d  half-written %d  reruns failed %d  temp files left %d\n' \
    "$writer" "${runs[$writer]:-0}" "${lost[$writer]:-0}" "${damaged[$writer]:-0}" "${half[$writer]:-0}" \
    "${reruns[$writer]:-0}" "${leftovers[$writer]:-0}"
  ((${lost[$writer]:-0} + ${damaged[$writer]:-0} + ${half[$writer]:-0} + ${reruns[$writer]:-0} == 0)) || failed=1
done
echo "rows whose post returned, checked after the kills: $posted"
exit $failed
