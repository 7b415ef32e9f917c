#!/usr/bin/env bash
# tessaren.exe end to end under Wine and Xvfb, in a private prefix, against a local HTTP
# server: first-run defaults, a single instance, updates at start and on Reload, the tray
# menu, the About box, the Properties dialog (show, save, cancel) and the tray Exit.
# Usage: end_to_end_test.sh WINE_RUN TESSAREN_EXE DRIVER_EXE WORK_DIR
set -uo pipefail
wine_run=$1 exe=$2 driver=$3 work=$4

if [ -z "${TESSAREN_HAVE_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" env TESSAREN_HAVE_DISPLAY=1 bash "$0" "$@"
fi

mkdir -p "$work"
export TESSAREN_WINEPREFIX="$work/prefix"
export WINEPREFIX="$TESSAREN_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
driver() { "$wine_run" "$driver" "$@"; }
reg_value() {  # reg_value KEY NAME: the data of one value, or nothing
  "$wine_run" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}
settings_key='HKCU\Software\Classes\Tessaren\Config'
desktop_key='HKCU\Control Panel\Desktop'
setting() { reg_value "$settings_key" "$1"; }
requests() { grep -c '"GET /weather.jpg' "$work/server.log" || true; }

server_pid=
tessaren_pid=
cleanup() {
  [ -n "$tessaren_pid" ] && kill "$tessaren_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -k 2>/dev/null
}
trap cleanup EXIT

# The picture: a weather-like gradient made on the spot, served from 127.0.0.1.
rm -rf "$work/www" && mkdir -p "$work/www"
python3 - "$work/picture.ppm" <<'PY'
import sys
w, h = 160, 120
rows = bytearray()
for y in range(h):
    for x in range(w):
        rows += bytes((40 + x, 80 + y, 200 - y))
open(sys.argv[1], "wb").write(b"P6 %d %d 255\n" % (w, h) + rows)
PY
cjpeg -quality 90 "$work/picture.ppm" >"$work/www/weather.jpg"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$work/www" && exec python3 -m http.server --bind 127.0.0.1 "$port") >"$work/server.log" 2>&1 &
server_pid=$!

start() { "$wine_run" "$exe" & tessaren_pid=$!; }
finish() {  # waits for the program and checks its exit code
  local code=0
  wait "$tessaren_pid" || code=$?
  tessaren_pid=
  check "the process ended with exit code 0 (was $code)" test "$code" = 0
}

# A clean slate in the (reused) prefix.
"$wine_run" reg delete 'HKCU\Software\Classes\Tessaren' /f >/dev/null 2>&1
"$wine_run" reg add "$desktop_key" /v Wallpaper /t REG_SZ /d "" /f >/dev/null
drive_c="$TESSAREN_WINEPREFIX/drive_c"
rm -rf "$drive_c/tessaren-e2e" && mkdir -p "$drive_c/tessaren-e2e/second"

echo "--- first run: defaults, single instance"
# The first run fetches the default URL; a proxy setting sends that request to the local
# server (which answers 404), so the test reaches no other host.
internet_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
"$wine_run" reg add "$internet_key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$port" /f >/dev/null
"$wine_run" reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
start
check "the program starts hidden with its tray icon" driver ready
check "first run writes install 2" test "$(setting install)" = 0x2
check "first run writes interval 60" test "$(setting interval)" = 0x3c
check "first run writes display 1" test "$(setting display)" = 0x1
check "first run writes the default URL" test "$(setting url)" = \
  "http://www.weather.gov/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg"
check "first run writes the default directory" \
  bash -c '[[ "$1" == *'\''\AppData\Local\Tessaren\'\'' ]]' _ "$(setting temp)"
second_code=0
timeout 30 "$wine_run" "$exe" || second_code=$?
check "the first update asked for the default picture" \
  grep -q '"GET http://www.weather.gov:80/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg' \
  "$work/server.log"
check "a second start ends at once with 0 (was $second_code)" test "$second_code" = 0
check "a second start leaves one window" test "$(driver count | tr -d '\r')" = 1
check "tray Exit" driver end tray
finish

"$wine_run" reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null

echo "--- seeded settings: updates"
"$wine_run" reg add "$settings_key" /v url /t REG_SZ /d "http://127.0.0.1:$port/weather.jpg" /f >/dev/null
"$wine_run" reg add "$settings_key" /v temp /t REG_SZ /d 'C:\tessaren-e2e\' /f >/dev/null
"$wine_run" reg add "$settings_key" /v interval /t REG_DWORD /d 5 /f >/dev/null
"$wine_run" reg add "$settings_key" /v display /t REG_DWORD /d 0 /f >/dev/null
"$wine_run" reg add "$settings_key" /v install /t REG_DWORD /d 2 /f >/dev/null
start
check "the program starts hidden with its tray icon" driver ready
check "the first update ran before the message loop" test "$(requests)" = 1
check "the picture was saved" cmp -s "$work/www/weather.jpg" "$drive_c/tessaren-e2e/tessaren.jpg"
check "the BMP was written" bash -c 'head -c 2 "$1" | grep -q BM' _ "$drive_c/tessaren-e2e/tessaren.bmp"
check "the wallpaper is the BMP" test "$(reg_value "$desktop_key" Wallpaper)" = 'C:\tessaren-e2e\tessaren.bmp'
check "stretch style written" test "$(reg_value "$desktop_key" WallpaperStyle)" = 2
check "no tiling written" test "$(reg_value "$desktop_key" TileWallpaper)" = 0
check "Reload" driver reload
check "Reload updated at once" test "$(requests)" = 2

echo "--- tray menu and About box"
check "right-button release" driver menu right
check "left click" driver menu left
for how in ok esc close; do check "About, $how" driver about "$how"; done
check "menus and About run no update" test "$(requests)" = 2

echo "--- Properties"
check "Properties shows the stored settings" \
  driver properties-show "http://127.0.0.1:$port/weather.jpg" 'C:\tessaren-e2e\' 5 0
check "close box writes nothing" test "$(requests)" = 2
# Long fields are stored whole, up to the 1023 characters the store reads back.
long_url="http://127.0.0.1:$port/weather.jpg?$(printf 'q%.0s' $(seq 1 300))"
check "Properties Save" driver properties-save "$long_url" \
  'C:\tessaren-e2e\second\' '  15 minutes' 2
check "Save stored the long URL whole" test "$(setting url)" = "$long_url"
check "Save stored the directory" test "$(setting temp)" = 'C:\tessaren-e2e\second\'
check "Save stored the interval's leading number" test "$(setting interval)" = 0xf
check "Save stored the display mode" test "$(setting display)" = 0x2
check "Save ran an update at once" test "$(requests)" = 3
check "the update used the new directory" \
  cmp -s "$work/www/weather.jpg" "$drive_c/tessaren-e2e/second/tessaren.jpg"
check "the wallpaper follows" test "$(reg_value "$desktop_key" Wallpaper)" = 'C:\tessaren-e2e\second\tessaren.bmp'
check "tile mode written" test "$(reg_value "$desktop_key" TileWallpaper)" = 1
before=$("$wine_run" reg query "$settings_key" | tr -d '\r')
check "Properties Cancel" driver properties-cancel "http://cancelled.invalid/"
check "Cancel writes nothing" test "$("$wine_run" reg query "$settings_key" | tr -d '\r')" = "$before"
check "Cancel runs no update" test "$(requests)" = 3

echo "--- shell restart"
check "the icon comes back when the shell restarts" driver shell-restart

echo "--- Exit"
check "tray Exit" driver end tray
finish

echo "--- the other ways to end"
for how in command close; do
  start
  check "the program starts" driver ready
  check "ending by $how" driver end "$how"
  finish
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
