#!/usr/bin/env bash
# Checks the file-to-LBA mapping and the file commands on a real ext4 volume: a GPT partition on a
# loop device over an image of this script's own (512- and 4096-byte logical blocks).
#   - a file fragmented on purpose (the volume filled with small files, every other one deleted):
#     GetFileLBA's extents are the ones "filefrag -v" lists, moved to disk LBAs by the partition's
#     start; the LBA it gives for a byte holds that byte (the sector read back from the device equals
#     the file's bytes there, and so does the dump it saves);
#   - File_Write, then File_Copy: cmp finds the copy equal;
#   - a byte of the written file changed on the device under the file system (dd at the LBA that
#     GetFileLBA names): File_CompareWithPattern reads the drive, not the page cache, and ends with
#     -71; File_Compare names the unit that holds the byte that cmp finds different;
#   - (where dmsetup is installed) ext4 on a device-mapper device over the loop device: GetFileLBA
#     ends with -79, since the offsets FIEMAP gives are the mapped device's, not the disk's;
#   - (where mkfs.btrfs is installed and the kernel has btrfs) a file on btrfs: -79 likewise.
# The check attaches its own image (losetup --find --show), refuses any other node, and unmounts and
# detaches in a trap (the device-mapper device too).
#
# Usage (as root): tests/lab/check_fiemap.sh
#   KESTRUNE_BIN  the program (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or it cannot run here (a SKIP line says why), 1 when a check
# failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root (losetup, mount)"; exit 0; }
[ -x "$bin" ] || { echo "SKIP: no program at $bin (build it, or set KESTRUNE_BIN)"; exit 0; }
for tool in losetup sgdisk partx mkfs.ext4 filefrag cmp mount findmnt; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"; exit 0; }
done
grep -qw ext4 /proc/filesystems || { echo "SKIP: this kernel does not mount ext4"; exit 0; }

work=$(mktemp -d)
dev=
dm=
mnt=$work/mnt
cleanup() {
  findmnt -rn "$mnt" > /dev/null 2>&1 && umount "$mnt"
  [ -n "$dm" ] && dmsetup remove "$dm" 2> /dev/null
  [ -n "$dev" ] && losetup -d "$dev" 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# pass, fail and crlf, as the QEMU lab checks have them.
. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
failures=0
expect() { if [ "$2" = "$3" ]; then pass "$1: $2"; else fail "$1: got '$2', want '$3'"; fi; }
# same_bytes NAME GOT WANT (hex): GOT begins with WANT (a file's last sector is short: the rest of
# the disk's sector is not the file's).
same_bytes() {
  if [ -n "$3" ] && [ "${2:0:${#3}}" = "$3" ]; then pass "$1 ($(( ${#3} / 2 )) bytes)"; else fail "$1: got ${2:0:64}..., want ${3:0:64}..."; fi
}

# run SCRIPT-TEXT: kestrune on the check's device with the script; its output. Its work folder (and
# so its dumps) goes under $work/t.
run() {
  printf '%s\n' "$1" | crlf > "$work/s.scpt"
  rm -rf "$work/t" && mkdir -p "$work/t"
  TMPDIR=$work/t timeout 120 "$bin" "SCRIPT:$work/s.scpt" "$dev" 2>&1
}
# The sector size-long bytes of FILE at byte OFFSET's sector, read past the page cache, as hex.
file_sector() { dd if="$1" iflag=direct,skip_bytes bs="$ss" skip=$(($2 / ss * ss)) count=1 status=none | xxd -p | tr -d '\n'; }
disk_sector() { dd if="$dev" iflag=direct bs="$ss" skip="$1" count=1 status=none | xxd -p | tr -d '\n'; }

for ss in 512 4096; do
  img=$work/disk$ss.img
  rm -f "$img" && truncate -s 96M "$img"
  dev=$(losetup --find --show -P -b "$ss" "$img" 2> /dev/null) || { echo "SKIP: losetup cannot attach an image here"; dev=; exit 0; }
  [ "$(losetup -n -O BACK-FILE "$dev" | sed 's/[[:space:]]*$//')" = "$img" ] || { fail "$dev is not over $img"; exit 1; }
  sgdisk -o -n 1:1MiB:+80MiB -t 1:8300 "$dev" > /dev/null 2>&1 || { fail "$ss: sgdisk on $dev"; continue; }
  # Some kernels leave the re-read to user space: add the partition of our own device only.
  [ -b "${dev}p1" ] || partx -a "$dev" 2> /dev/null
  for _ in 1 2 3 4 5 6 7 8 9 10; do [ -b "${dev}p1" ] && break; sleep 0.2; done
  [ -b "${dev}p1" ] || { fail "$ss: no partition node ${dev}p1"; losetup -d "$dev"; dev=; continue; }
  start512=$(cat "/sys/class/block/${dev#/dev/}p1/start")
  mkfs.ext4 -q -F -b 4096 "${dev}p1" > /dev/null 2>&1 || { fail "$ss: mkfs.ext4"; continue; }
  mkdir -p "$mnt" && mount "${dev}p1" "$mnt" || { fail "$ss: mount"; continue; }

  # --- a fragmented file: its extents and the sector of a byte ---
  i=0
  while head -c 65536 /dev/zero > "$mnt/fill$i" 2> /dev/null; do i=$((i + 1)); done
  sync
  for ((j = 0; j < i; j += 2)); do rm -f "$mnt/fill$j"; done
  sync
  head -c 1500000 /dev/urandom > "$mnt/frag" 2> /dev/null
  sync
  frag=$(filefrag -v "$mnt/frag")
  block=$(sed -n 's/.*blocks of \([0-9]*\) bytes.*/\1/p' <<< "$frag")
  # filefrag's extents as "file offset, LBA, length" in bytes and sectors, the last cut to the size.
  want=$(awk -v b="$block" -v s="$start512" -v ss="$ss" -v size=1500000 '
    $1 ~ /^[0-9]+:$/ {
      split($2, l, "[.:]"); split($4, p, "[.:]"); len = $6 + 0
      off = l[1] * b; if (off + len * b > size) n = size - off; else n = len * b
      printf "0x%08X 0x%08X %d\n", off, (s * 512 + p[1] * b) / ss, n
    }' <<< "$frag")
  if [ "$(wc -l <<< "$want")" -lt 3 ]; then
    fail "$ss: the file is not fragmented enough to check (filefrag: $(tail -1 <<< "$frag"))"
  fi
  # Bytes at the start, inside the second extent, and the last one.
  second=$(( $(sed -n '2p' <<< "$want" | awk '{ print $1 }') + 1234 ))
  for offset in 0 "$second" 1499999; do
    out=$(run "GetFileLBA( File:\"$mnt/frag\", ByteOffset:$offset );")
    got=$(awk '/ Area[0-9][0-9] / { gsub(/\|/, ""); printf "%s %s %s\n", $3, $4, $5 }' <<< "$out")
    if [ "$offset" = 0 ]; then
      if [ "$got" = "$want" ]; then pass "$ss: the $(wc -l <<< "$want") extents are the ones filefrag -v lists"; else fail "$ss extents: got $(xargs <<< "$got"), want $(xargs <<< "$want")"; fi
    fi
    lba=$(sed -n 's/.*FileOffset mapping to LBA : \(0x[0-9A-F]*\).*/\1/p' <<< "$out")
    index=$(sed -n 's/.*(Byte Index: \(0x[0-9A-F]*\) ).*/\1/p' <<< "$out")
    if [ -z "$lba" ]; then
      fail "$ss byte $offset: no LBA ($(tail -3 <<< "$out"))"
      continue
    fi
    expect "$ss byte $offset index in its sector" "$((index))" "$((offset % ss))"
    same_bytes "$ss byte $offset: the device's sector at $lba holds the file's bytes" \
      "$(disk_sector "$((lba))")" "$(file_sector "$mnt/frag" "$offset")"
    dump=$(find "$work/t" -name 'R*.Hex' | head -1)
    same_bytes "$ss byte $offset: the dump holds the file's bytes" \
      "$( [ -n "$dump" ] && xxd -p "$dump" | tr -d '\n')" "$(file_sector "$mnt/frag" "$offset")"
  done
  rm -f "$mnt"/fill* "$mnt/frag"

  # --- File_Write, File_Copy, then a byte changed under the file system ---
  w=$mnt/w.bin c=$mnt/c.bin
  out=$(run "J0 = File_Write( File:\"$w\", DataLenMB:4, WritePattern:0x55AA33CC, WaitFinish:TRUE );
File_Copy( FromFile:\"$w\", ToFile:\"$c\" );
x = GetFileLBA( File:\"$w\", ByteOffset:1048676 );")
  if cmp -s "$w" "$c"; then pass "$ss: File_Copy's copy equals the file (cmp)"; else fail "$ss: cmp: $(cmp "$w" "$c" 2>&1)"; fi
  lba=$(sed -n 's/.*FileOffset mapping to LBA : \(0x[0-9A-F]*\).*/\1/p' <<< "$out")
  index=$(sed -n 's/.*(Byte Index: \(0x[0-9A-F]*\) ).*/\1/p' <<< "$out")
  [ -n "$lba" ] || { fail "$ss: no LBA for the written file ($(tail -3 <<< "$out"))"; umount "$mnt"; losetup -d "$dev"; dev=; continue; }
  # Read, change one byte, write back: the device takes only whole sectors past its cache.
  dd if="$dev" of="$work/sec.bin" iflag=direct bs="$ss" skip="$((lba))" count=1 status=none
  printf '\xA5' | dd of="$work/sec.bin" bs=1 seek="$((index))" conv=notrunc status=none
  dd if="$work/sec.bin" of="$dev" oflag=direct bs="$ss" seek="$((lba))" count=1 conv=notrunc status=none
  out=$(run "File_CompareWithPattern( File:\"$w\", Pattern:0x55AA33CC, CheckHead:TRUE, OffsetByte:0 );")
  if grep -q "0xFFFFFFB9" <<< "$out"; then
    pass "$ss: File_CompareWithPattern reads the changed byte from the drive: -71"
  else
    fail "$ss: File_CompareWithPattern: $(grep -E 'Compare Result|Error' <<< "$out" | xargs)"
  fi
  # cmp reads the file past the page cache too (the cached pages still hold the old byte).
  differs=$(cmp <(dd if="$w" iflag=direct bs=1M status=none) "$c" 2>&1 | sed -n 's/.*differ: byte \([0-9]*\),.*/\1/p')
  expect "$ss: cmp finds the changed byte" "$differs" "1048677"
  out=$(run "File_Compare( FromFile:\"$w\", ToFile:\"$c\" );")
  at=$(sed -n 's/.*Miscompare Offset: \(0x[0-9A-F]*\).*/\1/p' <<< "$out" | head -1)
  unit=$(find "$work/t" -name '*_Src.hex' | head -1)
  if [ -n "$at" ] && [ -n "$unit" ] && [ "$((at))" -le $((differs - 1)) ] && [ $((differs - 1)) -lt $((at + $(stat -c %s "$unit"))) ]; then
    pass "$ss: File_Compare's unit at $at holds cmp's byte $((differs - 1))"
  else
    fail "$ss: File_Compare: $(grep -E 'Miscompare|Error' <<< "$out" | xargs)"
  fi
  umount "$mnt"
  losetup -d "$dev"
  dev=
done

# attach_image FILE SIZE: a fresh image of SIZE attached as $dev (exit 0 with SKIP when losetup cannot).
attach_image() {
  truncate -s "$2" "$1"
  dev=$(losetup --find --show "$1" 2> /dev/null) || { echo "SKIP: losetup cannot attach an image here"; dev=; exit 0; }
  [ "$(losetup -n -O BACK-FILE "$dev" | sed 's/[[:space:]]*$//')" = "$1" ] || { fail "$dev is not over $1"; exit 1; }
}
# expect_no_offsets WHAT: a file on the volume mounted at $mnt has no disk offsets: GetFileLBA -79.
expect_no_offsets() {
  head -c 100000 /dev/urandom > "$mnt/f.bin" && sync
  out=$(run "GetFileLBA( File:\"$mnt/f.bin\", ByteOffset:0 );")
  if grep -q "0xFFFFFFB1" <<< "$out"; then pass "$1: GetFileLBA ends with -79"; else fail "$1: $(tail -4 <<< "$out" | xargs)"; fi
  umount "$mnt"
}

# --- ext4 on a device-mapper device: no disk offsets to give ---
if command -v dmsetup > /dev/null; then
  attach_image "$work/dm.img" 64M
  name=kestrune_fiemap_$$
  if dmsetup create "$name" --table "0 $(( 64 * 2048 )) linear $dev 0" 2> /dev/null; then
    dm=$name
    udevadm settle 2> /dev/null
    for _ in 1 2 3 4 5 6 7 8 9 10; do [ -b "/dev/mapper/$dm" ] && break; sleep 0.2; done
    if mkfs.ext4 -q -F "/dev/mapper/$dm" > /dev/null 2>&1 && mount "/dev/mapper/$dm" "$mnt"; then
      expect_no_offsets device-mapper
    else
      fail "device-mapper: mkfs.ext4 or mount on /dev/mapper/$dm"
    fi
    dmsetup remove "$dm" && dm=
  else
    echo "NOTE: dmsetup cannot create a device here: the device-mapper case is not checked"
  fi
  losetup -d "$dev"
  dev=
else
  echo "NOTE: no dmsetup: the device-mapper case is not checked"
fi

# --- btrfs: a file's extents are the file system's own addresses, not disk offsets ---
if command -v mkfs.btrfs > /dev/null && grep -qw btrfs /proc/filesystems; then
  attach_image "$work/btrfs.img" 128M
  if mkfs.btrfs -q -f "$dev" > /dev/null 2>&1 && mount -t btrfs "$dev" "$mnt"; then
    expect_no_offsets btrfs
  else
    fail "btrfs: mkfs.btrfs or mount on $dev"
  fi
  losetup -d "$dev"
  dev=
else
  echo "NOTE: no mkfs.btrfs or no btrfs in this kernel: the btrfs case is not checked"
fi

if [ "$failures" = 0 ]; then echo "check_fiemap: all passed"; exit 0; fi
echo "check_fiemap: $failures failed"
exit 1
