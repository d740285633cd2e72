#!/usr/bin/env bash
# End-to-end test of the window program: Fotrel.exe under Wine on a private Xvfb (no window
# manager) against the reference service, driven from outside with xdotool like a person would.
#
#   scripts/e2e.sh [FOTREL_EXE] [SERVICE] [OUTDIR]
#     FOTREL_EXE  the Windows program   (default build/win/app/Fotrel.exe; a copy of it is run)
#     SERVICE     the native service    (default build/linux/service/fotrel-service)
#     OUTDIR      screenshots           (default build/e2e)
#
# Flow: fresh %APPDATA% -> register a new user -> tabbed window -> choose a folder of generated
# photos in the folder tree with the keyboard -> select all -> upload -> Yes to the print
# question -> print tab; then the service's uploads/<user>/ must hold every photo byte for byte
# (and nothing that the photo filter leaves out). A screenshot of each stage goes to OUTDIR; on
# failure the stage is named and the screenshots are kept. Every wait is bounded.
#
# The program talks to the host it was built with (FOTREL_SERVICE_HOST, 127.0.0.1:8080 unless
# configured otherwise), so the service must get that port: the test stops if it is taken.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$root/build/win/app/Fotrel.exe}
service=${2:-$root/build/linux/service/fotrel-service}
out=${3:-$root/build/e2e}
host=${FOTREL_SERVICE_HOST:-127.0.0.1:8080}
title="Zorvan照片冲印"
started=$SECONDS

say() { echo "e2e: $*"; }
[ -f "$exe" ] || { say "no program at $exe (build it first)" >&2; exit 1; }
[ -x "$service" ] || { say "no service at $service (build it first)" >&2; exit 1; }
for tool in xdotool import convert exiftool Xvfb sha256sum iconv; do
  command -v "$tool" >/dev/null || { say "$tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/0[1-7]-*.png "$out"/failed-*.png

. "$root/scripts/wine-env.sh"
work=$(mktemp -d)
photos_unix="$WINEPREFIX/drive_c/fotrel-e2e"
service_pid='' xvfb_pid='' fotrel_pid='' launcher_pid='' stage=start
cleanup() {
  local pid
  for pid in $fotrel_pid $launcher_pid; do kill "$pid" 2>/dev/null || true; done
  for pid in $fotrel_pid $launcher_pid; do
    for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work" "$photos_unix"
  true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Screenshots: the main window (with what lies in front of it) once known, else the screen.
shot_area=
shot() { import -window root ${shot_area:+-crop "$shot_area" +repage} "$out/$1"; }
fail() {
  say "FAILED at stage '$stage': $*" >&2
  [ -n "$xvfb_pid" ] && shot "failed-$stage.png" 2>/dev/null &&
    say "screen at the failure: $out/failed-$stage.png" >&2
  say "screenshots so far in $out" >&2
  if [ -s "$work/service.log" ]; then say "service log (last lines):" >&2; tail -n 8 "$work/service.log" >&2; fi
  if [ -s "$work/fotrel.log" ]; then say "program output (last lines):" >&2; tail -n 8 "$work/fotrel.log" >&2; fi
  exit 1
}
. "$root/scripts/wine-ui.sh"

# --- The service, on the port the program was built for.
addr=${host%:*} port=${host##*:}
[ "$addr" != "$host" ] || port=80
if (exec 3<>"/dev/tcp/$addr/$port") 2>/dev/null; then
  say "port $port on $addr is taken (another fotrel-service or scripts/run.sh?); stop it first" >&2
  exit 1
fi
mkdir -p "$work/data" "$work/appdata" "$work/bin"
"$service" --listen "$host" --data "$work/data" --fast-hash </dev/null >/dev/null 2>"$work/service.log" &
service_pid=$!
service_up() { grep -q "listening on" "$work/service.log"; }
wait_for 10 "service listening on $host" service_up

# --- The photos: in C:\fotrel-e2e, reached in the tree as My Computer > (C:) > fotrel-e2e. Two
# files the photo filter leaves out (.jpeg, .txt) must not reach the service; a phone's photo
# stored sideways (EXIF orientation 6) is shown upright but sent as it is.
rm -rf "$photos_unix"
mkdir -p "$photos_unix"
photos=(sunset.bmp garden.jpg ball.gif TREE.JPG phone.jpg)
convert -size 120x80 gradient:red-blue "$photos_unix/sunset.bmp"
convert -seed 7 -size 160x100 plasma:fractal -quality 90 "$photos_unix/garden.jpg"
convert -size 90x90 xc:orange -fill blue -draw "circle 45,45 20,20" "$photos_unix/ball.gif"
convert -seed 8 -size 100x140 plasma:green-yellow "$photos_unix/TREE.JPG"
convert -seed 9 -size 120x160 plasma:fractal -rotate -90 -quality 90 "$photos_unix/phone.jpg"
exiftool -q -overwrite_original -Orientation#=6 "$photos_unix/phone.jpg"
convert -size 50x50 xc:gray "$photos_unix/skipped.jpeg"
echo "not a photo" >"$photos_unix/notes.txt"

# --- A private display without a window manager, and the program with a fresh %APPDATA%.
unset DISPLAY
start_xvfb_if_needed 88
xvfb_pid=$XVFB_PID
[ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || fail "Xvfb did not start on $DISPLAY"
wine_prefix_init
# A copy, so that a relink of the build meanwhile does not touch the running program.
cp "$exe" "$work/bin/Fotrel.exe"
wine_start_with_appdata "$work/bin/Fotrel.exe" "$work/appdata" "$work/fotrel.log"
launcher_pid=$LAUNCHER_PID

main_win=
find_main() { main_win=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1) && [ -n "$main_win" ]; }

# --- Stage: the login form in the main window.
stage=login
wait_for 60 "window \"$title\"" find_main
fotrel_pid=$(xdotool getwindowpid "$main_win" 2>/dev/null || true)
[ -n "$fotrel_pid" ] || fail "no process id for the main window"
eval "$(xdotool getwindowgeometry --shell "$main_win")"  # X Y WIDTH HEIGHT
shot_area="${WIDTH}x${HEIGHT}+$X+$Y"
# Children sit at (b + 10, b + 30) inside the frame, b = 18.
cx=$((X + 28)) cy=$((Y + 48))
login_win=
find_login() { login_win=$(window_at "$cx" "$cy") && [ -n "$login_win" ]; }
wait_for 20 "login dialog at ($cx, $cy)" find_login
sleep 2  # the pages and the skin settle
shot 01-login.png

# --- Stage: the registration form, filled in.
stage=register-form
user="e2e$(printf %05d $((RANDOM)))"
password="Pw$RANDOM$RANDOM"
email="$user@example.org"
ui_show_registration
ui_fill_registration "$user" "$password" "$email"
shot 02-register-filled.png

# --- Stage: the registration succeeds and the tabbed window replaces the login dialog.
stage=tabbed-window
ui_submit_registration "$login_win"
# The tab row (tab control at (0, 32)), to see later that the other tab has come to the front.
tabrow_sum=$(region_sum "$cx" $((cy + 32)) 180 20)
grep -q "CreateUser user=\"$user\" -> 1" "$work/service.log" || fail "the service did not create user $user"
settings=$(iconv -f UTF-16 -t UTF-8 "$work/appdata/user.ini" 2>/dev/null | tr -d '\r' || true)
grep -qx "UserNameForUpLoad=$user" <<<"$settings" || fail "user.ini lacks UserNameForUpLoad=$user"
sleep 1
shot 03-tabbed-window.png

# --- Stage: choose C:\fotrel-e2e in the folder tree with the keyboard.
stage=folder
ui_choose_folder_on_c f
shot 04-folder-chosen.png

# --- Stage: select all (button 1009 at (213, 410), 93 x 26).
stage=select-all
xdotool mousemove 5 1000
sleep 0.3
list_sum=$(region_sum $((px + 202)) $((py + 30)) 415 375)
click $((px + 213 + 46)) $((py + 410 + 13))
xdotool mousemove 5 1000
list_checked() { [ "$(region_sum $((px + 202)) $((py + 30)) 415 375)" != "$list_sum" ]; }
wait_for 10 "check marks in the photo list" list_checked
settle $((px + 202)) $((py + 30)) 415 375
shot 05-photos-checked.png

# --- Stage: upload (button 10012 at (513, 410), 98 x 24); the worker ends with a question.
stage=upload
click $((px + 513 + 49)) $((py + 410 + 12))
box=
find_box() { box=$(notice_box) && [ -n "$box" ]; }
wait_for 180 "message box \"提示\" after the upload" find_box
sleep 0.5
shot 06-print-question.png
stored=$(find "$work/data/uploads/$user" -type f 2>/dev/null | wc -l)
[ "$stored" -eq "${#photos[@]}" ] ||
  fail "a message box after the upload, but the service holds $stored of ${#photos[@]} photos"

# --- Stage: Yes (the default button) brings the print tab: the tab row changes, and the print
# page's browser hides the upload page, so the button bar's place turns plain.
stage=print-tab
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + 10))
sleep 0.3
xdotool key Return
box_gone() { [ -z "$(notice_box)" ]; }
wait_for 20 "the print question to close" box_gone
print_shown() {
  [ "$(window_at "$cx" "$cy")" = "$tabs_win" ] || fail "the tabbed window has gone"
  [ "$(region_sum "$cx" $((cy + 32)) 180 20)" != "$tabrow_sum" ] &&
    [ "$(region_colours $((px + 202)) $((py + 405)) 415 35)" -le 2 ]
}
wait_for 20 "print tab" print_shown
sleep 0.5
shot 07-print-tab.png

# --- Stage: the service holds exactly the photos, byte for byte (stored names differ).
stage=data
expected=$(cd "$photos_unix" && sha256sum "${photos[@]}" | cut -d' ' -f1 | sort)
actual=$(find "$work/data/uploads/$user" -type f -exec sha256sum {} + | cut -d' ' -f1 | sort)
if [ "$expected" != "$actual" ]; then
  say "expected checksums:" >&2; echo "$expected" >&2
  say "stored checksums:" >&2; echo "$actual" >&2
  fail "the stored photos differ from the originals"
fi
say "passed: user $user registered, ${#photos[@]} photos uploaded byte-identical, print tab shown" \
  "($((SECONDS - started)) s; screenshots in $out)"
