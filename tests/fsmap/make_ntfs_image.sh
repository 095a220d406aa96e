#!/bin/sh
# Builds a small NTFS image for the NTFS walker's tests, with the files the walk must handle:
#   small.txt            resident data (in the MFT record itself)
#   frag.bin             data in several runs (written into the holes left by deleted neighbours)
#   sparse.bin           a file with a hole between two written ranges
#   d1\d2\...\d8\deep.txt  a file eight folders down (folder indexes in INDX records)
#   links\target.bin     a file with so many names that its record needs an $ATTRIBUTE_LIST
# and beside the image IMAGE.oracle: per file "path|mft id|size|vcn,lcn,clusters;..." as the
# ntfs-3g tools (ntfsinfo, ntfsls) report them, for the walker's results to be compared with.
#
# Usage: make_ntfs_image.sh IMAGE [CLUSTER_BYTES]. Folders and names need a FUSE mount of the image
# (root and /dev/fuse); without it only the root files are made. Exit 77 when the tools are absent.
set -eu
image=$1
cluster=${2:-4096}
for tool in mkntfs ntfscp ntfsinfo ntfsls; do
  if ! command -v $tool >/dev/null 2>&1 && ! [ -x /usr/sbin/$tool ]; then
    echo "skipped: $tool is not installed (Debian package ntfs-3g)"
    exit 77
  fi
done
PATH=$PATH:/usr/sbin
work=$(mktemp -d)
mnt=$work/mnt
mounted=0
cleanup() {
  if [ $mounted = 1 ]; then umount "$mnt" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

rm -f "$image"
truncate -s "${IMAGE_SIZE:-4M}" "$image"
mkntfs -F -Q -q -c "$cluster" -s 512 -L KESTRUNE "$image" >/dev/null 2>&1

# Deterministic contents: byte i of a file is (i * 7 + seed) mod 251, written by a small awk.
fill() {  # fill FILE BYTES SEED
  awk -v n="$2" -v s="$3" 'BEGIN { for (i = 0; i < n; i++) printf "%c", (i * 7 + s) % 251 + 1 }' LC_ALL=C > "$1"
}
printf 'resident bytes of a small file\r\n' > "$work/small.txt"

mkdir -p "$mnt"
if [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] && command -v ntfs-3g >/dev/null 2>&1 &&
   timeout 20 ntfs-3g "$image" "$mnt" 2>/dev/null; then
  mounted=1
  cp "$work/small.txt" "$mnt/small.txt"
  # frag.bin and a neighbour grow in turns, a cluster at a time, so that their runs interleave.
  fill "$work/frag.bin" $((cluster * 9 + 100)) 3
  i=0
  while [ $i -lt 10 ]; do
    dd if="$work/frag.bin" of="$mnt/frag.bin" bs="$cluster" skip=$i seek=$i count=1 conv=notrunc 2>/dev/null
    sync
    fill "$work/n" "$cluster" $i
    dd if="$work/n" of="$mnt/neighbour.bin" bs="$cluster" seek=$i count=1 conv=notrunc 2>/dev/null
    sync
    i=$((i + 1))
  done
  fill "$work/part" $((cluster * 2)) 5
  dd if="$work/part" of="$mnt/sparse.bin" bs="$cluster" seek=0 conv=notrunc 2>/dev/null
  dd if="$work/part" of="$mnt/sparse.bin" bs="$cluster" seek=40 conv=notrunc 2>/dev/null
  mkdir -p "$mnt/d1/d2/d3/d4/d5/d6/d7/d8"
  printf 'eight folders down\r\n' > "$mnt/d1/d2/d3/d4/d5/d6/d7/d8/deep.txt"
  i=0
  while [ $i -lt 40 ]; do mkdir "$mnt/d1/sub$i"; i=$((i + 1)); done
  mkdir "$mnt/links"
  fill "$work/target" $((cluster * 3)) 9
  cp "$work/target" "$mnt/links/target.bin"
  i=0
  while [ $i -lt 24 ]; do
    ln "$mnt/links/target.bin" "$mnt/links/another_name_of_the_same_file_number_$i.bin"
    i=$((i + 1))
  done
  sync
  umount "$mnt"
  mounted=0
  files="small.txt frag.bin sparse.bin d1/d2/d3/d4/d5/d6/d7/d8/deep.txt links/target.bin"
else
  echo "note: no FUSE mount, root files only"
  ntfscp -f "$image" "$work/small.txt" small.txt >/dev/null
  fill "$work/frag.bin" $((cluster * 9 + 100)) 3
  ntfscp -f "$image" "$work/frag.bin" frag.bin >/dev/null
  files="small.txt frag.bin"
fi

# The oracle: mft id, size and data runs of each file, from ntfsinfo's verbose attribute dump.
oracle=$image.oracle
: > "$oracle"
for f in $files; do
  ntfsinfo -v -F "/$f" "$image" 2>/dev/null | awk -v path="$f" '
    /^Dumping Inode/ { id = $3 }
    /^Dumping attribute/ { data = ($3 == "$DATA") }
    data && /Data size:/ && size == "" { size = $3 }
    data && /Resident:/ { }
    data && /^[ \t]+(0x)?[0-9a-fA-F]+[ \t]+(0x)?-?[0-9a-fA-F]+[ \t]+(0x)?[0-9a-fA-F]+[ \t]*$/ { runs = runs $1 "," $2 "," $3 ";" }
    END { printf "%s|%s|%s|%s\n", path, id, size, runs }' >> "$oracle"
done
echo "made $image"
