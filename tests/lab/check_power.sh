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
#     reaching its end;
#   - a run resumes across a real restart of the guest (LAB_DISKS keeps the lab's disks): boot 1
#     reaches PCReBoot( PowerAction:1 ) inside While and If with its save and registration in a
#     folder, and its unit in a folder of units; boot 2 runs "kestrune --autorun": the run goes on
#     after the statement with its values, texts, arrays and skipped error, appends to the same HTML
#     log and leaves nothing registered. Once through the system's restart (the folder kept by the
#     shutdown), once through the reset register with the folder on ext4 (SPOR: no shutdown, no sync);
#   - on a second NVMe controller behind a pcie-root-port, PCIInfo's header and link lines are
#     what "lspci -vvv -xxx" shows of the same function, and SetSystem_PCISpeed at the link's
#     speed changes in "lspci -xxx" of every function only the registers of the controller and of
#     its port, leaves the controller's Target Link Speed at that speed (the port's too, where its
#     Link Control 2 is writable: QEMU 7.2 keeps it read-only), and completes.
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

{
  cat <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
EOF2
  lablink_wait
  cat <<'EOF2'
f=$(readlink -f "/sys/class/nvme/$ctrl/device")
echo "@@ ids"; echo "fn=$(basename "$f")"; echo "port=$(basename "$(dirname "$f")")"
echo "@@ pciinfo"; kestrune SCRIPT:/lab/bin/pciinfo.scpt "/dev/${ctrl}n1"; echo "rc=$?"
echo "@@ lspci-fn"; lspci -vvv -xxx -s "$(basename "$f")"
echo "@@ before"; lspci -xxx
echo "@@ targets-before"; for d in "$(basename "$f")" "$(basename "$(dirname "$f")")"; do lspci -vvv -s "$d" 2>/dev/null | grep 'LnkCtl2:'; done
gen=$(sed -n 's/^\([0-9.]*\) GT\/s.*/\1/p' "$f/current_link_speed")
case "$gen" in 2.5) g=1 ;; 5.0) g=2 ;; 8.0) g=3 ;; 16.0) g=4 ;; 32.0) g=5 ;; *) g=1 ;; esac
printf 'SetSystem_PCISpeed( Gen:%s );\r\n' "$g" > /tmp/speed.scpt
echo "@@ speed"; echo "gen=$g"; kestrune SCRIPT:/tmp/speed.scpt "/dev/${ctrl}n1"; echo "rc=$?"
echo "@@ after"; lspci -xxx
echo "@@ targets"; for d in "$(basename "$f")" "$(basename "$(dirname "$f")")"; do lspci -vvv -s "$d" 2>/dev/null | grep 'LnkCtl2:'; done
echo "@@ end"
EOF2
} > "$stage/guest_pci.sh"
crlf > "$stage/pciinfo.scpt" <<'EOF2'
PCIInfo( ExtData:FALSE );
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

# A run resumed across a real restart of the guest, twice:
#   restart  PCReBoot( PowerAction:1 ): the guest has no disk file system here, so the shutdown (a
#            systemctl stand-in, found by the program at /bin/systemctl) keeps the save folder as a
#            tar archive on the SATA disk before it restarts the kernel; boot 2 unpacks it.
#   spor     PCReBoot( PowerAction:1, SPOR:TRUE ): the save folder is an ext4 file system on the
#            SATA disk (made here, its modules loaded in the guest) and the restart is the reset
#            register, with no shutdown and no sync: boot 2 finds only what the save made durable.
resume_script() { # the PCReBoot arguments
  crlf <<EOF2
SetErrorSkip( SkipCount:1 );
x = missing1;
Name = "kept text";
A[] = 5, 6, 7;
Round = 0;
While (Round < 2) {
    Round++;
    If (Round < 2) {
        Print( Output:"before restart " + Round );
        PCReBoot( DelayRunSec:0, $1 );
    }
    Print( Output:"round " + Round + " " + Name + " " + A[1] );
}
e = GetErrorCount();
Print( Output:"errors " + e );
EOF2
}
# The systemctl stand-in: $1 is what it does for "reboot" and "poweroff".
systemctl_standin() {
  printf '#!/bin/sh\ncase "$1" in reboot | poweroff) ;; *) exit 0 ;; esac\necho "@@ shutdown"; echo "systemctl $*"\n%s\n' "$1"
}
systemctl_standin 'tar -C /tmp -cf /dev/lab/sata k && sync && echo "kept"; reboot -f' > "$stage/systemctl.restart"
systemctl_standin 'exit 1' > "$stage/systemctl.spor"
resume_script 'PowerAction:1' > "$stage/resume.restart.scpt"
resume_script 'PowerAction:1, SPOR:TRUE' > "$stage/resume.spor.scpt"
guest_env='export PATH=/lab/bin:$PATH TMPDIR=/tmp/k HOME=/tmp ASAN_OPTIONS=detect_leaks=0 KESTRUNE_AUTORUN_DIR=/tmp/k/autorun KESTRUNE_UNIT_DIR=/tmp/k/units'
spor_mount="$(lab_guest_modules); mkdir -p /tmp/k && mount -t ext4 /dev/lab/sata /tmp/k && echo mounted"
for mode in restart spor; do
  {
    echo '#!/bin/sh'; echo "$guest_env"
    [ "$mode" = spor ] && echo "echo '@@ mount'; $spor_mount"
    # What the program takes for a systemd machine: the service manager's folder and systemctl.
    echo "mkdir -p /tmp/k/autorun /tmp/k/units /run/systemd/system; cp /lab/bin/systemctl.$mode /bin/systemctl; chmod +x /bin/systemctl"
    echo "echo '@@ boot1'; kestrune SCRIPT:/lab/bin/resume.$mode.scpt /dev/nvme0n1; echo \"rc=\$?\""
    echo 'sleep 20'; echo "echo '@@ end'"
  } > "$stage/guest_resume1.$mode.sh"
  {
    echo '#!/bin/sh'; echo "$guest_env"
    if [ "$mode" = spor ]; then echo "echo '@@ mount'; $spor_mount"; else echo 'tar -C /tmp -xf /dev/lab/sata'; fi
    cat <<'EOF2'
echo "@@ unit"; ls -1 /tmp/k/units
echo "@@ registered"; kestrune --autorun-list
echo "@@ boot2"; kestrune --autorun; echo "rc=$?"
echo "@@ left"; kestrune --autorun-list | grep -c .
echo "@@ log"; grep -l 'before&nbsp;restart&nbsp;1' $(find /tmp/k -name TestLog.htm) | while read -r f; do grep -c -e 'before&nbsp;restart&nbsp;1' -e 'round&nbsp;2&nbsp;kept' "$f"; done
echo "@@ end"
EOF2
  } > "$stage/guest_resume2.$mode.sh"
done
spor_ready=
if ! command -v mkfs.ext4 > /dev/null; then
  echo "SKIP: no mkfs.ext4 (e2fsprogs, scripts/setup.sh), so no resume after a SPOR restart"
elif ! lab_stage_modules ext4; then
  echo "SKIP: the guest kernel's ext4 module could not be fetched, so no resume after a SPOR restart"
else
  spor_ready=1
fi
for mode in restart spor; do
  [ "$mode" = spor ] && [ -z "$spor_ready" ] && continue
  disks=$(mktemp -d)
  if [ "$mode" = spor ]; then truncate -s 1G "$disks/sata.img" && mkfs.ext4 -q -F "$disks/sata.img"; fi
  out="$stage/guest.out.resume1.$mode"
  LAB_DISKS="$disks" LAB_TIMEOUT=60 lab_run --merge --bin "$stage" -- "sh /lab/bin/guest_resume1.$mode.sh" > "$out" 2>&1
  rc=$?
  cat "$out"
  if [ "$mode" = restart ]; then
    section shutdown | grep -q '^systemctl reboot' && section shutdown | grep -q '^kept' &&
      grep -q 'reboot: Restarting system' "$out" && ended="the guest restarted"
  else
    # QEMU itself ended (-no-reboot): not the lab's timeout, which also gives 125.
    section mount | grep -q '^mounted' && ! grep -q '^@@ shutdown' "$out" &&
      grep -q 'lab: guest did not complete (qemu exit 0)' "$out" &&
      ! grep -qE 'reboot: (Restarting system|Power down)|Kernel panic' "$out" && ended="the reset register restarted the guest"
  fi
  section boot1 | grep -q 'before restart 1' && ! section boot1 | grep -q 'round 1' && [ "$rc" -eq 125 ] &&
    [ -n "${ended:-}" ] && pass "$mode: boot 1 reached PCReBoot inside While and If and $ended (lab exit code $rc)" ||
    fail "$mode: boot 1 did not end in the restart (lab exit code $rc): $(section boot1 | tr '\n' '|')"
  ended=
  out="$stage/guest.out.resume2.$mode"
  LAB_DISKS="$disks" LAB_TIMEOUT=90 lab_run --merge --bin "$stage" -- "sh /lab/bin/guest_resume2.$mode.sh" > "$out" 2>&1
  rc=$?
  cat "$out"
  rm -rf "$disks"
  lab_finished $rc "$out" " after the $mode"
  section unit | grep -q '^kestrune-autorun-[0-9]*\.service$' && pass "$mode: boot 1 wrote the unit: $(section unit | head -1)" ||
    fail "$mode: boot 1 wrote no unit: $(section unit | tr '\n' '|')"
  section registered | grep -q 'FRAME:[0-9]*/1' && pass "$mode: boot 2 finds the registration: $(section registered | head -1)" ||
    fail "$mode: boot 2 finds no registration: $(section registered | tr '\n' '|')"
  expect "$mode: boot 2: --autorun exit code" "$(section boot2 | sed -n 's/^rc=//p')" "0"
  for line in "##### SCRIPT RESUME (Reboot 1) #####" "round 1 kept text 6" "round 2 kept text 6" "errors 1"; do
    section boot2 | grep -qF "$line" && pass "$mode: boot 2 shows '$line'" ||
      fail "$mode: boot 2 lacks '$line': $(section boot2 | tr '\n' '|')"
  done
  expect "$mode: boot 2 does not run the statements before the restart again" "$(section boot2 | grep -c 'before restart')" "0"
  expect "$mode: registrations left after boot 2" "$(section left | trim)" "0"
  expect "$mode: the HTML log of boot 1 holds boot 2's lines too" "$(section log | trim)" "2"
done

# PCIInfo and SetSystem_PCISpeed on a controller behind a root port, against lspci.
out="$stage/guest.out.pci"
LAB_EXTRA_BINS=lspci LAB_QEMU_EXTRA="$lablink_qemu_extra" LAB_TIMEOUT=90 \
  lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest_pci.sh' > "$out" 2>&1
rc=$?
cat "$out"
lab_finished $rc "$out" " with a controller behind a root port"
fn=$(section ids | sed -n 's/^fn=//p')
port=$(section ids | sed -n 's/^port=//p')
# Byte $2 (hex offset) of the "lspci -xxx" rows in section $1 (one function's).
cfg() {
  section "$1" | awk -v o=$((16#$2)) '
    function hex(t,  i, v) { v = 0; for (i = 1; i <= length(t); i++) v = v * 16 + index("0123456789abcdef", substr(t, i, 1)) - 1; return v }
    /^[0-9a-f]+: / { row = hex(substr($1, 1, length($1) - 1)); if (o >= row && o < row + 16) { print toupper($(o - row + 2)); exit } }'
}
b16() { echo "$(cfg lspci-fn "$(printf %x $((16#$1 + 1)))")$(cfg lspci-fn "$1")"; }
b32() { printf '0x%s%s%s%s' "$(cfg lspci-fn "$(printf %x $((16#$1 + 3)))")" "$(cfg lspci-fn "$(printf %x $((16#$1 + 2)))")" \
  "$(cfg lspci-fn "$(printf %x $((16#$1 + 1)))")" "$(cfg lspci-fn "$1")"; }
expect "PCIInfo exit code" "$(section pciinfo | sed -n 's/^rc=//p')" "0"
expect "PCIInfo Port ID vs the function lspci shows" "$(kline "Port ID" pciinfo)" \
  "PCIE-$(echo "${fn#0000:}" | tr a-f A-F | sed 's/\.0*\([0-7]\)$/.\1/')"
for row in "VendorID:00" "DeviceID:02" "SubsystemVID:2c" "SubsystemID:2e"; do
  expect "PCIInfo ${row%%:*} vs lspci -xxx" "$(kline "${row%%:*}" pciinfo)" "$(b16 "${row#*:}")"
done
expect "PCIInfo ClassCode vs lspci -xxx" "$(kline ClassCode pciinfo)" "0x$(cfg lspci-fn b)$(cfg lspci-fn a)$(cfg lspci-fn 9)"
expect "PCIInfo RevisionID vs lspci -xxx" "$(kline RevisionID pciinfo)" "$((16#$(cfg lspci-fn 8)))"
expect "PCIInfo HeaderType vs lspci -xxx" "$(kline HeaderType pciinfo)" "$((16#$(cfg lspci-fn e)))"
bar0=$(b32 10)
expect "PCIInfo BAR0 vs lspci -xxx" "$(kline BAR0 pciinfo)" "$(printf '0x%08X (MMIO)' "$bar0")"
# The link lines against lspci -vvv's LnkCap and LnkSta (speed as a generation, the width).
lsgen() { case "$1" in 2.5GT/s*) echo 1 ;; 5GT/s*) echo 2 ;; 8GT/s*) echo 3 ;; 16GT/s*) echo 4 ;; 32GT/s*) echo 5 ;; 64GT/s*) echo 6 ;; *) echo "?$1" ;; esac; }
lslink() { section lspci-fn | sed -n "s/.*$1:.*Speed \([^,]*\), Width x\([0-9]*\).*/\1 \2/p" | head -1 | { read -r sp w; echo "$(lsgen "$sp") x $w"; }; }
expect "PCIInfo Max Support Gen x Lane vs lspci LnkCap" "$(kline "Max Support Gen x Lane" pciinfo)" "$(lslink LnkCap)"
expect "PCIInfo Current Link Gen x Lane vs lspci LnkSta" "$(kline "Current Link Gen x Lane" pciinfo)" "$(lslink LnkSta)"
# The rows SetSystem_PCISpeed changed, as "function row" lines.
rows() {
  section "$1" | awk '/^[0-9a-f][0-9a-f]:[0-9a-f][0-9a-f]\.[0-9a-f] / { f = $1; next } /^[0-9a-f]+: / { print f " " $0 }'
}
changed=$(diff <(rows before) <(rows after) | sed -n 's/^> //p' | awk '{ print $1 " " $2 }' | sort -u | tr '\n' ' ')
expect "SetSystem_PCISpeed exit code" "$(section speed | sed -n 's/^rc=//p')" "0"
section speed | grep -q "PCIE Target Link Speed : Gen$(section speed | sed -n 's/^gen=//p')" &&
  pass "SetSystem_PCISpeed asked for the link's own speed" || fail "SetSystem_PCISpeed: $(section speed | tr '\n' '|')"
bad=
while read -r f r; do
  [ -z "$f" ] && continue
  case "0000:$f" in "$fn" | "$port") ;; *) bad+=" $f $r" ;; esac
done <<< "$(diff <(rows before) <(rows after) | sed -n 's/^> //p' | awk '{ print $1 " " $2 }' | sort -u)"
want=$(case "$(section speed | sed -n 's/^gen=//p')" in 1) echo 2.5GT/s ;; 2) echo 5GT/s ;; 3) echo 8GT/s ;; 4) echo 16GT/s ;; *) echo 32GT/s ;; esac)
target() { section "$1" | sed -n 's/.*Target Link Speed: \([^,]*\),.*/\1/p' | sed -n "$2p"; }
expect "Target Link Speed of the controller after SetSystem_PCISpeed" "$(target targets 1)" "$want"
# QEMU 7.2's root port keeps Link Control 2 read-only: its target is the asked one or what it was.
case "$(target targets 2)" in
  "$want" | "$(target targets-before 2)") pass "Target Link Speed of the port: $(target targets-before 2) before, $(target targets 2) after" ;;
  *) fail "Target Link Speed of the port: $(target targets-before 2) before, $(target targets 2) after, asked $want" ;;
esac
[ -z "$bad" ] && pass "SetSystem_PCISpeed changed only the controller's and its port's registers: ${changed:-nothing}" ||
  fail "SetSystem_PCISpeed changed other functions:$bad"
lab_summary
