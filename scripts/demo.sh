#!/usr/bin/env bash
# Installs, builds (release) and runs the default package's sample script in the console form.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/src/kestrune "$@"
