#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
# No test may switch the power of this machine: the power commands refuse real power actions.
export KESTRUNE_NO_POWER=1
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j2
