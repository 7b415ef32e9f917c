# What the end-to-end scripts under Wine share; sourced by them after they have read
# WINE_RUN, TESSAREN_EXE, DRIVER_EXE, WORK_DIR and PICTURE_SERVER into wine_run, exe,
# driver, work and picture_server: their own display, a private prefix, the checks and
# their counts, the settings, the command line, the picture server and the log.

if [ -z "${TESSAREN_HAVE_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" env TESSAREN_HAVE_DISPLAY=1 bash "$0" "$@"
fi

mkdir -p "$work"
export TESSAREN_WINEPREFIX="$work/prefix"
export WINEPREFIX="$TESSAREN_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drive_c="$TESSAREN_WINEPREFIX/drive_c"
passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
contains() { [[ "$1" == *"$2"* ]]; }
not_contains() { [[ "$1" != *"$2"* ]]; }
settings_key='HKCU\Software\Classes\Tessaren\Config'
store() { "$wine_run" reg add "$settings_key" /v "$1" /t "$2" /d "$3" /f >/dev/null; }
cli() {  # cli OPTION...: runs tessaren.exe with the options; its output and exit code
  local code=0
  cli_out=$("$wine_run" "$exe" "$@" 2>/dev/null | tr -d '\r') || code=$?
  cli_code=$code
}

server_pid=
tessaren_pid=
cleanup() {
  [ -n "$tessaren_pid" ] && kill "$tessaren_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -k 2>/dev/null
}
trap cleanup EXIT

# Serves $work/www; sets port and base, and counts the requests in $work/requests.log.
# With a port, the server comes back on it, its log kept.
start_picture_server() {
  [ -z "${1:-}" ] && rm -f "$work/requests.log"
  rm -f "$work/port"
  PICTURE_SERVER_PORT=${1:-0} python3 "$picture_server" "$work/www" "$work/port" "$work/requests.log" &
  server_pid=$!
  for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
  port=$(cat "$work/port")
  base="http://127.0.0.1:$port"
}
requests() { grep -c . "$work/requests.log" 2>/dev/null || echo 0; }

# The wallpaper BMP in a folder: of the two names it takes turns between, the one there.
bmp_in() { ls "$1/tessaren.bmp" "$1/tessaren-2.bmp" 2>/dev/null | head -n 1; }
log_file() { ls "$drive_c"/users/*/AppData/Local/Tessaren/tessaren.log 2>/dev/null | head -n 1; }
log_lines() { local f; f=$(log_file); [ -n "$f" ] && grep -c . "$f" || echo 0; }
log_line() { sed -n "$1p" "$(log_file)" | tr -d '\r'; }
wait_log() {  # wait_log COUNT: until the log holds COUNT lines (an update has ended)
  for _ in $(seq 400); do [ "$(log_lines)" -ge "$1" ] && return 0; sleep 0.1; done
  return 1
}
logged=0
line=
next_line() {  # next_line: waits for the next log line and puts it in line
  logged=$((logged + 1))
  if wait_log "$logged"; then line=$(log_line "$logged"); else line="(no log line $logged)"; fi
}
