#!/usr/bin/env bash
# Fuzzes the .ff2 reader for SECONDS (see scripts/fuzz.sh, which does the work).
# Work folder: $FF2_FUZZ_DIR, else ${TMPDIR:-/tmp}/kv-fuzz-ff2 (the corpus grows there across runs).
set -euo pipefail
seconds=${1:?usage: scripts/fuzz-ff2.sh SECONDS}
work=${FF2_FUZZ_DIR:-${TMPDIR:-/tmp}/kv-fuzz-ff2}
KV_FUZZ_WORK=$work exec "$(dirname "$0")/fuzz.sh" ff2 "$seconds"
