#!/usr/bin/env bash
# Checks the compare commands on real block devices: loop devices with direct I/O over an image, of
# 512- and 4096-byte logical blocks.
#   - Compare_SeqReadWrite and Compare_RandReadWrite with trims, FUA writes and flushes end clean;
#   - after FullByPattern, dd changes one byte of the image at a chosen LBA: Compare_WithPattern names
#     that LBA, classifies the difference as stored (-71), and its first-read dump holds the byte that
#     xxd shows in the image.
# The check attaches its own image (losetup --find --show) and detaches it on exit.
#
# Usage: tests/lab/check_integrity_loop.sh
#   KESTRUNE_BIN  the program (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or it cannot run here (skipped: not root, no loop devices,
# losetup refused),
# 1 when a check failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
if [ "$(id -u)" -ne 0 ] || ! command -v losetup >/dev/null || ! command -v xxd >/dev/null; then
  echo "SKIP: the loop-device compare check needs root, losetup and xxd"
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
  losetup -d "$dev"
  dev=
done

echo
[ "$failures" -eq 0 ] && { echo "ALL CHECKS PASSED"; exit 0; }
echo "$failures CHECK(S) FAILED"
exit 1
