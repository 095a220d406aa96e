#!/usr/bin/env bash
# Checks the Linux power backend on a real kernel in the qemu lab (QEMU runs with -no-reboot, so a
# restart ends the machine):
#   - PCReBoot( PowerAction:1 ) with its run saved restarts the guest: the kernel says "reboot:
#     Restarting system" and the guest never reaches its end;
#   - PowerAction 2 without a LAN power-cycle server ends with -80 and the guest goes on; with
#     KESTRUNE_NO_POWER=1 PowerAction 1 is refused, nothing is saved, and the guest goes on;
#   - the FADT and DSDT readers (acpi_probe, built here statically) find in the guest's tables the
#     PM1a control port and the S5 sleep type that "iasl -d" finds in the same DSDT (copied out),
#     and the search of physical memory for the root pointer finds the same two tables;
#   - PCReBoot( PowerAction:0, SPOR:TRUE ) switches the guest off through the PM1a control
#     register: QEMU ends without the kernel's restart or power-down words, the guest never
#     reaching its end.
#
# Usage: tests/lab/check_power.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the refusing guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

# The ACPI readers alone, statically, so that they run in the guest without libraries.
if ! build_locked g++ -std=c++20 -O1 -static -I"$repo/src" -o "$stage/acpi_probe" "$repo/tests/lab/acpi_probe.cpp" \
      "$repo/src/devcmd/acpi_s5.cpp" "$repo/src/devcmd/acpi_memory_tables.cpp" "$repo/src/base/text.cpp" \
      "$repo/src/platform/linux/linux_acpi_tables.cpp" "$repo/src/platform/linux/linux_physical_memory.cpp"; then
  echo "FAIL: acpi_probe does not build"
  exit 1
fi

crlf > "$stage/spor.scpt" <<'EOF2'
PCReBoot( DelayRunSec:0, PowerAction:0, SPOR:TRUE );
Print( Output:"not reached" );
EOF2
crlf > "$stage/reboot.scpt" <<'EOF2'
PCReBoot( DelayRunSec:0, PowerAction:1, SPOR:FALSE, BootContinue:TRUE );
Print( Output:"not reached" );
EOF2
crlf > "$stage/refused.scpt" <<'EOF2'
SetErrorSkip( SkipCount:1 );
PCReBoot( DelayRunSec:0, PowerAction:1, SPOR:FALSE, BootContinue:TRUE );
Print( Output:"still running" );
EOF2
crlf > "$stage/no_server.scpt" <<'EOF2'
SetErrorSkip( SkipCount:1 );
PCReBoot( DelayRunSec:0, PowerAction:2, SPOR:FALSE, BootContinue:FALSE );
Print( Output:"still running" );
EOF2
cat > "$stage/guest_reboot.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0 KESTRUNE_AUTORUN_DIR=/tmp/autorun
echo "@@ kestrune"; kestrune SCRIPT:/lab/bin/reboot.scpt /dev/nvme0n1; echo "rc=$?"
sleep 20
echo "@@ end"
EOF2
cat > "$stage/guest_refused.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0 KESTRUNE_AUTORUN_DIR=/tmp/autorun
echo "@@ no-server"; KESTRUNE_STATION=/tmp/none.ini kestrune SCRIPT:/lab/bin/no_server.scpt /dev/nvme0n1; echo "rc=$?"
export KESTRUNE_NO_POWER=1
echo "@@ kestrune"; kestrune SCRIPT:/lab/bin/refused.scpt /dev/nvme0n1; echo "rc=$?"
echo "@@ saves"; ls /tmp | grep -c '_Resume.sct'
echo "@@ acpi"; acpi_probe; echo "rc=$?"
echo "@@ dsdt"; [ -r /sys/firmware/acpi/tables/DSDT ] && od -An -v -tx1 /sys/firmware/acpi/tables/DSDT
echo "@@ end"
EOF2
cat > "$stage/guest_spor.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0 KESTRUNE_AUTORUN_DIR=/tmp/autorun
echo "@@ kestrune"; kestrune SCRIPT:/lab/bin/spor.scpt /dev/nvme0n1; echo "rc=$?"
sleep 20
echo "@@ end"
EOF2

out="$stage/guest.out"
began=$SECONDS
LAB_TIMEOUT=60 lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest_reboot.sh' > "$out" 2>&1
rc=$?
took=$((SECONDS - began))
LAB_TIMEOUT=60 lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest_refused.sh' > "$out.refused" 2>&1
rc2=$?
cat "$out" "$out.refused"
grep -q 'lab: guest did not complete (qemu exit 0)' "$out" && grep -q 'reboot: Restarting system' "$out" &&
  ! grep -q '^@@ end' "$out" && [ "$rc" -eq 125 ] &&
  pass "PCReBoot restarted the guest (lab exit code $rc, ${took} s with the wait for the lock)" ||
  fail "PCReBoot did not restart the guest (lab exit code $rc)"
lab_finished $rc2 "$out.refused" " with power actions refused"
out="$out.refused"
section kestrune | grep -q 'power actions are refused here' && pass "KESTRUNE_NO_POWER=1 refuses the restart" ||
  fail "the restart was not refused: $(section kestrune | tr '\n' '|')"
section kestrune | grep -q 'still running' && pass "the script went on after the refusal" || fail "the script did not go on"
section no-server | grep -q 'TCP Server not found' && section no-server | grep -q 'still running' &&
  pass "PowerAction 2 without a LAN server: -80, and the script went on" ||
  fail "PowerAction 2 without a LAN server: $(section no-server | tr '\n' '|')"
expect "saves left by the refused restart" "$(section saves | trim)" "0"

# The S5 sleep type as the disassembler reads the guest's DSDT: the first element of the _S5
# package (Zero, One or a number).
iasl_s5() {
  awk '/Name \(_S5_?, Package/ { on = 1; next } on && /\{/ { next }
       on { v = $1; sub(/,$/, "", v); print v; exit }' "$1" |
    sed -e 's/^Zero$/0/' -e 's/^One$/1/' | xargs -r printf '%d\n'
}
if ! section acpi | grep -q '^s5-sleep-type:'; then
  echo "SKIP: the guest's ACPI tables could not be read, so no power cut: $(section acpi | tr '\n' '|')"
  lab_summary
fi
pass "acpi_probe read the guest's tables: $(section acpi | grep -v '^rc=' | tr '\n' ' ')"
expect "PM1a control port of the guest's FADT" "$(kline pm1a-control-port acpi)" "0x604"
# The firmware's root pointer in the BIOS area, read through /dev/mem, leads to the same tables.
expect "FADT found by the memory search is the kernel's" "$(kline memory-fadt-same acpi)" "1"
expect "DSDT found by the memory search is the kernel's" "$(kline memory-dsdt-same acpi)" "1"
if command -v iasl > /dev/null; then
  section dsdt | xxd -r -p > "$stage/dsdt.dat"
  (cd "$stage" && iasl -d dsdt.dat > iasl.out 2>&1)
  expect "DSDT bytes copied out of the guest" "$(stat -c %s "$stage/dsdt.dat")" "$(kline dsdt-bytes acpi)"
  expect "S5 sleep type: ours against iasl -d" "$(kline s5-sleep-type acpi)" "$(iasl_s5 "$stage/dsdt.dsl")"
else
  echo "SKIP: iasl is not installed (acpica-tools, scripts/setup.sh), so the DSDT is not compared"
fi

out="$stage/guest.out.spor"
LAB_TIMEOUT=60 lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest_spor.sh' > "$out" 2>&1
rc=$?
cat "$out"
grep -q 'lab: guest did not complete (qemu exit 0)' "$out" && [ "$rc" -eq 125 ] && ! grep -q '^@@ end' "$out" &&
  ! grep -qE 'reboot: (Restarting system|Power down)|Kernel panic' "$out" && ! grep -q 'not reached' "$out" &&
  pass "the SPOR power cut switched the guest off (QEMU ended without the kernel, lab exit code $rc)" ||
  fail "the SPOR power cut did not switch the guest off (lab exit code $rc): $(section kestrune | tr '\n' '|')"
lab_summary
