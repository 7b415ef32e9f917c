#!/usr/bin/env bash
# The history under Wine, with the real tessaren.exe and its command line: three updates
# with three pictures keep three entries (an unchanged one adds none), /previous steps back
# and draws each earlier picture exactly as its update drew it, with no download and the
# updates paused, /next steps forward, and /resume brings the newest back.
# Usage: history_end_to_end_test.sh WINE_RUN TESSAREN_EXE DRIVER_EXE WORK_DIR PICTURE_SERVER
set -uo pipefail
wine_run=$1 exe=$2 driver=$3 work=$4 picture_server=$5

source "$(dirname "${BASH_SOURCE[0]}")/../support/end_to_end_common.sh"

# Three pictures, each of its own colours.
rm -rf "$work/www" && mkdir -p "$work/www"
for n in 1 2 3; do
  python3 - "$work/picture.ppm" "$n" <<'PY'
import sys
n = int(sys.argv[2])
w, h = 160, 120
rows = bytearray()
for y in range(h):
    for x in range(w):
        rows += bytes(((40 * n + x) % 256, (80 + y * n) % 256, (200 - y - 30 * n) % 256))
open(sys.argv[1], "wb").write(b"P6 %d %d 255\n" % (w, h) + rows)
PY
  cjpeg -quality 90 "$work/picture.ppm" >"$work/www/picture$n.jpg"
done
start_picture_server

"$wine_run" reg delete 'HKCU\Software\Classes\Tessaren' /f >/dev/null 2>&1
folder="$drive_c/tessaren-history"
rm -rf "$folder" "$drive_c"/users/*/AppData/Local/Tessaren
entries() { (cd "$folder/history" 2>/dev/null && LC_ALL=C ls); }

store url REG_SZ "$base/picture1.jpg"
store temp REG_SZ 'C:\tessaren-history\'
store interval REG_DWORD 60
store display REG_DWORD 4  # Fit: drawn at the screen's size
store install REG_DWORD 2
"$wine_run" "$exe" & tessaren_pid=$!
check "the program starts" "$wine_run" "$driver" ready
for n in 1 2 3; do
  if [ "$n" -gt 1 ]; then
    store url REG_SZ "$base/picture$n.jpg"
    cli /reload
  fi
  next_line
  check "picture $n is in: $line" contains "$line" $'\tupdated\t127.0.0.1\t160 x 120 JPEG'
  cp "$(bmp_in "$folder")" "$work/drawn$n.bmp"
done
cli /reload
next_line
check "the same picture again: $line" contains "$line" $'\tunchanged\t'
mapfile -t kept < <(entries)
check "three entries, none for the unchanged update: ${kept[*]}" test "${#kept[@]}" = 3
for n in 1 2 3; do
  check "entry $n holds picture $n as it came" \
    cmp -s "$folder/history/${kept[$((n - 1))]}/tessaren.jpg" "$work/www/picture$n.jpg"
done

before=$(requests)
cli /previous
check "/previous answers 0 (was $cli_code)" test "$cli_code" = 0
next_line
check "the picture before is shown: $line" contains "$line" $'\tshown\t-\tthe picture of '
check "drawn as its update drew it" cmp -s "$(bmp_in "$folder")" "$work/drawn2.bmp"
cli /status
check "/status says which picture and that the updates wait: $(tr '\n' '|' <<<"$cli_out")" \
  contains "$cli_out" $'\nNext update: paused, showing the picture of '"${kept[1]:11:2}:${kept[1]:13:2}"
cli /previous
next_line
check "and the one before that: $line" contains "$line" $'\tshown\t-\tthe picture of '
check "drawn as its update drew it" cmp -s "$(bmp_in "$folder")" "$work/drawn1.bmp"
cli /next
next_line
check "/next steps forward: $line" contains "$line" $'\tshown\t-\tthe picture of '
check "drawn as its update drew it" cmp -s "$(bmp_in "$folder")" "$work/drawn2.bmp"
check "with no download" test "$(requests)" = "$before"
check "tessaren.jpg is still the newest picture" cmp -s "$folder/tessaren.jpg" "$work/www/picture3.jpg"
cli /resume
next_line
check "/resume draws the newest again: $line" contains "$line" "redrawn"
check "as it was drawn" cmp -s "$(bmp_in "$folder")" "$work/drawn3.bmp"
cli /status
check "the updates go on: $(tr '\n' '|' <<<"$cli_out")" not_contains "$cli_out" "paused"
cli /next
sleep 2
check "/next at the newest does nothing" test "$(log_lines)" = "$logged"
cli /exit
wait "$tessaren_pid"
tessaren_pid=

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
