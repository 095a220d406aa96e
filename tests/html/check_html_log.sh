#!/usr/bin/env bash
# Checks the HTML test log as a browser reads it. A run on the simulated lab writes lines holding
# & < > " ' and non-ASCII text, in red and green, a line linking a file whose name has blanks and "#",
# and a picture; then headless Chromium loads the run's TestLog.htm and a Save Screen folder:
#   - python's html.parser reads every line back exactly from the browser's DOM, and every href and
#     src names a file that exists;
#   - a screenshot has a black background with red and green text;
#   - iconv reads the Save Screen folder's TestLog.txt as UTF-16LE, line for line.
#
# Usage: tests/html/check_html_log.sh [BUILD_DIR]   (default build/dev)
# Exit code: 0 passed (or SKIP without chromium), 1 a check failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build/dev}" 2>/dev/null && pwd) || { echo "FAIL: no build folder ${1:-$root/build/dev}"; exit 1; }
prog=$build/src/kestrune
tests=$build/tests/kestrune_tests
if ! command -v chromium >/dev/null; then echo "SKIP: chromium is not installed (scripts/setup.sh installs it)"; exit 0; fi
[ -x "$prog" ] && [ -x "$tests" ] || { echo "FAIL: build first ($prog, $tests)"; exit 1; }

tmp=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$tmp"' EXIT
export TMPDIR=$tmp ASAN_OPTIONS=detect_leaks=0 KESTRUNE_NO_POWER=1
files="$tmp/files dir"
mkdir -p "$files"
echo "linked" > "$files/my file #1.txt"
python3 - "$files/chart #2.png" <<'PY'
import struct, sys, zlib
w, h = 40, 20
raw = b"".join(b"\0" + bytes([255, 0, 0] * (w // 2) + [0, 255, 0] * (w // 2)) for _ in range(h))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                               + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
PY
printf '[Result]\r\nITEM0=Linked & "quoted" [LINK] %s\r\n' "$files/my file #1.txt" > "$tmp/import.ini"
printf '      [PNG]%s\r\n' "$files/chart #2.png" > "$tmp/import.txt"
cat > "$tmp/expected.txt" <<'TXT'
Red & <tags> 'single'
Gr\u00fcn caf\u00e9 \u2713 green
Linked & "quoted"
TXT
python3 -c 'import sys; p=sys.argv[1]; t=open(p).read().encode().decode("unicode_escape"); open(p,"w",encoding="utf-8").write(t)' "$tmp/expected.txt"
{
  printf 'PrintEx( FontSize:12, Color:"RED", Output:"Red & <tags> '"'"'single'"'"'" );\r\n'
  printf 'PrintEx( FontSize:12, Color:"GREEN", Output:"%s" );\r\n' "$(sed -n 2p "$tmp/expected.txt")"
  printf 'Exec( CmdLine:"/bin/cp %s/import.ini %%Output%%.INI" );\r\n' "$tmp"
  printf 'Exec( CmdLine:"/bin/cp %s/import.txt %%Output%%.TXT" );\r\n' "$tmp"
  printf 'GetLogFolder( JobPath:TRUE, ShowResult:TRUE );\r\n'
} > "$tmp/page.scpt"
# The run's exit code is the import's error mark (-255); only its output matters here.
(cd "$tmp" && timeout 60 "$prog" /sim SCRIPT:"$tmp/page.scpt" '\\.\PHYSICALDRIVE0' > "$tmp/run.out" 2>&1)
log=$(grep -o '/[^ ]*' "$tmp/run.out" | while read -r p; do [ -f "$p/TestLog.htm" ] && echo "$p"; done | tail -1)
failures=0
if [ -z "$log" ]; then
  echo "FAIL: the run left no TestLog.htm"; cat "$tmp/run.out"; exit 1
fi

browse() { timeout 60 chromium --headless --no-sandbox --disable-gpu "$@" 2>/dev/null; }
browse --dump-dom "file://$log/TestLog.htm" > "$tmp/run.dom"
python3 "$here/read_page.py" rows "$tmp/run.dom" "$log" "$tmp/expected.txt" || failures=$((failures + 1))
browse --screenshot="$tmp/run.png" --window-size=700,300 "file://$log/TestLog.htm" > /dev/null
python3 "$here/read_page.py" pixels "$tmp/run.png" || failures=$((failures + 1))

# A Save Screen folder of the same kind of lines.
KESTRUNE_SAVESCREEN_OUT="$tmp/desktop" "$tests" --gtest_filter='SaveScreenTest.FolderForTheBrowserCheck' > "$tmp/save.out" 2>&1 \
  || { cat "$tmp/save.out"; failures=$((failures + 1)); }
saved=$(ls -d "$tmp/desktop"/\[SaveScreen_* 2>/dev/null | head -1)
if [ -z "$saved" ]; then
  echo "FAIL: no Save Screen folder"; failures=$((failures + 1))
else
  browse --dump-dom "file://$saved/TestLog.htm" > "$tmp/saved.dom"
  python3 "$here/read_page.py" rows "$tmp/saved.dom" "$saved" "$saved/expected.txt" || failures=$((failures + 1))
  iconv -f UTF-16LE -t UTF-8 "$saved/TestLog.txt" | sed '1s/^\xEF\xBB\xBF//; s/^        //' > "$tmp/saved.txt"
  cmp -s "$tmp/saved.txt" "$saved/expected.txt" || { echo "FAIL: TestLog.txt reads otherwise"; diff "$tmp/saved.txt" "$saved/expected.txt"; failures=$((failures + 1)); }
fi
[ $failures -eq 0 ] && echo "PASS: HTML log and Save Screen read back by the browser" && exit 0
exit 1
