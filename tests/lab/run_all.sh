#!/usr/bin/env bash
# Runs every tests/lab/check_*.sh against the qemu lab, as CI does: the lab tool's setup first (it
# installs what it needs), then each check with the program the test command built (build/dev),
# within one time budget for all of them together, under the machine's build lock.
#
# Usage: tests/lab/run_all.sh
#   KESTRUNE_LAB         the lab tool (default ../shared/tools/qemu-lab/lab.sh next to this repository)
#   KESTRUNE_BIN         the program to check (default build/dev/src/kestrune)
#   KESTRUNE_LAB_BUDGET  seconds all checks may take together (default 480)
# Exit code: 0 when every check passed, or with a SKIP line when the lab tool is absent; 1 when a
# check failed, could not run, or the budget ran out.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
lab=${KESTRUNE_LAB:-$repo/../shared/tools/qemu-lab/lab.sh}
budget=${KESTRUNE_LAB_BUDGET:-480}
if [ ! -x "$lab" ]; then
  echo "SKIP: the qemu lab checks: no lab tool at $lab (set KESTRUNE_LAB)"
  exit 0
fi
bin=${KESTRUNE_BIN:-$repo/build/dev/src/kestrune}
if [ ! -x "$bin" ]; then
  echo "FAIL: no program at $bin for the qemu lab checks (run the test command first, or set KESTRUNE_BIN)"
  exit 1
fi
export KESTRUNE_LAB=$lab KESTRUNE_BIN=$bin

. "$here/lab_common.sh"
# The whole run holds the machine's build lock (the checks inside see it held and do not wait), so
# that the budget counts the checks and not the wait for the lock.
if ! lock_held_above /tmp/kestrune-build.lock; then exec flock /tmp/kestrune-build.lock bash "$0" "$@"; fi
start=$SECONDS
if ! "$lab" setup; then
  echo "FAIL: the qemu lab's setup failed"
  exit 1
fi
failed=()
for check in "$here"/check_*.sh; do
  name=$(basename "$check")
  left=$((budget - (SECONDS - start)))
  if [ "$left" -le 0 ]; then
    failed+=("$name (not run: the ${budget} s budget is spent)")
    continue
  fi
  echo "==== $name"
  began=$SECONDS
  timeout --kill-after=10 "$left" bash "$check"
  rc=$?
  echo "==== $name: exit code $rc, $((SECONDS - began)) s"
  if [ "$rc" -eq 124 ]; then
    failed+=("$name (stopped: the ${budget} s budget ran out)")
  elif [ "$rc" -ne 0 ]; then
    failed+=("$name (exit code $rc)")
  fi
done
echo "qemu lab checks: $((SECONDS - start)) s in all"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "ALL QEMU LAB CHECKS PASSED"
