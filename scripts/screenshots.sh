#!/usr/bin/env bash
# Screenshots of the window program for people to look at: Fotrel.exe under Wine against the
# reference service, on a private Xvfb when there is no display. Builds nothing.
#
#   scripts/screenshots.sh [FOTREL_EXE] [SERVICE] [OUTDIR]
#     FOTREL_EXE  the Windows program   (default build/win/app/Fotrel.exe)
#     SERVICE     the native service    (default build/linux/service/fotrel-service)
#     OUTDIR      where the PNGs go     (default build/screenshots)
#
# The program talks to the service host it was built with (FOTREL_SERVICE_HOST, 127.0.0.1:8080
# unless configured otherwise); the service is started there, so set FOTREL_SERVICE_HOST here
# too when the program was built for another one. The program runs with a fresh, empty
# %APPDATA%, so it starts as on a first run; the Wine prefix is the project's.
#
# Shots: 01-login.png (the main window with the login form), 02-register.png (after a click on
# the switch button), 03-photo-list.png (a new user registered, C:\phone-photos chosen in the
# folder tree: a portrait photo from a phone, stored sideways with EXIF orientation 6 and a
# 160 x 120 thumbnail, shown upright in the list and, clicked, in the preview), 04-quit-question.png
# (the close button under the pointer and the quit question, which is then answered Yes so that
# the program ends by itself).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/win/app/Fotrel.exe}
service=${2:-$root/build/linux/service/fotrel-service}
out=${3:-$root/build/screenshots}
host=${FOTREL_SERVICE_HOST:-127.0.0.1:8080}
title="Zorvan照片冲印"

[ -f "$exe" ] || { echo "no program at $exe (build it first)" >&2; exit 1; }
[ -x "$service" ] || { echo "no service at $service (build it first)" >&2; exit 1; }
for tool in xdotool import convert exiftool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
mkdir -p "$work/appdata" "$work/data"
. "$root/scripts/wine-env.sh"
photos_unix="$WINEPREFIX/drive_c/phone-photos"
service_pid= xvfb_pid= fotrel_pid=
cleanup() {
  [ -n "$fotrel_pid" ] && kill "$fotrel_pid" 2>/dev/null
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work" "$photos_unix"
  true
}
fail() {
  echo "screenshots: $*" >&2
  exit 1
}
. "$root/scripts/wine-ui.sh"
trap cleanup EXIT INT TERM

# The reference service where the program looks for it.
"$service" --listen "$host" --data "$work/data" --fast-hash 2>"$work/service.log" &
service_pid=$!
for _ in $(seq 100); do
  grep -q "listening on" "$work/service.log" && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "listening on" "$work/service.log"; then
  echo "the service did not start on $host:" >&2
  cat "$work/service.log" >&2
  exit 1
fi

# A display: the caller's, or a private Xvfb on the first free number from :84 on.
command -v Xvfb >/dev/null || [ -n "${DISPLAY:-}" ] || { echo "Xvfb is missing" >&2; exit 1; }
start_xvfb_if_needed 84
xvfb_pid=$XVFB_PID
wine_prefix_init
# The photos: a phone's portrait photo as phones store it (the sensor's landscape pixels turned
# by EXIF orientation 6, with a 160 x 120 thumbnail), and a landscape photo beside it.
mkdir -p "$photos_unix"
convert -size 3024x4032 gradient:'#4a8fd8-#e6f2ff' \( -size 3024x1400 gradient:'#4f9a3c-#2d6424' \) \
  -gravity south -composite -fill '#e84a2c' -draw 'circle 760,820 760,1240' -fill '#f4f4f4' \
  -draw 'rectangle 1900,2300 2500,2632' -fill '#8b5a2b' -draw 'polygon 1800,2300 2200,1950 2600,2300' \
  -rotate -90 -quality 88 "$work/phone.jpg"
convert -define jpeg:size=320x240 "$work/phone.jpg" -thumbnail '160x120!' "$work/thumb.jpg"
exiftool -q -overwrite_original -Make=Phone -Orientation#=6 "-ThumbnailImage<=$work/thumb.jpg" "$work/phone.jpg"
cp "$work/phone.jpg" "$photos_unix/IMG_0001.JPG"
convert -seed 5 -size 400x300 plasma:fractal -resize '1600x1200!' -quality 90 "$photos_unix/IMG_0002.JPG"
wine_start_with_appdata "$exe" "$work/appdata" "$work/fotrel.log"

win=
for _ in $(seq 120); do
  win=$(xdotool search --name "$title" 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.5
done
[ -n "$win" ] || { echo "the window \"$title\" did not appear" >&2; cat "$work/fotrel.log" >&2; exit 1; }
fotrel_pid=$(xdotool getwindowpid "$win" 2>/dev/null || true)
eval "$(xdotool getwindowgeometry --shell "$win")"  # X Y WIDTH HEIGHT
# Let the popup, its controls and the pages settle.
sleep 3

shot() {
  import -window root "$out/$1"
  echo "$out/$1"
}
shot 01-login.png

# The login dialog sits at (b + 10, b + 30) inside the frame (b = 18, the skin's border); its
# switch button at (158, 150), 58 x 26.
xdotool mousemove $((X + 28 + 158 + 29)) $((Y + 48 + 150 + 13)) click 1
sleep 2
shot 02-register.png

# A new user (the form is the registration form now), then the phone's folder.
cx=$((X + 28)) cy=$((Y + 48))
main_win=$win
login_win=$(window_at "$cx" "$cy" || true)
user="shot$(printf %05d $((RANDOM)))"
ui_fill_registration "$user" "Pw$RANDOM$RANDOM" "$user@example.org"
ui_submit_registration "$login_win"
sleep 1
ui_choose_folder_on_c ph
# A click on the first photo shows it in the preview box (12, 285), 177 x 157.
xdotool mousemove $((px + 202 + 50)) $((py + 30 + 30)) click 1
xdotool mousemove 5 1000
preview_shown() { [ "$(region_colours $((px + 14)) $((py + 287)) 173 153)" -gt 50 ]; }
wait_for 20 "the preview" preview_shown
settle $((px + 12)) $((py + 285)) 177 157
shot 03-photo-list.png

# The close button: 50 x 25 from (W - 100, 10).
xdotool mousemove $((X + WIDTH - 75)) $((Y + 22))
sleep 0.5
xdotool click 1
box=
for _ in $(seq 20); do
  box=$(xdotool search --name "^提示$" 2>/dev/null | head -1 || true)
  [ -n "$box" ] && break
  sleep 0.25
done
sleep 0.5
shot 04-quit-question.png
# Yes (the default button) ends the program. (Without a window manager Wine waits a while at
# each window it hides, so the end takes some seconds.)
[ -n "$box" ] && xdotool key --window "$box" Return 2>/dev/null
if [ -n "$fotrel_pid" ]; then
  for _ in $(seq 120); do
    kill -0 "$fotrel_pid" 2>/dev/null || { fotrel_pid=; break; }
    sleep 0.25
  done
  [ -z "$fotrel_pid" ] || echo "the program did not end by itself within 30 s; stopping it" >&2
fi
