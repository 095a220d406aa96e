#!/bin/sh
# GetFileLBA's system extents where the file system gives none: an NTFS image (make_ntfs_image.sh)
# on a loop device, mounted through FUSE (ntfs-3g). FIEMAP answers nothing there, so the walker reads
# the loop device; for every file the disk's bytes at the mapped offsets must be the file's bytes
# (SystemExtents.AFileNamedFromOutside). Needs root, losetup, /dev/fuse and ntfs-3g; exit 77 without.
# Usage: check_fuse_extents.sh KESTRUNE_TESTS_BINARY
set -eu
tests=$1
here=$(dirname "$0")
if [ "$(id -u)" != 0 ] || ! command -v losetup >/dev/null || ! command -v ntfs-3g >/dev/null || ! [ -c /dev/fuse ]; then
  echo "skipped: needs root, losetup, ntfs-3g and /dev/fuse"
  exit 77
fi
work=$(mktemp -d)
node=
mounted=0
cleanup() {
  if [ $mounted = 1 ]; then umount "$work/mnt" || true; fi
  if [ -n "$node" ]; then losetup -d "$node" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
set +e
sh "$here/make_ntfs_image.sh" "$work/ntfs.img"
rc=$?
set -e
[ $rc = 77 ] && exit 77
[ $rc = 0 ] || exit 1
node=$(losetup --find --show "$work/ntfs.img") || { echo "skipped: no loop device"; node=; exit 77; }
# Only the node just attached to this image is touched.
case "$(losetup -n -O BACK-FILE "$node")" in
  *"$work/ntfs.img"*) ;;
  *) echo "refusing $node: not our image"; node=; exit 1 ;;
esac
mkdir "$work/mnt"
if ! timeout 20 ntfs-3g "$node" "$work/mnt"; then
  echo "skipped: ntfs-3g does not mount here"
  exit 77
fi
mounted=1
cut -d'|' -f1 "$work/ntfs.img.oracle" | while read -r f; do
  echo "== $f"
  KESTRUNE_EXTENTS_FILE="$work/mnt/$f" "$tests" --gtest_filter='SystemExtents.AFileNamedFromOutside' --gtest_brief=1
done
