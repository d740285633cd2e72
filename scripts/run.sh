#!/usr/bin/env bash
# Builds the program and runs it: the reference service on 127.0.0.1:8080 and the client
# Fotrel.exe under Wine against it (on Xvfb when there is no display). Ctrl-C ends both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/deps.sh
jobs=$(nproc)
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

cmake -S . -B build/run-linux "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DFOTREL_TESTS=OFF >/dev/null
cmake --build build/run-linux -j "$jobs"
cmake -S . -B build/run-win "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DFOTREL_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
cmake --build build/run-win -j "$jobs"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT INT TERM

service=build/run-linux/service/fotrel-service
if [ -x "$service" ]; then
  "$service" --listen 127.0.0.1:8080 --data "$root/fotrel-data" &
  pids+=($!)
  echo "reference service on http://127.0.0.1:8080/ (data in fotrel-data/)"
fi

client=$(ls build/run-win/app/Fotrel.exe 2>/dev/null || true)
if [ -n "$client" ]; then
  . scripts/wine-env.sh
  start_xvfb_if_needed 77
  if [ -n "$XVFB_PID" ]; then
    pids+=("$XVFB_PID")
    echo "no display: the client runs on Xvfb $DISPLAY (screenshot: import -display $DISPLAY -window root shot.png)"
  fi
  wine_prefix_init
  "$WINE" "$client"
else
  echo "the window client is not built yet; try the command-line client:"
  echo "  build/run-linux/cli/fotrel-cli --host 127.0.0.1:8080 register USER PASSWORD EMAIL"
  wait
fi
