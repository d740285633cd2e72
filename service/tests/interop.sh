#!/usr/bin/env bash
# Interop of the project's client with the reference service, through fotrel-cli: register,
# log in, upload photos of 20 bytes, 39 bytes and several MB, then compare the stored files
# with the sources byte for byte.
#
#   interop.sh SERVICE_BINARY CLI_BINARY
#
# Exits 77 (skipped) while fotrel-cli is not built yet. The cli commands used here are
#   fotrel-cli --host HOST:PORT register USER PASSWORD EMAIL
#   fotrel-cli --host HOST:PORT login USER PASSWORD
#   fotrel-cli --host HOST:PORT upload --user USER FILE...
# adjust them here if the cli settles on other ones.
set -euo pipefail
service=${1:?usage: interop.sh SERVICE_BINARY CLI_BINARY}
cli=${2:?usage: interop.sh SERVICE_BINARY CLI_BINARY}
if [ ! -x "$cli" ]; then
  echo "skipped: $cli is not built yet"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fotrel-interop-XXXXXX")
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# A free port on loopback: the service reports the one it got on its first line.
"$service" --listen 127.0.0.1:0 --data "$work/data" --fast-hash 2>"$work/service.log" &
pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/service.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the service did not start"; cat "$work/service.log"; exit 1; }
host=127.0.0.1:$port

user=interop$$
head -c 20 /dev/urandom >"$work/twenty.jpg"
head -c 39 /dev/urandom >"$work/thirty-nine.jpg"
head -c 5000123 /dev/urandom >"$work/several-mb.jpg"

"$cli" --host "$host" register "$user" Pa55word "$user@example.org"
"$cli" --host "$host" login "$user" Pa55word
if "$cli" --host "$host" login "$user" wrong-password; then
  echo "a wrong password was accepted"; exit 1
fi
"$cli" --host "$host" upload --user "$user" "$work/twenty.jpg" "$work/thirty-nine.jpg" "$work/several-mb.jpg"

# Stored names come from the clock, so every source is looked for among all stored files.
stored=("$work/data/uploads/$user"/*)
[ "${#stored[@]}" -eq 3 ] || { echo "expected 3 stored files, found ${#stored[@]}"; exit 1; }
for source in "$work/twenty.jpg" "$work/thirty-nine.jpg" "$work/several-mb.jpg"; do
  found=no
  for file in "${stored[@]}"; do
    if cmp -s "$source" "$file"; then found=yes; fi
  done
  [ "$found" = yes ] || { echo "no stored file equals $(basename "$source")"; exit 1; }
done
# A Chinese user name travels as character references and comes back the same.
cn_user="张三$$"
"$cli" --host "$host" register "$cn_user" 密码Pa55 "$$@example.cn"
"$cli" --host "$host" login "$cn_user" 密码Pa55
"$cli" --host "$host" upload --user "$cn_user" "$work/thirty-nine.jpg"
cmp -s "$work/thirty-nine.jpg" "$work/data/uploads/$cn_user"/* || { echo "the Chinese user's photo differs"; exit 1; }
if grep -q Pa55word "$work/service.log"; then
  echo "the service log holds a password"; exit 1
fi
echo "interop: register, login and 3 uploads byte-identical"
