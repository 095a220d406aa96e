#!/usr/bin/env bash
# LogView_Send and LogView_Wait of the Windows build under Wine, against the companion stand-in
# built for Windows (companion_peer.exe: it answers through the named mapping "LogView_Sync" and
# looks at it only when the broadcast "UNIWM_SENDCMD" reached its window):
#  1. The stand-in starts the program: the command reaches the companion, a key word is answered
#     and Result reads the reply, a key word never answered times out with an empty result, and a
#     reply that fills its slot without a NUL ends at the slot.
#  2. Two instances at once (tests/lab/companion_pair.sh): the named mutex among them keeps their
#     exchanges apart.
# Broadcasts need windows, so a display: the script starts Xvfb through xvfb-run when there is none.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run > /dev/null || { echo "companion check: SKIP: xvfb-run is not installed"; exit 0; }
  exec timeout 240 xvfb-run -a bash "$0" "$@"
fi
exe=$PWD/build/windows/src/kestrune.exe
peer=$PWD/build/windows/companion_peer.exe
wine=/usr/lib/wine/wine64
# A channel of its own: nothing reaches, or comes from, other runs.
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" KESTRUNE_OBJECT_SUFFIX=".wine$$"
# A Wine server left from programs started without a display keeps its desktop without one.
/usr/lib/wine/wineserver -k 2>/dev/null || true
timeout 30 /usr/lib/wine/wineserver -w 2>/dev/null || true
. tests/lab/lab_common.sh
. tests/lab/companion_pair.sh
failures=0
work=$(mktemp -d)
peer_pid=
trap '[ -z "$peer_pid" ] || kill "$peer_pid" 2>/dev/null; rm -rf "$work"' EXIT

printf '%s\n' '[Reply]' 'Serial=SN-0042 & more' '[Never]' 'Silent=1' '[Oversize]' 'Flood=1' | crlf >"$work/peer.ini"
printf '%s\n' 'LogView_Send( Command:"Open Report", DelayRunSec:0 );' \
  'LogView_Wait( Command:"Serial", TimeoutSec:10 );' 'v = Result( KeyWord:"Result", ShowResult:FALSE );' \
  'Print( Output:"got [" + v + "]" );' 'LogView_Wait( Command:"Silent", TimeoutSec:2 );' \
  'LogView_Wait( Command:"Flood", TimeoutSec:10 );' | crlf >"$work/talk.scpt"
rc=0
(cd "$work" && timeout 60 "$wine" "$peer" peer.ini --run "Z:${exe//\//\\}" 'SCRIPT:talk.scpt' /sim '\\.\PHYSICALDRIVE0' \
  >talk.out 2>talk.err) || rc=$?
out=$(lines "$work/talk.out")
[ "$rc" = 0 ] && pass "the run under the stand-in ended by itself with exit code 0" || fail "exit code $rc"
grep -qx "companion: command: Open Report" <<<"$out" && pass "the command reached the companion" ||
  fail "no command reached the companion"
grep -qx "Result : SN-0042 & more" <<<"$out" && grep -qx "got \[SN-0042 & more\]" <<<"$out" &&
  pass "a key word is answered and Result reads the reply" || fail "no answer"
grep -A1 -x "Wait \[Silent\] From LogView 2 sec Timeout" <<<"$out" | grep -qx "Result : " &&
  pass "a key word never answered times out with an empty result" || fail "no timeout"
flood=$(grep '^Result : ZZ' <<<"$out" | head -1 || true)
[ -n "$flood" ] && [ "$(tr -cd Z <<<"$flood" | wc -c)" -le 1024 ] &&
  pass "a reply without a NUL ends at its slot (${#flood} characters shown)" || fail "oversize: '$flood'"
[ "$(grep -c "^companion: keyword: " <<<"$out" || true)" = 3 ] && pass "the companion saw each key word once" ||
  fail "key words: $(grep "^companion: keyword: " <<<"$out" | tr '\n' '|' || true)"
[ "$failures" = 0 ] || { echo "$out"; cat "$work/talk.err"; }

# Two instances at once, against the stand-in started by itself.
printf '%s\n' '[Peer]' 'Log=peer.log' | crlf >"$work/pair.ini"
# A's 120 exchanges take a 250 ms slice each at least: 100 s leave room on a loaded machine.
(cd "$work" && exec timeout 110 "$wine" "$peer" pair.ini peer.ready 2>pair.err) &
peer_pid=$!
for _ in $(seq 200); do [ -e "$work/peer.ready" ] && break; sleep 0.05; done
if [ ! -e "$work/peer.ready" ]; then
  echo "FAIL: the companion stand-in was not ready within 10 s"; cat "$work/pair.err"
  echo "companion check: FAILED"
  exit 1
fi
pair_scripts "$work"
senders=()
for who in A B; do
  [ "$who" = A ] || pair_start_b "$work/peer.log"
  (cd "$work" && { timeout 100 "$wine" "$exe" "SCRIPT:pair$who.scpt" /sim '\\.\PHYSICALDRIVE0' >"pair$who.out" 2>/dev/null
   echo $? >"pair$who.rc"; } || echo $? >"pair$who.rc") &
  senders+=($!)
done
wait "${senders[@]}"
pair_verdict "$work" "$work/peer.log"

if [ "$failures" -gt 0 ]; then
  echo "companion check: FAILED: $failures case(s)"
  exit 1
fi
echo "companion check: passed"
