#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs the concurrency tests (ctest label "concurrency") under it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan
