#!/usr/bin/env bash
# Batch uploads at the customer's link speed: fotrel-cli sends two batches (5 photos of
# 2,000,000 bytes, 12 of 300,000 bytes) to the reference service, through link_proxy (a home
# line: 20 ms each way, 20 Mbit/s per direction) and on plain loopback, one lane and the default
# lanes. Prints seconds against "link time", the time the line itself needs for the bytes the
# client sent through it (the SOAP bodies with the base64 pieces, and the HTTP heads), counted
# by the proxy. Checks that every photo arrived byte-identical.
# Usage: bench/link_speed.sh [BUILD_DIR]   (BUILD_DIR needs -DFOTREL_BENCH=ON, Release;
#        default build/bench). LINK_DELAY_MS and LINK_MBIT change the line.
set -euo pipefail
build=${1:-build/bench}
delay=${LINK_DELAY_MS:-20}
mbit=${LINK_MBIT:-20}
proxy=$build/bench/link_proxy
cli=$build/cli/fotrel-cli
service=$build/service/fotrel-service
for program in "$proxy" "$cli" "$service"; do
  [ -x "$program" ] || { echo "link_speed: $program missing (configure with -DFOTREL_BENCH=ON)" >&2; exit 1; }
done

fail() {
  echo "link_speed: $*" >&2
  exit 1
}

# The photos, made once: random bytes, since the service stores what it gets.
photos=$build/bench/link_speed_photos
make_batch() {  # NAME COUNT BYTES
  local dir=$photos/$1 i
  mkdir -p "$dir"
  for i in $(seq -w 1 "$2"); do
    local file=$dir/photo$i.jpg
    if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne "$3" ]; then head -c "$3" /dev/urandom > "$file"; fi
  done
}
make_batch 2mb 5 2000000
make_batch 300kb 12 300000

work=$(mktemp -d)
service_pid=
proxy_pid=
cleanup() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$service" --listen 127.0.0.1:0 --data "$work/data" --fast-hash 2> "$work/service.log" &
service_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/service.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the service did not start: $(cat "$work/service.log")"

start_proxy() {
  "$proxy" --target "127.0.0.1:$port" --delay-ms "$delay" --mbit "$mbit" > "$work/proxy.out" &
  proxy_pid=$!
  for _ in $(seq 50); do
    proxy_port=$(head -n 1 "$work/proxy.out")
    [ -n "$proxy_port" ] && return
    sleep 0.1
  done
  fail "the proxy did not start"
}

# Stops the proxy and sets link_bytes to what it carried upstream.
stop_proxy() {
  kill -TERM "$proxy_pid"
  wait "$proxy_pid" || fail "the proxy failed"
  proxy_pid=
  link_bytes=$(sed -n 's/^up \([0-9]*\) down.*/\1/p' "$work/proxy.out")
  [ -n "$link_bytes" ] || fail "the proxy did not report its bytes"
}

# Today's fotrel-cli has no --parallel: then one row per path, labelled "today".
usage=$("$cli" 2>&1 || true)
if [[ $usage == *--parallel* ]]; then lanes_list=(1 default); else lanes_list=(today); fi

rows=()
users=0
declare -A batch_link_bytes
run() {  # BATCH PATH LANES
  local batch=$1 path=$2 lanes=$3 user host seconds
  users=$((users + 1))
  user=bench$users
  "$cli" --host "127.0.0.1:$port" register "$user" secret "$user@example.com" > /dev/null ||
    fail "cannot register $user"
  local options=()
  [ "$lanes" = 1 ] && options=(--parallel 1)
  host=127.0.0.1:$port
  if [ "$path" = proxy ]; then
    start_proxy
    host=127.0.0.1:$proxy_port
  fi
  local start=$EPOCHREALTIME
  timeout --foreground 600 "$cli" --host "$host" upload --user "$user" "${options[@]}" "$photos/$batch"/*.jpg \
    > "$work/cli.log" 2>&1 || { cat "$work/cli.log" >&2; fail "$batch over $path, lanes $lanes: upload failed"; }
  local end=$EPOCHREALTIME
  if [ "$path" = proxy ]; then
    stop_proxy
    [ -n "${batch_link_bytes[$batch]:-}" ] || batch_link_bytes[$batch]=$link_bytes
  fi
  # Every photo arrived whole: the same multiset of contents in the user's folder.
  local sent got
  sent=$(cd "$photos/$batch" && sha256sum -- *.jpg | cut -d' ' -f1 | sort)
  got=$(cd "$work/data/uploads/$user" && sha256sum -- * | cut -d' ' -f1 | sort)
  [ "$sent" = "$got" ] || fail "$batch over $path, lanes $lanes: the stored photos differ from the sent ones"
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
  rows+=("$batch $path $lanes $seconds")
}

for batch in 2mb 300kb; do
  for path in proxy loopback; do
    for lanes in "${lanes_list[@]}"; do
      run "$batch" "$path" "$lanes"
    done
  done
done

echo "line: ${delay} ms each way, ${mbit} Mbit/s per direction"
printf '%-6s %-9s %-8s %8s %12s %10s %7s\n' batch path lanes seconds "link bytes" "link time" ratio
for row in "${rows[@]}"; do
  read -r batch path lanes seconds <<< "$row"
  bytes=${batch_link_bytes[$batch]}
  awk -v b="$batch" -v p="$path" -v l="$lanes" -v s="$seconds" -v n="$bytes" -v m="$mbit" 'BEGIN {
    t = n * 8 / (m * 1e6)
    printf "%-6s %-9s %-8s %8.2f %12d %9.2fs %6.2fx\n", b, p, l, s, n, t, s / t
  }'
done
