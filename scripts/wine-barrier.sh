#!/usr/bin/env bash
# Three instances of the Windows build under Wine meet at three barriers: each writes "B k id" into a
# shared file before barrier k and "A k id r" after it; every "B" line of a barrier must come before
# its first "A" line, every passage must store 1, and instance 3, which arrives at the second
# barrier three seconds late, is waited for. The argument is an empty work folder.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$PWD/build/windows/src/kestrune.exe
wine=/usr/lib/wine/wine64
work=$1
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" KESTRUNE_BARRIER_NAME="wine_barrier_$$"
# The shared file by its Windows name (Wine's Z: drive is the root; Windows takes '/' too).
shared="Z:$work/order.txt"
for id in 1 2 3; do
  {
    # Everyone registers within the first seconds, however slowly Wine starts them.
    printf 'SyncInit( DelayRunSec:12 );\r\n'
    for k in 1 2 3; do
      [ "$id" = 3 ] && [ "$k" = 2 ] && printf 'Delay( sec:3 );\r\n'
      printf 'Report_Print( File:"%s", Output:"B %s %s\\n", Append:TRUE );\r\n' "$shared" "$k" "$id"
      printf 'r = SyncWait( TimeoutSec:60 );\r\n'
      printf 'Report_Print( File:"%s", Output:"A %s %s " + r + "\\n", Append:TRUE );\r\n' "$shared" "$k" "$id"
    done
  } > "$work/p$id.scpt"
done
pids=()
for id in 1 2 3; do
  (cd "$work" && timeout 150 "$wine" "$exe" "SCRIPT:p$id.scpt" /sim '\\.\PHYSICALDRIVE0' > "p$id.out" 2>/dev/null; echo $? > "p$id.rc") &
  pids+=($!)
done
wait "${pids[@]}" || true
fail=
for id in 1 2 3; do
  rc=$(cat "$work/p$id.rc" 2>/dev/null || echo none)
  [ "$rc" = 0 ] || fail="$fail instance $id exit code $rc;"
done
order=$(tr -d '\r' < "$work/order.txt" 2>/dev/null || true)
passed=$(grep -c '^A [0-9] [0-9] 1$' <<<"$order" || true)
[ "$passed" = 9 ] || fail="$fail $passed of 9 passages stored 1;"
bad=$(awk '$1 == "B" { before[$2]++; if (after[$2]) bad = bad " " $2 }
           $1 == "A" { after[$2]++; if (before[$2] < 3) bad = bad " " $2 } END { print bad }' <<<"$order")
[ -z "$bad" ] || fail="$fail passed barrier(s)$bad before all had arrived;"
if [ -z "$fail" ]; then
  echo "wine smoke: three instances met at three barriers in order"
else
  echo "wine smoke: the barrier across three instances failed:$fail"
  echo "$order"
  exit 1
fi
