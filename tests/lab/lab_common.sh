# Shell functions shared by the tests/lab/check_*.sh scripts. Source it, then call lab_setup.
#
# lab_setup sets repo, lab (the lab tool: KESTRUNE_LAB, default ../shared/tools/qemu-lab/lab.sh next to
# this repository), bin (the program: KESTRUNE_BIN, default build/dev/src/kestrune) and stage (a fresh
# folder, removed on exit, that holds what is copied into the guest, the program among it). It exits 0
# with a SKIP line when the lab tool or the program is absent.
#
# lab_run runs the lab tool's "run" with the given options, and build_locked any command, under the
# machine's build lock (unless the caller already holds it).
#
# After the guest ran, point out at its output: section NAME prints the lines between "@@ NAME" and
# the next "@@ " line; kline and nv pick a value out of a section of kestrune's and nvme-cli's output;
# pass, fail and expect print one PASS or FAIL line each and count the failures; lab_summary prints
# the verdict and exits 0 (all passed) or 1.

lab_setup() {
  repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  lab=${KESTRUNE_LAB:-$repo/../shared/tools/qemu-lab/lab.sh}
  bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
  if [ ! -x "$lab" ]; then
    echo "SKIP: the qemu lab tool is not at $lab (set KESTRUNE_LAB)"
    exit 0
  fi
  if [ ! -x "$bin" ]; then
    echo "SKIP: no program at $bin (build it, or set KESTRUNE_BIN)"
    exit 0
  fi
  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' EXIT
  cp "$bin" "$stage/kestrune"
  failures=0
}

# Scripts get CR LF line ends.
crlf() { sed 's/$/\r/'; }

pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
section() { awk -v s="@@ $1" '$0 == s {on = 1; next} /^@@ / {on = 0} on' "$out"; }
trim() { sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//'; }
expect() { # what got want
  if [ "$2" = "$3" ]; then pass "$1: $2"; else fail "$1: got '$2', want '$3'"; fi
}

# A summary line of kestrune's output ("<key>   : <value>", as Identify prints them) in section
# SECTION (default kestrune): its value.
kline() {
  section "${2:-kestrune}" | awk -v k="$1" '{ s = $0; sub(/^[ \t]+/, "", s) }
    index(s, k) == 1 && substr(s, length(k) + 1) ~ /^ *:/ { sub(/^[^:]*: ?/, "", s); print s; exit }' | trim
}
# "key : value" of an nvme-cli section, the key's padding (spaces or tabs) ignored.
nv() {
  section "$1" | awk -v k="$2" '{ key = $0; sub(/[ \t]*:.*/, "", key) }
    key == k { s = $0; sub(/^[^:]*:[ \t]*/, "", s); print s; exit }' | trim
}
# An 8-byte revision field printed as one little-endian hex number, back to its text.
revision_text() {
  local hex=${1#0x} text='' i
  hex=$(printf '%016s' "$hex" | tr ' ' 0)
  for i in 14 12 10 8 6 4 2 0; do
    [ "${hex:$i:2}" = 00 ] || text+=$(printf "\\x${hex:$i:2}")
  done
  printf '%s' "$text" | trim
}
# A decimal or 0x-hexadecimal number as decimal; "?text" when it is none.
num() { if [ -n "$1" ]; then printf '%d' "$1" 2>/dev/null || echo "?$1"; fi; }
# Whether a process above this one holds the flock lock on file $1 (a caller that took the lock
# for the whole run, "flock LOCK bash .ci/run"): flock is not re-entrant across processes.
lock_held_above() {
  [ -e "$1" ] || return 1
  local holders pid h
  holders=$(awk -v dev=":$(stat -c %i "$1")\$" '$2 == "FLOCK" && $6 ~ dev { print $5 }' /proc/locks)
  pid=$$
  while [ "${pid:-1}" -gt 1 ]; do
    for h in $holders; do [ "$h" = "$pid" ] && return 0; done
    pid=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f2)
  done
  return 1
}
# Runs a command under the build lock that the machine's builds share (a boot or a compile is
# CPU-heavy), or straight away when a process above already holds it.
build_locked() {
  local lock=/tmp/kestrune-build.lock
  if lock_held_above "$lock"; then "$@"; else flock "$lock" "$@"; fi
}
# The lab tool's "run" under the build lock.
lab_run() { build_locked "$lab" run "$@"; }

# Ends the check (exit 2) unless the guest run that wrote file $2 with lab exit code $1 finished;
# $3 says which guest it was.
lab_finished() {
  if [ "$1" -ne 0 ] || ! grep -q '^@@ end' "$2"; then
    echo "FAIL: the guest$3 did not finish (lab exit code $1)"
    exit 2
  fi
}

# QEMU options for a second NVMe controller (serial LABLINK, 64 MiB of zeros) behind a PCI Express
# root port: give them as LAB_QEMU_EXTRA.
lablink_qemu_extra="-device pcie-root-port,id=labrp,bus=pcie.0,chassis=1"
lablink_qemu_extra+=" -blockdev driver=null-co,node-name=labnull,size=67108864,read-zeroes=on"
lablink_qemu_extra+=" -device nvme,id=nvmelink,serial=LABLINK,bus=labrp,drive=labnull"
# Guest shell lines that wait (up to 10 s) until the LABLINK controller has its namespace and leave
# its name ("nvme1") in $ctrl: its probe may finish after the lab's own disks are up.
lablink_wait() {
  cat <<'EOF2'
ctrl=
i=0
while [ -z "$ctrl" ] && [ $i -lt 100 ]; do
  for c in /sys/class/nvme/nvme*; do
    [ "$(cat "$c/serial" 2>/dev/null | tr -d ' ')" = LABLINK ] && [ -e "/dev/$(basename "$c")n1" ] && ctrl=$(basename "$c")
  done
  [ -n "$ctrl" ] || { sleep 0.1; i=$((i + 1)); }
done
EOF2
}

# Copies into the stage the modules of the lab's guest kernel that its boot does not load (for
# example ext4), with what they depend on, and writes $stage/modules.order: their file names, in
# load order. The kernel package is fetched once into the lab's cache. The guest loads them with
# lab_guest_modules. Returns 1 when the package cannot be had.
lab_stage_modules() {
  local cache=${LAB_CACHE:-/var/tmp/qemu-lab} kpkg kver dir tmp line f
  kpkg=$(basename "$(readlink "$cache/kernel/current")") && kver=$(cat "$cache/kernel/current/kver") || return 1
  dir="$cache/extra-modules/$kpkg"
  if [ ! -d "$dir/x/lib/modules/$kver" ]; then
    tmp=$(mktemp -d "$cache/tmp.XXXXXX") && chmod 777 "$tmp" || return 1
    (cd "$tmp" && apt-get download -q "$kpkg" > /dev/null 2>&1) || { rm -rf "$tmp"; return 1; }
    mkdir -p "$tmp/x" && dpkg-deb -x "$tmp"/*.deb "$tmp/x" && depmod -b "$tmp/x" "$kver" || { rm -rf "$tmp"; return 1; }
    rm -f "$tmp"/*.deb
    # Another check may have filled the cache meanwhile: then its copy stays and this one goes.
    mkdir -p "$(dirname "$dir")" && { mv -T "$tmp" "$dir" 2> /dev/null || rm -rf "$tmp"; }
    [ -d "$dir/x/lib/modules/$kver" ] || return 1
  fi
  : > "$stage/modules.order"
  while read -r line; do
    case $line in insmod\ *) f=${line#insmod }; f=${f%% *} ;; *) continue ;; esac
    grep -qxF "$(basename "$f")" "$stage/modules.order" && continue
    cp "$f" "$stage/" && basename "$f" >> "$stage/modules.order"
  done < <(for m in "$@"; do modprobe -d "$dir/x" -S "$kver" --show-depends "$m" 2> /dev/null; done)
  [ -s "$stage/modules.order" ]
}
# A guest shell line that loads the modules lab_stage_modules staged (one already there is no error).
lab_guest_modules() { echo 'for m in $(cat /lab/bin/modules.order); do insmod /lab/bin/$m 2>/dev/null; done'; }

lab_summary() {
  echo
  if [ "$failures" -eq 0 ]; then
    echo "ALL CHECKS PASSED"
    exit 0
  fi
  echo "$failures CHECK(S) FAILED"
  exit 1
}
