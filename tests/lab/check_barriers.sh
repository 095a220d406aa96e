#!/usr/bin/env bash
# The barrier across real kestrune processes (SyncInit / SyncWait on the simulated lab), without
# root and without the qemu lab: several instances meet at barriers, one arrives late, a stopped
# waiter is carried across a release, a killed participant frees the others, a timeout leaves no
# arrival behind, a cancelled waiter ends, a participant that ends without SyncWait lets the others
# go, and the shared block is the user's own. Each case has a barrier name of its own
# (KESTRUNE_BARRIER_NAME), so the cases run side by side. As root it also checks that a block
# planted under the name by another user is refused.
#
# Usage: tests/lab/check_barriers.sh   (KESTRUNE_BIN: the program, default build/dev/src/kestrune)
# Exit code 0 when every case passed (or SKIP when there is no program), 1 otherwise.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
if [ ! -x "$bin" ]; then
  echo "SKIP: no program at $bin (build it, or set KESTRUNE_BIN)"
  exit 0
fi
work=$(mktemp -d)
uid=$(id -u)
prefix="check_barriers_$$"
# No error-stop broadcast of other runs reaches these instances.
export KESTRUNE_OBJECT_SUFFIX=".check$$"
# Whatever way the check ends, every case is stopped, and each case kills its instances (a
# stopped one is resumed first) and the subshells that run them.
cases=()
cleanup() {
  for pid in "${cases[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -f /dev/shm/kestrune."$uid"."$prefix"_* 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# pass, fail and crlf, as the QEMU lab checks have them.
. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
failures=0
now_ms() { date +%s%3N; }

# start CASE NAME: runs kestrune on $work/CASE/NAME.scpt in the background with the case's barrier
# name; its output goes to NAME.out, its exit code to NAME.rc. The pid is in $started.
start() {
  local dir="$work/$1"
  (
    export KESTRUNE_BARRIER_NAME="${prefix}_$1"
    "$bin" "SCRIPT:$dir/$2.scpt" /sim '\\.\PHYSICALDRIVE0' >"$dir/$2.out" 2>&1
    echo $? >"$dir/$2.rc"
  ) 2>/dev/null &  # the subshell's own "Killed" notice for the instance a case kills on purpose
  started=$!
  children+=("$started")
}
# The pid of the kestrune process below the subshell start made.
program_pid() {
  local pid
  for _ in $(seq 100); do
    pid=$(pgrep -P "$1" -x kestrune | head -1)
    [ -n "$pid" ] && { echo "$pid"; return; }
    sleep 0.02
  done
}
# Waits until file $1 exists (at most $2 seconds); false when it did not come.
wait_for() {
  local until=$(($(now_ms) + $2 * 1000))
  while [ ! -e "$1" ]; do
    [ "$(now_ms)" -ge "$until" ] && return 1
    sleep 0.05
  done
}
# Waits until file $1 holds the text $2 (at most $3 seconds).
wait_text() {
  local until=$(($(now_ms) + $3 * 1000))
  until grep -q -- "$2" "$1" 2>/dev/null; do
    [ "$(now_ms)" -ge "$until" ] && return 1
    sleep 0.05
  done
}
script() { mkdir -p "$work/$1"; crlf >"$work/$1/$2.scpt"; }
count() { grep -c -- "$2" "$1" 2>/dev/null || true; }

# ---- four instances, ten barriers, one of them late ----
# Each writes "B k id" before barrier k and "A k id r" after it into one shared file; at every
# barrier all four "B" lines must come before the first "A" line.
case_rounds() {
  local log="$work/rounds/order.txt"
  for id in 1 2 3 4; do
    {
      # Everyone registers within the first second; instance 4 arrives two seconds after the rest.
      if [ "$id" = 4 ]; then echo 'SyncInit( DelayRunSec:3 );'; else echo 'SyncInit( DelayRunSec:1 );'; fi
      for k in $(seq 10); do
        echo "Report_Print( File:\"$log\", Output:\"B $k $id\\n\", Append:TRUE );"
        echo 'r = SyncWait( TimeoutSec:30 );'
        echo "Report_Print( File:\"$log\", Output:\"A $k $id \" + r + \"\\n\", Append:TRUE );"
      done
    } | script rounds "p$id"
  done
  local began=$(now_ms)
  for id in 1 2 3 4; do start rounds "p$id"; done
  for id in 1 2 3 4; do wait_for "$work/rounds/p$id.rc" 40 || fail "rounds: instance $id did not end"; done
  local took=$(($(now_ms) - began))
  local ok=1
  for id in 1 2 3 4; do
    [ "$(cat "$work/rounds/p$id.rc" 2>/dev/null)" = 0 ] || { ok=0; fail "rounds: instance $id exit code $(cat "$work/rounds/p$id.rc" 2>/dev/null)"; }
  done
  local passed
  passed=$(tr -d '\r' <"$log" | grep -c '^A [0-9]* [0-9] 1$')
  [ "$passed" = 40 ] || { ok=0; fail "rounds: $passed of 40 passages stored 1"; }
  local order
  order=$(tr -d '\r' <"$log" | awk '
    $1 == "B" { before[$2]++; if (after[$2]) bad = bad " " $2 }
    $1 == "A" { after[$2]++; if (before[$2] < 4) bad = bad " " $2 }
    END { print bad }')
  [ -z "$order" ] || { ok=0; fail "rounds: an instance passed barrier(s)$order before all had arrived"; }
  [ "$took" -ge 2800 ] || { ok=0; fail "rounds: ended after $took ms, before the late instance (3 s) arrived"; }
  [ "$ok" = 1 ] && pass "rounds: 4 instances x 10 barriers in order, the late one awaited ($took ms)"
}

# ---- a stopped waiter across a release, then SIGKILL: the dead one frees the others ----
case_kill() {
  local d="$work/kill"
  printf '%s\n' 'SyncInit( DelayRunSec:1 );' 'r = SyncWait( TimeoutSec:30 );' 'Print( Output:"passed " + r );' \
    'r = SyncWait( TimeoutSec:30 );' 'Print( Output:"second " + r );' | script kill waiter1
  cp "$d/waiter1.scpt" "$d/waiter2.scpt"
  printf '%s\n' 'SyncInit( DelayRunSec:3 );' 'r = SyncWait( TimeoutSec:30 );' 'Print( Output:"passed " + r );' \
    'Delay( sec:60 );' | script kill sleeper
  start kill waiter1; local w1=$started
  start kill waiter2
  start kill sleeper; local s=$started
  local w1pid spid
  w1pid=$(program_pid "$w1")
  spid=$(program_pid "$s")
  wait_text "$d/waiter1.out" "Wait 3 Threads" 10 || fail "kill: waiter 1 never waited"
  wait_text "$d/waiter2.out" "Wait 3 Threads" 10 || fail "kill: waiter 2 never waited"
  kill -STOP "$w1pid"
  # The sleeper arrives and the first barrier is released while waiter 1 is stopped.
  wait_text "$d/sleeper.out" "passed 1" 10 || fail "kill: the first barrier was not released"
  kill -CONT "$w1pid"
  wait_text "$d/waiter1.out" "passed 1" 5 && pass "kill: a waiter stopped across the release passes when resumed" ||
    fail "kill: the stopped waiter missed the release"
  # Both waiters now wait at the second barrier for the sleeper, which is killed.
  wait_text "$d/waiter2.out" "passed 1" 5
  sleep 0.5
  [ -e "$d/waiter1.rc" ] && fail "kill: a waiter passed the second barrier before the sleeper arrived"
  local killed=$(now_ms)
  kill -KILL "$spid"
  wait_for "$d/waiter1.rc" 10
  wait_for "$d/waiter2.rc" 10
  local took=$(($(now_ms) - killed))
  if [ "$(count "$d/waiter1.out" "second 1")" = 1 ] && [ "$(count "$d/waiter2.out" "second 1")" = 1 ] &&
    [ "$took" -le 5000 ]; then
    pass "kill: SIGKILL of the participant they waited for freed both waiters in $took ms"
  else
    fail "kill: after the SIGKILL the waiters took $took ms: $(tr -d '\r' <"$d/waiter1.out" | tail -2 | tr '\n' '|')"
  fi
}

# ---- a timeout takes its arrival back: the next barrier still waits for everyone ----
case_timeout() {
  local d="$work/timeout"
  local log="$d/order.txt"
  # early times out at 2 s (late is registered but arrives at 3 s) and arrives again at 5 s; late
  # must wait for that second arrival.
  printf '%s\n' 'SyncInit( DelayRunSec:1 );' 'r = SyncWait( TimeoutSec:1 );' 'Print( Output:"first " + r );' 'Delay( sec:3 );' \
    "Report_Print( File:\"$log\", Output:\"early arrives\\n\", Append:TRUE );" \
    'r = SyncWait( TimeoutSec:30 );' 'Print( Output:"second " + r );' | script timeout early
  printf '%s\n' 'SyncInit( DelayRunSec:3 );' 'r = SyncWait( TimeoutSec:30 );' \
    "Report_Print( File:\"$log\", Output:\"late passes\\n\", Append:TRUE );" 'Print( Output:"late " + r );' |
    script timeout late
  start timeout early
  start timeout late
  wait_for "$d/early.rc" 20
  wait_for "$d/late.rc" 20
  local order
  order=$(tr -d '\r' <"$log" 2>/dev/null | tr '\n' '|')
  if [ "$(count "$d/early.out" "Wait Synchronize Timeout")" = 1 ] && [ "$(count "$d/early.out" "first 0")" = 1 ] &&
    [ "$(count "$d/early.out" "second 1")" = 1 ] && [ "$(count "$d/late.out" "late 1")" = 1 ] &&
    [ "$order" = "early arrives|late passes|" ]; then
    pass "timeout: stored 0, and the next barrier waited for the instance that had timed out"
  else
    fail "timeout: order '$order'; early: $(tr -d '\r' <"$d/early.out" | tr '\n' '|')"
  fi
}

# ---- a cancelled waiter ends; a participant that ends without SyncWait lets the others go ----
case_cancel_and_leave() {
  local d="$work/leave"
  printf '%s\n' 'SyncInit( DelayRunSec:1 );' 'r = SyncWait( TimeoutSec:0 );' 'Print( Output:"waited " + r );' | script leave waiter
  cp "$d/waiter.scpt" "$d/cancelled.scpt"
  printf '%s\n' 'SyncInit();' 'Delay( sec:3 );' 'Print( Output:"leaving" );' | script leave leaver
  start leave waiter
  start leave cancelled; local c=$started
  start leave leaver
  local cpid
  cpid=$(program_pid "$c")
  wait_text "$d/cancelled.out" "Wait 3 Threads" 10
  # The block is the user's own while they wait.
  local shm="/dev/shm/kestrune.$uid.${prefix}_leave"
  local st
  st=$(stat -c '%a %u' "$shm" 2>/dev/null)
  [ "$st" = "600 $uid" ] && pass "objects: $shm has mode 0600 and belongs to user $uid" ||
    fail "objects: $shm: '$st', want '600 $uid'"
  local cancelled_at=$(now_ms)
  kill -INT "$cpid"
  wait_for "$d/cancelled.rc" 5
  local took=$(($(now_ms) - cancelled_at))
  if [ -e "$d/cancelled.rc" ] && [ "$(cat "$d/cancelled.rc")" != 0 ] && [ "$(count "$d/cancelled.out" "waited 1")" = 0 ]; then
    pass "cancel: the cancelled waiter ended in $took ms with exit code $(cat "$d/cancelled.rc")"
  else
    fail "cancel: $(tr -d '\r' <"$d/cancelled.out" 2>/dev/null | tail -3 | tr '\n' '|')"
  fi
  wait_for "$d/waiter.rc" 10
  if [ "$(count "$d/waiter.out" "waited 1")" = 1 ] && [ "$(count "$d/leaver.out" "leaving")" = 1 ]; then
    pass "leave: the run that ended without SyncWait let the waiter go"
  else
    fail "leave: waiter: $(tr -d '\r' <"$d/waiter.out" | tail -3 | tr '\n' '|')"
  fi
}

# ---- as root: a block planted under the name by another user is refused ----
case_squatted() {
  if [ "$uid" != 0 ]; then
    echo "SKIP: squatted block (needs root to plant a block of another user)"
    return
  fi
  local d="$work/squat"
  local shm="/dev/shm/kestrune.$uid.${prefix}_squat"
  mkdir -p "$d"
  head -c 3200 /dev/zero >"$shm" && chmod 600 "$shm" && chown 65534:65534 "$shm"
  printf '%s\n' 'SyncInit();' 'Print( Output:"joined" );' | script squat p
  start squat p
  wait_for "$d/p.rc" 10
  if [ "$(count "$d/p.out" "refused the barrier block $shm: it belongs to user 65534")" = 1 ] &&
    [ "$(count "$d/p.out" "joined")" = 0 ] && [ "$(stat -c %s "$shm")" = 3200 ] &&
    ! grep -q . <(tr -d '\0' <"$shm"); then
    pass "squat: a block of user 65534 under our name is refused and left as it was"
  else
    fail "squat: $(tr -d '\r' <"$d/p.out" | tr '\n' '|')"
  fi
  # A process of that other user cannot open our blocks.
  if command -v setpriv >/dev/null; then
    head -c 3200 /dev/zero >"$shm.own" && chmod 600 "$shm.own"
    if setpriv --reuid=65534 --regid=65534 --clear-groups cat "$shm.own" >/dev/null 2>&1; then
      fail "squat: user 65534 could read a block of ours"
    else
      pass "squat: user 65534 cannot open a block of ours"
    fi
    rm -f "$shm.own"
  fi
  rm -f "$shm"
}

# Runs case $1 in the background with its output in $work/$1.log; the case's own children are
# killed when it ends, however it ends.
run_case() {
  (
    children=()
    trap cleanup_case EXIT
    trap 'exit 1' INT TERM
    "case_$1"
  ) >"$work/$1.log" 2>&1 &
  cases+=($!)
}
cleanup_case() {
  local pid program
  for pid in "${children[@]}"; do
    for program in $(pgrep -P "$pid"); do
      kill -CONT "$program" 2>/dev/null
      kill -KILL "$program" 2>/dev/null
    done
    kill -KILL "$pid" 2>/dev/null
  done
}
began=$(now_ms)
for name in rounds kill timeout cancel_and_leave squatted; do run_case "$name"; done
wait
cat "$work"/rounds.log "$work"/kill.log "$work"/timeout.log "$work"/cancel_and_leave.log "$work"/squatted.log
failures=$(cat "$work"/*.log | grep -c '^FAIL')
echo "barrier checks: $(($(now_ms) - began)) ms"
if [ "$failures" -gt 0 ]; then
  echo "FAILED: $failures barrier check(s)"
  exit 1
fi
echo "ALL BARRIER CHECKS PASSED"
