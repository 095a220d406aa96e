#!/usr/bin/env bash
# Checks the NTFS walk (GetFileLBA with NtfsTrace, GetFileByLBA, GetFileByMftId) against the
# ntfs-3g tools, on volumes that mkfs.ntfs makes in a GPT partition of a loop device over an image of
# this script's own: clusters of 512, 4096 and 65536 bytes on 512-byte sectors, and 4096-byte
# clusters on 4096-byte sectors. Each volume holds, written through the ntfs-3g FUSE mount:
#   - \dir1\frag.bin, fragmented on purpose (the volume filled with pieces, every other one by
#     place on the volume deleted, then the file written into the holes): its data runs are the ones "ntfsinfo -v -F" lists, at least three of them, moved to disk
#     LBAs by the partition's start; the sector at the LBA of a byte holds the bytes "ntfscat" gives;
#   - \dir1\small.txt, small enough to stay in its MFT record: GetFileLBA maps it to that record;
#   - GetFileByLBA on a sector of the fragmented file names the path and inode that
#     "ntfscluster -s" names, on a sector of the MFT says "MFT Node Area";
#   - GetFileByMftId of that inode shows the name and parent that "ntfsinfo -i" shows.
# (tests/fsmap/check_ntfs_oracle.sh holds the walker itself to the same tools on image files; this
# check runs the commands end to end, on a partition of a device, through the program.)
# The check attaches its own image (losetup --find --show), refuses any other node, and unmounts and
# detaches in a trap.
#
# Usage (as root): tests/lab/check_ntfs.sh
#   KESTRUNE_BIN  the program (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or it cannot run here (a SKIP line says why), 1 when a check
# failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root (losetup, mount)"; exit 0; }
[ -x "$bin" ] || { echo "SKIP: no program at $bin (build it, or set KESTRUNE_BIN)"; exit 0; }
for tool in losetup sgdisk partx mkfs.ntfs ntfsinfo ntfscat ntfscluster ntfs-3g findmnt xxd; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"; exit 0; }
done
[ -c /dev/fuse ] || { echo "SKIP: no /dev/fuse here: the volume cannot be mounted through ntfs-3g"; exit 0; }

work=$(mktemp -d)
dev=
devices=()
mnt=$work/mnt
cleanup() {
  local d
  findmnt -rn "$mnt" > /dev/null 2>&1 && umount "$mnt"
  for d in "${devices[@]}"; do losetup -d "$d" 2> /dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
# pass, fail and crlf, as the QEMU lab checks have them.
. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
failures=0
expect() { if [ "$2" = "$3" ]; then pass "$1: $2"; else fail "$1: got '$2', want '$3'"; fi; }

# run SCRIPT-TEXT: kestrune on the check's partition (mounted, so that it is a volume) with the
# script; its output. Its work folder (and so its dumps) goes under $work/t.
run() {
  printf 'ChangeDisk( PhysicalName:"%s" );\n%s\n' "${dev}p1" "$1" | crlf > "$work/s.scpt"
  rm -rf "$work/t" && mkdir -p "$work/t"
  TMPDIR=$work/t timeout 120 "$bin" "SCRIPT:$work/s.scpt" "$dev" 2>&1
}
hex_of() { xxd -p | tr -d '\n'; }
same_bytes() { if [ -n "$3" ] && [ "$2" = "$3" ]; then pass "$1 ($(( ${#3} / 2 )) bytes)"; else fail "$1: got ${2:0:64}..., want ${3:0:64}..."; fi; }
field() { sed -n "s/.*$1\(0x[0-9A-F]*\).*/\1/p" | head -1; }
unmounted() { findmnt -rn "$mnt" > /dev/null 2>&1 && umount "$mnt"; }

check_volume() { # SECTOR CLUSTER
  local ss=$1 cluster=$2 name="sectors $1, clusters $2"
  local img=$work/ntfs$ss-$cluster.img
  truncate -s 40M "$img"
  dev=$(losetup --find --show -P -b "$ss" "$img" 2> /dev/null) || { echo "SKIP: losetup cannot attach an image here"; dev=; exit 0; }
  devices+=("$dev")
  [ "$(losetup -n -O BACK-FILE "$dev" | sed 's/[[:space:]]*$//')" = "$img" ] || { fail "$dev is not over $img"; exit 1; }
  # A small volume: few pieces fill it.
  sgdisk -o -n 1:1MiB:+24MiB -t 1:0700 "$dev" > /dev/null 2>&1 || { fail "$name: sgdisk on $dev"; return; }
  # Some kernels leave the re-read to user space: add the partition of our own device only.
  [ -b "${dev}p1" ] || partx -a "$dev" 2> /dev/null
  for _ in 1 2 3 4 5 6 7 8 9 10; do [ -b "${dev}p1" ] && break; sleep 0.2; done
  [ -b "${dev}p1" ] || { fail "$name: no partition node ${dev}p1"; return; }
  local part=${dev}p1 start512
  start512=$(cat "/sys/class/block/${dev#/dev/}p1/start")
  mkfs.ntfs -Q -q -F -s "$ss" -c "$cluster" "$part" > /dev/null 2>&1 || { fail "$name: mkfs.ntfs"; return; }
  mkdir -p "$mnt" && timeout 30 ntfs-3g "$part" "$mnt" || { echo "SKIP: ntfs-3g cannot mount here"; exit 0; }
  mkdir "$mnt/dir1" "$mnt/fill"
  head -c 300 /dev/urandom > "$mnt/dir1/small.txt"
  # Fill the volume with pieces, then delete every other one in the order of their places on the
  # volume: the free space left is holes of one piece between pieces that stay.
  local piece=$((cluster > 65536 ? cluster : 65536)) k count=0
  while head -c "$piece" /dev/urandom > "$mnt/fill/f$count" 2> /dev/null; do count=$((count + 1)); done
  rm -f "$mnt/fill/f$count"
  unmounted
  for ((k = 0; k < count; k++)); do
    echo "$k $(( $(ntfsinfo -v -F "fill/f$k" "$part" 2> /dev/null | awk '/Runlist:/ { on = 1; next } on && /^\t\t\t0x/ { print $2; exit }') ))"
  done | sort -n -k2 | awk 'NR % 2 == 1 { print $1 }' > "$work/holes"
  timeout 30 ntfs-3g "$part" "$mnt" || { fail "$name: ntfs-3g mounts again"; return; }
  while read -r k; do rm -f "$mnt/fill/f$k"; done < "$work/holes"
  head -c $((5 * piece)) /dev/urandom > "$mnt/dir1/frag.bin"
  unmounted

  # The oracle: runs, inode, a sector's owner, the bytes; read with the volume unmounted.
  local runs inode
  runs=$(ntfsinfo -v -F dir1/frag.bin "$part" 2> /dev/null | awk '/Runlist:/ { on = 1; next } on && /^\t\t\t0x/ { print $1, $2 } /End of inode/ { on = 0 }')
  inode=$(ntfsinfo -F dir1/frag.bin "$part" 2> /dev/null | sed -n 's/^Dumping Inode \([0-9]*\) .*/\1/p' | head -1)
  ntfscat "$part" dir1/frag.bin > "$work/frag.bin" 2> /dev/null
  ntfscat "$part" dir1/small.txt > "$work/small.txt" 2> /dev/null
  [ "$(wc -l <<< "$runs")" -ge 3 ] || fail "$name: the file is not fragmented enough to check (ntfsinfo: $runs)"
  # The runs as LBAs of the disk: partition start + LCN x cluster / sector.
  local want
  want=$(while read -r vcn lcn; do printf '0x%08X\n' $(( (start512 * 512 + lcn * cluster) / ss )); done <<< "$runs")
  local offset=$((2 * piece + 1234))
  local vlba=$(( ($(sed -n '3p' <<< "$runs" | awk '{ print $2 }') * cluster) / ss + 1 ))
  local owner mftLcn
  mftLcn=$(ntfsinfo -f -m "$part" 2> /dev/null | sed -n 's/^[[:space:]]*LCN of Data Attribute for FILE_MFT:[[:space:]]*\([0-9]*\).*/\1/p')
  owner=$(ntfscluster -f -s "$vlba" "$part" 2> /dev/null | sed -n 's/^Inode \([0-9]*\) \(.*\)\/\$DATA$/\1 \2/p')
  local info
  info=$(ntfsinfo -f -i "$inode" "$part" 2> /dev/null)
  local fname parent
  fname=$(sed -n "s/^[[:space:]]*Filename:[[:space:]]*'\(.*\)'/\1/p" <<< "$info" | head -1)
  parent=$(sed -n 's/^[[:space:]]*Parent directory:[[:space:]]*\([0-9]*\) .*/\1/p' <<< "$info" | head -1)
  timeout 30 ntfs-3g "$part" "$mnt" || { fail "$name: ntfs-3g mounts again"; return; }

  # --- GetFileLBA with the walk: the runs, the sector of a byte ---
  local out got lba index dump
  out=$(run "x = GetFileLBA( File:\"\\dir1\\frag.bin\", ByteOffset:$offset, NtfsTrace:TRUE );")
  got=$(awk '/ Area[0-9][0-9] / { gsub(/\|/, ""); print $4 }' <<< "$out")
  expect "$name: the run LBAs are ntfsinfo's" "$(xargs <<< "$got")" "$(xargs <<< "$want")"
  lba=$(field "FileOffset mapping to LBA : " <<< "$out")
  index=$(field "(Byte Index: " <<< "$out")
  if [ -z "$lba" ]; then
    fail "$name: no LBA for byte $offset ($(tail -3 <<< "$out" | xargs))"
  else
    expect "$name: byte $offset's index in its sector" "$((index))" "$((offset % ss))"
    same_bytes "$name: the device's sector at $lba holds ntfscat's bytes" \
      "$(dd if="$dev" iflag=direct bs="$ss" skip="$((lba))" count=1 status=none | hex_of)" \
      "$(dd if="$work/frag.bin" bs="$ss" skip=$((offset / ss)) count=1 status=none | hex_of)"
    dump=$(find "$work/t" -name 'R*.Hex' | head -1)
    same_bytes "$name: the dump holds ntfscat's bytes" "$([ -n "$dump" ] && hex_of < "$dump")" \
      "$(dd if="$work/frag.bin" bs="$ss" skip=$((offset / ss)) count=1 status=none | hex_of)"
  fi

  # --- a resident file: its bytes in its MFT record ---
  out=$(run "x = GetFileLBA( File:\"\\dir1\\small.txt\", ByteOffset:0, NtfsTrace:TRUE );")
  lba=$(field "FileOffset mapping to LBA : " <<< "$out")
  index=$(field "(Byte Index: " <<< "$out")
  if [ -z "$lba" ]; then
    fail "$name: no LBA for the resident file ($(tail -3 <<< "$out" | xargs))"
  else
    local at=$(( $(dd if="$dev" iflag=direct bs="$ss" skip="$((lba))" count=2 status=none | hex_of | grep -bo "$(head -c 16 "$work/small.txt" | hex_of)" | head -1 | cut -d: -f1) / 2 ))
    expect "$name: the resident file's bytes lie at its byte index in the record" "$at" "$((index))"
  fi

  # --- GetFileByLBA: the owner of a sector of the file, and of the MFT ---
  out=$(run "GetFileByLBA( LBA:$(( (start512 * 512) / ss + vlba )) );")
  expect "$name: the owner of VLBA $vlba (ntfscluster -s)" \
    "$(sed -n 's/.*Found LBA:0x[0-9A-F]* in Path: \(.*\)$/\1/p' <<< "$out" | tr '\\' '/' | sed 's/[[:space:]]*$//')" "${owner#* }"
  grep -q "File Area: \$DATA" <<< "$out" && pass "$name: the sector is in the file's \$DATA" || fail "$name: no File Area line"
  out=$(run "GetFileByLBA( LBA:$(( (start512 * 512 + mftLcn * cluster) / ss + 1 )) );")
  grep -q "MFT Node Area" <<< "$out" && pass "$name: a sector of the MFT is the MFT Node Area" || fail "$name: MFT sector: $(tail -3 <<< "$out" | xargs)"

  # --- GetFileByMftId: the inode's name and parent ---
  out=$(run "GetFileByMftId( MftId:$inode );")
  expect "$name: the name and parent of inode $inode (ntfsinfo -i)" \
    "$(sed -n 's/.*FileName:\([^ ,]*\)[[:space:]]*, Parent:\(0x[0-9A-F]*\).*/\1 \2/p' <<< "$out" | tail -1 | while read -r f p; do echo "$f $((p))"; done)" \
    "$fname $parent"
  unmounted
}

check_volume 512 512
check_volume 512 4096
check_volume 512 65536
check_volume 4096 4096

if [ "$failures" = 0 ]; then echo "check_ntfs: all passed"; exit 0; fi
echo "check_ntfs: $failures failed"
exit 1
