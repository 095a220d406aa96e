#!/usr/bin/env bash
# Checks the workloads on QEMU's NVMe model in the qemu lab, through the real queue path: on
# /dev/nvme0n1 (512-byte sectors) and /dev/nvme0n2 (4096-byte sectors) a short Performance_SeqWrite,
# a Performance_RandRead and a FullByPattern, then the guest's own dd reads back sectors:
#   - the sequential write's pattern is at the first and the last sector of its range, and not in the
#     sector after it; the job ran on io_uring (its JSON record says so) and ended normally;
#   - the random read ended normally, on io_uring;
#   - FullByPattern's sectors carry their own LBA as the short mark (bytes 0-7, big-endian) and the
#     pattern after it, at the first and the last sector of its range.
#
# Usage: tests/lab/check_workloads.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

# The write starts at LBA 256, 16 MiB long; the fill at LBA 0xC000 (past the write on both namespaces),
# 1 MiB long.
crlf > "$stage/write.scpt" <<'EOF2'
Performance_SeqWrite( LBA:256, RangeLenMB:16, AccessKB:128, QD:8, WritePattern:0x5AA5C33C, LimitCycle:1, LimitTimeSec:5 );
EOF2
crlf > "$stage/read.scpt" <<'EOF2'
Performance_RandRead( LBA:0, RangeLenMB:16, AccessKB:4, QD:32, LimitTxSizeMB:"CYCLE", LimitTimeSec:5 );
EOF2
crlf > "$stage/fill.scpt" <<'EOF2'
FullByPattern( LBA:0xC000, RangeMB:1, Pattern:0x11223344, MarkSectorHeader:TRUE );
EOF2
cat > "$stage/guest.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH HOME=/tmp ASAN_OPTIONS=detect_leaks=0
# The first 16 bytes of sector $2 of device $1 in hexadecimal, one line.
sector() { dd if="$1" bs="$ss" skip="$2" count=1 2>/dev/null | od -An -tx1 -N16 | tr -s ' \n' ' ' | sed 's/^ //;s/ $//'; echo; }
for n in 1 2; do
  dev=/dev/nvme0n$n
  ss=$(cat /sys/block/nvme0n$n/queue/logical_block_size)
  echo "@@ ss-n$n"; echo "$ss"
  for job in write read fill; do
    mkdir -p /tmp/$job$n
    echo "@@ $job-n$n"; TMPDIR=/tmp/$job$n kestrune SCRIPT:/lab/bin/$job.scpt $dev; echo "rc=$?"
    echo "@@ $job-json-n$n"; cat /tmp/$job$n/KestruneLite/*/R*.json 2>/dev/null
  done
  last=$((256 + 16 * 1048576 / ss - 1))
  echo "@@ dd-n$n"
  echo "write-first=$(sector $dev 256)"
  echo "write-last=$(sector $dev $last)"
  echo "write-after=$(sector $dev $((last + 1)))"
  echo "fill-first=$(sector $dev $((0xC000)))"
  echo "fill-last=$(sector $dev $((0xC000 + 1048576 / ss - 1)))"
done
echo "@@ end"
EOF2

out="$stage/guest.out"
lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest.sh' > "$out"
rc=$?
cat "$out"
lab_finished $rc "$out" ""

# "key=value" of a section.
val() { section "$1" | sed -n "s/^$2=//p" | head -1; }
# A JSON record's string value of a key (the records are pretty-printed, one key per line).
jstr() { section "$1" | sed -n "s/^ *\"$2\": \"\(.*\)\",\{0,1\}$/\1/p" | head -1; }
# The 16 bytes of a short mark: LBA $1 big-endian, then the pattern 11 22 33 44 twice.
mark() { printf '%016x' "$1" | sed 's/../& /g;s/ $//'; printf ' 11 22 33 44 11 22 33 44\n'; }

for n in 1 2; do
  dev=/dev/nvme0n$n
  ss=$(section "ss-n$n" | head -1)
  for job in write read fill; do
    expect "$dev $job: kestrune exit code" "$(val "$job-n$n" rc)" "0"
    if section "$job-n$n" | grep -q '\[Error Code\]'; then fail "$dev $job reported an error"; fi
  done
  for job in write read; do
    expect "$dev $job: queue mechanism" "$(jstr "$job-json-n$n" mechanism)" "io_uring"
    expect "$dev $job: end state" "$(jstr "$job-json-n$n" endState)" "TransferLimit"
  done
  pattern="5a a5 c3 3c 5a a5 c3 3c 5a a5 c3 3c 5a a5 c3 3c"
  expect "$dev SeqWrite pattern at its first sector (LBA 256)" "$(val "dd-n$n" write-first)" "$pattern"
  expect "$dev SeqWrite pattern at its last sector" "$(val "dd-n$n" write-last)" "$pattern"
  if [ "$(val "dd-n$n" write-after)" = "$pattern" ]; then fail "$dev SeqWrite wrote past its range"; else pass "$dev SeqWrite stops at its range's end"; fi
  expect "$dev FullByPattern mark at LBA 0xC000" "$(val "dd-n$n" fill-first)" "$(mark $((0xC000)))"
  expect "$dev FullByPattern mark at its last sector" "$(val "dd-n$n" fill-last)" "$(mark $((0xC000 + 1048576 / ss - 1)))"
done

lab_summary
