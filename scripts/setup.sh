#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root). Quick when all is present.
set -euo pipefail
# libcairo2-dev draws the charts on Linux; fonts-dejavu-core gives them their monospace font;
# nlohmann-json3-dev (header-only) writes the performance jobs' JSON records, also in the Windows build;
# fio is the reference of bench/fio_compare.sh; xxd shows image bytes in tests/lab/check_integrity_loop.sh;
# libfdisk-dev and libblkid-dev write and read partition tables and volumes; fdisk, gdisk, ntfs-3g and
# exfatprogs make and check the images of the partition and NTFS mapping tests (exfat-fuse mounts exFAT
# where the kernel cannot); chromium reads the HTML log back;
# libhidapi-dev speaks to the USB relay boards of the power hub commands; xvfb gives the Windows build
# under Wine a display for its windows (scripts/wine-smoke.sh); libcurl4-openssl-dev is the FTP client of
# the LAN file server, python3-pyftpdlib the FTP server of tests/lab/check_trace_fetch.sh; acpica-tools
# (iasl) disassembles the qemu lab guest's DSDT for tests/lab/check_power.sh; xdotool finds the main
# window of tests/win32/window_check.sh on the display, imagemagick looks at its screenshot and
# x11-utils (xprop) reads the window's icon; python3-crcmod is the CRC reference of
# tests/devcmd/check_oracles.sh; socat is the LAN power-cycle listener of LanPowerSocat and pciutils
# (lspci) the reference of the PCI lines in tests/lab/check_power.sh; btrfs-progs and dmsetup give
# tests/lab/check_fiemap.sh a btrfs volume and a device-mapper device, where extents are no disk offsets;
# e2fsprogs makes the ext4 disk that keeps tests/lab/check_power.sh's save across a reset.
packages=(cmake ninja-build g++ python3 pkg-config zlib1g-dev liburing-dev libgtest-dev libgmock-dev libbenchmark-dev
          libcairo2-dev fonts-dejavu-core nlohmann-json3-dev fio xxd g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
          wine64 libfdisk-dev libblkid-dev fdisk gdisk ntfs-3g exfatprogs exfat-fuse chromium libhidapi-dev xvfb xauth
          libcurl4-openssl-dev python3-pyftpdlib acpica-tools xdotool imagemagick x11-utils python3-crcmod socat
          pciutils btrfs-progs dmsetup e2fsprogs)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
