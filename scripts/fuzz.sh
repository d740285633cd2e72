#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds (default 15) from its seed corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-15}
shopt -s nullglob
for t in "$root"/build/fuzz/fuzz/fuzz_*; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  corpus="$root/build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$root/fuzz/seeds/$name" ] && seeds=("$root/fuzz/seeds/$name")
  echo "-- $name (${seconds}s)"
  "$t" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=0 "$corpus" "${seeds[@]}" 2>&1 | tail -n 2
done
