# Sourced by the build and test scripts: the project's Wine settings.
# Every Windows program of the project runs in its own prefix under build/, never the user's ~/.wine.
_fotrel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$_fotrel_root/build/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=}
# UTF-8 command-line arguments reach GetCommandLineW intact only under a UTF-8 locale.
export LANG=C.UTF-8
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# Creates the prefix once and links a CJK font so Chinese text is legible. Runs without a display
# (no installer dialog can wait for an answer) and waits for the prefix's processes to end: a
# desktop process started here without a display would otherwise serve the later programs too,
# and they could open no window.
wine_prefix_init() {
  local changed=""
  if [ ! -f "$WINEPREFIX/.fotrel-ready" ]; then
    mkdir -p "$WINEPREFIX"
    env -u DISPLAY "$WINE" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
    env -u DISPLAY "$WINE" regedit "$_fotrel_root/scripts/wine-fonts.reg" >/dev/null 2>&1
    env -u DISPLAY "$WINE" regedit "$_fotrel_root/scripts/wine-fonts-cn.reg" >/dev/null 2>&1
    touch "$WINEPREFIX/.fotrel-ready"
    changed=1
  fi
  # Window tests without a window manager (see the file); also for prefixes made before it.
  if [ ! -f "$WINEPREFIX/.fotrel-gui-tests" ]; then
    env -u DISPLAY "$WINE" regedit "$_fotrel_root/scripts/wine-gui-tests.reg" >/dev/null 2>&1
    touch "$WINEPREFIX/.fotrel-gui-tests"
    changed=1
  fi
  if [ -n "$changed" ]; then "$WINESERVER" -w; fi
}

# Keeps one wineserver alive for a run of many Wine processes (each start then costs far less).
# Also starts Wine's background services here, with their output detached: started by the first
# test instead, they would inherit CTest's output pipe and keep it open for good.
wine_server_keep() {
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
  "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# Without a display, starts a private Xvfb on the first free number from $1 (default 97) and
# exports DISPLAY; XVFB_PID is then its process id (empty when a display was given).
start_xvfb_if_needed() {
  XVFB_PID=""
  [ -n "${DISPLAY:-}" ] && return 0
  local n=${1:-97}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
}

# Starts a Windows program in the background with its own %APPDATA% (Wine would otherwise take
# the prefix profile's) and its folder as the working folder; its output goes to $3.
# Usage: wine_start_with_appdata EXE APPDATA_DIR LOG. LAUNCHER_PID is then the launcher's id.
wine_start_with_appdata() {
  local appdata_win dir_win
  appdata_win=$("$WINE" winepath -w "$2" 2>/dev/null)
  dir_win=$("$WINE" winepath -w "$(dirname "$1")" 2>/dev/null)
  # (cd and set take the rest of their command as it is, spaces included; no quotes needed.)
  "$WINE" cmd /c "set APPDATA=$appdata_win&& cd /d $dir_win&& $(basename "$1")" </dev/null >"$3" 2>&1 &
  LAUNCHER_PID=$!
}

wine_server_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}
