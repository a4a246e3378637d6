#!/usr/bin/env bash
# Fuzzes the .ff2 reader for SECONDS with libFuzzer and AddressSanitizer, starting from the
# sample tables, and prints the inputs run and the crashes found (exit 1 when any).
# Work folder: $FF2_FUZZ_DIR, else ${TMPDIR:-/tmp}/kv-fuzz-ff2 (the corpus grows there across runs).
set -euo pipefail

seconds=${1:?usage: scripts/fuzz-ff2.sh SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
work=${FF2_FUZZ_DIR:-${TMPDIR:-/tmp}/kv-fuzz-ff2}
max_len=262144
mkdir -p "$work/corpus" "$work/artifacts"

command -v clang++ >/dev/null || { echo "fuzzing needs clang: apt-get install clang" >&2; exit 2; }
# The reader alone: the folder's storage back end needs the rest of the store.
reader=$(ls "$root"/src/store/ff2/*.cpp | grep -v '/Ff2Storage\.cpp$')
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src" $reader "$root"/src/text/*.cpp "$root/fuzz/ff2_fuzz.cpp" -o "$work/ff2_fuzz"

# Seeds: built tables of the shapes the samples lack, and every sample small enough to be
# mutated whole.
g++ -std=c++20 -O1 -I"$root/src" -I"$root/tests" "$root/fuzz/ff2_seeds.cpp" -o "$work/ff2_seeds"
"$work/ff2_seeds" "$work/corpus"
for sample in "$root"/tests/store/ff2/samples/*.[fF][fF]2; do
  if [ "$(stat -c %s "$sample")" -le "$max_len" ]; then cp -f "$sample" "$work/corpus/"; fi
done

before=$(find "$work/artifacts" -type f | wc -l)
set +e
"$work/ff2_fuzz" "$work/corpus" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
  -rss_limit_mb=2048 -dict="$root/fuzz/ff2.dict" -artifact_prefix="$work/artifacts/" \
  -print_final_stats=1 >"$work/fuzz.log" 2>&1
set -e
after=$(find "$work/artifacts" -type f | wc -l)

runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || true)
if [ -z "$runs" ]; then runs=$(grep -o '^#[0-9]*' "$work/fuzz.log" | tail -1 | tr -d '#'); fi
crashes=$((after - before))
echo "inputs run: ${runs:-0}"
echo "crashes found: $crashes"
if [ "$crashes" -gt 0 ]; then
  echo "inputs that crashed are in $work/artifacts; the log is $work/fuzz.log"
  exit 1
fi
