#!/usr/bin/env bash
# The start-again registrations of the Windows build through Wine's Task Scheduler: a registration
# is a task file in the scheduler's folder and on the list with its arguments, a second one with
# the same name replaces the arguments, and removing it deletes the task (removing it again is no
# failure). Wine's Task Scheduler has no logon trigger (E_NOTIMPL, 0x80004001): there the check is
# that the refusal says so and leaves no task behind. Run by scripts/wine-smoke.sh.
set -uo pipefail
cd "$(dirname "$0")/../.."
probe=build/windows/autostart_probe.exe
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" DISPLAY=
[ -f "$probe" ] || { echo "autostart check: SKIP, no $probe (build the windows preset)"; exit 0; }
fails=0
check() { # what, got, want
  if [ "$2" = "$3" ]; then echo "PASS: $1"; else echo "FAIL: $1: got '$2', want '$3'"; fails=$((fails + 1)); fi
}
p() { timeout 120 "$wine" "$probe" "$@" 2>/dev/null | tr -d '\r'; }
name=AutoRunOnStartup_4242
task="$WINEPREFIX/drive_c/windows/system32/Tasks/$name"
p remove "$name" > /dev/null
got=$(p register "$name" 'SCRIPT:"C:\run.scpt" /sim')
if [ "$got" = "the logon trigger failed (0x80004001)" ]; then
  echo "PASS: the registration is refused with the scheduler's reason: $got"
  check "a refused registration leaves no task file" "$([ -e "$task" ] && echo left || echo none)" "none"
  check "a refused registration is not on the list" "$(p list | grep -c "^$name|")" "0"
  echo "autostart check: SKIP the rest, this Wine's Task Scheduler has no logon trigger"
  exit $((fails != 0))
fi
check "register" "$got" "registered"
check "the task file is in the scheduler's folder" "$([ -f "$task" ] && echo yes)" "yes"
check "the list shows it with its arguments" "$(p list | grep "^$name|")" "$name|SCRIPT:\"C:\\run.scpt\" /sim"
check "register again replaces the arguments" "$(p register "$name" 'FRAME:4242/1')" "registered"
check "the list shows the new arguments once" "$(p list | grep "^$name|")" "$name|FRAME:4242/1"
check "remove" "$(p remove "$name")" "removed"
check "the task file is gone" "$([ -e "$task" ] && echo left || echo gone)" "gone"
check "the list no longer shows it" "$(p list | grep -c "^$name|")" "0"
check "removing it again is no failure" "$(p remove "$name")" "removed"
[ $fails -eq 0 ] && echo "autostart check: passed"
exit $((fails != 0))
