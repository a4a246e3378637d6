#!/usr/bin/env bash
# Runs every benchmark RUNS times (short settings; --full for the long ones) and prints one
# table: each figure, the time of the store (or program) and of its baseline, their ratio (each
# as min–max over the runs), the goal, and whether it was met (in every run).
#   scripts/bench.sh [--full] [--runs N] [--only NAME,NAME] [FOLDER]
# FOLDER holds the generated tables (default var/bench); each run's output is kept in
# FOLDER/logs/. The three server benchmarks run when the private MariaDB does (mariadb_store_bench
# when it listens on TCP: scripts/mysql-local.sh start --port N), and are named as skipped else.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; }
full=""
runs=3
only=""
folder=var/bench
while [ $# -gt 0 ]; do
  case "$1" in
    -h|--help) usage; exit 0 ;;
    --full) full=--full ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    --only) only=${2:?--only needs names}; shift ;;
    -*) echo "bench.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) folder=$1 ;;
  esac
  shift
done

benches=(table_store_bench grid_model_bench grid_paging_bench datafile_bench rollup_bench ff2_decode_bench
         ff2_import_bench sql_convert_bench firm_convert_bench mariadb_store_bench)
if [ -n "$only" ]; then IFS=, read -r -a benches <<<"$only"; fi

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work} CCACHE_DIR=${CCACHE_DIR:-/work/.ccache}
cmake --build build -j2 --target "${benches[@]}" kvist-ff >/dev/null

server_state=$(scripts/mysql-local.sh status 2>/dev/null || true)
mkdir -p "$folder/logs"
figures=$(mktemp)
trap 'rm -f "$figures"' EXIT
skipped=()
for bench in "${benches[@]}"; do
  case "$bench" in
    sql_convert_bench|firm_convert_bench|mariadb_store_bench)
      if ! grep -q "^MariaDB running" <<<"$server_state"; then skipped+=("$bench (the private MariaDB is not running)"); continue; fi
      if [ "$bench" = mariadb_store_bench ] && ! grep -q "127.0.0.1:" <<<"$server_state"; then
        skipped+=("$bench (the private MariaDB has no TCP port)"); continue
      fi ;;
  esac
  args=("$folder")
  [ "$bench" = ff2_decode_bench ] && args=()
  for run in $(seq 1 "$runs"); do
    log="$folder/logs/$bench-$run.txt"
    echo "--- $bench, run $run of $runs" >&2
    if ! "build/bench/$bench" $full "${args[@]}" >"$log" 2>&1; then
      echo "bench.sh: $bench failed, see $log" >&2
      skipped+=("$bench (failed in run $run, see $log)")
      break
    fi
    grep '^FIGURE' "$log" | cut -f2- >>"$figures" || true
  done
done

# One row per figure, in the order first seen: min–max of each column over the runs.
awk -F'\t' -v runs="$runs" '
  function range(lo, hi, digits) { return sprintf("%." digits "f–%." digits "f", lo, hi) }
  !($1 in n) { order[++count] = $1 }
  {
    k = $1; n[k]++
    if (n[k] == 1 || $2 < cmin[k]) cmin[k] = $2; if (n[k] == 1 || $2 > cmax[k]) cmax[k] = $2
    if (n[k] == 1 || $3 < bmin[k]) bmin[k] = $3; if (n[k] == 1 || $3 > bmax[k]) bmax[k] = $3
    if (n[k] == 1 || $4 < rmin[k]) rmin[k] = $4; if (n[k] == 1 || $4 > rmax[k]) rmax[k] = $4
    goal[k] = $5; if ($5 > 0 && $4 <= $5) met[k]++
  }
  END {
    print "| figure | time (ms) | baseline (ms) | ratio | goal | met |"
    print "|---|---:|---:|---:|---|---|"
    for (i = 1; i <= count; i++) {
      k = order[i]
      verdict = goal[k] == 0 ? "-" : (met[k] == n[k] ? "met" : "not met") " (" met[k] + 0 "/" n[k] ")"
      printf "| %s | %s | %s | %s | %s | %s |\n", k, range(cmin[k], cmax[k], 3), range(bmin[k], bmax[k], 3),
             range(rmin[k], rmax[k], 2), goal[k] == 0 ? "-" : "<= " goal[k], verdict
    }
  }' "$figures"
for s in "${skipped[@]+"${skipped[@]}"}"; do echo "skipped: $s"; done
