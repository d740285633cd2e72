#!/usr/bin/env bash
# Regenerates every image of the resources (png/, bmp/, ico/) and the preview sheet from nothing
# but ImageMagick drawing commands and the WenQuanYi Micro Hei font. The output is committed; the
# build never runs this script. Running it twice gives the same bytes: no timestamps, no metadata,
# fixed encoder settings.
#
#   res/make-artwork.sh            regenerate res/png, res/bmp, res/ico and res/preview.png
#   res/make-artwork.sh OUTDIR     write into OUTDIR instead (used by the reproducibility check)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here}
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$FONT" ] || { echo "missing font $FONT (apt-get install fonts-wqy-microhei)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out/png" "$out/bmp" "$out/ico"

# Skin colours: page background, label text (also the accent), frame lines, list outlines.
BG='#F1F1F1'        # 241,241,241
ACCENT='#597F93'    # 89,127,147
ACCENT_HI='#6F99AF' # hover of the accent buttons
ACCENT_DK='#3F6273' # hover text of the light buttons
FRAME='#ACACAC'     # 172,172,172
OUTLINE='#C0C0C0'   # 192,192,192, the page's outline pen
BTNFACE='#F0F0F0'   # the system button face that shows through transparent button pixels
HEAD_TOP='#FAFAFA'
HEAD_BOTTOM='#E4E9EC'
LIGHT_BTN='#FAFAFA'
LIGHT_BTN_HI='#E2EDF2'
GLYPH='#EEF3F6'

# Fixed encoder settings: 8-bit channels, no ancillary text or time chunks.
png_out() { "$IM" "$1" +repage -strip -depth 8 -define png:exclude-chunks=date,time \
              -define png:compression-level=9 -define png:compression-filter=5 \
              -define png:compression-strategy=1 PNG32:"$2"; }
bmp24_out() { "$IM" "$1" +repage -strip -background "$BG" -flatten -alpha off -depth 8 -type TrueColor \
              -compress None BMP3:"$2"; }

# A vertical header gradient of the given width and height (rows match across all headers).
head_grad() { "$IM" -size "$1x23" gradient:"$HEAD_TOP"-"$HEAD_BOTTOM" -crop "$1x$2+0+0" +repage "$3"; }

# ---------------------------------------------------------------------------------------------
# Main window (PNG, per-pixel alpha). The window is 459 x 416 dialog units, 689 x 676 pixels with
# the 6 x 13 base units of "MS Shell Dlg" 8. The whole frame is drawn once at that size, and every
# piece is cut out of it at the rectangle the window draws it into, then scaled to the piece's own
# size; drawn back scaled, the pieces meet again. Soft shadow, rounded 1-pixel frame, an accent
# band along the top that carries the close and hide buttons, light grey inside.
W=689 H=676 B=18
"$IM" -size ${W}x${H} xc:none -fill "$BG" -draw "roundrectangle 6,6 $((W - 7)),$((H - 7)) 7,7" \
  \( -size ${W}x${H} xc:none -fill "$ACCENT" -draw "roundrectangle 6,6 $((W - 7)),60 7,7" \
     -crop ${W}x48+0+0 +repage -background none -extent ${W}x${H} \) -composite \
  -fill none -stroke "$FRAME" -strokewidth 1 \
  -draw "roundrectangle 6.5,6.5 $((W - 7)).5,$((H - 7)).5 7,7" \
  "$tmp/body.png"
"$IM" -size ${W}x${H} xc:none -fill 'rgba(0,0,0,0.45)' \
  -draw "roundrectangle 5,6 $((W - 6)),$((H - 5)) 9,9" -blur 0x3 \
  "$tmp/body.png" -composite "$tmp/frame.png"

piece() { # id x y w h outw outh
  "$IM" "$tmp/frame.png" -crop "$4x$5+$2+$3" +repage -background none -extent "$4x$5" \
    -filter Triangle -resize "$6x$7!" "$tmp/p$1.png"
  png_out "$tmp/p$1.png" "$out/png/$1.png"
}
# The background lies under every other piece: it carries no shadow, or the shadow would double.
"$IM" "$tmp/body.png" -filter Triangle -resize '560x560!' "$tmp/p182.png"
png_out "$tmp/p182.png" "$out/png/182.png"                       # background, whole window
piece 225 $B $B $((W - 2 * B)) $((H - 2 * B)) 457 398             # inner fill
piece 140 0 $B $B $((H - 2 * B + 1)) 19 182                       # left edge
piece 245 $((W - B)) $((B + 1)) $B $((H - 2 * B + 1)) 23 182      # right edge
piece 138 $((B + 1)) 0 $((W - 2 * B)) $B 300 18                   # top edge
piece 244 $B $((H - B)) $((W - 2 * B)) $B 300 24                  # bottom edge
piece 142 0 0 19 18 19 18                                         # top-left corner (natural)
piece 143 $((W - 18)) 0 18 19 23 18                               # top-right corner
piece 144 0 $((H - 19)) 18 19 19 24                               # bottom-left corner
piece 246 $((W - 19)) $((H - 18)) 18 19 23 24                     # bottom-right corner

# Close and hide buttons, 61 x 35; the click area is the top-left 50 x 25.
winbtn() { # out glyph hoverfill
  local draw_glyph
  if [ "$2" = close ]; then
    draw_glyph=(-stroke "$GLYPH" -strokewidth 2 -draw "line 20.5,7.5 29.5,16.5" -draw "line 29.5,7.5 20.5,16.5")
  else
    draw_glyph=(-stroke none -fill "$GLYPH" -draw "rectangle 19,12 30,13")
  fi
  local hover=()
  [ -n "$3" ] && hover=(-fill "$3" -draw "roundrectangle 3,0 47,24 4,4")
  "$IM" -size 61x35 xc:none "${hover[@]}" "${draw_glyph[@]}" "$tmp/$1.png"
  png_out "$tmp/$1.png" "$out/png/$1.png"
}
winbtn 180 close ''
winbtn 181 close '#C9574A'
winbtn 222 hide ''
winbtn 223 hide 'rgba(255,255,255,0.22)'

# ---------------------------------------------------------------------------------------------
# Flat buttons (24-bit BMP, exactly the button's size). Pure black marks the transparent pixels:
# only the corners outside the rounded shape (less than half covered); the other edge pixels are
# smoothed against the button face.
button() { # id w h style(accent|light) hover(0|1) caption
  local id=$1 w=$2 h=$3 fill stroke text
  if [ "$4" = accent ]; then
    fill=$ACCENT stroke='#4D7084' text='#FFFFFF'
    [ "$5" = 1 ] && fill=$ACCENT_HI stroke='#5E889E'
  else
    fill=$LIGHT_BTN stroke=$FRAME text=$ACCENT
    [ "$5" = 1 ] && fill=$LIGHT_BTN_HI stroke=$ACCENT text=$ACCENT_DK
  fi
  "$IM" -size "${w}x${h}" xc:none -fill "$fill" -stroke "$stroke" -strokewidth 1 \
    -draw "roundrectangle 0.5,0.5 $((w - 1)).5,$((h - 1)).5 4,4" \
    -stroke none -fill "$text" -font "$FONT" -pointsize 13 -gravity center -annotate +0+0 "$6" \
    "$tmp/b$id.png"
  # Coverage below one half is transparent; the four corners made alike by taking the smallest.
  "$IM" "$tmp/b$id.png" -alpha extract -threshold 50% \
    \( +clone -flop \) -compose Darken -composite \( +clone -flip \) -compose Darken -composite \
    "$tmp/m$id.png"
  "$IM" "$tmp/b$id.png" -background "$BTNFACE" -flatten "$tmp/m$id.png" -compose Multiply -composite \
    -strip -alpha off -depth 8 -type TrueColor -compress None BMP3:"$out/bmp/$id.bmp"
}
# Login dialog: the login button; the switch button and the register button share 注册.
button 230 58 26 accent 0 '登录'
button 232 58 26 accent 1 '登录'
button 233 58 26 light 0 '注册'
button 231 58 26 light 1 '注册'
# Upload page.
button 210 93 26 light 0 '选择全部'
button 215 93 26 light 1 '选择全部'
button 191 93 26 light 0 '全不选择'
button 216 93 26 light 1 '全不选择'
button 220 98 24 accent 0 '上传照片'
button 212 98 24 accent 1 '上传照片'

# ---------------------------------------------------------------------------------------------
# Login dialog form backgrounds 229 (login) and 234 (registration), drawn at (0, 20): a panel
# from (10, 38) to (309, 264) in dialog pixels, the same width as the notice page below it
# (10, 270) and level with the top of the welcome page (318, 38); grey outside the panel.
form() { # id title
  local w=312 h=248
  head_grad 298 22 "$tmp/fh.png"
  "$IM" -size ${w}x${h} xc:"$BG" \
    \( "$tmp/fh.png" \) -geometry +11+19 -composite \
    -fill "$BG" -draw "rectangle 11,41 308,43" \
    -stroke "$OUTLINE" -draw "line 11,41 308,41" -stroke none \
    -fill "$ACCENT" -draw "rectangle 18,24 20,35" \
    -font "$FONT" -pointsize 14 -annotate +27+35 "$2" \
    "$tmp/f$1.png"
  # Round the panel: grey outside the rounded frame, then the frame line itself.
  "$IM" -size ${w}x${h} xc:"$BG" "$tmp/f$1.png" \
    \( -size ${w}x${h} xc:black -fill white -draw "roundrectangle 10.5,18.5 309.5,244.5 4,4" \) \
    -composite -fill none -stroke "$FRAME" -strokewidth 1 \
    -draw "roundrectangle 10.5,18.5 309.5,244.5 4,4" "$tmp/f$1b.png"
  bmp24_out "$tmp/f$1b.png" "$out/bmp/$1.bmp"
}
form 229 '用户登录'
form 234 '新用户注册'

# ---------------------------------------------------------------------------------------------
# Upload page. Headers share one gradient so that 185 continues 172 seamlessly.
"$IM" -size 1x23 gradient:"$HEAD_TOP"-"$HEAD_BOTTOM" -size 1x1 xc:"$OUTLINE" -append "$tmp/172.png"
bmp24_out "$tmp/172.png" "$out/bmp/172.bmp"                         # list header strip, 1 x 24

head_grad 415 21 "$tmp/h185.png"                                    # list title, 443 x 21
"$IM" "$tmp/h185.png" -background "$BG" -extent 443x21 \
  -fill "$ACCENT" -draw "rectangle 7,5 9,16" \
  -font "$FONT" -pointsize 13 -annotate +15+16 '可用照片' "$tmp/185.png"
bmp24_out "$tmp/185.png" "$out/bmp/185.bmp"

head_grad 172 21 "$tmp/h227.png"                                    # folder title, 172 x 22
"$IM" "$tmp/h227.png" -size 172x1 xc:"$OUTLINE" -append \
  -fill "$ACCENT" -draw "rectangle 7,5 9,16" \
  -font "$FONT" -pointsize 13 -annotate +15+16 '本地' "$tmp/227.png"
bmp24_out "$tmp/227.png" "$out/bmp/227.bmp"

# Frame behind the preview box, 172 x 177: a header like the others, then an empty picture
# frame with a faint camera in the middle, seen until a photo is clicked.
head_grad 170 19 "$tmp/h195.png"
"$IM" -size 172x177 xc:'#F7F7F7' \( "$tmp/h195.png" \) -geometry +1+1 -composite \
  -fill "$ACCENT" -draw "rectangle 7,5 9,15" \
  -stroke "$OUTLINE" -draw "line 1,20 170,20" \
  -stroke "$OUTLINE" -fill none -draw "rectangle 0,0 171,176" -stroke none \
  -fill '#DCE3E7' -draw "roundrectangle 62,82 110,114 5,5" -draw "roundrectangle 74,77 90,84 2,2" \
  -fill '#F7F7F7' -draw "circle 86,98 86,109" -fill '#DCE3E7' -draw "circle 86,98 86,104" \
  "$tmp/195.png"
bmp24_out "$tmp/195.png" "$out/bmp/195.bmp"

# Bar behind the buttons, 415 x 35.
"$IM" -size 415x1 xc:"$OUTLINE" -size 415x34 gradient:'#F8F8F8'-'#EBEEF0' -append "$tmp/198.png"
bmp24_out "$tmp/198.png" "$out/bmp/198.bmp"

# Placeholder tile picture, 46 x 45, 8-bit palette: NO PHOTO in grey under a faint picture.
"$IM" -size 46x45 xc:white \
  -fill '#E3E3E3' -stroke '#BDBDBD' -draw "roundrectangle 11.5,3.5 34.5,21.5 2,2" -stroke none \
  -fill '#C6C6C6' -draw "polygon 13,20 20,11 25,16 28,13 33,20" -fill '#D2D2D2' -draw "circle 29,8 29,10" \
  -fill '#8A8A8A' -font "$FONT" -pointsize 10 -gravity north -annotate +0+23 'NO' \
  -annotate +0+33 'PHOTO' "$tmp/10005.png"
"$IM" "$tmp/10005.png" -strip -alpha off +dither -type Palette -colors 256 -compress None \
  BMP3:"$out/bmp/10005.bmp"

# ---------------------------------------------------------------------------------------------
# Tabbed window. 194 is its background; only the 32 rows above the tab control show, so it is a
# title band as wide as the window can get. 158, 152, 155: active tab, other tab, tab row.
"$IM" -size 640x32 xc:"$BG" \
  -fill "$ACCENT" -draw "roundrectangle 10,11 29,25 3,3" -draw "roundrectangle 15,8 22,12 1,1" \
  -fill "$BG" -draw "circle 19.5,18 19.5,23" -fill "$ACCENT" -draw "circle 19.5,18 19.5,20.5" \
  -font "$FONT" -pointsize 15 -annotate +36+24 'Zorvan照片冲印' \
  -stroke "$FRAME" -draw "line 8,31 631,31" "$tmp/194.png"
bmp24_out "$tmp/194.png" "$out/bmp/194.bmp"

"$IM" -size 96x24 gradient:'#FFFFFF'-"$BG" \
  -fill "$ACCENT" -draw "rectangle 0,0 95,1" \
  -stroke "$FRAME" -draw "line 0,2 0,23" -draw "line 95,2 95,23" "$tmp/158.png"
bmp24_out "$tmp/158.png" "$out/bmp/158.bmp"
"$IM" -size 96x24 gradient:'#EEF0F1'-'#E0E4E6' \
  -fill none -stroke "$FRAME" -draw "rectangle 0,0 95,23" "$tmp/152.png"
bmp24_out "$tmp/152.png" "$out/bmp/152.bmp"
"$IM" -size 1x23 xc:"$BG" -size 1x1 xc:"$FRAME" -append "$tmp/155.png"
bmp24_out "$tmp/155.png" "$out/bmp/155.bmp"

# ---------------------------------------------------------------------------------------------
# Icons: a camera, drawn 8 times larger than 48 pixels and reduced to 48, 32 and 16.
# 128 (application): accent camera on transparent; 242 (notification area): white camera on an
# accent tile, which stays legible on dark and light task bars.
s=8
sc() { local r=() v; for v in "$@"; do r+=("$((v * s))"); done; echo "${r[@]}"; }
icon_big() { # out body lens_ring lens_core tile
  local tile=()
  [ -n "$5" ] && tile=(-fill "$5" -draw "roundrectangle 0,0 $((48 * s - 1)),$((48 * s - 1)) $((9 * s)),$((9 * s))")
  read -r a b c d e f <<<"$(sc 5 15 43 40 5 5)"
  read -r g h i j k l <<<"$(sc 15 9 27 17 2 2)"
  read -r cx cy ro ri rh <<<"$(sc 24 27 9 6 2)"
  "$IM" -size $((48 * s))x$((48 * s)) xc:none "${tile[@]}" \
    -fill "$2" -draw "roundrectangle $a,$b $c,$d $e,$f" -draw "roundrectangle $g,$h $i,$j $k,$l" \
    -fill "$3" -draw "circle $cx,$cy $cx,$((cy + ro))" \
    -fill "$4" -draw "circle $cx,$cy $cx,$((cy + ri))" \
    -fill "$3" -draw "circle $((cx - 2 * s)),$((cy - 2 * s)) $((cx - 2 * s)),$((cy - 2 * s + rh))" \
    -fill "$3" -draw "rectangle $((35 * s)),$((19 * s)) $((39 * s)),$((21 * s))" \
    "$1"
}
make_ico() { # id big.png
  local n
  for n in 16 32 48; do
    "$IM" "$2" -filter Box -resize ${n}x${n} -strip -depth 8 PNG32:"$tmp/i$1_$n.png"
  done
  "$IM" "$tmp/i$1_16.png" "$tmp/i$1_32.png" "$tmp/i$1_48.png" -strip ICO:"$out/ico/$1.ico"
}
icon_big "$tmp/app.png" "$ACCENT" '#FFFFFF' '#3F6273' ''
make_ico 128 "$tmp/app.png"
icon_big "$tmp/tray.png" '#FFFFFF' "$ACCENT" '#FFFFFF' "$ACCENT"
make_ico 242 "$tmp/tray.png"

# ---------------------------------------------------------------------------------------------
# Preview sheet (not used by the build): mock-ups of the main window with the login dialog and with
# the tabbed window in place, then every image on a checkerboard with its id and size.
if [ "$out" = "$here" ]; then
  # The skin put together from its pieces, at the rectangles the main window draws them into.
  P=$out/png cw=19 ch=18
  "$IM" \( "$P/182.png" -resize "${W}x${H}!" \) \
    \( "$P/225.png" -resize "$((W - 2 * B))x$((H - 2 * B))!" \) -geometry +$B+$B -composite \
    \( "$P/140.png" -resize "${B}x$((H - 2 * B + 1))!" \) -geometry +0+$B -composite \
    \( "$P/245.png" -resize "${B}x$((H - 2 * B + 1))!" \) -geometry +$((W - B))+$((B + 1)) -composite \
    \( "$P/138.png" -resize "$((W - 2 * B))x${B}!" \) -geometry +$((B + 1))+0 -composite \
    \( "$P/244.png" -resize "$((W - 2 * B))x${B}!" \) -geometry +$B+$((H - B)) -composite \
    "$P/142.png" -geometry +0+0 -composite \
    \( "$P/143.png" -resize "${ch}x${cw}!" \) -geometry +$((W - ch))+0 -composite \
    \( "$P/144.png" -resize "${ch}x${cw}!" \) -geometry +0+$((H - ch - 1)) -composite \
    \( "$P/246.png" -resize "${ch}x${cw}!" \) -geometry +$((W - cw))+$((H - ch)) -composite \
    "$tmp/skin.png"
  # Buttons as they show: their black pixels let the button face through.
  for id in 230 231 210 191 212; do "$IM" "$out/bmp/$id.bmp" -fill "$BTNFACE" -opaque black "$tmp/btn$id.png"; done
  # Main window with the login dialog (pages in white), and with the tabbed window.
  "$IM" -size 625x592 xc:"$BG" "$out/bmp/229.bmp" -geometry +0+20 -composite \
    -fill none -stroke "$FRAME" -draw "rectangle 5,5 619,586" -stroke none \
    -fill "$ACCENT" -font "$FONT" -pointsize 12 \
    -annotate +59+80 '用户名' -annotate +59+110 '密码' -annotate +134+138 '记住我的密码' \
    -fill white -stroke "$FRAME" -draw "rectangle 116,67 276,86" -draw "rectangle 116,97 276,116" \
    -draw "rectangle 116,127 128,139" -stroke none \
    "$tmp/btn230.png" -geometry +78+150 -composite "$tmp/btn231.png" -geometry +158+150 -composite \
    -fill '#FFFFFF' -draw "rectangle 10,270 309,514" -draw "rectangle 318,38 617,515" \
    -fill "$ACCENT" -annotate +120+390 'Notice.html' -annotate +430+280 'Welcome.html' "$tmp/login.png"
  "$IM" -size 80x55 xc:white -fill none -stroke '#841D16' -draw "rectangle 0,0 79,54" \
    "$out/bmp/10005.bmp" -geometry +17+5 -composite "$tmp/tile.png"
  "$IM" -size 622x540 xc:"$BG" \
    -fill white -draw "rectangle 202,30 616,404" -draw "rectangle 16,26 181,254" \
    \( "$out/bmp/172.bmp" -scale '415x24!' \) -geometry +202+6 -composite \
    "$out/bmp/185.bmp" -geometry +202+6 -composite "$out/bmp/227.bmp" -geometry +13+6 -composite \
    \( "$out/bmp/195.bmp" -resize '176x177!' \) -geometry +12+265 -composite \
    -fill none -stroke "$OUTLINE" -draw "rectangle 201,5 617,440" -draw "rectangle 13,6 184,257" \
    -stroke "$FRAME" -draw "rectangle 16,26 181,254" -stroke none \
    "$out/bmp/198.bmp" -geometry +202+405 -composite \
    "$tmp/btn210.png" -geometry +213+410 -composite "$tmp/btn191.png" -geometry +313+410 -composite \
    "$tmp/btn212.png" -geometry +513+410 -composite \
    "$tmp/tile.png" -geometry +222+40 -composite "$tmp/tile.png" -geometry +322+40 -composite \
    "$tmp/tile.png" -geometry +422+40 -composite "$tmp/tile.png" -geometry +522+40 -composite \
    -fill '#474747' -font "$FONT" -pointsize 13 -annotate +20+480 '(footer)' "$tmp/page.png"
  "$IM" -size 625x592 xc:"$BG" "$out/bmp/194.bmp" -geometry +0+0 -composite \
    "$out/bmp/158.bmp" -geometry +2+34 -composite "$out/bmp/152.bmp" -geometry +98+34 -composite \
    -fill "$ACCENT" -font "$FONT" -pointsize 12 -annotate +14+51 '上传我的照片' -annotate +110+51 '冲印我的照片' \
    -stroke "$FRAME" -draw "line 0,57 624,57" -stroke none \
    "$tmp/page.png" -geometry +3+52 -composite "$tmp/tabs.png"
  for child in login tabs; do
    "$IM" -size ${W}x${H} pattern:checkerboard "$tmp/skin.png" -composite \
      "$out/png/180.png" -geometry +$((W - 100))+10 -composite \
      "$out/png/223.png" -geometry +$((W - 150))+10 -composite \
      "$tmp/$child.png" -geometry +28+48 -composite "$tmp/mock_$child.png"
  done
  # One labelled tile per image, on a checkerboard so that transparency shows.
  tile() { # out src label
    "$IM" -size "$("$IM" "$2" -format '%wx%h' info:)" pattern:checkerboard "$2" -composite \
      \( +size -background white -font "$FONT" -pointsize 12 -fill '#101010' label:"$3" \) \
      -background white -gravity center -append +repage -bordercolor white -border 8 +repage "$1"
  }
  row() { # out tile...
    local o=$1; shift
    "$IM" "$@" +repage -background white -gravity south +append +repage "$o"
  }
  t() { # id [shown-as]
    local f kind
    f=$out/png/$1.png
    [ -f "$f" ] || f=$out/bmp/$1.bmp
    kind=${f##*.}
    local src=$f size
    size=$("$IM" "$f" -format '%wx%h' info:)
    if [ $# -gt 1 ]; then "$IM" "$f" -scale "$2!" "$tmp/s$1.png"; src=$tmp/s$1.png; fi
    tile "$tmp/t$1.miff" "$src" "$1 ${kind^^} $size"
    echo "$tmp/t$1.miff"
  }
  row "$tmp/r1.miff" "$tmp/mock_login.png" "$tmp/mock_tabs.png"
  row "$tmp/r2.miff" "$(t 182)" "$(t 225)" "$(t 142)" "$(t 138)" "$(t 143)" "$(t 140)" "$(t 245)" \
    "$(t 144)" "$(t 244)" "$(t 246)"
  row "$tmp/r3.miff" "$(t 180)" "$(t 181)" "$(t 222)" "$(t 223)" "$(t 229)" "$(t 234)" "$(t 230)" \
    "$(t 232)" "$(t 233)" "$(t 231)" \
    "$(t 10005)" "$(t 158)" "$(t 152)" "$(t 155 8x24)"
  row "$tmp/r4.miff" "$(t 172 415x24)" "$(t 185)" "$(t 227)" "$(t 195)"
  row "$tmp/r5.miff" "$(t 198)" "$(t 210)" "$(t 215)" "$(t 191)" "$(t 216)" "$(t 220)" "$(t 212)"
  for id in 128 242; do
    "$IM" "$tmp/i${id}_48.png" "$tmp/i${id}_32.png" "$tmp/i${id}_16.png" -background none \
      -gravity south +append "$tmp/icons$id.png"
    tile "$tmp/ti$id.miff" "$tmp/icons$id.png" "$id ICO 48/32/16"
  done
  row "$tmp/r6.miff" "$(t 194)" "$tmp/ti128.miff" "$tmp/ti242.miff"
  "$IM" "$tmp"/r[1-6].miff -background white -gravity west -append -strip -depth 8 \
    -define png:exclude-chunks=date,time PNG24:"$out/preview.png"
fi
