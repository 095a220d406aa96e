#!/usr/bin/env bash
# The client master trace fetched by the program's download routine with the system's FTP client
# from a real FTP server (pyftpdlib on 127.0.0.1, a free port, a bounded life): a plain and a ZIP64
# zip made by Python's zipfile arrive whole (sha256 of the zip and of the extracted trace); a wrong
# password, a missing file, a server that never answers, a server killed in mid-transfer and no
# server at all each give -11 and leave nothing in the work folder, and the password shows nowhere.
# The Windows build's probe runs the same fetches under Wine when it is built.
#
# Usage: tests/lab/check_trace_fetch.sh   (KESTRUNE_PROBE: the probe, default build/dev/trace_fetch_probe;
# KESTRUNE_WIN_PROBE: the Windows one, default build/windows/trace_fetch_probe.exe)
# Exit code 0 when every case passed (or SKIP when a tool is missing), 1 otherwise.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
probe=${KESTRUNE_PROBE:-$repo/build/dev/trace_fetch_probe}
win_probe=${KESTRUNE_WIN_PROBE:-$repo/build/windows/trace_fetch_probe.exe}
if [ ! -x "$probe" ]; then
  echo "SKIP: no probe at $probe (build the dev preset, or set KESTRUNE_PROBE)"
  exit 0
fi
py=
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null && "$candidate" -c 'import pyftpdlib' 2>/dev/null; then py=$candidate; break; fi
done
if [ -z "$py" ]; then
  echo "SKIP: no python3 with pyftpdlib (apt-get install python3-pyftpdlib)"
  exit 0
fi

. "$(dirname "${BASH_SOURCE[0]}")/lab_common.sh"
failures=0
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
password='pw#1;x=y'
root=$work/root
mkdir -p "$root/JEDEC_Client"

# The zips: the trace deflated in a plain archive, and in a ZIP64 one (ZIP64 extra fields, end
# record and locator: Python writes them for sizes over its limit, lowered here to 1 KiB).
"$py" - "$work" <<'PY' || { echo "FAIL: cannot make the zips"; exit 1; }
import random, sys, zipfile
work = sys.argv[1]
random.seed(219)
trace = "".join("%s %d %d\n" % (random.choice(["$write", "$trims", "$flush"]), random.getrandbits(28),
                                random.randint(1, 256)) for _ in range(120000)).encode()
open(work + "/trace.txt", "wb").write(trace)
name = "Client_128_GB_Master_Trace.txt"
with zipfile.ZipFile(work + "/plain.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr(name, trace)
zipfile.ZIP64_LIMIT = 1024
with zipfile.ZipFile(work + "/zip64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("readme.txt", b"x" * 4000)
    with z.open(name, "w", force_zip64=True) as f:
        f.write(trace)
data = open(work + "/zip64.zip", "rb").read()
assert b"PK\x06\x06" in data and b"PK\x06\x07" in data, "no ZIP64 end records"
PY

# serve NAME [throttled]: an FTP server of $root on a free port that ends itself after 60 s; sets
# port and server_pid (the server's own process). Throttled sends 128 KiB a second.
serve() {
  rm -f "$work/$1.port"
  "$py" - "$root" "$password" "$work/$1.port" "${2:-}" >"$work/$1.log" 2>&1 <<'PY' &
import os, sys, threading
threading.Timer(60, os._exit, [3]).start()
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
root, password, port_file, mode = sys.argv[1:5]
auth = DummyAuthorizer()
auth.add_user("tester", password, root, perm="elr")
handler = FTPHandler
handler.authorizer = auth
handler.auth_failed_timeout = 0.1  # answers a wrong password at once
if mode == "throttled":
    ThrottledDTPHandler.write_limit = 128 * 1024
    handler.dtp_handler = ThrottledDTPHandler
server = FTPServer(("127.0.0.1", 0), handler)
open(port_file + ".tmp", "w").write(str(server.address[1]))
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
PY
  server_pid=$!
  pids+=("$server_pid")
  for _ in $(seq 100); do [ -s "$work/$1.port" ] && break; sleep 0.05; done
  port=$(cat "$work/$1.port" 2>/dev/null)
  [ -n "$port" ] || { echo "FAIL: the FTP server $1 did not start"; cat "$work/$1.log"; exit 1; }
}

# station NAME PORT PASSWORD: a station file for the probe.
station() {
  printf '[FILESERVER]\r\nServer=127.0.0.1\r\nPort=%s\r\nUser=tester\r\nPassword=%s\r\n' "$2" "$3" >"$work/$1.ini"
}

# fetch NAME [PROBE...]: the probe fetches into a fresh folder $work/NAME; output in NAME.out.
fetch() {
  local name=$1
  shift
  rm -rf "$work/$name"
  mkdir -p "$work/$name"
  timeout 60 "${@:-$probe}" "$work/$name.ini" "$work/$name" 3 >"$work/$name.out" 2>&1
  echo $? >"$work/$name.rc"
}
code_of() { tr -d '\r' <"$work/$1.out" | sed -n 's/^code=//p' | tail -1; }
reason_of() { tr -d '\r' <"$work/$1.out" | sed -n 's/^reason=//p' | tail -1; }
sha() { sha256sum "$1" 2>/dev/null | cut -d' ' -f1; }

# expect_fetched NAME ZIP: the zip and the trace arrived whole and nothing else is left.
expect_fetched() {
  local dir=$work/$1
  if [ "$(code_of "$1")" = 0 ] && [ "$(sha "$dir/Client_128_GB_Master_Trace.zip")" = "$(sha "$2")" ] &&
     [ "$(sha "$dir/Client_128_GB_Master_Trace.txt")" = "$(sha "$work/trace.txt")" ] &&
     [ "$(ls "$dir" | wc -l)" = 2 ]; then
    pass "$1: fetched whole, sha256 of the zip and the trace match"
  else
    fail "$1: code $(code_of "$1"), left $(ls "$dir" | tr '\n' ' ')"; sed 's/^/    /' "$work/$1.out" | tail -5
  fi
}
# expect_failed NAME WORDS: -11 with WORDS in the reason, nothing left, no password printed.
expect_failed() {
  local dir=$work/$1
  local left
  left=$(ls -A "$dir" | tr '\n' ' ')
  if [ "$(code_of "$1")" = -11 ] && [ -z "$left" ] && grep -qi -- "$2" <<<"$(reason_of "$1")" &&
     ! grep -qF -- "$password" "$work/$1.out"; then
    pass "$1: -11 ($(reason_of "$1")), nothing left"
  else
    fail "$1: code '$(code_of "$1")', reason '$(reason_of "$1")', left '$left'"; sed 's/^/    /' "$work/$1.out" | tail -5
  fi
}

# run_cases PREFIX PROBE...: every case with the given probe.
run_cases() {
  local p=$1
  shift
  serve "${p}ftp"
  cp "$work/plain.zip" "$root/JEDEC_Client/Client_128_GB_Master_Trace.zip"
  station "${p}plain" "$port" "$password"; fetch "${p}plain" "$@"; expect_fetched "${p}plain" "$work/plain.zip"
  cp "$work/zip64.zip" "$root/JEDEC_Client/Client_128_GB_Master_Trace.zip"
  station "${p}zip64" "$port" "$password"; fetch "${p}zip64" "$@"; expect_fetched "${p}zip64" "$work/zip64.zip"
  station "${p}badpassword" "$port" "wrong-$password"; fetch "${p}badpassword" "$@"
  expect_failed "${p}badpassword" "login"
  rm "$root/JEDEC_Client/Client_128_GB_Master_Trace.zip"
  station "${p}missing" "$port" "$password"; fetch "${p}missing" "$@"; expect_failed "${p}missing" "no such file"
  kill -KILL "$server_pid"; wait "$server_pid" 2>/dev/null
  station "${p}noserver" "$port" "$password"; fetch "${p}noserver" "$@"; expect_failed "${p}noserver" "refused\|answer"
}

run_cases "" "$probe"

# A listener that takes the connection and never says a word: the reply time-out (3 s) ends it.
"$py" -c '
import os, socket, sys, threading
threading.Timer(60, os._exit, [3]).start()
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(4)
open(sys.argv[1], "w").write(str(s.getsockname()[1]))
conns = []
while True:
    c, _ = s.accept(); conns.append(c)
' "$work/silent.port" &
pids+=("$!")
for _ in $(seq 100); do [ -s "$work/silent.port" ] && break; sleep 0.05; done
station silent "$(cat "$work/silent.port")" "$password"
began=$SECONDS
fetch silent
expect_failed silent "stall\|answer"
[ $((SECONDS - began)) -le 20 ] && pass "silent: ended in $((SECONDS - began)) s" || fail "silent: took $((SECONDS - began)) s"

# A server killed in mid-transfer (throttled, so the transfer is still going).
cp "$work/plain.zip" "$root/JEDEC_Client/Client_128_GB_Master_Trace.zip"
serve killed throttled
station killed "$port" "$password"
rm -rf "$work/killed"; mkdir -p "$work/killed"
timeout 60 "$probe" "$work/killed.ini" "$work/killed" 3 >"$work/killed.out" 2>&1 &
fetch_pid=$!
for _ in $(seq 200); do [ -s "$work/killed/Client_128_GB_Master_Trace.zip.part" ] && break; sleep 0.05; done
kill -KILL "$server_pid"
wait "$fetch_pid"
expect_failed killed "ended early\|stall\|fail\|partial\|refused\|answer"

# The Windows build under Wine.
wine=/usr/lib/wine/wine64
if [ ! -x "$wine" ]; then
  echo "SKIP: Wine: no $wine"
elif [ ! -f "$win_probe" ]; then
  echo "SKIP: Wine: no Windows probe at $win_probe (build the windows preset, or set KESTRUNE_WIN_PROBE)"
else
  export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$repo/build/wineprefix}" DISPLAY=
  run_cases "wine-" "$wine" "$win_probe"
fi

if [ "$failures" -eq 0 ]; then echo "ALL TRACE FETCH CASES PASSED"; exit 0; fi
echo "$failures TRACE FETCH CASE(S) FAILED"
exit 1
