#!/usr/bin/env bash
# Installs, builds (release) and runs the default package's sample script in the console form on the
# simulated lab's NVMe drive. Arguments replace the default ones ("/sim \\.\PHYSICALDRIVE0").
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [ $# -eq 0 ]; then set -- /sim '\\.\PHYSICALDRIVE0'; fi
./build/release/src/kestrune "$@"
