#!/usr/bin/env bash
# LogView_Send and LogView_Wait between a real kestrune process and the companion stand-in
# (tests/support/companion_peer) on the user's own blocks "LogView_Sync" and "UNIWM_SENDCMD": an
# answer, a delayed answer, no answer (timeout), a reply that fills its slot without a NUL, a
# cancelled wait (Ctrl-C) and a delayed send that the end of the run waits for; two instances that
# send and wait at once, each getting only its own replies; and the error-stop broadcast between
# two instances.
#
# Usage: tests/lab/check_companion.sh   (KESTRUNE_BIN: the program, default build/dev/src/kestrune;
# KESTRUNE_PEER: the stand-in, default build/dev/companion_peer)
# Exit code 0 when every case passed (or SKIP when a program is missing), 1 otherwise.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
peer=${KESTRUNE_PEER:-$repo/build/dev/companion_peer}
for program in "$bin" "$peer"; do
  if [ ! -x "$program" ]; then
    echo "SKIP: no program at $program (build it, or set KESTRUNE_BIN / KESTRUNE_PEER)"
    exit 0
  fi
done
work=$(mktemp -d)
# Channel and broadcast names of their own: nothing reaches, or comes from, other runs of the user.
export KESTRUNE_OBJECT_SUFFIX=".check$$"
peer_pid=
cleanup() {
  [ -n "$peer_pid" ] && kill -TERM "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# pass, fail and crlf, as the QEMU lab checks have them.
. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
. "$(dirname "${BASH_SOURCE[0]}")/companion_pair.sh"
failures=0
now_ms() { date +%s%3N; }

cat >"$work/peer.ini" <<EOF
[Peer]
Log=$work/peer.log
[Reply]
Serial=SN-0042 & more
[Delay]
Slow=1500
[Never]
Silent=1
[Oversize]
Flood=1
EOF
"$peer" "$work/peer.ini" "$work/peer.ready" &
peer_pid=$!
for _ in $(seq 100); do [ -e "$work/peer.ready" ] && break; sleep 0.05; done
[ -e "$work/peer.ready" ] || { echo "FAIL: the companion stand-in did not start"; exit 1; }

# run NAME: kestrune runs $work/NAME.scpt; output in NAME.out, exit code in NAME.rc.
run() {
  "$bin" "SCRIPT:$work/$1.scpt" /sim '\\.\PHYSICALDRIVE0' >"$work/$1.out" 2>&1
  echo $? >"$work/$1.rc"
}

printf '%s\n' 'LogView_Wait( Command:"Serial", TimeoutSec:5 );' 'v = Result( KeyWord:"Result", ShowResult:FALSE );' \
  'Print( Output:"got [" + v + "]" );' 'LogView_Wait( Command:"Slow", TimeoutSec:0 );' \
  'LogView_Wait( Command:"Silent", TimeoutSec:1 );' 'LogView_Wait( Command:"Flood", TimeoutSec:5 );' \
  'LogView_Send( Command:"Open Report", DelayRunSec:0 );' 'LogView_Send( Command:"Close Report", DelayRunSec:2 );' \
  'Print( Output:"script ends" );' | crlf >"$work/talk.scpt"
began=$(now_ms)
run talk
took=$(($(now_ms) - began))
out=$(lines "$work/talk.out")
grep -qx 'Result : SN-0042 & more' <<<"$out" && grep -qx 'got \[SN-0042 & more\]' <<<"$out" &&
  pass "answer: the reply is shown and Result reads it" || fail "answer: $out"
grep -qx 'Result : reply to Slow' <<<"$out" && pass "a delayed answer without timeout is waited for" ||
  fail "delayed answer: $out"
grep -qx 'Wait \[Silent\] From LogView 1 sec Timeout' <<<"$out" &&
  grep -A1 -x 'Wait \[Silent\] From LogView 1 sec Timeout' <<<"$out" | grep -qx 'Result : ' &&
  pass "timeout: the wait ends with an empty result" || fail "timeout: $out"
flood=$(grep '^Result : ZZ' <<<"$out" | head -1)
[ -n "$flood" ] && [ "$(tr -cd Z <<<"$flood" | wc -c)" -le 1024 ] &&
  pass "a reply without a NUL ends at its slot (${#flood} characters shown)" || fail "oversize: $out"
# The delayed send comes after the script's last line: the end of the run waited for it.
grep -qx 'LogView_Send : Open Report' <<<"$out" && [ "$(tail -1 <<<"$out")" = "LogView_Send : Close Report" ] &&
  [ "$took" -ge 2000 ] && grep -qx 'command: Close Report' "$work/peer.log" && grep -qx 'command: Open Report' "$work/peer.log" &&
  pass "send: both commands reached the companion, the delayed one before the run ended ($took ms)" ||
  fail "send: took $took ms; $(tail -3 <<<"$out" | tr '\n' '|'); peer: $(tr '\n' '|' <"$work/peer.log")"

# Ctrl-C cancels a wait that has no limit.
printf '%s\n' 'LogView_Wait( Command:"Silent", TimeoutSec:0 );' 'Print( Output:"not reached" );' | crlf >"$work/cancel.scpt"
"$bin" "SCRIPT:$work/cancel.scpt" /sim '\\.\PHYSICALDRIVE0' >"$work/cancel.out" 2>&1 &
waiter=$!
for _ in $(seq 100); do grep -q 'From LogView' "$work/cancel.out" 2>/dev/null && break; sleep 0.05; done
kill -INT "$waiter"
wait "$waiter"
rc=$?
out=$(lines "$work/cancel.out")
grep -qx -- '---- Cancel Command ----' <<<"$out" && ! grep -q 'not reached' <<<"$out" && [ "$rc" != 0 ] &&
  pass "cancel: the wait says so and the run ends with exit code $rc" || fail "cancel (exit $rc): $out"

# Two instances at once (companion_pair.sh).
pair_scripts "$work"
: >"$work/peer.log"
run pairA & sender=$!
pair_start_b "$work/peer.log"
run pairB
wait "$sender"
pair_verdict "$work" "$work/peer.log"

# The error-stop broadcast: an error stop without ERRSTOP:1 leaves the other instance running; one
# with ERRSTOP:1 cancels it.
printf '%s\n' 'Delay( sec:20 );' 'Print( Output:"not reached" );' | crlf >"$work/victim.scpt"
printf '%s\n' 'x = missing;' | crlf >"$work/failing.scpt"
"$bin" "SCRIPT:$work/victim.scpt" /sim '\\.\PHYSICALDRIVE0' >"$work/victim.out" 2>&1 &
victim=$!
for _ in $(seq 100); do grep -q 'Delay remain' "$work/victim.out" 2>/dev/null && break; sleep 0.05; done
"$bin" "SCRIPT:$work/failing.scpt" /sim '\\.\PHYSICALDRIVE0' >"$work/quiet.out" 2>&1
sleep 1.5
if kill -0 "$victim" 2>/dev/null; then
  pass "error stop: a run without ERRSTOP:1 broadcasts nothing"
else
  fail "error stop: the victim ended after an error stop without ERRSTOP:1"
fi
stopped_at=$(now_ms)
"$bin" "SCRIPT:$work/failing.scpt" /sim '\\.\PHYSICALDRIVE0' ERRSTOP:1 >"$work/loud.out" 2>&1
wait "$victim"
rc=$?
took=$(($(now_ms) - stopped_at))
out=$(lines "$work/victim.out")
grep -qx -- '---- Broadcast Trigger Cancel Job ----' <<<"$out" && ! grep -q 'not reached' <<<"$out" && [ "$rc" != 0 ] &&
  [ "$took" -le 3000 ] && pass "error stop: ERRSTOP:1 cancelled the other instance in $took ms (exit code $rc)" ||
  fail "error stop (exit $rc, $took ms): $out"

uid=$(id -u)
shm="/dev/shm/kestrune.$uid.LogView_Sync$KESTRUNE_OBJECT_SUFFIX"
st=$(stat -c '%a %u' "$shm" 2>/dev/null)
[ "$st" = "600 $uid" ] && pass "objects: the channel block has mode 0600 and belongs to user $uid" ||
  fail "objects: $shm: '$st'"

if [ "$failures" -gt 0 ]; then
  echo "FAILED: $failures companion check(s)"
  exit 1
fi
echo "ALL COMPANION CHECKS PASSED"
