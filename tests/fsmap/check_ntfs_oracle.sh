#!/bin/sh
# Makes fresh NTFS images with make_ntfs_image.sh (clusters of 4096, 512 and 65536 bytes) and runs
# the walker's oracle tests (NtfsImage.*) on each: what the walker finds must be what the ntfs-3g
# tools report for the same image. Exit 77 (skipped) when the tools are absent.
# Usage: check_ntfs_oracle.sh KESTRUNE_TESTS_BINARY
set -eu
tests=$1
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
for cluster in 4096 512 65536; do
  image=$work/ntfs_$cluster.img
  size=4M
  [ "$cluster" = 65536 ] && size=16M
  set +e
  IMAGE_SIZE=$size sh "$here/make_ntfs_image.sh" "$image" "$cluster"
  rc=$?
  set -e
  [ $rc = 77 ] && exit 77
  [ $rc = 0 ] || { echo "make_ntfs_image.sh failed ($rc) for clusters of $cluster"; exit 1; }
  KESTRUNE_NTFS_IMAGE=$image "$tests" --gtest_filter='NtfsImage.*' --gtest_brief=1
done
