#!/usr/bin/env bash
# The verify engine's fault finding, soaked: a thousand (or more) short runs on the simulated lab
# with random parameters (sector size, place, access size, queue depth, trim, FUA and flush shares),
# each clean or with one fault (a bit flipped in the stored data or on the read path, a lost write, a
# torn write) at a random LBA. Prints, per class, the runs, faults injected, found at their LBA, and
# found but misclassified, the false miscompares of the clean runs, and the seed of every run that
# went wrong (KESTRUNE_SOAK_SEED=<that seed> KESTRUNE_SOAK_RUNS=1 repeats one). Then as many runs of
# maps written until the drive loses power and compared after it comes back (as by the same run and
# as after a host crash): the cuts, the old data allowed as not yet durable, and the false
# miscompares (there must be none).
#
# Usage: bench/integrity_soak.sh [RUNS [SEED]]    (defaults: 1000 runs, a seed from the clock)
#   KESTRUNE_TESTS  the test program (default build/dev/tests/kestrune_tests; the test command builds it)
# Exit code: 0 when every fault was found and named and no clean run miscompared, else 1.
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tests=${KESTRUNE_TESTS:-$repo/build/dev/tests/kestrune_tests}
[ -x "$tests" ] || { echo "no test program at $tests (run the test command first, or set KESTRUNE_TESTS)"; exit 1; }
runs=${1:-1000}
seed=${2:-$(date +%s)}
start=$SECONDS
KESTRUNE_NO_POWER=1 KESTRUNE_SOAK_RUNS=$runs KESTRUNE_SOAK_SEED=$seed \
  "$tests" --gtest_filter='IntegritySoak*' --gtest_brief=1 > /tmp/integrity_soak.$$ 2>&1
rc=$?
sed -n '/^integrity soak:/,/^\[/p' /tmp/integrity_soak.$$ | grep -v '^\['
rm -f /tmp/integrity_soak.$$
echo "$((SECONDS - start)) s"
[ "$rc" -eq 0 ] && echo "integrity soak: passed" || echo "integrity soak: FAILED"
exit $((rc != 0))
