#!/usr/bin/env bash
# The release packages of a Windows build, and the installer run under Wine in a fresh prefix of
# its own (build/installer-test/prefix; winemenubuilder disabled, so nothing reaches the Linux
# desktop):
#   - the package target makes the installer and the zip; it refuses a loopback service host
#     unless the build says it is a test build;
#   - both executables carry the project version and import only system DLLs;
#   - silent install of the previous version, then of this one over it: one registration with
#     this version, the file the previous version alone shipped removed, a file of the user kept;
#   - the Start-menu shortcut points to the installed Fotrel.exe, which starts from it and shows
#     the login form; while it runs, installer and uninstaller refuse (exit 3);
#   - installing the previous version over this one refuses (exit 2);
#   - silent uninstall removes the files, the folders it created, the shortcut and the
#     registration; %APPDATA%\user.ini stays byte for byte the same throughout.
#
#   tests/installer_test.sh [BUILD_DIR]
#     BUILD_DIR  a Windows build configured with -DFOTREL_PACKAGE_TEST=ON (default build/win)
# Needs a display for the program's window: a private Xvfb without one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win}" && pwd)
work=$root/build/installer-test
started=$SECONDS

say() { echo "installer: [$((SECONDS - started)) s] $*"; }
fail() { say "FAILED: $*" >&2; exit 1; }
for tool in cpack xdotool import iconv python3 x86_64-w64-mingw32-objdump x86_64-w64-mingw32-windres; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps.sh installs it)"
done

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
# The version before this one, for the upgrade.
previous=$(awk -F. '{ if ($3 > 0) print $1 "." $2 "." $3 - 1; else if ($2 > 0) print $1 "." $2 - 1 ".0";
                      else print $1 - 1 ".9.0" }' <<<"$version")
product="Zorvan照片冲印"

. "$root/scripts/wine-env.sh"
export WINEPREFIX=$work/prefix
export WINEDLLOVERRIDES="mscoree=;winemenubuilder.exe=d"
[ ! -d "$WINEPREFIX" ] || "$WINESERVER" -k >/dev/null 2>&1 || true  # a run that was cut short
rm -rf "$work"
mkdir -p "$work"
wineboot_pid='' xvfb_pid='' fotrel_pid=''
cleanup() {
  set +e
  [ -n "$fotrel_pid" ] && kill -9 "$fotrel_pid" 2>/dev/null
  [ -n "$wineboot_pid" ] && wait "$wineboot_pid" 2>/dev/null
  "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
# Making a fresh prefix takes long: it is made while the packages are.
say "fresh prefix $WINEPREFIX"
env -u DISPLAY "$WINE" wineboot -i >/dev/null 2>&1 &
wineboot_pid=$!

# --- The packages.
say "package target of $build"
rm -f "$build"/Fotrel-*-win64-setup.exe "$build"/Fotrel-*-win64.zip
cmake --build "$build" --target package >"$work/package.log" 2>&1 ||
  { tail -n 20 "$work/package.log" >&2; fail "the package target failed"; }
setup=$build/Fotrel-$version-win64-setup.exe
zip=$build/Fotrel-$version-win64.zip
[ -f "$setup" ] && [ -f "$zip" ] || fail "the package target made no Fotrel-$version-win64-setup.exe and .zip"
shipped="Fotrel.exe
README.txt
fotrel-cli.exe
licenses/gcc-runtime.txt
licenses/mingw-w64-runtime.txt"
in_zip=$(cmake -E tar tf "$zip" | sed -n "s|^Fotrel-$version-win64/||p" | grep -v '/$' | LC_ALL=C sort)
[ "$in_zip" = "$shipped" ] || fail "the zip holds"$'\n'"$in_zip"$'\n'"instead of"$'\n'"$shipped"

# Loopback hosts are refused for a release; a real host is not.
for host in 127.0.0.1:8080 localhost LocalHost:80 127.1.2.3 "[::1]:8185" ""; do
  if (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/refused" \
        -D CPACK_FOTREL_PACKAGE_TEST=OFF -D "CPACK_FOTREL_SERVICE_HOST=$host") >"$work/refused.log" 2>&1 ||
     ! grep -q "loopback" "$work/refused.log"; then
    fail "a package for the service host \"$host\" was not refused"
  fi
done
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/accepted" \
   -D CPACK_FOTREL_PACKAGE_TEST=OFF -D CPACK_FOTREL_SERVICE_HOST=photos.example.com:8080) >"$work/accepted.log" 2>&1 ||
  { cat "$work/accepted.log" >&2; fail "a package for a real service host was refused"; }

# The previous version's installer: the same binaries, plus a file this version no longer ships.
cat >"$work/previous-only.cmake" <<'EOF'
file(WRITE "${CMAKE_INSTALL_PREFIX}/previous-only.txt" "shipped by the previous version only\n")
EOF
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G NSIS64 -B "$work/previous" \
   -D "CPACK_PACKAGE_VERSION=$previous" -D "CPACK_INSTALL_SCRIPTS=$work/previous-only.cmake") >"$work/previous.log" 2>&1 ||
  { tail -n 20 "$work/previous.log" >&2; fail "cpack of version $previous failed"; }
previous_setup=$work/previous/Fotrel-$previous-win64-setup.exe
[ -f "$previous_setup" ] || fail "no $previous_setup"

# --- Both executables: the project version in their version resources, system DLLs only.
IFS=. read -r v1 v2 v3 v4 _ <<<"$version.0.0.0"
for exe in "$build/app/Fotrel.exe" "$build/cli/fotrel-cli.exe"; do
  info=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$exe" | sed -n '/VERSIONINFO/,/^END/p')
  for want in "FILEVERSION $v1, $v2, $v3, $v4" "PRODUCTVERSION $v1, $v2, $v3, $v4" \
              "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
              'VALUE "ProductName", L"Zorvan\x7167\x7247\x51b2\x5370"' 'VALUE "CompanyName", "Zorvan"'; do
    grep -qF "$want" <<<"$info" || fail "$(basename "$exe"): no '$want' in its version resource"
  done
done
# The MinGW runtime is linked in: nothing but DLLs that come with Windows.
system_dlls=(advapi32 bcrypt comctl32 comdlg32 crypt32 gdi32 gdiplus kernel32 msimg32 msvcrt ole32
             oleaut32 shell32 shlwapi user32 uxtheme version windowscodecs wininet ws2_32)
for exe in "$build/app/Fotrel.exe" "$build/cli/fotrel-cli.exe"; do
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: \(.*\)\.[dD][lL][lL]\s*$/\1/p' | tr 'A-Z' 'a-z')
  [ -n "$dlls" ] || fail "$(basename "$exe"): no import table read"
  for dll in $dlls; do
    [[ " ${system_dlls[*]} " == *" $dll "* ]] || fail "$(basename "$exe") imports $dll.dll, which is no system DLL"
  done
done

# --- The fresh prefix, made meanwhile without a display (scripts/wine-env.sh says why).
wait "$wineboot_pid" || fail "wineboot failed"
wineboot_pid=
"$WINESERVER" -w
start_xvfb_if_needed 120
xvfb_pid=$XVFB_PID

profile=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 ! -name Public | head -1)
user=$(basename "$profile")
install_dir=$profile/AppData/Local/Programs/Fotrel
install_win="C:\\users\\$user\\AppData\\Local\\Programs\\Fotrel"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$product.lnk"
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall'
[ -d "$profile/AppData/Roaming" ] || fail "no %APPDATA% folder in the new prefix"
[ ! -e "$profile/AppData/Local/Programs" ] || fail "the new prefix already has %LOCALAPPDATA%\\Programs"

# The user's settings, UTF-16 like the program writes them; they must never change.
ini=$profile/AppData/Roaming/user.ini
{ printf '\xff\xfe'; printf '[UserConfig]\r\nState=1\r\nuserName=fgh\r\nuserPassWord=UwTu\r\nUserNameForUpLoad=abc\r\n' |
  iconv -f UTF-8 -t UTF-16LE; } >"$ini"
touch -d '2020-01-02 03:04:05' "$ini"
ini_state=$(sha256sum <"$ini")$(stat -c '%i %s %Y' "$ini")
ini_unchanged() {
  [ "$(sha256sum <"$ini")$(stat -c '%i %s %Y' "$ini")" = "$ini_state" ] || fail "user.ini changed ($1)"
}

# run_setup EXPECTED_EXIT INSTALLER [ARGS]: a silent run, which must end with that exit code.
run_setup() {
  local want=$1 code=0
  shift
  "$WINE" "$@" >/dev/null 2>&1 || code=$?
  [ "$code" -eq "$want" ] || fail "$* exited with $code instead of $want"
}
# The uninstall registrations of the given scopes (default HKCU) as UTF-8 text (reg export writes
# UTF-16).
registrations() {
  local hive
  for hive in "${@:-HKCU}"; do
    rm -f "$work/$hive.reg"
    "$WINE" reg export "$hive\\$uninstall_key" "Z:${work//\//\\}\\$hive.reg" /y >/dev/null 2>&1 || continue
    iconv -f UTF-16 -t UTF-8 "$work/$hive.reg" | tr -d '\r\0'
  done
}
# reg_value TEXT NAME: a value of HKCU's Fotrel key as exported ("text" or dword:hex).
reg_value() {
  awk -v key="[HKEY_CURRENT_USER\\\\$uninstall_key\\\\Fotrel]" -v name="\"$2\"" '
    /^\[/ { inside = ($0 == key) }
    inside && index($0, name "=") == 1 { print substr($0, length(name) + 2) }' <<<"$1"
}
reg_escape() { local s=${1//\\/\\\\}; echo "\"${s//\"/\\\"}\""; }
# check_installed VERSION [SCOPE...]: files, shortcut and the one registration of an installation
# among the registrations of the given scopes (default HKCU).
check_installed() {
  local scopes=("${@:2}")
  local f regs n
  for f in Fotrel.exe fotrel-cli.exe README.txt licenses/gcc-runtime.txt licenses/mingw-w64-runtime.txt Uninstall.exe; do
    [ -f "$install_dir/$f" ] || fail "$f is not installed"
  done
  regs=$(registrations "${scopes[@]}")
  n=$(grep -c "^\"DisplayName\"=\"$product\"\$" <<<"$regs" || true)
  [ "$n" -eq 1 ] || fail "$n registrations named $product"
  local -A want=(
    [DisplayName]="\"$product\"" [DisplayVersion]="\"$1\"" [Publisher]='"Zorvan"'
    [DisplayIcon]=$(reg_escape "$install_win\\Fotrel.exe,0") [InstallLocation]=$(reg_escape "$install_win")
    [UninstallString]=$(reg_escape "\"$install_win\\Uninstall.exe\"")
    [QuietUninstallString]=$(reg_escape "\"$install_win\\Uninstall.exe\" /S"))
  for f in "${!want[@]}"; do
    [ "$(reg_value "$regs" "$f")" = "${want[$f]}" ] ||
      fail "registration: $f is $(reg_value "$regs" "$f") instead of ${want[$f]}"
  done
  # EstimatedSize in KiB: about the size of the installed files.
  local kib=$(( $(printf '%d' "0x$(reg_value "$regs" EstimatedSize | sed 's/^dword://')") ))
  local bytes=$(du -sb "$install_dir" | cut -f1)
  [ "$kib" -gt $((bytes / 2048)) ] && [ "$kib" -lt $((bytes / 512)) ] ||
    fail "registration: EstimatedSize $kib KiB for $bytes bytes of files"
  # The shortcut: target and icon are the installed Fotrel.exe.
  [ -f "$shortcut" ] || fail "no Start-menu shortcut \"$product\""
  local link
  link=$(python3 "$root/tests/shell_link.py" "$shortcut") || fail "unreadable shortcut"
  grep -qxF "target=$install_win\\Fotrel.exe" <<<"$link" || fail "the shortcut does not point to Fotrel.exe:"$'\n'"$link"
  grep -qxF "icon=$install_win\\Fotrel.exe,0" <<<"$link" || fail "the shortcut has not Fotrel.exe's icon:"$'\n'"$link"
}

# --- The previous version, then this one over it.
say "silent install of $previous, then of $version over it"
run_setup 0 "$previous_setup" /S
[ -f "$install_dir/previous-only.txt" ] || fail "version $previous did not install its own file"
check_installed "$previous"
echo "the user's own file" >"$install_dir/notes-of-the-user.txt"
ini_unchanged "install of $previous"
run_setup 0 "$setup" /S
check_installed "$version" HKCU HKLM
[ ! -e "$install_dir/previous-only.txt" ] || fail "the upgrade left the file only version $previous shipped"
[ -f "$install_dir/notes-of-the-user.txt" ] || fail "the upgrade removed a file it had not installed"
rm "$install_dir/notes-of-the-user.txt"
ini_unchanged "upgrade to $version"

# --- No downgrade without asking: silent, it refuses and changes nothing.
say "silent install of $previous over $version"
run_setup 2 "$previous_setup" /S
check_installed "$version"
[ ! -e "$install_dir/previous-only.txt" ] || fail "the refused downgrade installed files"

# --- The program from its shortcut: the main window with the login form in its frame.
say "Fotrel.exe from the Start-menu shortcut"
"$WINE" start /unix "$shortcut" >/dev/null 2>&1 || fail "the shortcut does not start"
main_win=
deadline=$((SECONDS + 60))
until main_win=$(xdotool search --onlyvisible --name "^$product\$" 2>/dev/null | head -1) && [ -n "$main_win" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no window \"$product\" within 60 s"
  sleep 0.25
done
fotrel_pid=$(xdotool getwindowpid "$main_win")
image=$(tr '\0' '\n' </proc/"$fotrel_pid"/cmdline | head -1)
[ "$image" = "$install_win\\Fotrel.exe" ] || fail "the window belongs to $image"
eval "$(xdotool getwindowgeometry --shell "$main_win")"  # X Y WIDTH HEIGHT
login_at="$((X + 28)),$((Y + 48))"  # the login dialog sits at (28, 48) in the frame
login_shown() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$fotrel_pid" --name '.*' 2>/dev/null); do
    [ "$w" != "$main_win" ] || continue
    xdotool getwindowgeometry "$w" | grep -q "Position: $login_at " && return 0
  done
  return 1
}
deadline=$((SECONDS + 20))
until login_shown; do
  [ "$SECONDS" -lt "$deadline" ] || fail "no login form at $login_at within 20 s"
  sleep 0.25
done
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$work/login.png" 2>/dev/null || true

# While it runs, neither installer nor uninstaller touches anything (exit 3).
say "installer and uninstaller while Fotrel.exe runs"
run_setup 3 "$setup" /S
run_setup 3 "$install_win\\Uninstall.exe" /S "_?=$install_win"
check_installed "$version"
kill "$fotrel_pid"
for _ in $(seq 40); do kill -0 "$fotrel_pid" 2>/dev/null || break; sleep 0.1; done
kill -9 "$fotrel_pid" 2>/dev/null || true
fotrel_pid=
ini_unchanged "program run"

# --- Uninstall the way QuietUninstallString says (checked above). The uninstaller goes on as a
# copy in %TEMP%: wait until the prefix has nothing left running.
say "silent uninstall"
run_setup 0 "$install_win\\Uninstall.exe" /S
"$WINESERVER" -w
[ ! -e "$install_dir" ] || fail "the uninstaller left $(find "$install_dir" | tr '\n' ' ')"
[ ! -e "$profile/AppData/Local/Programs" ] || fail "the uninstaller left %LOCALAPPDATA%\\Programs, which the installer created"
[ ! -e "$shortcut" ] || fail "the uninstaller left the shortcut"
! grep -q "$product" <<<"$(registrations HKCU HKLM)" || fail "the uninstaller left the registration"
ini_unchanged "uninstall"

say "passed: $(basename "$setup") ($(stat -c %s "$setup") bytes), $(basename "$zip") ($(stat -c %s "$zip") bytes)" \
  "in $((SECONDS - started)) s"
