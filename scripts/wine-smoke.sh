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
# A performance job on the lab: its summary, and its chart drawn by GDI+ (an 800 x 400 PNG).
perf_dir=$(mktemp -d)
trap 'rm -rf "$perf_dir"' EXIT
printf 'Performance_RandRead( LBA:0, RangeLenMB:16, AccessKB:4, QD:4, LimitTxSizeMB:"CYCLE" );\r\n' > "$perf_dir/perf.scpt"
touch "$perf_dir/stamp"
perf=$(cd "$perf_dir" && timeout 120 "$wine" "$OLDPWD/$exe" 'SCRIPT:perf.scpt' /sim '\\.\PHYSICALDRIVE0' 2>/dev/null | tr -d '\r')
echo "$perf"
grep -q "Avg IOps: " <<<"$perf" || { echo "wine smoke: Performance_RandRead printed no summary"; exit 1; }
png=$(find "$WINEPREFIX/drive_c" -name 'R*.png' -newer "$perf_dir/stamp" | head -1)
[ -n "$png" ] || { echo "wine smoke: Performance_RandRead left no chart"; exit 1; }
size=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8] == b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$png")
[ "$size" = "800x400" ] || { echo "wine smoke: the chart $png is $size, not an 800x400 PNG"; exit 1; }
echo "wine smoke: the chart is an 800x400 PNG ($png)"
# A firmware update on the lab's NVMe drive through the Windows build: an image made by the tool,
# downloaded and committed to slot 3 with activation at once; the slot report shows its revision.
python3 tools/make_lab_firmware.py "$perf_dir/wine.fw" WINE0003
printf 'UpdateFWex( File:"wine.fw", Slot:3, Commit:3 );\r\n' > "$perf_dir/fw.scpt"
fw=$(cd "$perf_dir" && timeout 120 "$wine" "$OLDPWD/$exe" 'SCRIPT:fw.scpt' /sim '\\.\PHYSICALDRIVE0' 2>/dev/null | tr -d '\r')
echo "$fw"
grep -q "Slot 3 Revision            : WINE0003" <<<"$fw" && ! grep -q "Error Code" <<<"$fw" ||
  { echo "wine smoke: UpdateFWex did not put the new image in slot 3"; exit 1; }
# The start-again registrations as Task Scheduler tasks.
bash tests/win32/autostart_check.sh
# A barrier across three instances (named mapping and mutex, shared by Wine's processes).
mkdir -p "$perf_dir/barrier"
bash scripts/wine-barrier.sh "$perf_dir/barrier"
# The error-stop broadcast between two instances, the companion's broadcast and the window form need
# windows, so a display: Xvfb.
if command -v xvfb-run > /dev/null; then
  xvfb-run -a bash scripts/wine-error-stop.sh "$perf_dir"
  # LogView_Send and LogView_Wait against the companion stand-in built for Windows.
  timeout 240 xvfb-run -a bash tests/win32/companion_check.sh
  # The window form: the main dialog opens, shows the run's lines, stops a run and closes at its end.
  timeout 300 xvfb-run -a bash tests/win32/window_check.sh
else
  echo "wine smoke: SKIP the error-stop, companion and window checks: xvfb-run is not installed (scripts/setup.sh installs xvfb)"
fi
echo "wine smoke: passed"
