#!/usr/bin/env bash
# The installer under Wine and Xvfb, in a fresh private prefix: a silent install, what it
# writes, the program running from its installed place, an upgrade over the running copy,
# then the silent uninstaller and that nothing of Tessaren's is left.
# Usage: installer_test.sh WINE_RUN SETUP_EXE STAGE_DIR TESSAREN_EXE PROBE_EXE VERSION WORK_DIR
# (STAGE_DIR: the files the installer was made from)
set -uo pipefail
wine_run=$1 setup=$2 stage=$3 built_exe=$4 probe=$5 version=$6 work=$7

if [ -z "${TESSAREN_HAVE_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" env TESSAREN_HAVE_DISPLAY=1 bash "$0" "$@"
fi

started=$SECONDS
mkdir -p "$work"
# A fresh prefix each run, so nothing from an earlier run can stand in for what the
# installer should have written.
export TESSAREN_WINEPREFIX="$work/prefix"
export WINEPREFIX="$TESSAREN_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -k 2>/dev/null
WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -w 2>/dev/null
rm -rf "$TESSAREN_WINEPREFIX" "$TESSAREN_WINEPREFIX.lock"

passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
wine_() { "$wine_run" "$@"; }
probe() { wine_ "$probe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
reg_value() {  # reg_value KEY NAME: the data of one value, or nothing
  wine_ reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}
has_value() { wine_ reg query "$1" /v "$2" >/dev/null 2>&1; }
not() { ! "$@"; }
has_key() { wine_ reg query "$1" >/dev/null 2>&1; }
unix_path() { wine_ winepath -u "$1" 2>/dev/null | tr -d '\r'; }

server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  server_pid=
  WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -k 2>/dev/null
  WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -w 2>/dev/null
}
trap cleanup EXIT

# The program's first update asks for the default picture: a proxy setting sends that to
# the test server, which answers every request with one JPEG, so no other host is reached.
python3 - "$work/picture.ppm" <<'PY'
import sys
w, h = 64, 48
rows = bytearray()
for y in range(h):
    for x in range(w):
        rows += bytes((60 + x, 90 + y, 200 - y))
open(sys.argv[1], "wb").write(b"P6 %d %d 255\n" % (w, h) + rows)
PY
mkdir -p "$work/www"
cjpeg -quality 90 "$work/picture.ppm" >"$work/www/picture.jpg"
rm -f "$work/port"
python3 "$(dirname "$0")/../support/picture_server.py" "$work/www" "$work/port" \
  "$work/requests.log" picture.jpg &
server_pid=$!
for _ in $(seq 1200); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

echo "--- a fresh prefix"
internet_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
wine_ reg add "$internet_key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$port" /f >/dev/null
wine_ reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
echo "prefix ready after $((SECONDS - started)) s"

local_appdata=$(wine_ cmd /c echo %LOCALAPPDATA% | tr -d '\r')
install_dir="$local_appdata\\Programs\\Tessaren"
installed_exe="$install_dir\\tessaren.exe"
uninstaller="$install_dir\\uninstall.exe"
data_dir="$local_appdata\\Tessaren"
shortcut="$(wine_ cmd /c echo %APPDATA% | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\Tessaren.lnk"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessaren'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
approved_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
settings_key='HKCU\Software\Classes\Tessaren'
install_unix=$(unix_path "$install_dir")
data_unix=$(unix_path "$data_dir")
shortcut_unix=$(unix_path "$shortcut")

# Start at sign-in once turned off in Task Manager: the install must turn it on again.
wine_ reg add "$approved_key" /v Tessaren /t REG_BINARY /d 030000000000000000000000 /f >/dev/null

echo "--- silent install"
code=0
wine_ "$setup" /S || code=$?
check "the installer exits with 0 (was $code)" test "$code" = 0
check "tessaren.exe installed, identical to the build's" cmp -s "$built_exe" "$install_unix/tessaren.exe"
check "tessaren.com installed beside it, as staged" cmp -s "$stage/tessaren.com" "$install_unix/tessaren.com"
check "README.txt and the licence texts installed as staged" \
  diff -r -x uninstall.exe "$stage" "$install_unix"
check "the uninstaller is there" test -s "$install_unix/uninstall.exe"
check "Start-menu shortcut to the installed program" probe shortcut "$shortcut" "$installed_exe"

check "Apps entry: DisplayName" test "$(reg_value "$uninstall_key" DisplayName)" = "Tessaren"
check "Apps entry: DisplayVersion $version" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"
check "Apps entry: Publisher" test "$(reg_value "$uninstall_key" Publisher)" = "Tessaren"
check "Apps entry: DisplayIcon" test "$(reg_value "$uninstall_key" DisplayIcon)" = "$installed_exe,0"
check "Apps entry: InstallLocation" test "$(reg_value "$uninstall_key" InstallLocation)" = "$install_dir"
check "Apps entry: UninstallString" test "$(reg_value "$uninstall_key" UninstallString)" = "\"$uninstaller\""
check "Apps entry: QuietUninstallString" \
  test "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$uninstaller\" /S"
check "Apps entry: NoModify" test "$(reg_value "$uninstall_key" NoModify)" = 0x1
check "Apps entry: NoRepair" test "$(reg_value "$uninstall_key" NoRepair)" = 0x1
estimated=$(($(reg_value "$uninstall_key" EstimatedSize)))
on_disk=$(du -sk "$install_unix" | cut -f1)
check "Apps entry: EstimatedSize ${estimated} KiB is the folder's ${on_disk} KiB" \
  test "$estimated" -ge $((on_disk * 9 / 10)) -a "$estimated" -le $((on_disk * 11 / 10))

check "Run value: the installed program, quoted" test "$(reg_value "$run_key" Tessaren)" = "\"$installed_exe\""
check "the start turned off in Task Manager is removed" not has_value "$approved_key" Tessaren

first=$(probe running "$installed_exe")
check "Tessaren runs from its installed place" grep -q '^pid=' <<<"$first"
echo "$first"
first_pid=$(sed -n 's/^pid=//p' <<<"$first")
for _ in $(seq 1 300); do [ -s "$data_unix/tessaren.bmp" ] && break; sleep 0.2; done
check "its first update wrote the wallpaper into %LOCALAPPDATA%\\Tessaren" test -s "$data_unix/tessaren.bmp"
check "its first run stored the settings" has_key "$settings_key\\Config"
# The command line as cmd runs it from the installed folder: tessaren.com first.
code=0
status=$(cd "$install_unix" && wine_ cmd /c tessaren /status) || code=$?
check "the installed tessaren /status answers through tessaren.com: $(tr '\r\n' '|' <<<"$status")" \
  bash -c '[[ "$1" == *$'\''\r\nLast update: '\''*$'\''\r\nNext update: '\''* && "$2" != 2 ]]' _ "$status" "$code"

echo "--- upgrade over the running copy"
# Start at sign-in turned off since (as Properties does): the upgrade keeps it off.
wine_ reg delete "$run_key" /v Tessaren /f >/dev/null
code=0
wine_ "$setup" /S || code=$?
check "the second install exits with 0 (was $code)" test "$code" = 0
check "the copy that ran before has ended" probe ended "${first_pid:-0}"
second=$(probe running "$installed_exe")
check "a new copy runs from the installed place" grep -q '^pid=' <<<"$second"
second_pid=$(sed -n 's/^pid=//p' <<<"$second")
check "it is another process ($first_pid, then $second_pid)" test "${second_pid:-x}" != "$first_pid"
check "start at sign-in stays off" not has_value "$run_key" Tessaren
check "the shortcut is still there" probe shortcut "$shortcut" "$installed_exe"

echo "--- what the uninstaller deletes in a folder of the user's: Tessaren's own files only"
# The program itself reads and normalises the folder for the uninstaller (/uninstall):
# each folder as a user or another program may have stored it. Never while it runs.
wine_ "$installed_exe" /exit
check "/exit ends the running copy" probe ended "${second_pid:-0}"
own_files() {  # own_files UNIX_DIR: makes Tessaren's files and one of the user's
  mkdir -p "$1"
  for name in tessaren.jpg tessaren.bmp tessaren-1f.jpg.part holiday.txt tessaren.txt; do
    printf 'x' >"$1/$name"
  done
}
left() { (cd "$1" && LC_ALL=C ls | tr '\n' ' '); }
wine_ cmd /c mkdir 'C:\Pics' >/dev/null 2>&1
pics_unix=$(unix_path 'C:\Pics')
temp_unix=$(unix_path "$(wine_ cmd /c echo %TEMP% | tr -d '\r')")/tt
while IFS='|' read -r what type stored dir expected; do
  own_files "$dir"
  wine_ reg add "$settings_key\\Config" /v temp /t "$type" /d "$stored" /f >/dev/null
  wine_ "$installed_exe" /uninstall
  check "$what: $(left "$dir")" test "$(left "$dir")" = "$expected"
  rm -rf "$dir"/*
done <<TABLE
without its backslash|REG_SZ|C:\Pics|$pics_unix|holiday.txt tessaren.txt 
with blanks around it|REG_SZ|  C:\Pics\  |$pics_unix|holiday.txt tessaren.txt 
a relative folder: nothing|REG_SZ|Pics|$pics_unix|holiday.txt tessaren-1f.jpg.part tessaren.bmp tessaren.jpg tessaren.txt 
REG_SZ is not expanded: nothing|REG_SZ|%TEMP%\tt|$temp_unix|holiday.txt tessaren-1f.jpg.part tessaren.bmp tessaren.jpg tessaren.txt 
REG_EXPAND_SZ is expanded|REG_EXPAND_SZ|%TEMP%\tt|$temp_unix|holiday.txt tessaren.txt 
a wildcard is no folder: nothing|REG_SZ|C:\P*|$pics_unix|holiday.txt tessaren-1f.jpg.part tessaren.bmp tessaren.jpg tessaren.txt 
TABLE

echo "--- silent uninstall"
"$wine_run" "$installed_exe" &
third_pid=$(probe running "$installed_exe" | sed -n 's/^pid=//p')
# What a user's running copy leaves behind: a log beside the first pictures, and downloads
# in a folder of their own that also holds a file of theirs. In %LOCALAPPDATA%\Tessaren
# the user keeps a file, and a link to a folder of photos (Wine 8 makes no junctions: a
# link on the Unix side, which Wine shows as a folder, is what a recursive delete would go
# through).
printf 'log\r\n' >"$data_unix/tessaren.log"
printf 'log\r\n' >"$data_unix/tessaren.log.1"
printf 'mine' >"$data_unix/notes.txt"
mkdir -p "$work/photos" && printf 'photo' >"$work/photos/beach.jpg"
ln -sfn "$work/photos" "$data_unix/Photos"
own_dir="$local_appdata\\Pictures of mine\\"
own_unix=$(unix_path "$own_dir")
mkdir -p "$own_unix"
printf 'x' >"$own_unix/tessaren.jpg"
printf 'x' >"$own_unix/tessaren.bmp"
printf 'x' >"$own_unix/tessaren-2.bmp.part"
printf 'keep' >"$own_unix/holiday.txt"
# The history: two entries, and a folder of the user's inside it.
mkdir -p "$own_unix/history/2026-12-08 140509" "$own_unix/history/2026-12-08 140509 (2)" \
  "$own_unix/history/mine"
printf 'x' >"$own_unix/history/2026-12-08 140509/tessaren.jpg"
printf 'x' >"$own_unix/history/2026-12-08 140509 (2)/tessaren.jpg"
printf 'x' >"$own_unix/history/2026-12-08 140509 (2)/tessaren-monitor-2.jpg"
printf 'keep' >"$own_unix/history/mine/beach.jpg"
printf 'keep' >"$install_unix/licenses/mine.txt"
wine_ reg add "$settings_key\\Config" /v temp /t REG_SZ /d "$own_dir" /f >/dev/null
wine_ reg add "$approved_key" /v Tessaren /t REG_BINARY /d 020000000000000000000000 /f >/dev/null
wine_ reg add "$run_key" /v Tessaren /t REG_SZ /d "\"$installed_exe\"" /f >/dev/null

uninstall_started=$SECONDS
code=0
probe run-and-wait "$uninstaller" /S || code=$?
check "the uninstaller exits with 0 (was $code)" test "$code" = 0
echo "uninstall took $((SECONDS - uninstall_started)) s"
check "the running copy has ended" probe ended "${third_pid:-0}"
check "no Tessaren window is left" probe no-window
check "the licence files it installed are gone, by name" \
  test "$(ls "$install_unix/licenses" 2>/dev/null)" = mine.txt
check "the program folder holds only what it did not install" \
  test "$(cd "$install_unix" && find . -type f)" = ./licenses/mine.txt
check "the shortcut is gone" test ! -e "$shortcut_unix"
check "the Apps entry is gone" not has_key "$uninstall_key"
check "the Run value is gone" not has_value "$run_key" Tessaren
check "the StartupApproved value is gone" not has_value "$approved_key" Tessaren
check "the settings key is gone" not has_key "$settings_key"
check "%LOCALAPPDATA%\\Tessaren keeps only the user's file and link: $(left "$data_unix")" \
  test "$(left "$data_unix")" = "Photos notes.txt "
check "the user's file and the photo behind the link are untouched" \
  test "$(cat "$data_unix/notes.txt" "$work/photos/beach.jpg")" = minephoto
check "the downloads in the user's own folder are gone" \
  test ! -e "$own_unix/tessaren.jpg" -a ! -e "$own_unix/tessaren.bmp" -a ! -e "$own_unix/tessaren-2.bmp.part"
check "the user's own file and folder stay" test -s "$own_unix/holiday.txt"
check "the history's entries are gone" test "$(cd "$own_unix/history" && find . | sort | tr '\n' ' ')" = \
  ". ./mine ./mine/beach.jpg "
check "the Run key itself stays" has_key "$run_key"

echo "$passed passed, $failed failed, in $((SECONDS - started)) s"
[ "$failed" = 0 ] || exit 1
# The next run makes its own prefix: keep this one only when it can tell what went wrong.
cleanup
rm -rf "$TESSAREN_WINEPREFIX"
