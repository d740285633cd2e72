#!/usr/bin/env bash
# Peak memory of `fotrel-cli upload` for one photo (default 50 MB) sent to the loopback sink.
# Usage: bench/memory.sh [BUILD_DIR] [BYTES]   (BUILD_DIR needs -DFOTREL_BENCH=ON, Release)
set -euo pipefail
build=${1:-build/bench}
bytes=${2:-50000000}
work=$(mktemp -d)
trap 'kill $sink_pid 2>/dev/null || true; rm -rf "$work"' EXIT
head -c "$bytes" /dev/urandom > "$work/photo.jpg"
"$build/bench/upload_sink" 0 > "$work/port" &
sink_pid=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")
/usr/bin/time -v "$build/cli/fotrel-cli" --host "127.0.0.1:$port" upload --user bench "$work/photo.jpg" \
  > "$work/out" 2> "$work/time"
grep -E 'files sent' "$work/out"
piece=$((bytes / 20))
rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time")
echo "file $bytes bytes, piece $piece bytes: peak resident $rss KiB ($((rss * 1024 / piece)) x the piece size)"
