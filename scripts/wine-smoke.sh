#!/usr/bin/env bash
# Starts the Windows build under Wine (headless): --version, --help, --list without disks, and a run of
# the default package on the simulated lab.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/windows/src/kestrune.exe
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" DISPLAY=
version=$(timeout 300 "$wine" "$exe" --version 2>/dev/null | tr -d '\r')
echo "$version"
grep -q "Kestrune" <<<"$version" || { echo "wine smoke: --version printed no caption"; exit 1; }
help=$(timeout 120 "$wine" "$exe" --help 2>/dev/null | tr -d '\r')
echo "$help"
grep -q "#Print screen by /outfile" <<<"$help" || { echo "wine smoke: --help printed no help"; exit 1; }
list=$(timeout 120 "$wine" "$exe" --list 2>&1 | tr -d '\r' || true)
echo "$list"
grep -q "no disks found" <<<"$list" || { echo "wine smoke: --list without disks did not say so"; exit 1; }
run=$(timeout 120 "$wine" "$exe" /sim '\\.\PHYSICALDRIVE0' 2>/dev/null | tr -d '\r')
echo "$run"
grep -q "Done." <<<"$run" || { echo "wine smoke: the default package did not run to its end"; exit 1; }
echo "wine smoke: passed"
