#!/usr/bin/env bash
# Two instances of the Windows build under Wine on one display (run it under xvfb-run): a run with
# ERRSTOP:1 that stops on an error cancels the other one, whose hidden window takes the broadcast in
# the console form. The argument is an empty work folder.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$PWD/build/windows/src/kestrune.exe
wine=/usr/lib/wine/wine64
work=$1
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
# A Wine server still running from programs started without a display keeps its desktop without
# one: end it, so that these instances get the display.
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w 2>/dev/null || true
printf 'Delay( sec:60 );\r\nPrint( Output:"not reached" );\r\n' > "$work/victim.scpt"
printf 'x = missing;\r\n' > "$work/failing.scpt"
(cd "$work" && timeout 120 "$wine" "$exe" 'SCRIPT:victim.scpt' /sim '\\.\PHYSICALDRIVE0' > victim.out 2>/dev/null) &
victim=$!
# The victim's window is up once its run has started; its console lines may be held back, so give
# it a moment after its start instead of watching them.
sleep 8
(cd "$work" && timeout 120 "$wine" "$exe" 'SCRIPT:failing.scpt' /sim '\\.\PHYSICALDRIVE0' ERRSTOP:1 > failing.out 2>/dev/null) || true
victim_rc=0
wait "$victim" || victim_rc=$?
out=$(tr -d '\r' < "$work/victim.out")
if grep -qx -- ' *---- Broadcast Trigger Cancel Job ----' <<<"$out" && ! grep -q 'not reached' <<<"$out" &&
   [ "$victim_rc" != 0 ] && [ "$victim_rc" != 124 ]; then
  echo "wine smoke: ERRSTOP:1 cancelled the other instance (exit code $victim_rc)"
else
  echo "wine smoke: the error stop did not cancel the other instance (exit $victim_rc): $out"
  exit 1
fi
