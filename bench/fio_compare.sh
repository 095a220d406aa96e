#!/usr/bin/env bash
# Kestrune's throughput engine against fio on the same target (see bench/fio_compare.py for what is
# measured). Default target: a loop device with direct I/O over a fully written 2 GiB file (root).
#   bash bench/fio_compare.sh                         # the loop device; the release build's program
#   bash bench/fio_compare.sh --device /dev/nvme0n1   # a named device, read workloads only
#   bash bench/fio_compare.sh --device /dev/sdb --writes --pairs 10 --seconds 5
set -euo pipefail
cd "$(dirname "$0")/.."
command -v fio >/dev/null || { echo "SKIP: fio is not installed (bash scripts/setup.sh installs it)"; exit 0; }
exec python3 -u bench/fio_compare.py "$@"
