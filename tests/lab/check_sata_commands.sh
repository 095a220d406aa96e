#!/usr/bin/env bash
# Checks the SATA commands against QEMU's AHCI disk model (through libata) in the qemu lab: inside
# the guest kestrune runs a script on the SATA disk, then smartctl and dd read the same disk, and
#   - Identify prints the model, serial number, firmware and capacity of "smartctl -i"; the SATA
#     generation, link speed and world wide name that QEMU's model does not report are absent on both
#     sides;
#   - every single-word row and the text rows of IdentifyEx equal "smartctl --identify=wn";
#   - SMART's attribute IDs, current values and thresholds equal "smartctl -A", the raw values
#     "smartctl -v ID,raw48";
#   - SMART_Offline( SelfTest:"Short" ) shows up in "smartctl -l selftest";
#   - ATAWrite/ATARead round trips in Normal, Multiple and DMA mode at LBA 0x0FFFFFFF, 0x10000000 and
#     at the end of a 200 GiB sparse disk read back, and dd in the guest reads the same bytes there;
#   - STBI and IDLE are accepted.
# QEMU's model has neither the FUA commands nor the ATA security feature set: the FUA modes and
# SecurErase are checked on the simulated lab only (tests/devcmd/ata_*_test.cpp).
#
# Usage: tests/lab/check_sata_commands.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

export LAB_SATA_SIZE=200G
end_lba=$(( 200 * 1024 * 1024 * 2 - 1 ))  # the last sector
lbas="268435455 268435456 $end_lba"        # 0x0FFFFFFF, 0x10000000, the end

{
  echo '// The commands compared with smartctl and dd, run on the lab'"'"'s SATA disk.'
  echo 'Identify();'
  echo 'IdentifyEx( StartWord:0, EndWord:255 );'
  echo 'SMART();'
  echo 'SMART_Offline( SelfTest:"Short" );'
  pattern=0x11223340
  for lba in $lbas; do
    for mode in Normal Multiple DMA; do
      pattern=$(printf '0x%08X' $(( pattern + 1 )))
      echo "ATAWrite( LBA:$lba, SectorCount:1, WritePattern:$pattern, MarkSectorHeader:TRUE, ATA_WMode:\"$mode\" );"
      echo "ATARead( LBA:$lba, SectorCount:1, ATA_RMode:\"$mode\" );"
    done
  done
  echo 'Standby = STBI();'
  echo 'Idle = IDLE();'
  echo 'Print( Output:"power " + Standby + Idle );'
} | crlf > "$stage/sata.scpt"

cat > "$stage/guest.sh" <<EOF2
#!/bin/sh
export PATH=/lab/bin:\$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
echo "@@ kestrune"; kestrune SCRIPT:/lab/bin/sata.scpt \$LAB_SATA; echo "rc=\$?"
echo "@@ info"; smartctl -i \$LAB_SATA
echo "@@ identify"; smartctl --identify=wn \$LAB_SATA
echo "@@ attributes"; smartctl -A \$LAB_SATA
echo "@@ raw"; smartctl -A -v 1,raw48 -v 3,raw48 -v 4,raw48 -v 5,raw48 -v 9,raw48 -v 12,raw48 -v 190,raw48 \
  -v 194,raw48 -v 231,raw48 \$LAB_SATA
echo "@@ selftest"; smartctl -l selftest \$LAB_SATA
for lba in $lbas; do
  echo "@@ dd-\$lba"; dd if=\$LAB_SATA bs=512 skip=\$lba count=1 iflag=direct 2>/dev/null | od -An -tx1 -N16
done
echo "@@ end"
EOF2

out="$stage/guest.out"
lab_run --merge --bin "$stage" -- "sh /lab/bin/guest.sh" > "$out"
rc=$?
cat "$out"
if [ $rc -ne 0 ] || ! grep -q '^@@ end' "$out"; then
  echo "FAIL: the guest did not finish (lab exit code $rc)"
  exit 2
fi

sc() { section info | sed -n "s/^$1:[[:space:]]*//p" | head -n1 | trim; }
upper() { tr '[:lower:]' '[:upper:]'; }

expect "kestrune exit code" "$(section kestrune | sed -n 's/^rc=//p')" "0"
expect "no command failed" "$(section kestrune | grep -c 'Error Code')" "0"

# ---- Identify against smartctl -i ----
expect "Identify model vs smartctl" "$(kline "Model Number (MN)")" "$(sc "Device Model")"
expect "Identify serial vs smartctl" "$(kline "Serial Number (SN)")" "$(sc "Serial Number")"
expect "Identify firmware vs smartctl" "$(kline "Firmware Version (FWver)")" "$(sc "Firmware Version")"
bytes=$(sc "User Capacity" | sed 's/ bytes.*//; s/,//g')
expect "Identify MaxLba48bit vs smartctl capacity / 512" "$(num "$(kline MaxLba48bit)")" "$(( bytes / 512 ))"
expect "Identify DiskQty(GiB) vs smartctl capacity" "$(kline "DiskQty(GiB)")" "$(( bytes >> 30 ))"
if [ -z "$(sc "SATA Version is")" ]; then
  expect "no SATA generation on either side" "$(kline "Sata Support Speed")" "-1 | Unknow"
  expect "no current link speed on either side" "$(kline "Current Sata Link Speed")" "0 | Unknow"
else
  fail "smartctl reports a SATA version: '$(sc "SATA Version is")' (compare it with Sata Support Speed)"
fi
if [ -z "$(sc "LU WWN Device Id")" ]; then
  expect "no world wide name on either side" "$(kline "WorldWideName (WWN)")" "0000000000000000"
else
  expect "Identify WWN vs smartctl" "$(kline "WorldWideName (WWN)")" "$(sc "LU WWN Device Id" | tr -d ' ' | upper)"
fi

# ---- IdentifyEx against smartctl --identify=wn ----
# "N VALUE" of each single-word row on both sides.
section kestrune | awk -F'|' '$1 ~ /^[ \t]*Word [0-9]+ +:/ { split($1, a, /[ \t:]+/); v = $NF; gsub(/ /, "", v);
  for (i = 1; i in a; i++) if (a[i] == "Word") { print a[i + 1], toupper(v); break } }' > "$stage/ours"
section identify | awk '$1 ~ /^[0-9]+$/ && $2 ~ /^0x[0-9a-f]+$/ { printf "%d 0X%s\n", $1, toupper(substr($2, 3)) }' \
  > "$stage/theirs"
compared=0
while read -r word value; do
  theirs=$(awk -v w="$word" '$1 == w { print $2; exit }' "$stage/theirs")
  [ -n "$theirs" ] || continue
  compared=$((compared + 1))
  [ "$value" = "$theirs" ] || fail "IdentifyEx word $word: got $value, smartctl $theirs"
done < "$stage/ours"
# Every single-word row of IdentifyEx (70 of the 95 rows) has its word in smartctl's list.
if [ "$compared" -eq "$(wc -l < "$stage/ours")" ] && [ "$compared" -ge 70 ]; then
  pass "IdentifyEx: $compared single words compared with smartctl's"
else
  fail "IdentifyEx: $compared of $(wc -l < "$stage/ours") single words compared"
fi
ex_text() { section kestrune | awk -F'|' -v k="Word $1 " '{ l = $1; sub(/^[ \t]+/, "", l) } index(l, k) == 1 { v = $NF; sub(/^ /, "", v); print v; exit }' | trim; }
expect "IdentifyEx serial number vs smartctl" "$(ex_text 10-19)" "$(sc "Serial Number")"
expect "IdentifyEx model number vs smartctl" "$(ex_text 27-46)" "$(sc "Device Model")"
expect "IdentifyEx firmware vs smartctl" "$(ex_text 23-26)" "$(sc "Firmware Version")"

# ---- SMART against smartctl -A and -v ID,raw48 ----
section kestrune | awk -F'|' '/^[ \t]*[0-9A-F][0-9A-F]: / { id = $1; sub(/^[ \t]*/, "", id); id = substr(id, 1, 2);
  c = $2; t = $3; r = $5; gsub(/ /, "", c); gsub(/ /, "", t); gsub(/ /, "", r);
  print id, c + 0, t + 0, r }' > "$stage/smart"
attrs=0
while read -r hex current threshold raw; do
  id=$((16#$hex))
  attrs=$((attrs + 1))
  row=$(section attributes | awk -v i="$id" '$1 == i { print $4 + 0, $6 + 0; exit }')
  expect "SMART $id current/threshold vs smartctl -A" "$current $threshold" "$row"
  expect "SMART $id raw vs smartctl raw48" "$raw" "$(section raw | awk -v i="$id" '$1 == i { print $10; exit }')"
done < "$stage/smart"
expect "SMART attribute count vs smartctl -A" "$attrs" "$(section attributes | grep -cE '^ *[0-9]+ [A-Za-z_]')"
if section selftest | grep -q '^# 1  Short offline'; then pass "SMART_Offline Short is in the self-test log"; else
  fail "SMART_Offline Short: no short test in smartctl -l selftest"; fi

# ---- round trips ----
# The first 16 bytes of the dump printed after each call of command at LBA.
dump_of() { # command lba mode
  section kestrune | awk -v c="$1(LBA:$2, SectorCount:1," -v m="\"$3\");" \
    'index($0, c) && index($0, m) { on = 1; next } on && /00000000h:/ { sub(/^.*00000000h: /, ""); sub(/ +;.*/, ""); print; exit }'
}
for lba in $lbas; do
  for mode in Normal Multiple DMA; do
    written=$(dump_of ATAWrite "$lba" "$mode")
    read=$(dump_of ATARead "$lba" "$mode")
    if [ -n "$written" ] && [ "$written" = "$read" ]; then pass "round trip $mode at $lba"; else
      fail "round trip $mode at $lba: wrote '$written', read '$read'"; fi
  done
  expect "dd at $lba reads what ATAWrite DMA wrote" "$(section "dd-$lba" | tr -s ' ' | trim | upper)" \
    "$(dump_of ATAWrite "$lba" DMA)"
done
section kestrune | grep -q 'power 11' && pass "STBI and IDLE stored 1" || fail "STBI/IDLE did not store 1"

lab_summary
