#!/usr/bin/env bash
# Checks the Linux device backend on QEMU's NVMe and SATA device models in the qemu lab:
#   - "kestrune --list" inside the guest lists the NVMe namespaces and the SATA disk with the model
#     and firmware that "nvme id-ctrl" and "smartctl -i" print there, the kinds NVM and ATA, their
#     sizes and port names; "--listslave" lists the same (none holds the system);
#   - lab_probe (the backend alone, built here statically) reads the serial numbers through the ATA
#     and NVMe pass-through primitives, and the error and output registers come back;
#   - an LBA round trip (LBAWrite with and without FUA, LBARead, FlushCache, TRIM) works on the
#     512-byte and 4096-byte NVMe namespaces, the SATA disk and a USB disk; a range error is refused;
#   - with the NVMe controller in a subsystem (a multipath namespace) the list and the admin
#     commands still work.
#
# Usage: tests/lab/check_linux_backend.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

# The backend alone, statically, so that it runs in the guest without libraries.
# The tree opens queues too (io_uring, or the thread-pool stand-in), so their sources come along.
sources=("$repo"/src/platform/sat_cdb.cpp "$repo"/src/platform/async_queue.cpp "$repo"/src/platform/io_buffer.cpp
         "$repo"/src/platform/queue_reaper.cpp)
for f in sys_root block_devices disk_nodes parent_nodes nvme_namespace pci_devices mount_table volumes \
         disk_claims linux_device linux_passthrough linux_device_tree linux_node_control linux_queue \
         queue_target uring_queue pool_queue; do
  sources+=("$repo/src/platform/linux/$f.cpp")
done
if ! build_locked g++ -std=c++20 -O1 -static -I"$repo/src" -o "$stage/lab_probe" \
      "$repo/tests/lab/lab_probe.cpp" "$repo/tests/lab/lab_probe_partitions.cpp" "${sources[@]}" \
      -luring -lblkid -pthread; then
  echo "FAIL: lab_probe does not build"
  exit 1
fi

crlf > "$stage/roundtrip.scpt" <<'EOF'
LBAWrite( LBA:8, SectorCount:2, WritePattern:0x11223344, MarkSectorHeader:TRUE, FUA:TRUE );
LBARead( LBA:8, SectorCount:2 );
LBAWrite( LBA:100, SectorCount:1, WritePattern:0xA5A55A5A, MarkSectorHeader:FALSE );
LBARead( LBA:100, SectorCount:1 );
FlushCache();
TRIM( LBA:8, TRIMSectorCount:2 );
LBARead( LBA:8, SectorCount:1 );
EOF
crlf > "$stage/range.scpt" <<'EOF'
LBARead( LBA:4000000000, SectorCount:1 );
EOF
cat > "$stage/guest.sh" <<'EOF'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
echo "@@ list"; kestrune --list; echo "rc=$?"
echo "@@ listslave"; kestrune --listslave; echo "rc=$?"
echo "@@ nvme-list"; nvme list
echo "@@ id-ctrl"; nvme id-ctrl /dev/nvme0 | grep -E '^(sn|mn|fr) '
echo "@@ smartctl"; smartctl -i "$LAB_SATA"
echo "@@ probe"; lab_probe; echo "rc=$?"
echo "@@ usb $LAB_USB"
for d in /dev/nvme0n1 /dev/nvme0n2 "$LAB_SATA" "$LAB_USB"; do
  echo "@@ roundtrip $d"; kestrune SCRIPT:/lab/bin/roundtrip.scpt "$d"; echo "rc=$?"
done
echo "@@ range $LAB_SATA"; kestrune SCRIPT:/lab/bin/range.scpt "$LAB_SATA"; echo "rc=$?"
echo "@@ end"
EOF
# A second guest whose NVMe controller sits in a subsystem: the namespace is a multipath head.
cat > "$stage/guest_subsys.sh" <<'EOF'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
echo "@@ mpath-list"; kestrune --list; echo "rc=$?"
echo "@@ mpath-probe"; lab_probe | grep '^/dev/nvme0n1'; echo "block: $(ls /sys/block | tr '\n' ' ')"
echo "@@ end"
EOF

out="$stage/guest.out"
lab_run --merge --usb --bin "$stage" -- 'sh /lab/bin/guest.sh' > "$out"
rc=$?
LAB_NVME_SUBSYS=1 lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest_subsys.sh' > "$out.subsys"
rc2=$?
cat "$out" "$out.subsys"
lab_finished $rc "$out" ""
lab_finished $rc2 "$out.subsys" " with an NVMe subsystem"
cat "$out.subsys" >> "$out"

# ---- checks on the guest's output ----
# A DiskList row, the row's leading indent removed: name(38) fw(10) size(8) port(14) kind(9) vid(6) path.
row() { section "$1" | sed 's/^        //' | awk -v p="$2" 'substr($0, 92) == p'; }
col() { # row start width
  printf '%s' "$1" | cut -c"$2-$(($2 + $3 - 1))" | trim
}

nvme_mn=$(section id-ctrl | awk -F' : ' '$1 ~ /^mn/ {print $2}' | trim)
nvme_sn=$(section id-ctrl | awk -F' : ' '$1 ~ /^sn/ {print $2}' | trim)
nvme_fr=$(section id-ctrl | awk -F' : ' '$1 ~ /^fr/ {print $2}' | trim)
sata_model=$(section smartctl | sed -n 's/^Device Model:[[:space:]]*//p' | trim)
sata_serial=$(section smartctl | sed -n 's/^Serial Number:[[:space:]]*//p' | trim)
sata_fw=$(section smartctl | sed -n 's/^Firmware Version:[[:space:]]*//p' | trim)
sata=$(grep -o '^@@ range [^ ]*' "$out" | awk '{print $3}')

for view in list listslave; do
  for ns in /dev/nvme0n1 /dev/nvme0n2; do
    r=$(row "$view" "$ns")
    if [ -z "$r" ]; then fail "$view: no row for $ns"; continue; fi
    expect "$view $ns model" "$(col "$r" 1 38)" "$nvme_mn"
    expect "$view $ns firmware" "$(col "$r" 40 10)" "$nvme_fr"
    expect "$view $ns kind" "$(col "$r" 75 9)" "NVM"
    expect "$view $ns vendor" "$(col "$r" 85 6)" "1B36"
    case "$(col "$r" 60 14)" in PCIE-*) pass "$view $ns port: $(col "$r" 60 14)" ;; *) fail "$view $ns port: '$(col "$r" 60 14)'" ;; esac
  done
  r=$(row "$view" "$sata")
  if [ -z "$r" ]; then fail "$view: no row for $sata"; continue; fi
  expect "$view $sata model" "$(col "$r" 1 38)" "$sata_model"
  expect "$view $sata firmware" "$(col "$r" 40 10)" "$sata_fw"
  expect "$view $sata kind" "$(col "$r" 75 9)" "ATA"
  case "$(col "$r" 60 14)" in SATA[0-9]*) pass "$view $sata port: $(col "$r" 60 14)" ;; *) fail "$view $sata port: '$(col "$r" 60 14)'" ;; esac
done
expect "nvme0n1 size" "$(col "$(row list /dev/nvme0n1)" 51 8)" "1GB"
usb=$(grep -o '^@@ usb [^ ]*' "$out" | awk '{print $3}')
r=$(row list "$usb")
if [ -z "$r" ]; then
  fail "list: no row for the USB disk $usb"
else
  expect "list $usb kind (plain USB mass storage)" "$(col "$r" 75 9)" "FlashDrv"
  case "$(col "$r" 60 14)" in USB-[0-9]*) pass "list $usb port: $(col "$r" 60 14)" ;; *) fail "list $usb port: '$(col "$r" 60 14)'" ;; esac
fi
r=$(row mpath-list /dev/nvme0n1)
if [ -z "$r" ]; then
  fail "multipath: no row for /dev/nvme0n1"
else
  expect "multipath /dev/nvme0n1 model" "$(col "$r" 1 38)" "$nvme_mn"
  expect "multipath /dev/nvme0n1 kind" "$(col "$r" 75 9)" "NVM"
fi
case "$(section mpath-probe)" in
  *"ctrl=/dev/nvme0 "*"nvme-identify-controller: ok status=0x0000"*) pass "multipath: admin commands reach the controller node" ;;
  *) fail "multipath: no controller node or no Identify answer" ;;
esac
expect "sata size" "$(col "$(row list "$sata")" 51 8)" "1GB"

probe() { section probe | sed -n "s|^$1 $2: ||p"; }
expect "probe nvme serial" "$(probe /dev/nvme0n1 nvme-serial)" "$nvme_sn"
expect "probe nvme model" "$(probe /dev/nvme0n1 nvme-model)" "$nvme_mn"
expect "probe nvme firmware" "$(probe /dev/nvme0n1 nvme-firmware)" "$nvme_fr"
expect "probe nvme io read" "$(probe /dev/nvme0n2 nvme-io-read)" "ok status=0x0000"
# QEMU's controller sets Do Not Retry on an invalid opcode, and the status keeps it.
expect "probe nvme unknown opcode" "$(probe /dev/nvme0n1 nvme-unknown-opcode)" "ok status=0x4001"
expect "probe nvme rst route" "$(probe /dev/nvme0n1 nvme-rst-route)" "not-supported"
expect "probe sata serial" "$(probe "$sata" ata-serial)" "$sata_serial"
expect "probe sata model" "$(probe "$sata" ata-model)" "$sata_model"
expect "probe sata firmware" "$(probe "$sata" ata-firmware)" "$sata_fw"
expect "probe sata ATA route (none on Linux)" "$(probe "$sata" ata-route)" "not-supported"
expect "probe sata identify" "$(probe "$sata" ata-identify)" "ok status=0x50 error=0x00"
expect "probe sata smart status" "$(probe "$sata" ata-smart-status)" "ok status=0x50 lbaMid=0x4F lbaHigh=0xC2"
got=$(probe "$sata" ata-read-log-ext)  # QEMU aborts it: ERR in STATUS, ABRT in ERROR
case "$got" in
  "ok status=0x"?[13579BDF]" error=0x04") pass "probe sata read log ext (aborted): $got" ;;
  *) fail "probe sata read log ext (aborted): got '$got', want STATUS with ERR and ERROR 04h" ;;
esac

mark='00 00 00 00 00 00 00 08 11 22 33 44 11 22 33 44'
plain='A5 A5 5A 5A A5 A5 5A 5A A5 A5 5A 5A A5 A5 5A 5A'
zero='00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00'
for d in /dev/nvme0n1 /dev/nvme0n2 "$sata" "$usb"; do
  t=$(section "roundtrip $d")
  reads=$(printf '%s\n' "$t" | grep -A1 'LBARead(' | grep '00000000h:' | sed 's/^ *00000000h: //; s/  ;.*//')
  got=$(printf '%s\n' "$reads" | paste -sd'|')
  if section probe | grep -q "^$d queries: .* trim=0"; then
    # No discard on this device: TRIM is refused with -74 ("IO Control Error") and the run stops.
    expect "round trip $d (read after write, pattern)" "$got" "$mark|$plain"
    expect "round trip $d exit code (TRIM refused: -74)" "$(printf '%s\n' "$t" | sed -n 's/^rc=//p')" "182"
  else
    expect "round trip $d (read after write, pattern, read after trim)" "$got" "$mark|$plain|$zero"
    expect "round trip $d exit code" "$(printf '%s\n' "$t" | sed -n 's/^rc=//p')" "0"
  fi
done
expect "range error exit code (-2)" "$(section "range $sata" | sed -n 's/^rc=//p')" "254"

lab_summary
