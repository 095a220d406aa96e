#!/usr/bin/env bash
# Checks what kestrune reads of a namespace and of the PCI Express link on QEMU's NVMe model in the
# qemu lab, against the guest's own nvme-cli and sysfs:
#   - Identify and Identify_Namespace on /dev/nvme0n2 (namespace 2: 4096-byte sectors) read that
#     namespace, not namespace 1: the sector size is 4096 and the size (Max LBA, NSZE) is the one
#     "nvme id-ns /dev/nvme0n2" prints; the same for /dev/nvme0n1 with its own values, and
#     Identify_DescriptorNamespac completes on both;
#   - Identify's "PCIE Support Speed" and "Current PCIE Link Speed" lines carry the generation and
#     width of the controller's sysfs link attributes (max_link_speed/width,
#     current_link_speed/width): on the lab's controller, an integrated endpoint of the root complex
#     without a link ("Unknown", width 255: the unknown link), and in a second boot on a controller
#     that QEMU puts behind a PCI Express root port, whose link sysfs reports;
#   - PartitionInfo on both namespaces (512- and 4096-byte sectors) after sgdisk wrote a GPT there:
#     the starts, ends and GUIDs that "sgdisk -i" prints.
#
# Usage: tests/lab/check_namespace_and_link.sh
#   KESTRUNE_LAB  the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN  the program to copy into the guest (default build/dev/src/kestrune)
# Exit code: 0 when every check passed or the lab tool is absent (skipped), 1 when a check failed,
# 2 when the guest could not run.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
lab_setup

crlf > "$stage/ns.scpt" <<'EOF2'
Identify();
Identify_Namespace( StartByte:0, EndByte:191 );
Identify_DescriptorNamespac();
EOF2
cat > "$stage/guest.sh" <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
for n in 1 2; do
  echo "@@ kestrune-n$n"; kestrune SCRIPT:/lab/bin/ns.scpt /dev/nvme0n$n; echo "rc=$?"
  echo "@@ id-ns-n$n"; nvme id-ns /dev/nvme0n$n
done
for n in 1 2; do
  sgdisk -o -n 1:0:+8M -t 1:0700 -n 2:0:+16M -t 2:8300 /dev/nvme0n$n > /dev/null 2>&1
  echo "@@ parts-n$n"; kestrune SCRIPT:/lab/bin/parts.scpt /dev/nvme0n$n; echo "rc=$?"
  for p in 1 2; do echo "@@ sgdisk-n$n-$p"; sgdisk -i $p /dev/nvme0n$n; done
done
echo "@@ link"
for a in max_link_speed max_link_width current_link_speed current_link_width; do
  f=/sys/class/nvme/nvme0/device/$a
  if [ -r "$f" ]; then echo "$a=$(cat "$f")"; fi
done
echo "@@ end"
EOF2
crlf > "$stage/parts.scpt" <<'EOF2'
PartitionInfo();
EOF2
crlf > "$stage/link.scpt" <<'EOF2'
Identify( Items:"SUPPORT_SPEED | LINK_SPEED" );
EOF2
# The second boot: the controller with serial LABLINK sits behind a root port (its probe may finish
# after the lab's own disks are up).
{
  cat <<'EOF2'
#!/bin/sh
export PATH=/lab/bin:$PATH TMPDIR=/tmp HOME=/tmp ASAN_OPTIONS=detect_leaks=0
EOF2
  lablink_wait
  cat <<'EOF2'
echo "@@ link-controller"; echo "controller=$ctrl"; readlink -f "/sys/class/nvme/$ctrl/device"
echo "@@ kestrune-link"; kestrune SCRIPT:/lab/bin/link.scpt "/dev/${ctrl}n1"; echo "rc=$?"
echo "@@ link-behind-port"
for a in max_link_speed max_link_width current_link_speed current_link_width; do
  f=/sys/class/nvme/$ctrl/device/$a
  if [ -r "$f" ]; then echo "$a=$(cat "$f")"; fi
done
echo "@@ end"
EOF2
} > "$stage/guest_link.sh"

out="$stage/guest.out"
LAB_EXTRA_BINS=sgdisk lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest.sh' > "$out"
rc=$?
LAB_QEMU_EXTRA="$lablink_qemu_extra" lab_run --merge --bin "$stage" -- 'sh /lab/bin/guest_link.sh' > "$out.link"
rc2=$?
cat "$out" "$out.link"
lab_finished $rc "$out" ""
lab_finished $rc2 "$out.link" " with a controller behind a root port"
cat "$out.link" >> "$out"

# The value column of an Identify_Namespace row whose label or name holds text.
ns_row() { section "$1" | awk -F'|' -v k="$2" 'index($1, k) { v = $NF; gsub(/ /, "", v); print v; exit }'; }

for n in 1 2; do
  k="kestrune-n$n"
  dev=/dev/nvme0n$n
  expect "$dev kestrune exit code" "$(section "$k" | sed -n 's/^rc=//p')" "0"
  nsze=$(num "$(nv "id-ns-n$n" nsze)")
  lbads=$(section "id-ns-n$n" | sed -n 's/^lbaf *[0-9]* *:.*lbads:\([0-9]*\).*(in use).*/\1/p')
  expect "$dev Identify Max LBA vs id-ns nsze" "$(num "$(kline "Max LBA" "$k")")" "$nsze"
  expect "$dev Identify_Namespace NSZE vs id-ns nsze" "$(num "$(ns_row "$k" "(NSZE)")")" "$nsze"
  expect "$dev Identify LBA Sector Size vs id-ns in-use lbads" "$(kline "LBA Sector Size" "$k")" "$((1 << ${lbads:-0}))"
  format=$(( $(num "$(ns_row "$k" "(FLBAS)")") & 0xF ))
  shown=$(num "$(ns_row "$k" "[$((128 + 4 * format))]Bit 23-16")")
  expect "$dev Identify_Namespace sector size (LBADS of format $format)" "$((1 << ${shown:-0}))" "$((1 << ${lbads:-0}))"
  if section "$k" | grep -q 'Identify_DescriptorNamespac' && ! section "$k" | grep -q '\[Error Code\]'; then
    pass "$dev Identify_DescriptorNamespac completes"
  else
    fail "$dev Identify_DescriptorNamespac failed or did not run"
  fi
done
expect "/dev/nvme0n2 Identify LBA Sector Size" "$(kline "LBA Sector Size" kestrune-n2)" "4096"

# PartitionInfo's values of one key ("LBA Start"), one a line, as decimal numbers.
part_values() { section "$1" | awk -v k="$2" 'index($0, k) { sub(/.*: /, ""); print }' | while read -r v; do printf '%d\n' "$v"; done; }
for n in 1 2; do
  k="parts-n$n"
  expect "/dev/nvme0n$n PartitionInfo exit code" "$(section "$k" | sed -n 's/^rc=//p')" "0"
  for p in 1 2; do
    expect "/dev/nvme0n$n partition $p start vs sgdisk -i" "$(part_values "$k" "LBA Start" | sed -n "${p}p")" \
      "$(section "sgdisk-n$n-$p" | awk '/First sector:/ { print $3 }')"
    expect "/dev/nvme0n$n partition $p end vs sgdisk -i" "$(part_values "$k" "LBA End" | sed -n "${p}p")" \
      "$(section "sgdisk-n$n-$p" | awk '/Last sector:/ { print $3 }')"
    expect "/dev/nvme0n$n partition $p GUID vs sgdisk -i" \
      "$(section "$k" | awk 'index($0, "- GUID") { sub(/.*: /, ""); print }' | sed -n "${p}p" | tr -d '{}\r')" \
      "$(section "sgdisk-n$n-$p" | awk -F': ' '/Partition unique GUID:/ { print $2 }' | tr -d '\r')"
  done
done
expect "/dev/nvme0n2 Identify_Namespace NSZE (256 MiB of 4096-byte sectors)" \
  "$(num "$(ns_row kestrune-n2 "(NSZE)")")" "65536"

# The generation of a sysfs link speed ("8.0 GT/s PCIe"), 0 for "Unknown" or nothing.
generation() {
  case "$1" in
    "2.5 GT/s"*) echo 1 ;; "5.0 GT/s"* | "5 GT/s"*) echo 2 ;; "8.0 GT/s"* | "8 GT/s"*) echo 3 ;;
    "16.0 GT/s"* | "16 GT/s"*) echo 4 ;; "32.0 GT/s"* | "32 GT/s"*) echo 5 ;; "64.0 GT/s"* | "64 GT/s"*) echo 6 ;;
    *) echo 0 ;;
  esac
}
# The lanes of a sysfs link width: a PCI Express lane count, else 0 (255 is the kernel's unknown).
lanes() { case "$1" in 1 | 2 | 4 | 8 | 12 | 16 | 32) echo "$1" ;; *) echo 0 ;; esac; }
# The value of a sysfs attribute line "name=value" in a section.
attr() { section "$1" | sed -n "s/^$2=//p"; }
# check_link KESTRUNE_SECTION SYSFS_SECTION WHAT: both Identify link lines against the attributes.
check_link() {
  local which side label speed width g w line
  for which in "max:PCIE Support Speed" "current:Current PCIE Link Speed"; do
    side=${which%%:*}
    label=${which#*:}
    speed=$(attr "$2" "${side}_link_speed")
    width=$(attr "$2" "${side}_link_width")
    g=$(generation "$speed")
    w=$(lanes "$width")
    line=$(kline "$label" "$1")
    expect "$3: $label vs sysfs '$speed' x '$width'" \
      "$(printf '%s' "$line" | awk -F'|' '{ g = $1; w = $2; gsub(/ /, "", g); gsub(/ /, "", w); print g "|" w }')" "$g|$w"
    case "$line" in *" x $w") pass "$3: $label ends with the width: $line" ;; *) fail "$3: $label: '$line' does not end in ' x $w'" ;; esac
  done
}
check_link kestrune-n1 link "the lab's controller"
expect "controller behind a root port: kestrune exit code" "$(section kestrune-link | sed -n 's/^rc=//p')" "0"
if [ -n "$(section link-behind-port)" ]; then
  check_link kestrune-link link-behind-port "controller behind a root port"
  case "$(kline "Current PCIE Link Speed" kestrune-link)" in
    "0 |"*) fail "controller behind a root port: sysfs reports its link, the line shows none" ;;
    *) pass "controller behind a root port: a known link" ;;
  esac
else
  fail "controller behind a root port: the guest shows no link attributes"
fi

lab_summary
