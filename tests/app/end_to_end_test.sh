#!/usr/bin/env bash
# tessaren.exe end to end under Wine and Xvfb, in a private prefix, against a local picture
# server that misbehaves on request: first-run defaults, settings of every type stored by
# another program, new, unchanged and missing pictures with their log lines, a server that
# never answers (the window still answers, Exit does not wait), the Properties checks,
# folders in any script, start with Windows, resume, the retry after a failure, and every
# way to end.
# Usage: end_to_end_test.sh WINE_RUN TESSAREN_EXE DRIVER_EXE WORK_DIR PICTURE_SERVER
set -uo pipefail
wine_run=$1 exe=$2 driver=$3 work=$4 picture_server=$5

source "$(dirname "${BASH_SOURCE[0]}")/../support/end_to_end_common.sh"
driver() {  # one driver action; a driver that died before saying anything is run again once
  local out code=0
  out=$("$wine_run" "$driver" "$@") || code=$?
  if [ "$code" != 0 ] && [ -z "$out" ]; then
    echo "(the driver ended with $code and said nothing; once more)"
    code=0
    out=$("$wine_run" "$driver" "$@") || code=$?
  fi
  [ -n "$out" ] && printf '%s\n' "$out"
  return "$code"
}
reg_value() {  # reg_value KEY NAME: the data of one value, or nothing
  # A Wine program now and then ends without a word (see driver): a query that failed
  # without saying anything is asked once more, so that it is never taken for "no value".
  local out code=0
  out=$("$wine_run" reg query "$1" /v "$2" 2>/dev/null) || code=$?
  if [ "$code" != 0 ] && [ -z "$out" ]; then
    code=0
    out=$("$wine_run" reg query "$1" /v "$2" 2>/dev/null) || code=$?
  fi
  printf '%s\n' "$out" | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  /, ""); print }'
}
desktop_key='HKCU\Control Panel\Desktop'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
setting() { reg_value "$settings_key" "$1"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The pictures: a weather-like gradient made on the spot, also under a name in three scripts.
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
unicode_name='Ünï 壁纸 🌦'
cp "$work/www/weather.jpg" "$work/www/$unicode_name.jpg"
start_picture_server

start() { "$wine_run" "$exe" & tessaren_pid=$!; }
finish() {  # waits for the program and checks its exit code
  local code=0
  wait "$tessaren_pid" || code=$?
  tessaren_pid=
  check "the process ended with exit code 0 (was $code)" test "$code" = 0
}
exit_ms=
timed_exit() {  # timed_exit HOW: ends the program; exit_ms is how long until its process was gone
  local t0
  t0=$(now_ms)
  driver end "$1" >/dev/null
  wait "$tessaren_pid"
  exit_ms=$(($(now_ms) - t0))
  tessaren_pid=
}

# A clean slate in the (reused) prefix.
"$wine_run" reg delete 'HKCU\Software\Classes\Tessaren' /f >/dev/null 2>&1
"$wine_run" reg delete "$run_key" /v Tessaren /f >/dev/null 2>&1
"$wine_run" reg add "$desktop_key" /v Wallpaper /t REG_SZ /d "" /f >/dev/null
profile=$(ls -d "$drive_c"/users/*/AppData/Local 2>/dev/null | grep -v /Public/ | head -n 1)
rm -rf "$drive_c/tessaren-e2e" "$profile/Tessaren" "$drive_c"/users/*/tessaren-e2e
last_log() { tail -n 1 "$(log_file)" | tr -d '\r'; }

echo "--- first run: defaults, the default picture, a single instance"
# The first run fetches the default URL; a proxy setting sends that request to the local
# server (which answers 404), so the test reaches no other host.
internet_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
"$wine_run" reg add "$internet_key" /v ProxyServer /t REG_SZ /d "127.0.0.1:$port" /f >/dev/null
"$wine_run" reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
start
check "the program starts hidden with its tray icon" driver ready
next_line
check "first run writes install 2" test "$(setting install)" = 0x2
check "first run writes interval 60" test "$(setting interval)" = 0x3c
check "first run writes display 1" test "$(setting display)" = 0x1
check "first run writes the default URL" test "$(setting url)" = \
  "http://www.weather.gov/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg"
check "first run writes the default folder" \
  bash -c '[[ "$1" == *'\''\AppData\Local\Tessaren\'\'' ]]' _ "$(setting temp)"
check "the first update asked for the default picture" \
  grep -q '/images/getimagedata.cfm' "$work/requests.log"
check "its log line says why it failed: $line" contains "$line" $'\tfailed\twww.weather.gov\tHTTP 404 Not Found'
# A proxy that asks for a sign-in WinINet cannot give: said so, and nothing more is sent.
store url REG_SZ "http://www.weather.gov/p.jpg?proxyauth=Negotiate"
asked=$(wc -l <"$work/requests.log")
check "Reload" driver reload
next_line
check "the proxy's 407 is logged as such: $line" test "${line#*$'\tfailed\t'}" = \
  $'www.weather.gov\tthe proxy asks for a sign-in (HTTP 407)'
check "one request reached the proxy" test "$(wc -l <"$work/requests.log")" = $((asked + 1))
second_code=0
timeout 30 "$wine_run" "$exe" || second_code=$?
check "a second start ends at once with 0 (was $second_code)" test "$second_code" = 0
check "a second start leaves one window" test "$(driver count | tr -d '\r')" = 1
check "tray Exit" driver end tray
finish
"$wine_run" reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null

echo "--- settings stored by another program: text numbers, an expandable folder without its backslash"
store url REG_SZ "$base/weather.jpg"
store temp REG_EXPAND_SZ '%USERPROFILE%\tessaren-e2e'
store interval REG_SZ 5
store display REG_SZ 0
store install REG_DWORD 2
start
check "the program starts" driver ready
next_line
check "the picture is in: $line" contains "$line" $'\tupdated\t127.0.0.1\t'
folder=$(ls -d "$drive_c"/users/*/tessaren-e2e 2>/dev/null | head -n 1)
user=$(basename "$(dirname "$folder")")
check "the missing folder was made and the files are inside it" test -f "$folder/tessaren.bmp"
check "the picture was saved" cmp -s "$work/www/weather.jpg" "$folder/tessaren.jpg"
check "the wallpaper is the BMP" test "$(reg_value "$desktop_key" Wallpaper)" = "C:\\users\\$user\\tessaren-e2e\\tessaren.bmp"
check "text display \"0\" counts as missing: Center" test "$(reg_value "$desktop_key" WallpaperStyle)" = 0
check "Properties shows what was read" \
  driver properties-show "$base/weather.jpg" "C:\\users\\$user\\tessaren-e2e\\" 60 1 off

echo "--- the same picture again: asked about, and not written again"
bmp_time=$(stat -c %Y.%N "$folder/tessaren.bmp")
check "Reload" driver reload
next_line
check "a 304 is logged as unchanged: $line" contains "$line" $'\tunchanged\t127.0.0.1\tsince '
check "the request named the picture's ETag" bash -c 'tail -n 1 "$1" | cut -f3 | grep -q "^\"[0-9a-f]*\"$"' _ "$work/requests.log"
store url REG_SZ "$base/same/weather.jpg"
check "Reload" driver reload
next_line
check "the same bytes are logged as unchanged: $line" contains "$line" "(same picture)"
check "the BMP was not written again" test "$(stat -c %Y.%N "$folder/tessaren.bmp")" = "$bmp_time"

echo "--- a missing picture"
store url REG_SZ "$base/missing.jpg"
check "Reload" driver reload
next_line
check "the log says why: $line" contains "$line" $'\tfailed\t127.0.0.1\tHTTP 404 Not Found'
check "the About box says it too" driver about-state "Last failure: " "HTTP 404 Not Found" \
  "Last update: " "127.0.0.1" "Next update: "
check "the last good picture stays" cmp -s "$work/www/weather.jpg" "$folder/tessaren.jpg"

echo "--- tray menu and About box"
for how in right key left double; do check "the icon's menu: $how" driver menu "$how"; done
for how in ok esc close; do check "About, $how" driver about "$how"; done

echo "--- a server that never answers"
store url REG_SZ "$base/stall/weather.jpg"
before=$(requests)
check "Reload" driver reload
wait_until 120 requested_since "$before"
check "the request reached the silent server" test "$(requests)" -gt "$before"
# The server never answers: a window held by the update would not answer at all.
check "the window answers while the update waits" driver answer-time 3000
check "the menu opens" driver menu right
check "the About box says an update runs" driver about-state "Next update: running now"
check "Properties opens" driver properties-show "$base/stall/weather.jpg" "C:\\users\\$user\\tessaren-e2e\\" 60 1 off
saved_at=$(now_ms)
check "Save while the update waits" driver properties-save "$base/weather.jpg" "C:\\users\\$user\\tessaren-e2e" 60 1 off
next_line
replaced_ms=$(($(now_ms) - saved_at))
echo "the update with the new settings ended $replaced_ms ms after Save"
check "and the new settings are used at once: $line" test "$(cut -f2-3 <<<"$line")" != $'failed\t127.0.0.1'
check "by a good update" contains "$line" $'\t127.0.0.1\t'
check "without waiting out the silent server's 30 s" test "$replaced_ms" -lt 25000
store url REG_SZ "$base/stall/weather.jpg"
before=$(requests)
check "Reload" driver reload
wait_until 120 requested_since "$before"
timed_exit tray
stall_exit=$exit_ms
echo "Exit while the update waited on the silent server: $stall_exit ms"
# Each update given up is logged once, when it ends or at the latest at Exit: the one Save
# replaced, and the one Exit ended.
logged=$((logged + 2))
given_up=$(tail -n 2 "$(log_file)" | tr -d '\r' | cut -f2- | sort | tr '\n' '|')
check "each update given up is logged once: $given_up" test "$given_up" = \
  $'cancelled\t127.0.0.1\tcancelled|cancelled\t127.0.0.1\treplaced by a newer update|'
check "no partial file is left" bash -c '! ls "$1"/*.part 2>/dev/null | grep -q .' _ "$folder"
check "the last good picture stays" cmp -s "$work/www/weather.jpg" "$folder/tessaren.jpg"
store url REG_SZ "$base/weather.jpg"
start
check "the program starts" driver ready
next_line
timed_exit tray
idle_exit=$exit_ms
echo "Exit while idle: $idle_exit ms"
check "Exit during the stall ($stall_exit ms) waits out no 30 s, as an idle Exit ($idle_exit ms)" \
  test "$stall_exit" -le $((idle_exit + 15000))

echo "--- Properties: checks, Enter, Escape, one dialog at a time, any script, start with Windows"
start
check "the program starts" driver ready
next_line
before=$(setting url)
check "a URL without a scheme is refused" driver properties-refuse "www.example.com/cam.jpg" \
  'C:\tessaren-e2e\' 5 url
check "an ftp URL is refused" driver properties-refuse "ftp://files.example/now.jpg" 'C:\tessaren-e2e\' 5 url
check "an interval with words is refused" driver properties-refuse "$base/weather.jpg" 'C:\tessaren-e2e\' "15 minutes" interval
check "a folder that is no full path is refused" driver properties-refuse "$base/weather.jpg" 'Pictures' 5 folder
check "nothing was stored" test "$(setting url)" = "$before"
check "one dialog at a time" driver one-dialog
check "Properties Cancel" driver properties-cancel "http://cancelled.invalid/"
after=$(setting url)
check "Cancel writes nothing ($after)" test "$after" = "$before"
check "Enter saves" driver properties-enter "  $base/weather.jpg?enter  "
check "the URL was stored trimmed" test "$(setting url)" = "$base/weather.jpg?enter"
next_line
check "Save updates at once: $line" contains "$line" $'\t127.0.0.1\t'
check "Save with a folder in three scripts, Fit and start with Windows" driver properties-save \
  "$base/$unicode_name.jpg" "C:\\tessaren-e2e\\$unicode_name" 5 4 on
next_line
check "the picture named in three scripts is in: $line" contains "$line" $'\tupdated\t127.0.0.1\t160 x 120 JPEG, '
check "the BMP is in that folder" test -f "$drive_c/tessaren-e2e/$unicode_name/tessaren.bmp"
bmp_size() { python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(26); print("%dx%d" % struct.unpack("<ii", d[18:26]))' "$1"; }
check "Fit drew it at the screen's size" test "$(bmp_size "$drive_c/tessaren-e2e/$unicode_name/tessaren.bmp")" = 1024x768
before=$(requests)
check "a change of the screens" driver display-change
next_line
check "draws the kept picture again: $line" contains "$line" "redrawn"
check "with no download" test "$(requests)" = "$before"
check "the wallpaper names it, under the other name" test "$(driver wallpaper | tr -d '\r')" = "C:\\tessaren-e2e\\$unicode_name\\tessaren-2.bmp"
check "and the BMP shown before is gone" test ! -e "$drive_c/tessaren-e2e/$unicode_name/tessaren.bmp"
check "the interval was stored" test "$(setting interval)" = 0x5
check "the Run value names the program" bash -c '[[ "$1" == \"*tessaren.exe\" ]]' _ "$(reg_value "$run_key" Tessaren)"
check "Properties shows it all again" driver properties-show "$base/$unicode_name.jpg" \
  "C:\\tessaren-e2e\\$unicode_name\\" 5 4 on
check "Save with start with Windows off" driver properties-save "$base/weather.jpg" 'C:\tessaren-e2e' 5 0 off
next_line
check "the Run value is gone" test -z "$(reg_value "$run_key" Tessaren)"
check "the folder got its backslash" test "$(setting temp)" = 'C:\tessaren-e2e\'

echo "--- pictures behind a page, a feed and a dated address; Check"
cat >"$work/www/page.html" <<HTML
<html><head><meta property="og:image" content="/page-picture.jpg"><title>Weather</title></head></html>
HTML
cat >"$work/www/feed.xml" <<XML
<?xml version="1.0"?><rss version="2.0"><channel><title>Weather</title>
<item><title>Yesterday</title><pubDate>Mon, 07 Dec 2026 08:00:00 GMT</pubDate><enclosure url="/missing.jpg" type="image/jpeg"/></item>
<item><title>Today's sky</title><pubDate>Tue, 08 Dec 2026 08:00:00 GMT</pubDate><enclosure url="/feed-picture.jpg" type="image/jpeg"/></item>
</channel></rss>
XML
# The pictures of ten and twenty minutes ago are there, the newest is not yet (two, so
# that a ten-minute mark passing meanwhile changes nothing).
# Each source names a picture of its own, so that each update brings a new one.
cjpeg -quality 80 "$work/picture.ppm" >"$work/www/page-picture.jpg"
cjpeg -quality 70 "$work/picture.ppm" >"$work/www/feed-picture.jpg"
cjpeg -quality 60 "$work/picture.ppm" >"$work/sat.jpg"
for ago in 10 20; do
  cp "$work/sat.jpg" "$work/www/sat-$(date -u -d "-$ago minutes" +%H%M | sed 's/.$/0/').jpg"
done
printf '<html><body>No picture here</body></html>' >"$work/www/nopicture.html"
for source in "page.html@og:image" "feed.xml@feed item \"Today's sky\"" \
  "sat-{utc:%H%M|step=10m}.jpg@step back"; do
  address=${source%%@*} origin=${source#*@}
  store url REG_SZ "$base/$address"
  check "Reload" driver reload
  next_line
  echo "log: $line"
  check "from $address the picture came, and the log says from where: $line" \
    contains "$line" "$origin: $base/"
  about=$(driver about-state "Picture: $base/" | tr -d '\r')
  printf '%s\n' "$about" | grep '^about:'
  check "About shows the picture's own address and where it came from" contains "$about" "$origin)"
done
store url REG_SZ "$base/weather.jpg"
check "Check finds the page's picture" driver properties-check "$base/page.html" "" \
  "Found $base/page-picture.jpg (og:image): 160 x 120 JPEG"
check "Check says why a source gives none" driver properties-check "$base/nopicture.html" "" \
  "No picture on the page ("
check "Check refuses a pointer that is none" driver properties-check "$base/api.json" "images" \
  "must start with /"

echo "--- keep a picture, while an update replaces it"
cp "$drive_c/tessaren-e2e/tessaren.jpg" "$work/shown.jpg"
convert "$work/picture.ppm" "$work/www/weather.png"
saved=$(driver save-picture-open)
printf '%s\n' "$saved"
check "Save picture as suggests the picture's time and format" \
  bash -c '[[ "$1" =~ suggested:\ Tessaren\ [0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{4}\.jpg ]]' _ "$saved"
store url REG_SZ "$base/weather.png"
check "Reload while the dialog is open" driver reload
next_line
check "a PNG replaces the picture meanwhile: $line" contains "$line" $'\tupdated\t127.0.0.1\t160 x 120 PNG'
check "Save" driver save-picture-finish 'C:\tessaren-e2e\kept.jpg'
check "the bytes saved are the picture the name was made for" \
  cmp -s "$drive_c/tessaren-e2e/kept.jpg" "$work/shown.jpg"
check "and no copy is left beside it" bash -c '! ls "$1"/*.part 2>/dev/null | grep -q .' _ \
  "$drive_c/tessaren-e2e"
store url REG_SZ "$base/weather.jpg"

echo "--- resume, shell restart"
before=$(requests)
check "a resume message" driver resume
next_line
check "starts an update: $line" test "$(requests)" -gt "$before"
check "the icon comes back when the shell restarts" driver shell-restart

echo "--- a failing server is asked again after a minute, not an hour"
store url REG_SZ "$base/fail/weather.jpg"
check "Reload" driver reload
next_line
check "the failure is logged: $line" contains "$line" "HTTP 500"
asked_twice() { [ "$(grep -c $'\t/fail/' "$work/requests.log")" -ge 2 ]; }
wait_until 240 asked_twice
gap=$(grep $'\t/fail/' "$work/requests.log" | awk -F'\t' 'NR == 1 { first = $1 } NR == 2 { printf "%d", $1 - first }')
echo "second request after ${gap:-?} s"
check "the second request came a minute later, not at the 5-minute interval" test "${gap:-0}" -ge 55 -a "${gap:-0}" -le 150

echo "--- a wake-up while the picture server is down for 10 s"
next_line  # the second try's failure above
cjpeg -quality 50 "$work/picture.ppm" >"$work/www/wake.jpg"
store url REG_SZ "$base/wake.jpg"
kill "$server_pid" && wait "$server_pid" 2>/dev/null
check "a resume message" driver resume
down_until=$(($(now_ms) + 10000)) states=
while [ "$(now_ms)" -lt "$down_until" ]; do cli /status; states+="$(head -n 1 <<<"$cli_out")|"; done
start_picture_server "$port"
back_at=$(now_ms)
echo "the tray while the server was down: $states; the last /status: $(tr '\n' '|' <<<"$cli_out")"
check "never the error icon" not_contains "$states" "communication error"
logged=$((logged + 1))
wait_log "$logged"
line=$(log_line "$logged") came_ms=$(($(now_ms) - back_at))
echo "log: $line (${came_ms} ms after the server came back)"
check "no failure logged, the picture came: $line" contains "$line" $'\tupdated\t127.0.0.1\t'
check "within a minute of the server's return" test "$came_ms" -lt 60000
cli /status
check "and the tray says so: $(head -n 1 <<<"$cli_out")" test "$(head -n 1 <<<"$cli_out")" = Tessaren
check "tray Exit" driver end tray
finish

echo "--- the command line, to the running copy and with none"
store url REG_SZ "$base/weather.jpg"
start
check "the program starts" driver ready
next_line
cli /status
check "/status answers 0 after a good update (was $cli_code)" test "$cli_code" = 0
check "/status prints the state, the last update and the next: $(tr '\n' '|' <<<"$cli_out")" \
  bash -c '[[ "$1" == Tessaren$'\''\nLast update: '\''*$'\''\nNext update: '\''* ]]' _ "$cli_out"
cli /pause:60
check "/pause:60 answers 0 (was $cli_code)" test "$cli_code" = 0
cli /status
check "/status says until when: $(tr '\n' '|' <<<"$cli_out")" contains "$cli_out" $'\nNext update: paused until '
check "pausedUntil is stored" test -n "$(setting pausedUntil)" -a "$(setting pausedUntil)" != 0x0
cli /exit
check "/exit answers 0 (was $cli_code)" test "$cli_code" = 0
finish
cli /status
check "/status with none running answers 2 (was $cli_code): $cli_out" test "$cli_code" = 2 -a "$cli_out" = "Tessaren is not running."
cli /exit
check "/exit with none running answers 2 (was $cli_code)" test "$cli_code" = 2
before=$(requests)
start
check "the program starts" driver ready
cli /status
check "the pause survived the restart: $(tr '\n' '|' <<<"$cli_out")" contains "$cli_out" "paused until "
check "so no update ran or runs ($(requests) requests, $before before; log line $(log_lines) of $logged)" \
  test "$(requests)" = "$before" -a "$(log_lines)" = "$logged" -a "${cli_out/running now/}" = "$cli_out"
cli /reload
check "/reload answers 0 (was $cli_code)" test "$cli_code" = 0
next_line
check "Reload updates while paused: $line" contains "$line" $'\t127.0.0.1\t'
cli /resume
check "/resume answers 0 (was $cli_code)" test "$cli_code" = 0
cli /status
check "the pause is over: $(tr '\n' '|' <<<"$cli_out")" not_contains "$cli_out" "paused"
store url REG_SZ "$base/missing.jpg"
cli /reload
next_line
cli /status
check "/status answers 1 after a failed update (was $cli_code)" test "$cli_code" = 1
cli /bogus
check "an unknown option answers 64 (was $cli_code)" test "$cli_code" = 64
check "and lists the options" contains "$cli_out" "/pause:MINUTES"
cli /exit
finish

echo "--- the other ways to end"
store url REG_SZ "$base/weather.jpg"
for how in close endsession; do
  start
  check "the program starts" driver ready
  check "ending by $how" driver end "$how"
  finish
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
