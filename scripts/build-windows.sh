#!/usr/bin/env bash
# Cross-builds kestrune.exe (Windows x64, static) with mingw-w64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
