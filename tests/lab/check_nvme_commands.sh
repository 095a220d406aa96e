#!/usr/bin/env bash
# Checks the NVMe commands against QEMU's NVMe controller model in the qemu lab: inside the guest,
# kestrune runs a script on /dev/nvme0n1 and the guest's nvme-cli reads the same controller, then
#   - Identify prints the model number, serial number and firmware revision of "nvme id-ctrl" and
#     the namespace size (NSZE) of "nvme id-ns", and so does Identify_Namespace;
#   - SMART prints the temperature, data units read and written (after some reads and writes by dd)
#     and power cycles of "nvme smart-log" (the smart-log is read before and after kestrune's run,
#     and the data units must lie between);
#   - GetFeature of FID 0x06 (volatile write cache) and 0x04 (temperature threshold) gives the
#     values of "nvme get-feature";
#   - GetLogPage_FirmwareSlotInfo gives the active slot and slot 1's revision of "nvme fw-log" and
#     the slot count and read-only bit of id-ctrl's FRMW.
# Where the guest has no nvme-cli, smartctl's NVMe output stands in for what it carries (model,
# serial, firmware, temperature, data units, power cycles); the other checks are skipped with a note.
#
# Usage: tests/lab/check_nvme_commands.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
#   KESTRUNE_LAB_SMARTCTL_ONLY=1  leave nvme-cli unused in the guest (exercises the smartctl fallback)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

crlf > "$stage/nvme.scpt" <<'EOF2'
// The commands compared with nvme-cli, run on the lab's first NVMe namespace.
Identify();
Identify_Namespace( StartByte:0, EndByte:7 );
SMART();
GetFeature( FeatureId:0x06 );
GetFeature( FeatureId:0x04 );
GetLogPage_FirmwareSlotInfo();
EOF2
cat > "$stage/guest.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
if [ "${SMARTCTL_ONLY:-0}" != 1 ] && command -v nvme >/dev/null 2>&1; then has_nvme=1; else has_nvme=0; fi
echo "@@ tools"; echo "nvme-cli=$has_nvme"; command -v smartctl >/dev/null 2>&1 && echo "smartctl=1"
# Some traffic first, so that the data unit counters are not just 0 or 1 (a unit is 1000 sectors).
echo "@@ traffic"
dd if=/dev/urandom of=/dev/nvme0n2 bs=1M count=3 oflag=direct 2>&1
dd if=/dev/nvme0n1 of=/dev/null bs=1M count=5 iflag=direct 2>&1
if [ $has_nvme = 1 ]; then echo "@@ smart-before"; nvme smart-log /dev/nvme0; fi
echo "@@ kestrune"; kestrune SCRIPT:/lab/bin/nvme.scpt /dev/nvme0n1; echo "rc=$?"
if [ $has_nvme = 1 ]; then
  echo "@@ smart-after"; nvme smart-log /dev/nvme0
  echo "@@ id-ctrl"; nvme id-ctrl /dev/nvme0
  echo "@@ id-ns"; nvme id-ns /dev/nvme0n1
  echo "@@ feature-06"; nvme get-feature /dev/nvme0 -f 0x06
  echo "@@ feature-04"; nvme get-feature /dev/nvme0 -f 0x04
  echo "@@ fw-log"; nvme fw-log /dev/nvme0
fi
echo "@@ smartctl"; smartctl -a /dev/nvme0
echo "@@ end"
EOF2

out="$stage/guest.out"
lab_run --merge --bin "$stage" -- "SMARTCTL_ONLY=${KESTRUNE_LAB_SMARTCTL_ONLY:-0} sh /lab/bin/guest.sh" > "$out"
rc=$?
cat "$out"
if [ $rc -ne 0 ] || ! grep -q '^@@ end' "$out"; then
  echo "FAIL: the guest did not finish (lab exit code $rc)"
  exit 2
fi

# ---- kestrune's lines ----
# The DEC column of a SMART row, by its description.
smart_row() {
  section kestrune | awk -F'|' -v k="$1" '{ d = $1; sub(/^[^:]*: */, "", d); sub(/ +$/, "", d) }
    d == k { v = $3; gsub(/ /, "", v); print v; exit }'
}
# The "Feature Value" of the GetFeature call whose echo line names the FID as written ("0x6").
feature_value() {
  section kestrune | awk -v c="GetFeature(FeatureId:$1);" 'index($0, c) { on = 1; next }
    on && /Feature Value/ { sub(/^[^:]*: */, ""); print; exit }' | trim
}
# The value column of an Identify_Namespace byte row, by its abbreviation.
ns_row() { section kestrune | awk -F'|' -v k="($1)" 'index($1, k) { v = $NF; gsub(/ /, "", v); print v; exit }'; }

# ---- the guest tools' lines ----
# "Key:   value" of smartctl's output.
sc() { section smartctl | sed -n "s/^$1:[[:space:]]*//p" | head -n1 | trim; }
first_number() { awk '{ v = $1; gsub(/,/, "", v); print v }'; }
expect_between() { # what got low high
  if [ -n "$2" ] && [ -n "$3" ] && [ "$2" -ge "$3" ] 2>/dev/null && [ "$2" -le "$4" ]; then
    pass "$1: $2 (nvme-cli before/after: $3/$4)"
  else
    fail "$1: got '$2', want between '$3' and '$4'"
  fi
}

expect "kestrune exit code" "$(section kestrune | sed -n 's/^rc=//p')" "0"

model=$(kline "Model Number (MN)")
serial=$(kline "Serial Number (SN)")
firmware=$(kline "Firmware Version (FWver)")
temperature=$(smart_row "Composite Temperature")
read_units=$(smart_row "Data Units Read")
written_units=$(smart_row "Data Units Written")
cycles=$(smart_row "Power Cycles")

if grep -qx 'nvme-cli=1' "$out"; then
  expect "Identify model number vs id-ctrl mn" "$model" "$(nv id-ctrl mn)"
  expect "Identify serial number vs id-ctrl sn" "$serial" "$(nv id-ctrl sn)"
  expect "Identify firmware revision vs id-ctrl fr" "$firmware" "$(nv id-ctrl fr)"
  expect "Identify namespaces vs id-ctrl nn" "$(kline "Number of Namespaces (NN)")" "$(nv id-ctrl nn)"
  nsze=$(nv id-ns nsze)
  expect "Identify Max LBA (NSZE) vs id-ns nsze" "$(num "$(kline "Max LBA")")" "$(num "$nsze")"
  expect "Identify_Namespace NSZE vs id-ns nsze" "$(num "$(ns_row NSZE)")" "$(num "$nsze")"
  lbads=$(section id-ns | sed -n 's/^lbaf *[0-9]* *:.*lbads:\([0-9]*\).*(in use).*/\1/p')
  expect "Identify LBA Sector Size vs id-ns in-use lbads" "$(kline "LBA Sector Size")" "$((1 << ${lbads:-0}))"

  kelvin=$(nv smart-after temperature | sed -n 's/.*(\([0-9]*\) Kelvin).*/\1/p')
  expect "SMART Composite Temperature (K) vs smart-log temperature" "$temperature" "$kelvin"
  expect_between "SMART Data Units Read vs smart-log" "$read_units" \
    "$(nv smart-before "Data Units Read" | first_number)" "$(nv smart-after "Data Units Read" | first_number)"
  expect_between "SMART Data Units Written vs smart-log" "$written_units" \
    "$(nv smart-before "Data Units Written" | first_number)" "$(nv smart-after "Data Units Written" | first_number)"
  expect "SMART Power Cycles vs smart-log power_cycles" "$cycles" "$(nv smart-after power_cycles | first_number)"

  for fid in 06 04; do
    cli=$(section "feature-$fid" | sed -n 's/.*Current value:[[:space:]]*\(0x[0-9a-fA-F]*\).*/\1/p')
    expect "GetFeature FID 0x$fid vs get-feature" "$(num "$(feature_value "0x${fid#0}")")" "$(num "$cli")"
  done

  afi=$(nv fw-log afi)
  frmw=$(nv id-ctrl frmw)
  expect "GetLogPage_FirmwareSlotInfo Active Slot vs fw-log afi" "$(kline "Active Slot")" "$(( ${afi:-0} & 7 ))"
  expect "GetLogPage_FirmwareSlotInfo Pending Activate Slot vs fw-log afi" \
    "$(kline "Pending Activate Slot")" "$(( (${afi:-0} >> 4) & 7 ))"
  expect "GetLogPage_FirmwareSlotInfo Slot1 Firmware vs fw-log frs1" \
    "$(kline "Slot1 Firmware")" "$(revision_text "$(nv fw-log frs1 | awk '{print $1}')")"
  expect "GetLogPage_FirmwareSlotInfo Firmware Slot Count vs id-ctrl frmw" \
    "$(kline "Firmware Slot Count")" "$(( (${frmw:-0} >> 1) & 7 ))"
  expect "GetLogPage_FirmwareSlotInfo Slot 1 ReadOnly vs id-ctrl frmw" "$(kline "Slot 1 ReadOnly")" "$(( ${frmw:-0} & 1 ))"
  expect "GetLogPage_FirmwareSlotInfo MDTS vs id-ctrl mdts" "$(kline "Maximum Data Transfer Size (MDTS)" | cut -d' ' -f1)" \
    "$(nv id-ctrl mdts)"
elif grep -qx 'smartctl=1' "$out"; then
  echo "NOTE: the guest has no nvme-cli; comparing with smartctl, which carries no namespace size, features or firmware slot log"
  expect "Identify model number vs smartctl" "$model" "$(sc "Model Number")"
  expect "Identify serial number vs smartctl" "$serial" "$(sc "Serial Number")"
  expect "Identify firmware revision vs smartctl" "$firmware" "$(sc "Firmware Version")"
  celsius=$(sc "Temperature" | first_number)
  expect "SMART Composite Temperature (K) vs smartctl (Celsius + 273)" "$temperature" "$(( ${celsius:-0} + 273 ))"
  # smartctl ran after kestrune; nothing reads the drive in between.
  expect "SMART Data Units Read vs smartctl" "$read_units" "$(sc "Data Units Read" | first_number)"
  expect "SMART Data Units Written vs smartctl" "$written_units" "$(sc "Data Units Written" | first_number)"
  expect "SMART Power Cycles vs smartctl" "$cycles" "$(sc "Power Cycles" | first_number)"
  echo "SKIP: GetFeature 0x06/0x04, GetLogPage_FirmwareSlotInfo and the namespace size (need nvme-cli)"
else
  fail "the guest has neither nvme-cli nor smartctl: nothing to compare with"
fi

lab_summary
