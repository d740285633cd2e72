#!/usr/bin/env bash
# Checks the committed images of res/: every size and pixel format the windows rely on, and that
# res/make-artwork.sh reproduces them byte for byte. Exit 77 (skipped) without ImageMagick or the
# font the artwork is drawn with.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
res=$root/res
command -v identify >/dev/null || { echo "identify (ImageMagick) not installed"; exit 77; }
[ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || { echo "fonts-wqy-microhei not installed"; exit 77; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# id width height
pngs="182 560 560
225 457 398
140 19 182
245 23 182
138 300 18
244 300 24
142 19 18
143 23 18
144 19 24
246 23 24
180 61 35
181 61 35
222 61 35
223 61 35"

# id width height bits-per-pixel
bmps="229 312 248 24
234 312 248 24
230 58 26 24
232 58 26 24
233 58 26 24
231 58 26 24
210 93 26 24
215 93 26 24
191 93 26 24
216 93 26 24
220 98 24 24
212 98 24 24
172 1 24 24
185 443 21 24
227 172 22 24
195 172 177 24
198 415 35 24
10005 46 45 8
194 640 32 24
158 96 24 24
152 96 24 24
155 1 24 24"

# Little-endian unsigned integer of n bytes at an offset of a file.
le() { od -An -tu"$3" -j"$2" -N"$3" "$1" | tr -d ' '; }
be32() { od -An -tx1 -j"$2" -N4 "$1" | tr -d ' \n' | { read -r h; echo $((16#$h)); }; }

while read -r id w h; do
  f=$res/png/$id.png
  [ -f "$f" ] || { fail "missing $f"; continue; }
  [ "$(od -An -tx1 -N8 "$f" | tr -d ' ')" = 89504e470d0a1a0a ] || fail "$id.png is not a PNG"
  [ "$(be32 "$f" 16)x$(be32 "$f" 20)" = "${w}x$h" ] || fail "$id.png is $(be32 "$f" 16)x$(be32 "$f" 20), not ${w}x$h"
  [ "$(le "$f" 24 1) $(le "$f" 25 1)" = "8 6" ] || fail "$id.png is not 8-bit RGBA"
  [ "$(identify -format '%wx%h' "$f")" = "${w}x$h" ] || fail "$id.png: identify disagrees"
done <<<"$pngs"

while read -r id w h bits; do
  f=$res/bmp/$id.bmp
  [ -f "$f" ] || { fail "missing $f"; continue; }
  [ "$(head -c 2 "$f")" = BM ] || fail "$id.bmp is not a BMP"
  # Windows BMP3: a 40-byte info header, no compression, height positive (bottom-up rows).
  [ "$(le "$f" 14 4)" = 40 ] || fail "$id.bmp header is $(le "$f" 14 4) bytes, not BMP3's 40"
  [ "$(le "$f" 18 4)x$(le "$f" 22 4)" = "${w}x$h" ] || fail "$id.bmp is $(le "$f" 18 4)x$(le "$f" 22 4), not ${w}x$h"
  [ "$(le "$f" 28 2)" = "$bits" ] || fail "$id.bmp has $(le "$f" 28 2) bits per pixel, not $bits"
  [ "$(le "$f" 30 4)" = 0 ] || fail "$id.bmp is compressed"
done <<<"$bmps"

for id in 128 242; do
  f=$res/ico/$id.ico
  [ -f "$f" ] || { fail "missing $f"; continue; }
  sizes=$(identify -format '%wx%h ' "$f")
  [ "$sizes" = "16x16 32x32 48x48 " ] || fail "$id.ico holds '$sizes', not 16, 32 and 48"
done

# The artwork script makes the same bytes again.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if "$res/make-artwork.sh" "$tmp" >"$tmp/log" 2>&1; then
  for dir in png bmp ico; do
    for f in "$res/$dir"/*; do
      cmp -s "$f" "$tmp/$dir/$(basename "$f")" || fail "make-artwork.sh makes a different $dir/$(basename "$f")"
    done
    extra=$(comm -13 <(ls "$res/$dir") <(ls "$tmp/$dir"))
    [ -z "$extra" ] || fail "make-artwork.sh makes files that are not committed: $extra"
  done
else
  cat "$tmp/log"
  fail "make-artwork.sh failed"
fi

[ "$failures" = 0 ] && echo "res: all images as expected" || echo "res: $failures failures"
[ "$failures" = 0 ]
