#!/usr/bin/env bash
# with_two_monitors.sh WINE-RUN PROGRAM [ARG...]: runs a Windows program under Wine on an X
# server with two monitors side by side, a 1920 x 1080 primary and a 1080 x 1920 portrait
# monitor right of it: Xorg with its dummy driver, whose second head RandR turns on (Xvfb
# and xrandr --setmonitor give Wine one monitor, or two at 0,0). Skips (exit 77) where Xorg
# or its dummy driver is not installed.
set -euo pipefail
wine_run="$1"
shift
if ! command -v Xorg >/dev/null || ! command -v xrandr >/dev/null ||
  [ ! -f /usr/lib/xorg/modules/drivers/dummy_drv.so ]; then
  echo "with_two_monitors: needs xserver-xorg-core, xserver-xorg-video-dummy and x11-xserver-utils"
  exit 77
fi
work="$(mktemp -d /tmp/tessaren-two-monitors.XXXXXX)"
cat >"$work/xorg.conf" <<'CONF'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3000 1920
  EndSubSection
EndSection
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
CONF
display=
xorg_pid=
stop() {
  set +e
  wineserver -k 2>/dev/null
  [ -n "$xorg_pid" ] && kill "$xorg_pid" 2>/dev/null && wait "$xorg_pid" 2>/dev/null
  rm -rf "$work"
}
trap stop EXIT
for n in $(seq 70 99); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xorg ":$n" -config "$work/xorg.conf" -noreset -nolisten tcp -logfile "$work/xorg.log" \
    >"$work/xorg.out" 2>&1 &
  xorg_pid=$!
  for _ in $(seq 600); do  # until it answers or has died, however busy the machine
    DISPLAY=":$n" xrandr -q >/dev/null 2>&1 && { display=":$n"; break; }
    kill -0 "$xorg_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$display" ] && break
  xorg_pid=
done
[ -n "$display" ] || { echo "with_two_monitors: no X server started"; exit 1; }
export DISPLAY="$display"
xrandr --newmode portrait 60 1080 1100 1120 1140 1920 1925 1930 1950
xrandr --addmode DUMMY1 portrait
xrandr --output DUMMY0 --mode 1920x1080 --pos 0x0 --primary --output DUMMY1 --mode portrait \
  --pos 1920x0
xrandr --listmonitors
# A prefix of its own: Wine's desktop process must not outlive this display.
export TESSAREN_HAVE_DISPLAY=1 TESSAREN_WINEPREFIX="${TESSAREN_WINEPREFIX:-$work/prefix}"
status=0
"$wine_run" "$@" || status=$?
exit $status
