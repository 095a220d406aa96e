#!/usr/bin/env bash
# Checks the compare commands on real block devices: loop devices with direct I/O over an image, of
# 512- and 4096-byte logical blocks.
#   - Compare_SeqReadWrite and Compare_RandReadWrite with trims, FUA writes and flushes end clean;
#   - after FullByPattern, dd changes one byte of the image at a chosen LBA: Compare_WithPattern names
#     that LBA, classifies the difference as stored (-71), and its first-read dump holds the byte that
#     xxd shows in the image;
#   - between Compare_MapWrite and Compare_MapCompare (a map of FUA writes and flushes over the base
#     pattern), dd changes a byte of the device at a chosen LBA and blkdiscard trims a range: the
#     compare names that LBA with the bytes xxd shows there, and counts exactly the trimmed sectors
#     as "All 0x00" (a loop device reads zeros after a discard);
#   - JEDEC219A_Client replaying a small trace: the sectors written and discarded equal the deltas
#     of /sys/block/loopN/stat (fields 7 and 14, 512-byte units); the device's write, discard and
#     flush request counts are at most the trace's (the block layer may merge, never split here; a
#     flush also counts as an empty write).
# The check attaches its own image (losetup --find --show), runs dd and blkdiscard only on that
# node and detaches it on exit.
#
# Usage: tests/lab/check_integrity_loop.sh
#   KESTRUNE_BIN  the program (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or it cannot run here (skipped: not root, no loop devices,
# losetup refused),
# 1 when a check failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
if [ "$(id -u)" -ne 0 ] || ! command -v losetup >/dev/null || ! command -v xxd >/dev/null ||
  ! command -v blkdiscard >/dev/null; then
  echo "SKIP: the loop-device compare check needs root, losetup, xxd and blkdiscard"
  exit 0
fi
[ -x "$bin" ] || { echo "SKIP: no program at $bin"; exit 0; }
work=$(mktemp -d)
dev=
cleanup() { [ -n "$dev" ] && losetup -d "$dev" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
# pass, fail and crlf, as the QEMU lab checks have them.
. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
failures=0

crlf > "$work/clean.scpt" <<'EOF2'
Compare_SeqReadWrite( LBA:0, RangeLenMB:16, AccessKB:64, QD:4, WritePattern:"AUTO", LimitCycle:1, LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:1000, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
Compare_RandReadWrite( LBA:0, RangeLenMB:16, AccessKB:4, QD:8, WritePattern:"AUTO", LimitTxSizeMB:4, LimitTimeSec:5, StepRun:0, StepDelay:0, TrimRatio:1000, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
FullByPattern( LBA:0x800, RangeSector:256, Pattern:0x12345678, MarkSectorHeader:TRUE );
EOF2
crlf > "$work/after.scpt" <<'EOF2'
Compare_WithPattern( LBA:0x800, RangeSector:256, ComparePattern:0x12345678, MarkSectorHeader:TRUE, AccessKB:64 );
EOF2

# The map: the base pattern over LBA 0x1000 on, 4 MiB, then a map of 16 KiB blocks over it, written
# twice over, half at random, with FUA writes and flushes but no trims (so that every zero sector the
# compare finds is one that blkdiscard trimmed).
crlf > "$work/map_make.scpt" <<'EOF2'
FullByPattern( LBA:0x1000, RangeMB:4, Pattern:0, MarkSectorHeader:TRUE );
Compare_MapMake( RandRatio:50, LBA:0x1000, RangeLenMB:4, AccessKB:16, LimitTxSizeMB:8, TrimRatio:0, FuaRatio:500, FlushRatio:100 );
EOF2
# A client trace inside the first chunk of 40960 sectors, every request on whole 4 KiB: 64 sectors
# written in 4 writes, 2560 trimmed in 2 trims, one flush.
printf '%s\r\n' '$write 0 8' '$write 64 16' '$trims 1024 2048' '$write 4096 8' 'flush' '$trims 8192 512' \
  '$write 20000 32' > "$work/trace.txt"
trace_written=64 trace_writes=4 trace_trimmed=2560 trace_trims=2 trace_flushes=1
crlf > "$work/client.scpt" <<'EOF2'
JEDEC219A_Client( TraceFile:"trace.txt", LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
EOF2

# Field $2 of /sys/block/<node>/stat for device node $1.
stat_field() { awk -v f="$2" '{ print $f }' "/sys/block/$(basename "$1")/stat"; }

# Map write, dd and blkdiscard on the device, map compare in a later run; $1 the sector size.
check_map() {
  local ss=$1 out map lba=$((0x1155)) shown old new trim_at=$((0x1200)) trim_bytes=262144 csv row got
  out=$(TMPDIR=$work timeout 120 "$bin" SCRIPT:"$work/map_make.scpt" "$dev" 2>&1)
  map=$(ls -d "$work"/KestruneLite/\[LBAMap_*\]/LBAMap.map 2>/dev/null | sort | tail -1)
  [ -n "$map" ] || { fail "$ss: no map made"; echo "$out" | tail -20; return; }
  crlf > "$work/map_write.scpt" <<EOF2
Compare_MapWrite( LBAMap:"$map", QD:8, WritePattern:0x3C3CA5A5 );
EOF2
  crlf > "$work/map_compare.scpt" <<EOF2
Compare_MapCompare( LBAMap:"$map", BasePattern:0, WritePattern:0x3C3CA5A5 );
EOF2
  out=$(TMPDIR=$work timeout 120 "$bin" SCRIPT:"$work/map_write.scpt" "$dev" 2>&1)
  [ $? -eq 0 ] && grep -q "Write Uncomplete Counts : 0" <<<"$out" && pass "$ss: the map is written whole" ||
    { fail "$ss: the map write failed"; echo "$out" | tail -20; return; }
  # Byte 28 of sector 0x1155 (inside BYTE 24-31 of the detail table) turned over, on the device.
  old=$(xxd -s $((lba * ss + 28)) -l 1 -p "$dev")
  new=$(printf '%02x' $((0x$old ^ 0xFF)))
  printf "\\x$new" | dd of="$dev" bs=1 seek=$((lba * ss + 28)) conv=notrunc,fsync status=none
  shown=$(xxd -s $((lba * ss + 24)) -l 8 -p "$dev" | tr a-f A-F)
  if ! blkdiscard -o $((trim_at * ss)) -l "$trim_bytes" "$dev" 2>/dev/null; then
    echo "SKIP: $ss: blkdiscard refused on $dev (no discard here)"
    return
  fi
  out=$(TMPDIR=$work timeout 120 "$bin" SCRIPT:"$work/map_compare.scpt" "$dev" 2>&1)
  expect "$ss: sectors the discard zeroed" "$(sed -n 's/.*Miscompare - All 0x00 Sectors *: //p' <<<"$out" | tr -d '\r')" \
    "$((trim_bytes / ss))"
  expect "$ss: miscompared sectors" "$(sed -n 's/.*Miscompare - Miscompare Sectors *: //p' <<<"$out" | tr -d '\r')" "1"
  csv=$(grep -o "[^ ]*\.csv" <<<"$out" | tail -1)
  row=$( [ -n "$csv" ] && grep "$(printf '0x%012X,Read 1' "$lba")" "$csv" | head -1)
  [ -n "$row" ] && pass "$ss: the detail table names LBA $(printf '0x%X' "$lba")" || { fail "$ss: no row for LBA $(printf '0x%X' "$lba")"; echo "$out" | tail -20; }
  got=$(awk -F, '{ gsub(/[ \r]/, "", $NF); print $NF }' <<<"$row")
  expect "$ss: its BYTE 24-31 as xxd shows them" "$got" "$shown"
}

# The client replay against the device's own counts; $1 the sector size.
check_client() {
  local ss=$1 out before=() after=() f
  for f in 5 7 12 14 16; do before[f]=$(stat_field "$dev" "$f"); done
  out=$(TMPDIR=$work timeout 120 "$bin" SCRIPT:"$work/client.scpt" "$dev" 2>&1)
  [ $? -eq 0 ] && pass "$ss: the client replay ends with exit code 0" || { fail "$ss: the client replay failed"; echo "$out" | tail -20; }
  for f in 5 7 12 14 16; do after[f]=$(stat_field "$dev" "$f"); done
  expect "$ss: sectors written (stat field 7)" "$((after[7] - before[7]))" "$trace_written"
  expect "$ss: sectors discarded (stat field 14)" "$((after[14] - before[14]))" "$trace_trimmed"
  local writes=$((after[5] - before[5])) trims=$((after[12] - before[12])) flushes=$((after[16] - before[16]))
  # A flush reaches the device as an empty write with a preflush: it counts among the writes too.
  local most=$((trace_writes + trace_flushes))
  [ "$writes" -ge 1 ] && [ "$writes" -le "$most" ] && pass "$ss: $writes write requests, at most $most (writes and flushes)" || fail "$ss: $writes write requests for $trace_writes writes and $trace_flushes flushes"
  [ "$trims" -ge 1 ] && [ "$trims" -le "$trace_trims" ] && pass "$ss: $trims discard requests, at most $trace_trims" || fail "$ss: $trims discard requests for $trace_trims"
  [ "$flushes" -le "$trace_flushes" ] && pass "$ss: $flushes flush requests, at most $trace_flushes" || fail "$ss: $flushes flush requests for $trace_flushes"
}

for ss in 512 4096; do
  image=$work/disk$ss.img
  truncate -s 64M "$image"
  if ! dev=$(losetup --find --show --direct-io=on --sector-size "$ss" "$image" 2>/dev/null); then
    # No loop device to be had here (a container without them): nothing to check against.
    echo "SKIP: losetup cannot attach a $ss-byte image on this machine"
    dev=
    exit 0
  fi
  out=$(TMPDIR=$work timeout 300 "$bin" SCRIPT:"$work/clean.scpt" "$dev" 2>&1)
  rc=$?
  [ "$rc" -eq 0 ] && pass "$ss: the clean runs end with exit code 0" || fail "$ss: exit code $rc"
  n=$(grep -c "Compare Result : Compare Finish. No error exist. | 0" <<<"$out")
  [ "$n" -eq 2 ] && pass "$ss: both verify jobs compare clean" || { fail "$ss: $n of 2 clean compares"; echo "$out" | tail -20; }
  # One byte of sector 0x880, past its mark, changed in the image itself.
  offset=$((0x880 * ss + 100))
  printf '\xA5' | dd of="$image" bs=1 seek="$offset" conv=notrunc,fsync status=none
  shown=$(xxd -s "$offset" -l 1 -p "$image")
  out=$(TMPDIR=$work timeout 120 "$bin" SCRIPT:"$work/after.scpt" "$dev" 2>&1)
  grep -q "Error LBA    : 0x880 " <<<"$out" && pass "$ss: Compare_WithPattern names LBA 0x880" || { fail "$ss: no Error LBA 0x880"; echo "$out" | tail -20; }
  grep -q "2nd Read is still MisCompare!" <<<"$out" && pass "$ss: the change is in the stored data (-71)" || fail "$ss: not classified -71"
  dump=$(grep -o "[^ ]*_Read1.Hex" <<<"$out" | tail -1)
  got=$( [ -n "$dump" ] && xxd -s 100 -l 1 -p "$dump")
  [ -n "$dump" ] && [ "$got" = "$shown" ] && pass "$ss: the first-read dump holds the byte xxd shows ($shown)" || fail "$ss: dump byte '$got', image byte '$shown'"
  check_map "$ss"
  check_client "$ss"
  losetup -d "$dev"
  dev=
done

echo
[ "$failures" -eq 0 ] && { echo "ALL CHECKS PASSED"; exit 0; }
echo "$failures CHECK(S) FAILED"
exit 1
