#!/usr/bin/env bash
# Checks the partition commands against the system's own partitioning tools, on loop devices over
# image files that this script makes and attaches itself (512- and 4096-byte sectors):
#   - MBR tables made by sfdisk and GPTs made by sgdisk: PartitionInfo prints the starts, counts,
#     ends, GUIDs and type names that "sfdisk --json" and "sgdisk -i" give;
#   - a byte of the primary GPT header's CRC flipped: sgdisk -v finds the main header damaged and
#     the backup sound, PartitionInfo says the same and lists the partitions from the backup; both
#     headers damaged: PartitionInfo ends with -90;
#   - the tables the simulated lab's partition tool writes pass "sgdisk -v";
#   - Partition_Create and Partition_Delete on "losetup -P" devices: the partitions "sfdisk --json"
#     lists, the file systems and labels blkid reads, the mounts findmnt shows, and after the delete
#     no signature that wipefs finds;
#   - FileSys "EXT4" (where mkfs.ext4 is installed): ext4 partitions of the Linux type, as blkid and
#     PartitionInfo see them, mounted and then cleaned again.
#
# Usage (as root): tests/lab/check_partitions.sh
#   KESTRUNE_BIN  the program (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or it cannot run here (not root, no loop devices, a tool
# missing: a SKIP line says which), 1 when a check failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root (losetup, mount)"; exit 0; }
[ -x "$bin" ] || { echo "SKIP: no program at $bin (build it, or set KESTRUNE_BIN)"; exit 0; }
for tool in losetup sfdisk sgdisk blkid findmnt wipefs jq mkfs.ntfs mkfs.exfat blockdev; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"; exit 0; }
done

work=$(mktemp -d)
devices=()
cleanup() {
  local d m
  for d in "${devices[@]}"; do
    for m in $(findmnt -rn -o TARGET -S "$d" 2> /dev/null; findmnt -rn -o SOURCE,TARGET | awk -v d="$d" 'index($1, d "p") == 1 { print $2 }'); do
      umount "$m" 2> /dev/null
    done
    losetup -d "$d" 2> /dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
# pass, fail and crlf, as the QEMU lab checks have them.
. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
failures=0
expect() { if [ "$2" = "$3" ]; then pass "$1: $2"; else fail "$1: got '$2', want '$3'"; fi; }

# attach IMAGE SECTOR [-P]: attached=a loop device over an image of ours; refuses any device whose
# backing file is not that image.
attach() {
  attached=$(losetup --find --show -b "$2" ${3:-} "$1") || { echo "SKIP: losetup cannot attach an image here"; exit 0; }
  devices+=("$attached")
  [ "$(losetup -n -O BACK-FILE "$attached" | sed 's/[[:space:]]*$//')" = "$1" ] || { fail "$attached is not over $1"; exit 1; }
}
ours() { # DEV: whether DEV is one of the devices this script attached
  local d
  for d in "${devices[@]}"; do [ "$d" = "$1" ] && return 0; done
  echo "refusing $1: not a device of this check" >&2
  exit 1
}
image() { local f="$work/$1.img"; truncate -s "$2" "$f"; echo "$f"; }
# run DEV SCRIPT-TEXT: kestrune on DEV with the script; its output.
run() {
  ours "$1"
  printf '%s\n' "$2" | crlf > "$work/s.scpt"
  "$bin" "SCRIPT:$work/s.scpt" "$1" 2>&1
}
# The values of a PartitionInfo line ("   - LBA Start    : 0x800") in order, as decimal numbers.
values() { awk -v k="$1" 'index($0, k) { sub(/.*: /, ""); print }' | while read -r v; do printf '%d\n' "$v"; done; }
texts() { awk -v k="$1" 'index($0, k) { sub(/.*: /, ""); print }'; }

# The two-partition create formats exFAT where this kernel (or a FUSE helper) mounts it, else NTFS.
if grep -qw exfat /proc/filesystems || command -v mount.exfat-fuse > /dev/null || command -v mount.exfat > /dev/null; then
  fsys=1 fsname=exfat
else
  fsys=0 fsname=ntfs
  echo "NOTE: this system cannot mount exFAT: the two-partition create formats NTFS"
fi

for ss in 512 4096; do
  # --- MBR by sfdisk ---
  img=$(image "mbr$ss" 64M)
  attach "$img" "$ss"
  dev=$attached
  ours "$dev"
  printf 'label: dos\n,16MiB,7\n,,83\n' | sfdisk --quiet "$dev" > /dev/null 2>&1
  out=$(run "$dev" 'PartitionInfo();')
  expect "MBR $ss type" "$(texts 'Partation Type' <<< "$out")" "MBR"
  expect "MBR $ss starts" "$(values 'LBA Start' <<< "$out" | xargs)" "$(sfdisk --json "$dev" | jq -r '.partitiontable.partitions[].start' | xargs)"
  expect "MBR $ss counts" "$(values 'Sector Count' <<< "$out" | xargs)" "$(sfdisk --json "$dev" | jq -r '.partitiontable.partitions[].size' | xargs)"
  expect "MBR $ss first size" "$(values 'Size(MB)' <<< "$out" | head -1)" "16"
  # Compared as numbers: the log prints the signature without leading zeros, sfdisk pads it to eight digits.
  expect "MBR $ss disk id" "$(printf '0x%X' "$(texts 'Disk GUID' <<< "$out")")" "$(printf '0x%X' "$(sfdisk --json "$dev" | jq -r '.partitiontable.id')")"

  # --- GPT by sgdisk ---
  ours "$dev"
  wipefs -a -q "$dev" 2> /dev/null
  sgdisk -o -n 1:0:+8M -t 1:0700 -n 2:0:0 -t 2:8300 "$dev" > /dev/null 2>&1
  out=$(run "$dev" 'PartitionInfo();')
  expect "GPT $ss type" "$(texts 'Partation Type' <<< "$out")" "GPT"
  expect "GPT $ss disk GUID" "$(texts 'Disk GUID' <<< "$out" | tr -d '{}')" \
    "$(sgdisk -p "$dev" 2> /dev/null | awk -F': ' '/Disk identifier \(GUID\)/ { print $2 }')"
  for n in 1 2; do
    info=$(sgdisk -i "$n" "$dev" 2> /dev/null)
    first=$(awk '/First sector:/ { print $3 }' <<< "$info")
    last=$(awk '/Last sector:/ { print $3 }' <<< "$info")
    guid=$(awk -F': ' '/Partition unique GUID:/ { print $2 }' <<< "$info")
    expect "GPT $ss partition $n start" "$(values 'LBA Start' <<< "$out" | sed -n "${n}p")" "$first"
    expect "GPT $ss partition $n end" "$(values 'LBA End' <<< "$out" | sed -n "${n}p")" "$last"
    expect "GPT $ss partition $n GUID" "$(texts '- GUID' <<< "$out" | sed -n "${n}p" | tr -d '{}')" "$guid"
    expect "GPT $ss partition $n size" "$(values 'Size(MB)' <<< "$out" | sed -n "${n}p")" \
      "$(( (last - first + 1) * ss / 1048576 ))"
  done
  expect "GPT $ss type names" "$(texts 'Partition Name' <<< "$out" | xargs -d '\n' | sed 's/ \{2,\}/ /g')" \
    "Basic Data Partition Linux File System Data"

  # --- the primary header's CRC damaged ---
  ours "$dev"
  dd if="$dev" of="$work/h.bin" bs="$ss" skip=1 count=1 status=none
  # The CRC's first byte, inverted: a fixed value would leave the header sound whenever the CRC
  # already held it (the GUIDs, and so the CRC, differ on every run).
  python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[16] ^= 0xFF; open(sys.argv[1], "wb").write(b)' "$work/h.bin"
  dd if="$work/h.bin" of="$dev" bs="$ss" seek=1 count=1 conv=notrunc oflag=direct status=none
  blockdev --flushbufs "$dev"
  verify=$(sgdisk -v "$dev" 2>&1)
  if grep -qi "main GPT header" <<< "$verify" && grep -qi "backup" <<< "$verify"; then
    pass "GPT $ss damaged CRC: sgdisk -v finds the main header damaged"
  else
    fail "GPT $ss damaged CRC: sgdisk -v says: $verify"
  fi
  out=$(run "$dev" 'PartitionInfo();')
  if grep -q "primary GPT header is damaged (header CRC)" <<< "$out"; then
    pass "GPT $ss damaged CRC: PartitionInfo uses the backup"
  else
    fail "GPT $ss damaged CRC: PartitionInfo says: $out"
  fi
  expect "GPT $ss backup starts" "$(values 'LBA Start' <<< "$out" | xargs)" \
    "$(sfdisk --json "$dev" 2> /dev/null | jq -r '.partitiontable.partitions[].start' | xargs)"
  # ... and the backup's MyLBA too: nothing to trust.
  sectors=$(( $(blockdev --getsize64 "$dev") / ss ))
  dd if="$dev" of="$work/b.bin" bs="$ss" skip=$((sectors - 1)) count=1 status=none
  printf '\x01' | dd of="$work/b.bin" bs=1 seek=24 conv=notrunc status=none
  dd if="$work/b.bin" of="$dev" bs="$ss" seek=$((sectors - 1)) count=1 conv=notrunc oflag=direct status=none
  out=$(run "$dev" 'PartitionInfo();')
  if grep -q "0xFFFFFFA6" <<< "$out"; then pass "GPT $ss both headers damaged: -90"; else fail "GPT $ss both damaged: $out"; fi

  # --- the lab's tables pass sgdisk -v ---
  printf '[Disk]\nAttachment = nvme-inbox\nCapacity = 64MiB\nSectorSize = %s\n' "$ss" > "$work/lab.ini"
  rm -rf "$work/lab"
  printf '%s\n' 'Partition_Create( ConfirmMsg:FALSE, PartType:2, FileSys:1, SizeMB:8, PartLabel:"A|B" );' | crlf > "$work/s.scpt"
  "$bin" "SCRIPT:$work/s.scpt" "/sim=$work/lab.ini" "SIMDIR:$work/lab" '\\.\PHYSICALDRIVE0' > "$work/lab.out" 2>&1
  labimg=$(ls "$work"/lab/SimDisk*.img 2> /dev/null | head -1)
  if [ -z "$labimg" ]; then
    fail "lab $ss: no lab image ($(cat "$work/lab.out"))"
  else
    attach "$labimg" "$ss"
    labdev=$attached
    verify=$(sgdisk -v "$labdev" 2>&1)
    if grep -q "No problems found" <<< "$verify"; then pass "lab $ss GPT passes sgdisk -v"; else fail "lab $ss GPT: $verify"; fi
    expect "lab $ss partitions" "$(sfdisk --json "$labdev" | jq -r '.partitiontable.partitions | length')" "3"
  fi

  # --- Partition_Create and Partition_Delete on a partitioned loop device ---
  img=$(image "tool$ss" 96M)
  attach "$img" "$ss" -P
  dev=$attached
  name=${dev#/dev/}
  out=$(run "$dev" 'Partition_Create( ConfirmMsg:FALSE, PartType:2, FileSys:'"$fsys"', SizeMB:16, PartLabel:"KA|KB" );')
  if ! grep -q "Change to Disk: /dev/${name}p1" <<< "$out"; then
    fail "create $ss: $out"
  else
    pass "create $ss: the current disk is /dev/${name}p1"
  fi
  json=$(sfdisk --json "$dev")
  expect "create $ss table" "$(jq -r '.partitiontable.label' <<< "$json")" "gpt"
  expect "create $ss first size" "$(jq -r '.partitiontable.partitions[0].size' <<< "$json")" "$((16 * 1048576 / ss))"
  expect "create $ss partitions" "$(jq -r '.partitiontable.partitions | length' <<< "$json")" "2"
  expect "create $ss file systems" "$(blkid -s TYPE -o value "${dev}p1") $(blkid -s TYPE -o value "${dev}p2")" "$fsname $fsname"
  expect "create $ss labels" "$(blkid -s LABEL -o value "${dev}p1") $(blkid -s LABEL -o value "${dev}p2")" "KA KB"
  expect "create $ss mounts" "$(findmnt -rn -o TARGET -S "${dev}p1") $(findmnt -rn -o TARGET -S "${dev}p2")" \
    "/mnt/kestrune/${name}p1 /mnt/kestrune/${name}p2"
  out=$(run "$dev" 'ChangeDisk( PhysicalName:"/dev/'"${name}"'p1" );
Partition_Delete( ConfirmMsg:FALSE );')
  if grep -q "Change to Disk: $dev" <<< "$out"; then pass "delete $ss: back to $dev"; else fail "delete $ss: $out"; fi
  expect "delete $ss mounts" "$(findmnt -rn -o TARGET | grep -c "/mnt/kestrune/${name}p")" "0"
  expect "delete $ss signatures" "$(wipefs -n -O TYPE "$dev" | tail -n +2 | xargs)" ""
  out=$(run "$dev" 'Partition_Create( ConfirmMsg:FALSE, PartType:1, FileSys:0, PartLabel:"NTFS_ONE" );')
  expect "create $ss NTFS on MBR" "$(blkid -s TYPE -o value "${dev}p1")/$(blkid -s LABEL -o value "${dev}p1")/$(sfdisk --json "$dev" | jq -r '.partitiontable.label')" \
    "ntfs/NTFS_ONE/dos"
  run "$dev" 'ChangeDisk( PhysicalName:"/dev/'"${name}"'p1" );
Partition_Delete( ConfirmMsg:FALSE );' > /dev/null
  expect "delete $ss NTFS" "$(wipefs -n -O TYPE "$dev" | tail -n +2 | xargs)" ""

  # --- FileSys "EXT4", the Linux-only form: two ext4 partitions on a GPT of Linux type ---
  if ! command -v mkfs.ext4 > /dev/null; then
    echo "NOTE: no mkfs.ext4: FileSys \"EXT4\" is not checked"
    continue
  fi
  out=$(run "$dev" 'Partition_Create( ConfirmMsg:FALSE, PartType:2, FileSys:"EXT4", SizeMB:16, PartLabel:"KE1|KE2" );')
  json=$(sfdisk --json "$dev")
  expect "create $ss EXT4 current disk" "$(grep -c "Change to Disk: /dev/${name}p1" <<< "$out")" "1"
  expect "create $ss EXT4 partition types" "$(jq -r '.partitiontable.partitions[].type' <<< "$json" | xargs)" \
    "0FC63DAF-8483-4772-8E79-3D69D8477DE4 0FC63DAF-8483-4772-8E79-3D69D8477DE4"
  expect "create $ss EXT4 file systems" "$(blkid -s TYPE -o value "${dev}p1") $(blkid -s TYPE -o value "${dev}p2")" "ext4 ext4"
  expect "create $ss EXT4 labels" "$(blkid -s LABEL -o value "${dev}p1") $(blkid -s LABEL -o value "${dev}p2")" "KE1 KE2"
  expect "create $ss EXT4 mounts" "$(findmnt -rn -o TARGET -S "${dev}p1") $(findmnt -rn -o TARGET -S "${dev}p2")" \
    "/mnt/kestrune/${name}p1 /mnt/kestrune/${name}p2"
  out=$(run "$dev" 'ChangeDisk( PhysicalName:"/dev/'"${name}"'p2" );
PartitionInfo();
Partition_Delete( ConfirmMsg:FALSE );')
  expect "EXT4 $ss PartitionInfo file systems" "$(texts '- File System' <<< "$out" | xargs)" "ext4 ext4"
  expect "delete $ss EXT4 mounts" "$(findmnt -rn -o TARGET | grep -c "/mnt/kestrune/${name}p")" "0"
  expect "delete $ss EXT4 signatures" "$(wipefs -n -O TYPE "$dev" | tail -n +2 | xargs)" ""
done

if [ "$failures" = 0 ]; then echo "check_partitions: all passed"; exit 0; fi
echo "check_partitions: $failures failed"
exit 1
