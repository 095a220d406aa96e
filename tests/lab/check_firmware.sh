#!/usr/bin/env bash
# Checks the firmware commands against QEMU's NVMe and AHCI disk models in the qemu lab. QEMU 7.2's
# NVMe model has neither Firmware Image Download nor Firmware Commit, so a download, commit and
# activation are checked on the simulated lab only (tests/devcmd/firmware_*_test.cpp and the
# golden scripts); here, in one boot with QEMU's trace of the NVMe admin commands:
#   - GetLogPage_FirmwareSlotInfo prints the FRMW slot count and read-only bit, FWUG and MDTS of
#     "nvme id-ctrl", and the active slot and slot 1's revision of "nvme fw-log", before and after
#     the update attempts;
#   - UpdateFWex( Slot:1 ) is refused before anything is sent (QEMU's one slot is read-only);
#   - UpdateFWex( Slot:0 ) with a lab image gets Invalid Opcode: "FW Download Error", no commit;
#   - FWActive gets the status "nvme fw-commit" gets;
#   - the trace shows the three tries of the one download piece, the two commits (FWActive's and
#     nvme-cli's) and no vendor-specific admin opcode (C0h-FFh) on this foreign drive while kestrune
#     lists the disks and runs GetSocID and VSC_CleanSMART (when the build has it);
#   - the SATA disk aborts DOWNLOAD MICROCODE: UpdateFW gets -5 and "smartctl -i" shows the same
#     firmware afterwards.
#
# Usage: tests/lab/check_firmware.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

python3 "$repo/tools/make_lab_firmware.py" "$stage/lab.fw" KSTNQEMU --size 8192 >/dev/null || exit 2
{
  echo '// The firmware commands on QEMU'"'"'s NVMe controller (one read-only slot, no download or commit).'
  echo 'SetErrorSkip( SkipCount:4 );'
  echo 'GetLogPage_FirmwareSlotInfo();'
  echo 'Soc = GetSocID();'
  echo 'Print( Output:"SocID " + Soc );'
  echo 'VSC_CleanSMART();'
  echo 'UpdateFWex( File:"/lab/bin/lab.fw", Slot:1 );'
  echo 'UpdateFWex( File:"/lab/bin/lab.fw", Slot:0 );'
  echo 'FWActive( 1, 1 );'
  echo 'GetLogPage_FirmwareSlotInfo();'
} | crlf > "$stage/nvme.scpt"
{
  echo '// UpdateFW on the AHCI disk, which aborts DOWNLOAD MICROCODE.'
  echo 'UpdateFW( "/lab/bin/lab.fw" );'
} | crlf > "$stage/sata.scpt"
cat > "$stage/guest.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
echo "@@ id-ctrl"; nvme id-ctrl /dev/nvme0
echo "@@ fw-log-before"; nvme fw-log /dev/nvme0
echo "@@ list"; kestrune --list; echo "rc=$?"
echo "@@ kestrune"; kestrune SCRIPT:/lab/bin/nvme.scpt /dev/nvme0n1; echo "rc=$?"
echo "@@ fw-commit"; nvme fw-commit /dev/nvme0 --slot=1 --action=1 2>&1; echo "rc=$?"
echo "@@ fw-log-after"; nvme fw-log /dev/nvme0
echo "@@ info-before"; smartctl -i $LAB_SATA
echo "@@ sata"; kestrune SCRIPT:/lab/bin/sata.scpt $LAB_SATA; echo "rc=$?"
echo "@@ info-after"; smartctl -i $LAB_SATA
echo "@@ end"
EOF2

out="$stage/guest.out"
trace="$stage/trace.log"
LAB_QEMU_EXTRA="-trace pci_nvme_admin_cmd -D $trace" lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest.sh' > "$out"
rc=$?
cat "$out"
lab_finished $rc "$out" ""

# The lines of kestrune's section after the echo of statement $1 (as kestrune echoes it) up to the
# next echo; $2 picks the nth such statement (default 1). "after:TEXT" starts after the line that
# holds TEXT instead (the statements that store a result are not echoed).
statement() {
  local text=${1#after:} mode=echo
  [ "$text" != "$1" ] && mode=after
  section kestrune | awk -v c="$text" -v n="${2:-1}" -v mode="$mode" '/^[^ \t]/ { on = 0 }
    { start = index($0, c) && (mode == "after" || /^[^ \t]/) }
    start && ++seen == n { on = 1; next }
    on { print }'
}
# "key : value" of the nth GetLogPage_FirmwareSlotInfo.
slot_info() { statement 'GetLogPage_FirmwareSlotInfo();' "$1" | awk -v k="$2" '{ s = $0; sub(/^[ \t]+/, "", s) }
    index(s, k) == 1 { sub(/^[^:]*: */, "", s); print s; exit }' | trim; }
error_code() { statement "$1" | sed -n 's/.*\[Error Code\]: *//p' | trim; }
error_desc() { statement "$1" | sed -n 's/.*\[Error Desc\]: *//p' | trim; }

expect "kestrune --list exit code" "$(section list | sed -n 's/^rc=//p')" "0"
expect "kestrune exit code (NVMe script)" "$(section kestrune | sed -n 's/^rc=//p')" "0"
frmw=$(nv id-ctrl frmw)
for n in 1 2; do
  when=$([ $n = 1 ] && echo before || echo after)
  expect "FRMW slot count vs id-ctrl ($when)" "$(slot_info $n "Firmware Slot Count")" "$(( (${frmw:-0} >> 1) & 7 ))"
  expect "FRMW slot 1 read-only vs id-ctrl ($when)" "$(slot_info $n "Slot 1 ReadOnly")" "$(( ${frmw:-0} & 1 ))"
  expect "FWUG vs id-ctrl ($when)" "$(slot_info $n "Firmware Update Granularity" | cut -d' ' -f1)" "$(num "$(nv id-ctrl fwug)")"
  expect "MDTS vs id-ctrl ($when)" "$(slot_info $n "Maximum Data Transfer Size" | cut -d' ' -f1)" "$(num "$(nv id-ctrl mdts)")"
  afi=$(nv "fw-log-$when" afi)
  expect "active slot vs fw-log afi ($when)" "$(slot_info $n "Active Slot")" "$(( ${afi:-0} & 7 ))"
  expect "pending slot vs fw-log afi ($when)" "$(slot_info $n "Pending Activate Slot")" "$(( (${afi:-0} >> 4) & 7 ))"
  expect "slot 1 revision vs fw-log frs1 ($when)" "$(slot_info $n "Slot1 Firmware")" \
    "$(revision_text "$(nv "fw-log-$when" frs1 | awk '{print $1}')")"
done

slot1='UpdateFWex(File:"/lab/bin/lab.fw", Slot:1);'
slot0='UpdateFWex(File:"/lab/bin/lab.fw", Slot:0);'
expect "UpdateFWex Slot:1 code" "$(error_code "$slot1")" "0xFFFFFFFE"
case "$(error_desc "$slot1")" in
  *"Slot 1 is read-only"*) pass "UpdateFWex Slot:1 refused: $(error_desc "$slot1")" ;;
  *) fail "UpdateFWex Slot:1: got '$(error_desc "$slot1")', want the read-only slot 1 refusal" ;;
esac
case "$(error_desc "$slot0")" in
  *"FW Download Error"*) pass "UpdateFWex Slot:0: $(error_desc "$slot0")" ;;
  *) fail "UpdateFWex Slot:0: got '$(error_desc "$slot0")', want FW Download Error" ;;
esac
if statement "$slot0" | grep -q 'Commit Action'; then fail "UpdateFWex Slot:0 went on to a commit"; else pass "UpdateFWex Slot:0: no commit"; fi
# Both print the whole status field, its Do Not Retry bit included (4001h).
cli_status=$(section fw-commit | sed -n 's/.*(\(0x[0-9a-fA-F]*\)).*/\1/p' | head -n1)
k_status=$(error_desc 'FWActive(:1, :1);' | sed -n 's/.*Status \(0x[0-9A-Fa-f]*\).*/\1/p')
expect "FWActive status vs nvme fw-commit" "$(num "$k_status")" "$(num "${cli_status:-0}")"

if grep -q 'pci_nvme_admin_cmd' "$trace" 2>/dev/null; then
  opcodes=$(sed -n 's/.*pci_nvme_admin_cmd.* opc 0x\([0-9a-fA-F]*\).*/\1/p' "$trace")
  vendor=$(for o in $opcodes; do [ $((16#$o)) -ge 192 ] && echo "0x$o"; done | sort -u | tr '\n' ' ')
  expect "vendor admin opcodes (C0h-FFh) in QEMU's trace" "${vendor:-none}" "none"
  expect "Firmware Image Download commands in the trace (one piece, three tries)" \
    "$(printf '%s\n' $opcodes | grep -cix 11)" "3"
  expect "Firmware Commit commands in the trace (FWActive, nvme fw-commit)" "$(printf '%s\n' $opcodes | grep -cix 10)" "2"
else
  fail "QEMU wrote no pci_nvme_admin_cmd trace to $trace"
fi
expect "GetSocID on the foreign drive" "$(section kestrune | sed -n 's/.*SocID *//p' | trim)" "0x0"
# A build without the vendor commands answers "Undefine Command" (and sends nothing).
if error_desc 'VSC_CleanSMART();' | grep -q 'Undefine Command. VSC_CleanSMART'; then
  echo "SKIP: VSC_CleanSMART: this build has no handler for it; the trace covers the listing and GetSocID"
else
  expect "VSC_CleanSMART on the foreign drive (-79)" "$(error_code 'VSC_CleanSMART();')" "0xFFFFFFB1"
fi

case "$(section sata | sed -n 's/.*\[Error Code\]: *//p' | trim)" in
  0xFFFFFFFB) pass "SATA UpdateFW: -5 ($(section sata | sed -n 's/.*\[Error Desc\]: *//p' | trim))" ;;
  *) fail "SATA UpdateFW: got '$(section sata | sed -n 's/.*\[Error Code\]: *//p' | trim)', want 0xFFFFFFFB (-5)" ;;
esac
fw_of() { section "$1" | sed -n 's/^Firmware Version:[[:space:]]*//p' | trim; }
if [ -n "$(fw_of info-before)" ]; then
  expect "smartctl firmware after the SATA update" "$(fw_of info-after)" "$(fw_of info-before)"
else
  fail "smartctl -i showed no firmware version before the SATA update"
fi

lab_summary
