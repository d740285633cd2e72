#!/usr/bin/env bash
# Builds everything and runs every test: native (gcc, sanitizers), Windows (MinGW, under Wine),
# and a short run of each fuzz target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/deps.sh
jobs=$(nproc)
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

echo "== native build (gcc, AddressSanitizer + UBSan)"
cmake -S . -B build/linux "${gen[@]}" -DCMAKE_BUILD_TYPE=Debug -DFOTREL_SANITIZE=ON -DFOTREL_BENCH=ON >/dev/null
cmake --build build/linux -j "$jobs"
echo "== native tests"
(cd build/linux && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

echo "== Windows build (MinGW-w64)"
cmake -S . -B build/win "${gen[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
cmake --build build/win -j "$jobs"
echo "== Windows tests under Wine"
. scripts/wine-env.sh
# Window tests need a display: a private Xvfb unless one is given.
start_xvfb_if_needed 97
wine_prefix_init
wine_server_keep
# The reference service, native, as the peer of the window tests' flows (FOTREL_TEST_SERVICE).
service_data=$(mktemp -d)
build/linux/service/fotrel-service --listen 127.0.0.1:0 --data "$service_data" --fast-hash 2>"$service_data.log" &
service_pid=$!
for _ in $(seq 100); do
  port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$service_data.log")
  [ -n "$port" ] && break
  sleep 0.1
done
export FOTREL_TEST_SERVICE=127.0.0.1:$port
# Where it keeps the uploaded photos (uploads/<user>/), for tests that compare them.
export FOTREL_TEST_SERVICE_DATA=$service_data
trap 'wine_server_stop; kill "$service_pid" 2>/dev/null; rm -rf "$service_data" "$service_data.log";
      [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; true' EXIT
(cd build/win && ctest --output-on-failure)
echo "== the Windows fotrel-cli under Wine against the reference service"
FOTREL_WIN_BUILD="$root/build/win" service/tests/interop.sh build/linux/service/fotrel-service scripts/fotrel-cli-wine
echo "== end-to-end: Fotrel.exe under Wine, driven with xdotool (screenshots in build/e2e/)"
./scripts/e2e.sh build/win/app/Fotrel.exe build/linux/service/fotrel-service build/e2e

echo "== release packages, and the installer under Wine in a fresh prefix of its own"
# A test build may be packaged although its service host is a loopback address.
cmake -S . -B build/win -DFOTREL_PACKAGE_TEST=ON >/dev/null
tests/installer_test.sh build/win

echo "== fuzz targets (clang, libFuzzer), a short run each"
CC=clang CXX=clang++ cmake -S . -B build/fuzz "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFOTREL_FUZZ=ON -DFOTREL_TESTS=OFF -DFOTREL_SERVICE=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"
./scripts/fuzz.sh "${FOTREL_FUZZ_SECONDS:-15}"
echo "== all tests passed"
