#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; quick when all are present.
set -euo pipefail
pkgs=(cmake ninja-build pkg-config g++ clang libclang-rt-14-dev
      g++-mingw-w64-x86-64 wine64 wine xvfb xdotool x11-utils imagemagick libimage-exiftool-perl
      fonts-wqy-microhei libexpat1-dev libsqlite3-dev libsodium-dev libcpp-httplib-dev libbenchmark-dev
      googletest nsis python3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
