#!/usr/bin/env bash
# Builds the release packages: the package target of a release Windows build in build/release,
# which writes build/release/Fotrel-<version>-win64-setup.exe and Fotrel-<version>-win64.zip.
# A release talks to the real service, so give its host; the package target refuses a loopback one:
#   scripts/package.sh -DFOTREL_SERVICE_HOST=<host[:port]> [more -D settings]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/deps.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build/release "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DFOTREL_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" "$@" >/dev/null
cmake --build build/release -j "$(nproc)" --target package
