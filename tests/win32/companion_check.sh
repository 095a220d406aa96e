#!/usr/bin/env bash
# LogView_Send and LogView_Wait of the Windows build under Wine, against the companion stand-in
# built for Windows (companion_peer.exe, which starts the program and answers it through the
# named mapping "LogView_Sync", looking at it only when the broadcast "UNIWM_SENDCMD" reached its
# window): the command reaches the companion, a key word is answered and Result reads the reply, a
# key word never answered times out with an empty result, and a reply that fills its slot without a
# NUL ends at the slot. Broadcasts need windows, so a display: the script starts Xvfb through
# xvfb-run when there is none.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run > /dev/null || { echo "companion check: SKIP: xvfb-run is not installed"; exit 0; }
  exec timeout 120 xvfb-run -a bash "$0" "$@"
fi
exe=$PWD/build/windows/src/kestrune.exe
peer=$PWD/build/windows/companion_peer.exe
wine=/usr/lib/wine/wine64
# A channel of its own: nothing reaches, or comes from, other runs.
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" KESTRUNE_OBJECT_SUFFIX=".wine$$"
# A Wine server left from programs started without a display keeps its desktop without one.
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w 2>/dev/null || true
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '[Reply]\r\nSerial=SN-0042 & more\r\n[Never]\r\nSilent=1\r\n[Oversize]\r\nFlood=1\r\n' > "$work/peer.ini"
printf '%s\r\n' 'LogView_Send( Command:"Open Report", DelayRunSec:0 );' \
  'LogView_Wait( Command:"Serial", TimeoutSec:10 );' 'v = Result( KeyWord:"Result", ShowResult:FALSE );' \
  'Print( Output:"got [" + v + "]" );' 'LogView_Wait( Command:"Silent", TimeoutSec:2 );' \
  'LogView_Wait( Command:"Flood", TimeoutSec:10 );' > "$work/talk.scpt"
rc=0
(cd "$work" && timeout 60 "$wine" "$peer" peer.ini --run "Z:${exe//\//\\}" 'SCRIPT:talk.scpt' /sim '\\.\PHYSICALDRIVE0' \
  > talk.out 2> talk.err) || rc=$?
out=$(tr -d '\r' < "$work/talk.out" | sed 's/^ *//')
failures=0
check() {
  if eval "$2"; then echo "companion check: PASS: $1"; else echo "companion check: FAIL: $1"; failures=$((failures + 1)); fi
}
check "the run ended by itself with exit code 0 (got $rc)" '[ "$rc" = 0 ]'
check "the command reached the companion" 'grep -qx "companion: command: Open Report" <<<"$out"'
check "a key word is answered and Result reads the reply" \
  'grep -qx "Result : SN-0042 & more" <<<"$out" && grep -qx "got \[SN-0042 & more\]" <<<"$out"'
check "a key word never answered times out with an empty result" \
  'grep -A1 -x "Wait \[Silent\] From LogView 2 sec Timeout" <<<"$out" | grep -qx "Result : "'
flood=$(grep '^Result : ZZ' <<<"$out" | head -1 || true)
check "a reply without a NUL ends at its slot (${#flood} characters shown)" \
  '[ -n "$flood" ] && [ "$(tr -cd Z <<<"$flood" | wc -c)" -le 1024 ]'
check "the companion saw each key word once" \
  '[ "$(grep -c "^companion: keyword: " <<<"$out")" = 3 ]'
if [ "$failures" -gt 0 ]; then
  echo "$out"
  cat "$work/talk.err"
  exit 1
fi
echo "companion check: passed"
