# Sourced by scripts/e2e.sh and scripts/screenshots.sh: Fotrel.exe under Wine driven from outside
# with xdotool, as a person would. Wine maps every popup to its own X window; positions are
# screen pixels. The caller defines fail (stops with a message), and sets main_win and
# fotrel_pid once the main window is there; every wait is bounded.

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails after SECONDS or as
# soon as the program has ended.
wait_for() {
  local seconds=$1 what=$2 deadline=$((SECONDS + $1))
  shift 2
  while :; do
    "$@" && return 0
    [ -z "${fotrel_pid:-}" ] || kill -0 "$fotrel_pid" 2>/dev/null || fail "the program ended while waiting for $what"
    [ "$SECONDS" -lt "$deadline" ] || fail "no $what within $seconds s"
    sleep 0.25
  done
}

# The visible top-level window (other than the main one) whose top-left corner is at (x, y).
window_at() {
  local w g
  for w in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
    [ "$w" = "${main_win:-}" ] && continue
    g=$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Position: \([0-9-]*\),\([0-9-]*\).*/\1 \2/p')
    [ "$g" = "$1 $2" ] && { echo "$w"; return 0; }
  done
  return 1
}
notice_box() { xdotool search --onlyvisible --name '^提示$' 2>/dev/null | head -1; }
# Signature and number of colours of a screen rectangle (x y w h).
region_sum() { import -window root -crop "$3x$4+$1+$2" +repage -depth 8 rgb:- 2>/dev/null | md5sum; }
region_pixels() {  # x y w h colour: how many pixels have that colour
  local n
  n=$(import -window root -crop "$3x$4+$1+$2" +repage -depth 8 miff:- 2>/dev/null |
      convert - -format %c histogram:info:- 2>/dev/null | grep -i "$5" | sed 's/^ *\([0-9]*\):.*/\1/' | head -1)
  echo "${n:-0}"
}
region_colours() {
  local n
  n=$(import -window root -crop "$3x$4+$1+$2" +repage miff:- 2>/dev/null | convert - -format %k info: 2>/dev/null || true)
  echo "${n:-0}"
}
# Waits until a rectangle (x y w h) looks the same twice, half a second apart.
settle() {
  local before after
  before=$(region_sum "$@")
  for _ in $(seq 20); do
    sleep 0.5
    after=$(region_sum "$@")
    [ "$after" = "$before" ] && return 0
    before=$after
  done
  fail "the screen at ($1, $2) keeps changing"
}
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.3; }
selection_colour="#3096FA"  # Wine's highlight colour, for the selected item of a focused tree

# The login dialog's registration form: the switch button at (158, 150), 58 x 26. (cx, cy) is
# the dialog's top-left corner.
ui_show_registration() {
  local title_sum
  title_sum=$(region_sum $((cx + 10)) $((cy + 20)) 270 26)
  click $((cx + 158 + 29)) $((cy + 150 + 13))
  form_switched() { [ "$(region_sum $((cx + 10)) $((cy + 20)) 270 26)" != "$title_sum" ]; }
  wait_for 10 "registration form" form_switched
  sleep 0.5
}

# The registration form filled in: the boxes 160 x 20 at (115, 67 + 30 k).
ui_fill_registration() {  # USER PASSWORD EMAIL
  local k=0 text
  for text in "$3" "$1" "$2" "$2"; do
    click $((cx + 115 + 80)) $((cy + 67 + 30 * k + 10))
    xdotool type --delay 40 "$text"
    k=$((k + 1))
  done
  sleep 0.5
}

# The register button (108, 200), 58 x 26; then the tabbed window in the login dialog's place,
# and its upload page painted. Sets tabs_win and (px, py), the upload page's corner.
ui_submit_registration() {  # LOGIN_WIN
  local login=$1
  click $((cx + 108 + 29)) $((cy + 200 + 13))
  tabs_win=
  find_tabs() {
    [ -z "$(notice_box)" ] || fail "a message box \"提示\" instead of the tabbed window (registration refused?)"
    tabs_win=$(window_at "$cx" "$cy") && [ -n "$tabs_win" ] && [ "$tabs_win" != "$login" ]
  }
  wait_for 60 "tabbed window" find_tabs
  # The upload page: at (3, 20) in the tab control, which is at (0, 32) in the tabbed window.
  px=$((cx + 3)) py=$((cy + 52))
  page_painted() { [ "$(region_colours $((px + 202)) $((py + 405)) 415 35)" -gt 8 ]; }
  wait_for 20 "upload page (button bar)" page_painted
}

# Chooses C:\<folder starting with INITIAL> in the folder tree with the keyboard and waits for
# thumbnails in the photo list's first row. Choosing a folder that has a path hands the keyboard
# focus to the photo list (the tree then draws no selection), so the tree gets it back by a
# click right of the top row's text (no item there: the selection stays). The tree's first
# focus selects its top item, the Desktop, which is such a folder.
ui_choose_folder_on_c() {  # INITIAL
  local tx=$((px + 16)) ty=$((py + 26))
  # Pixels of the selection colour in the tree: the tree has the focus and a selected item.
  tree_focused() { [ "$(region_pixels "$tx" "$ty" 166 229 "$selection_colour")" -gt 20 ]; }
  tree_unfocused() { ! tree_focused; }
  # Click until the tree keeps the focus for a second.
  focus_tree() {
    for _ in 1 2 3 4 5 6; do
      click $((tx + 120)) $((ty + 10))
      sleep 1
      tree_focused && { sleep 1; tree_focused && return 0; }
    done
    fail "the folder tree does not keep the keyboard focus"
  }
  focus_tree
  xdotool type --delay 150 "My"   # type-ahead: My Computer (no path: the focus stays)
  sleep 0.5
  xdotool key Right               # expand it: Control Panel, (C:), (Z:)
  sleep 1
  xdotool key Down                # Control Panel (no path)
  sleep 0.5
  wait_for 5 "selection in the folder tree on the way to (C:)" tree_focused
  xdotool key Down                # (C:): a path, so the list takes the focus
  wait_for 15 "the photo list to take the focus after (C:)" tree_unfocused
  focus_tree
  xdotool key Right               # expand C:
  sleep 1
  xdotool type "$1"
  # Thumbnails in the list's first row (a few colours without them).
  thumbs_shown() { [ "$(region_colours $((px + 205)) $((py + 33)) 409 75)" -gt 200 ]; }
  wait_for 30 "thumbnails of C:\\$1... in the photo list" thumbs_shown
  settle $((px + 202)) $((py + 30)) 415 375
}
