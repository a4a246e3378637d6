#!/usr/bin/env bash
# Fuzzes units with libFuzzer, AddressSanitizer and UBSan, SECONDS per target, each starting
# from its checked-in corpus (fuzz/corpus/TARGET, copied: the checked-in one stays as it is),
# and prints per target the inputs run and the crashes found; a broken contract counts as a
# crash. Exit 1 when any target crashed.
#   scripts/fuzz.sh TARGET[,TARGET...]|all SECONDS [RUNS]
# Targets: ff2 (the .ff2 reader), filter, inifile, hostsfile, text. With RUNS a target stops
# after that many inputs (SECONDS 0: no time limit). Work folder: $KV_FUZZ_WORK for a single
# target, else $KV_FUZZ_DIR/TARGET, else ${TMPDIR:-/tmp}/kv-fuzz/TARGET (the corpus grows there
# across runs; crashes go to its artifacts/).
set -euo pipefail

usage="usage: scripts/fuzz.sh TARGET[,TARGET...]|all SECONDS [RUNS]"
targets=${1:?$usage}
seconds=${2:?$usage}
runs=${3:--1}
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$targets" = all ] && targets=ff2,filter,inifile,hostsfile,text
command -v clang++ >/dev/null || { echo "fuzzing needs clang: apt-get install clang libclang-rt-dev" >&2; exit 2; }

# The sources each target is built from, and what it links.
sources_of() {
  case $1 in
    # The reader alone: the folder's storage back end needs the rest of the store.
    ff2) ls "$root"/src/store/ff2/*.cpp | grep -v '/Ff2Storage\.cpp$\|/Ff2Table\.cpp$'; ls "$root"/src/text/*.cpp ;;
    filter) ls "$root"/src/store/*.cpp "$root"/src/store/*/*.cpp "$root"/src/sql/*.cpp "$root"/src/text/*.cpp ;;
    inifile) echo "$root/src/settings/IniFile.cpp"; ls "$root"/src/text/*.cpp ;;
    hostsfile) echo "$root/src/settings/HostsFile.cpp"; ls "$root"/src/text/*.cpp ;;
    text) ls "$root"/src/text/*.cpp ;;
    *) echo "unknown fuzz target: $1 ($usage)" >&2; return 2 ;;
  esac
  echo "$root/fuzz/${1}_fuzz.cpp"
}
libraries_of() { [ "$1" = filter ] && echo "-lsqlite3 -licui18n -licuuc $(pkg-config --cflags --libs libmariadb)" || true; }
max_len_of() { [ "$1" = ff2 ] && echo 262144 || echo 4096; }

# Rebuilt only when a source or header is newer than the binary.
build() {
  local target=$1 binary=$2 sources
  sources=$(sources_of "$target") || exit 2
  if [ -x "$binary" ] && [ -z "$(find "$root/src" "$root/fuzz" -newer "$binary" -name '*.[ch]*' | head -1)" ]; then
    return
  fi
  # shellcheck disable=SC2086
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/src" -I"$root/fuzz" $sources $(libraries_of "$target") -o "$binary" ||
    { echo "$target: the fuzz target does not build" >&2; return 1; }
}

# The .ff2 reader also starts from built tables of the shapes the samples lack and from every
# sample small enough to be mutated whole.
seed_ff2() {
  local corpus=$1 work=$2
  g++ -std=c++20 -O1 -I"$root/src" -I"$root/tests" "$root/fuzz/ff2_seeds.cpp" -o "$work/ff2_seeds"
  "$work/ff2_seeds" "$corpus"
  for sample in "$root"/tests/store/ff2/samples/*.[fF][fF]2; do
    if [ "$(stat -c %s "$sample")" -le "$(max_len_of ff2)" ]; then cp -f "$sample" "$corpus/"; fi
  done
}

fuzz_one() {
  local target=$1 work=${KV_FUZZ_WORK:-${KV_FUZZ_DIR:-${TMPDIR:-/tmp}/kv-fuzz}/$1}
  mkdir -p "$work/corpus" "$work/artifacts"
  build "$target" "$work/${target}_fuzz" || return 1
  if [ -d "$root/fuzz/corpus/$target" ]; then cp -f "$root/fuzz/corpus/$target"/* "$work/corpus/" 2>/dev/null || true; fi
  if [ "$target" = ff2 ]; then seed_ff2 "$work/corpus" "$work"; fi
  local options=(-max_len="$(max_len_of "$target")" -timeout=10 -rss_limit_mb=2048 -runs="$runs"
                 -artifact_prefix="$work/artifacts/" -print_final_stats=1)
  [ "$seconds" != 0 ] && options+=(-max_total_time="$seconds")
  [ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")

  local before after found
  before=$(find "$work/artifacts" -type f | wc -l)
  set +e
  "$work/${target}_fuzz" "$work/corpus" "${options[@]}" >"$work/fuzz.log" 2>&1
  set -e
  after=$(find "$work/artifacts" -type f | wc -l)
  found=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || true)
  [ -z "$found" ] && found=$(grep -o '^#[0-9]*' "$work/fuzz.log" | tail -1 | tr -d '#')
  echo "$target: inputs run: ${found:-0}, crashes found: $((after - before)), contract failures: $(grep -c 'CONTRACT FAILED' "$work/fuzz.log" || true)"
  if [ "$after" -gt "$before" ]; then
    echo "  inputs that crashed are in $work/artifacts; the log is $work/fuzz.log"
    return 1
  fi
}

status=0
for target in ${targets//,/ }; do fuzz_one "$target" || status=1; done
exit $status
