#!/usr/bin/env bash
# The start-again registrations of the Windows build through Wine's Task Scheduler.
# - The task text a registration hands the scheduler is read back by Python's XML parser: the
#   program and arguments come back exactly, whatever they hold, with a logon trigger and the
#   highest run level.
# - Where the scheduler keeps the whole task: a registration is a task file in the scheduler's
#   folder and on the list with its arguments, a second one with the same name replaces the
#   arguments, and removing it deletes the task (removing it again is no failure).
# - Wine's scheduler accepts the text but keeps neither trigger nor action. A task that would start
#   nothing is no registration, so there the check is that the registration is refused with that
#   reason and leaves no task behind. Run by scripts/wine-smoke.sh.
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
xml_args='SCRIPT:"C:\a & b\<x>.scpt" /sim '"'q'"' ANSWERS:"d:\x;y.txt"'
timeout 120 "$wine" "$probe" xml "$xml_args" 2>/dev/null > "${TMPDIR:-/tmp}/kestrune-task.xml"
check "the task text reads back in an XML parser" "$(/usr/bin/python3 - "${TMPDIR:-/tmp}/kestrune-task.xml" "$xml_args" <<'PY'
import sys, xml.etree.ElementTree as ET
ns = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
task = ET.parse(sys.argv[1]).getroot()
got = (task.findtext("t:Actions/t:Exec/t:Command", namespaces=ns),
       task.findtext("t:Actions/t:Exec/t:Arguments", namespaces=ns),
       task.find("t:Triggers/t:LogonTrigger", ns) is not None,
       task.findtext("t:Principals/t:Principal/t:RunLevel", namespaces=ns),
       task.findtext("t:Settings/t:ExecutionTimeLimit", namespaces=ns))
want = ("C:\\kestrune\\kestrune.exe", sys.argv[2], True, "HighestAvailable", "PT0S")
print("same" if got == want else "got %r, want %r" % (got, want))
PY
)" "same"
rm -f "${TMPDIR:-/tmp}/kestrune-task.xml"
name=AutoRunOnStartup_4242
tasks="$WINEPREFIX/drive_c/windows/system32"
task_file() { find "$tasks" -maxdepth 2 -ipath "*/tasks/$name" 2>/dev/null | head -1; }
p remove "$name" > /dev/null
got=$(p register "$name" 'SCRIPT:"C:\run.scpt" /sim')
if [ "$got" = "the Task Scheduler kept no logon trigger" ]; then
  echo "PASS: the registration is refused with the reason: $got"
  check "a refused registration leaves no task file" "$([ -n "$(task_file)" ] && echo left || echo none)" "none"
  check "a refused registration is not on the list" "$(p list | grep -c "^$name|")" "0"
  echo "autostart check: SKIP the rest, this Wine's Task Scheduler keeps no trigger or action"
  exit $((fails != 0))
fi
check "register" "$got" "registered"
check "the task file is in the scheduler's folder" "$([ -n "$(task_file)" ] && echo yes)" "yes"
check "the list shows it with its arguments" "$(p list | grep "^$name|")" "$name|SCRIPT:\"C:\\run.scpt\" /sim"
check "register again replaces the arguments" "$(p register "$name" 'FRAME:4242/1')" "registered"
check "the list shows the new arguments once" "$(p list | grep "^$name|")" "$name|FRAME:4242/1"
check "remove" "$(p remove "$name")" "removed"
check "the task file is gone" "$([ -n "$(task_file)" ] && echo left || echo gone)" "gone"
check "the list no longer shows it" "$(p list | grep -c "^$name|")" "0"
check "removing it again is no failure" "$(p remove "$name")" "removed"
[ $fails -eq 0 ] && echo "autostart check: passed"
exit $((fails != 0))
