#!/usr/bin/env bash
# The photo list's thumbnails, before and after, in one run under Wine: a folder of 60 camera-
# sized photos (4000 x 3000 JPEG, about 5.5 MB, ImageMagick plasma plus noise at quality 90),
# and a copy with a 160 x 120 EXIF thumbnail in each; for each tree and folder, the time until
# the first 12 items and all 60 show their tiles. Also where one photo's time goes with the
# platform's loaders (decode versus scaling), and the own decoder's times per photo.
#
#   bench/thumbs.sh [BASE_COMMIT]    (default ffbeb93, the tree before the new loader)
#
# Not part of CI. The photos are made once and kept under build/bench-photos/ (about 10 minutes
# and 700 MB); the two trees are built under build/bench-win and build/bench-base. Needs
# ImageMagick and exiftool (scripts/deps.sh installs both), MinGW, Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base=${1:-ffbeb93}
photos=$root/build/bench-photos
count=60
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)

# 1. The photos, once.
if [ ! -f "$photos/.complete" ]; then
  mkdir -p "$photos/plain" "$photos/exif"
  for i in $(seq -w 1 $count); do
    plain=$photos/plain/photo_$i.jpg
    [ -f "$plain" ] || convert -seed "$i" -size 1000x750 plasma:fractal -resize '4000x3000!' +noise Gaussian \
      -sampling-factor 2x2 -quality 90 "$plain"
    exif=$photos/exif/photo_$i.jpg
    if [ ! -f "$exif" ]; then
      convert -define jpeg:size=320x240 "$plain" -thumbnail '160x120!' -quality 75 "$photos/thumb.jpg"
      cp "$plain" "$exif.tmp"
      exiftool -q -overwrite_original "-ThumbnailImage<=$photos/thumb.jpg" "$exif.tmp"
      mv "$exif.tmp" "$exif"
    fi
    echo -n "$i " >&2
  done
  echo >&2
  rm -f "$photos/thumb.jpg"
  touch "$photos/.complete"
fi

# 2. The two trees, each with this bench program.
build_tree() {  # SOURCE BUILD TARGETS...
  local src=$1 out=$2
  shift 2
  cmake -S "$src" -B "$out" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DFOTREL_BENCH=ON -DFOTREL_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw64.cmake" >/dev/null
  cmake --build "$out" -j "$(nproc)" --target "$@" >/dev/null
}
after=$root/build/bench-win
build_tree "$root" "$after" bench_thumbs bench_photo
before=$root/build/bench-base
if [ ! -f "$before/src/.commit-$base" ]; then
  rm -rf "$before/src"
  mkdir -p "$before/src"
  git -C "$root" archive "$base" | tar -x -C "$before/src"
  touch "$before/src/.commit-$base"
fi
cp "$root/bench/CMakeLists.txt" "$root/bench/bench_thumbs.cpp" "$before/src/bench/"
build_tree "$before/src" "$before/build" bench_thumbs

# 3. The runs, under Wine on a private display.
. "$root/scripts/wine-env.sh"
start_xvfb_if_needed 184
trap '[ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null; true' EXIT
wine_prefix_init
wine_server_keep
win() { "$WINE" winepath -w "$1" 2>/dev/null; }
run() { "$WINE" "$@" 2>/dev/null | tr -d '\r'; }
# The files come from the page cache in every run.
cat "$photos"/plain/*.jpg "$photos"/exif/*.jpg >/dev/null
out=$photos/results.txt
{
  echo "== $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  for set in plain exif; do
    if [ "$set" = plain ]; then echo "-- $count photos without embedded thumbnails"; else
      echo "-- $count photos with 160 x 120 EXIF thumbnails"; fi
    echo "before ($base): $(run "$before/build/bench/bench_thumbs.exe" "$(win "$photos/$set")")"
    echo "after:           $(run "$after/bench/bench_thumbs.exe" "$(win "$photos/$set")")"
  done
  echo "-- where one photo's time goes with the platform's loaders"
  run "$after/bench/bench_thumbs.exe" --breakdown "$(win "$photos/plain/photo_01.jpg")"
  echo "-- the own reader per photo under Wine (best of 3)"
  run "$after/bench/bench_photo.exe" "$(win "$photos/plain/photo_01.jpg")" "$(win "$photos/exif/photo_01.jpg")"
} | tee -a "$out"
echo "(also appended to $out)"
