#!/usr/bin/env bash
# Checks the compare commands on the qemu lab's emulated drives, through the real queue path: on
# /dev/nvme0n1 (512-byte sectors), /dev/nvme0n2 (4096-byte sectors) and the SATA disk, a sequential
# and a random write-read-compare, each with trims, FUA writes and flushes mixed in, end clean; and
# the trim promise the map compare takes from each drive agrees with what nvme-cli (Identify
# Namespace DLFEAT) and smartctl (the TRIM line of its identify summary) say of it.
#
# Usage: tests/lab/check_integrity_qemu.sh
#   KESTRUNE_LAB    the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN    the program to copy into the guest (default build/dev/src/kestrune)
#   KESTRUNE_PROBE  the trim promise probe (default build/dev/tests/trim_promise_probe); without it
#                   the promise is not checked (SKIP)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup
probe=${KESTRUNE_PROBE:-$repo/build/dev/tests/trim_promise_probe}
[ -x "$probe" ] && cp "$probe" "$stage/trim_promise_probe"

# Short runs: the guest is emulated (TCG), so every device gets well under 20 s.
crlf > "$stage/compare.scpt" <<'EOF2'
Compare_SeqReadWrite( LBA:0, RangeLenMB:16, AccessKB:128, QD:4, WritePattern:"AUTO", LimitCycle:1, LimitTimeSec:8, StepRun:0, StepDelay:0, TrimRatio:1000, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
Compare_RandReadWrite( LBA:0, RangeLenMB:16, AccessKB:4, QD:8, WritePattern:"AUTO", LimitTxSizeMB:2, LimitTimeSec:5, StepRun:0, StepDelay:0, TrimRatio:1000, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
EOF2
cat > "$stage/guest.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH HOME=/tmp ASAN_OPTIONS=detect_leaks=0
sata=${LAB_SATA:-/dev/sda}
echo "@@ sata"; echo "$sata"
for dev in /dev/nvme0n1 /dev/nvme0n2 "$sata"; do
  name=$(basename "$dev")
  echo "@@ present-$name"; [ -b "$dev" ] && echo yes || echo no
  [ -b "$dev" ] || continue
  mkdir -p "/tmp/$name"
  echo "@@ compare-$name"; TMPDIR=/tmp/$name kestrune SCRIPT:/lab/bin/compare.scpt "$dev"; echo "rc=$?"
done
for n in 1 2; do
  [ -b /dev/nvme0n$n ] || continue
  echo "@@ id-ns-nvme0n$n"; nvme id-ns -H /dev/nvme0n$n
done
echo "@@ smartctl"; smartctl -i "$sata"
echo "@@ probe"; if [ -x /lab/bin/trim_promise_probe ]; then trim_promise_probe; echo "rc=$?"; else echo "absent"; fi
echo "@@ end"
EOF2

out="$stage/guest.out"
lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest.sh' > "$out"
rc=$?
cat "$out"
lab_finished $rc "$out" ""

sata=$(section sata | head -1)
for dev in /dev/nvme0n1 /dev/nvme0n2 "$sata"; do
  name=$(basename "$dev")
  if [ "$(section "present-$name" | head -1)" != yes ]; then
    echo "SKIP: $dev: the lab guest has no such disk (lab.sh: LAB_NVME2_SIZE=0 leaves out the 4 KiB namespace)"
    continue
  fi
  expect "$dev: kestrune exit code" "$(section "compare-$name" | sed -n 's/^rc=//p' | head -1)" "0"
  clean=$(section "compare-$name" | grep -c "Compare Result : Compare Finish. No error exist. | 0")
  expect "$dev: clean compares (sequential, random)" "$clean" "2"
  if section "compare-$name" | grep -q '\[Error Code\]'; then fail "$dev reported an error"; fi
done

# The promise as the drive states it: DLFEAT bits 2:0 (001b zeros, 010b FFh), and smartctl's TRIM line
# ("zeroed" for IDENTIFY word 69 bits 14 and 5).
promise_of_dlfeat() {
  local v; v=$(num "$1")
  case "$v" in ''|\?*) echo "?$1" ;; *) case $((v & 7)) in 1) echo zeros ;; 2) echo ones ;; *) echo none ;; esac ;; esac
}
probe_says() { section probe | sed -n "s|^$1 trim-promise: \([a-z]*\).*|\1|p" | head -1; }
if [ "$(section probe | head -1)" = absent ]; then
  echo "SKIP: the trim promise: no probe at $probe (build the tests: cmake --build --preset dev)"
else
  for n in 1 2; do
    [ "$(section "present-nvme0n$n" | head -1)" = yes ] || continue
    dlfeat=$(nv "id-ns-nvme0n$n" dlfeat)
    expect "/dev/nvme0n$n trim promise against nvme id-ns DLFEAT $dlfeat" "$(probe_says /dev/nvme0n$n)" \
      "$(promise_of_dlfeat "$dlfeat")"
  done
  trimline=$(section smartctl | grep '^TRIM Command:' | head -1)
  case "$trimline" in
    *zeroed*) want=zeros ;;
    '') want= ;;
    *) want=none ;;
  esac
  if [ -z "$want" ]; then
    fail "$sata: smartctl -i has no TRIM line"
  else
    expect "$sata trim promise against smartctl '$(echo "$trimline" | trim)'" "$(probe_says "$sata")" "$want"
  fi
fi

lab_summary
