#!/usr/bin/env bash
# The window form of the Windows build under Wine on an Xvfb display (the script starts one through
# xvfb-run when there is no display). The program of this check carries a package with Style 0; the
# probe (window_probe.exe) reads its main dialog from another process.
#  1. The window opens (xdotool finds it by its caption), the run's lines reach the output list and are
#     drawn in their colours (a screenshot), Start is enabled again at the run's end, and the window
#     stays (UI mode 0) until it is closed; exit 0.
#  2. With UI:1 the window closes by itself at the end of a run without error; exit 0, the run's
#     TestLog.htm has the window form's "SCRIPT START" line, and /debug leaves the run's .datx archive.
#  3. Stop (id 1002) cancels a long run: "---- Cancel Job ----", and with UI:2 the window closes; the
#     exit code is the cancelled run's -255 (the shell sees 1).
#  4. UI:0 without a disk opens the disk selection dialog first; OK runs on the chosen disk.
#  5. The operator dialogs, answered by xdotool: a MessageBox's Cancel stores 0; an InputBox with
#     LenthLimit 10 clears a 9-character scan, shows the whole note of a long one, and takes a
#     10-character one; an AutoOK MessageBox counts
#     "OK (20)" down on its default button, and Escape declines it and stops the job (-255).
#  6. Stopping the job closes an open dialog.
#  7. A ComboBox, a NumberBox and two CheckListBoxes answered by xdotool store the item's index, the
#     number (after refusing one that is none) and the check states; an AutoOK ComboBox left alone
#     closes by itself after its 20 seconds with the preselected item.
#  8. A run resumed after a restart: boot 1 closes the window at its PCReBoot (exit 0, one registration
#     in the lab); --autorun opens the main window, which goes on after the statement
#     ("SCRIPT RESUME (Reboot 1)"), and leaves no registration.
#  9. Style 10 (its own program) shows the status history in a text box instead of the list, and its
#     package's logo option the logo.
# 10. 50,000 lines: the window answers another program's message within 5 s all the while, and the
#     list ends with every line; Stop pressed by the mouse (xdotool) until the run stops:
#     "---- Cancel Job ----", Start enabled again, the window stays (UI mode 0); closing the window
#     during the next run asks first (Cancel: the run goes on; OK: it stops); closing it idle ends the
#     program with the last run's code (-255).
# 11. The output list on screen (ImageMagick): a black background, nothing drawn left of x = 90,
#     the rows in their colours, a picture drawn in its row, and a picture that cannot be read shown
#     as a red "Image Not Found".
# 12. A lab drive unplugged during a run: after ReScanDriver (32810) the disk combo box names the
#     run's disk "- Disconnect", and the run goes on.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run > /dev/null || { echo "window check: SKIP: xvfb-run is not installed"; exit 0; }
  exec timeout 300 xvfb-run -a bash "$0" "$@"
fi
command -v xdotool > /dev/null || { echo "window check: xdotool is not installed (scripts/setup.sh)"; exit 1; }
exe=$PWD/build/windows/src/kestrune_window_check.exe
probe=$PWD/build/windows/window_probe.exe
wine=/usr/lib/wine/wine64
caption="Kestrune Window Check"
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}" WINEDLLOVERRIDES="mscoree=;mshtml="
# A Wine server left from programs started without a display keeps its desktop without one.
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w 2>/dev/null || true
work=$(mktemp -d)
program=
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "window check: $*"
  exit 1
}

# Waits (at most $2 seconds) until the command $1 succeeds.
wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.5
  done
}

probe() { timeout 20 "$wine" "$probe" "$@" 2>/dev/null | tr -d '\r'; }
lines() { timeout 20 "$wine" "$probe" lines "$caption" 2>/dev/null | tr -d '\r' || true; }
has_line() { lines | grep -q -- "$1"; }
window_shown() { xdotool search --name "^$caption\$" > /dev/null 2>&1; }
# The newest TestLog.htm of this check's runs below the Wine user's temporary folder.
newest_log() { find "$WINEPREFIX/drive_c" -path '*KestruneLite*' -name TestLog.htm -newer "$work/stamp" -printf '%T@ %p\n' 2>/dev/null | sort -n | tail -1 | cut -d' ' -f2-; }

# The text of a TestLog.htm, its blanks as blanks.
log_text() { sed 's/&nbsp;/ /g' "$1"; }

start() {
  (cd "$work" && exec timeout 120 "$wine" "$exe" "$@" > /dev/null 2>&1) &
  program=$!
}
# Waits for the program; its exit code goes into rc.
finish() {
  rc=0
  wait "$program" || rc=$?
  program=
}

# 1. The window stays after a run without error in UI mode 0; closing it while idle ends the program.
touch "$work/stamp"
start /sim '\\.\PHYSICALDRIVE0'
wait_for window_shown 60 || fail "the main window did not open"
wait_for 'has_line "Window check done."' 60 || fail "the run's last line did not reach the output list: $(lines)"
out=$(lines)
grep -q '##### SCRIPT START' <<<"$out" || fail "no SCRIPT START line in the output list: $out"
grep -q 'Window check: first line' <<<"$out" || fail "the first Print line is missing: $out"
grep -q 'LBARead' <<<"$out" || fail "the LBARead header is missing: $out"
wait_for '[ "$(timeout 20 "$wine" "$probe" enabled "$caption" 1 | tr -d "\r")" = 1 ]' 30 ||
  fail "Start was not enabled again after the run"
window_shown || fail "the window closed after the run in UI mode 0"
# The logo is the window's icon (Wine hands it to the X server: pixels of the logo's blue 0xFF1F4E9A);
# Start and refresh show theirs; the package leaves the logo out of the disk frame.
logo_pixels=0
command -v xprop > /dev/null || logo_pixels=51  # not looked at without xprop (x11-utils)
for id in $(xdotool search --name "^$caption\$"); do
  n=$(xprop -id "$id" -f _NET_WM_ICON 32c ' = $0+' _NET_WM_ICON 2>/dev/null | grep -o '\b4280241818\b' | wc -l)
  [ "$n" -gt "$logo_pixels" ] && logo_pixels=$n
done
[ "$logo_pixels" -gt 50 ] || fail "the window's icon is not the logo ($logo_pixels of its pixels)"
icons="$(probe icon "$caption" 1)$(probe icon "$caption" 1015)$(probe visible "$caption" 1004)"
[ "$icons" = 110 ] || fail "the icons of Start and refresh and the hidden logo: $icons, not 110"
# The owner-drawn rows in their colours: green command headers and the yellow Print line on screen.
if command -v import > /dev/null && [ -x /usr/bin/convert ]; then
  import -window root "$work/screen.png"
  for colour in '#00FF00' '#FFFF00'; do
    pixels=$(/usr/bin/convert "$work/screen.png" -fuzz 10% -fill black +opaque "$colour" -fill white -opaque "$colour" \
             -format '%[fx:round(mean*w*h)]' info:)
    [ "$pixels" -gt 20 ] || fail "no $colour text on the screen ($pixels pixels): the output list is not drawn"
  done
  echo "window check: the output list draws its rows in their colours"
fi
timeout 20 "$wine" "$probe" click "$caption" 2
finish
[ "$rc" = 0 ] || fail "closing the idle window ended with exit code $rc, not 0"
echo "window check: the window showed the run's $(wc -l <<<"$out") lines, stayed, and closed with exit code 0"

# 2. UI:1 closes the window at the end of a run without error.
touch "$work/stamp"
start /sim '\\.\PHYSICALDRIVE0' UI:1 /debug
finish
[ "$rc" = 0 ] || fail "the run with UI:1 ended with exit code $rc (124: the window did not close)"
log=$(newest_log)
[ -n "$log" ] || fail "the run with UI:1 left no TestLog.htm"
log_text "$log" | grep -q 'SCRIPT START' && log_text "$log" | grep -q 'Window check done.' ||
  fail "the run's TestLog.htm lacks the window form's lines ($log)"
archive=$(find "$(dirname "$exe")" -maxdepth 1 -name 'kestrune_window_check_*.datx' -newer "$work/stamp" | head -1)
[ -n "$archive" ] || fail "the run with /debug left no .datx archive beside the program"
rm -f "$archive"
echo "window check: with UI:1 the window closed by itself at the end of the run (exit code 0); /debug left its archive"

# 3. Stop cancels a long run; with UI:2 the window then closes.
printf 'Print( Output:"waiting for Stop" );\r\nDelay( sec:60 );\r\nPrint( Output:"not reached" );\r\n' > "$work/long.scpt"
touch "$work/stamp"
start 'SCRIPT:long.scpt' /sim '\\.\PHYSICALDRIVE0' UI:2
wait_for 'has_line "waiting for Stop"' 60 || fail "the long run did not start: $(lines)"
timeout 20 "$wine" "$probe" click "$caption" 1002
finish
[ "$rc" = 1 ] || fail "the stopped run ended with exit code $rc, not -255 (1 in the shell; 124: the window stayed)"
log=$(newest_log)
[ -n "$log" ] && log_text "$log" | grep -q -- '---- Cancel Job ----' && ! log_text "$log" | grep -q 'not reached' ||
  fail "the stopped run's TestLog.htm has no cancel line ($log)"
echo "window check: Stop cancelled the run, the window closed, exit code -255"
# 4. Quiet mode (UI:0) without a disk: the disk selection dialog first; OK runs on the chosen disk and
#    the window closes at the end.
touch "$work/stamp"
start /sim UI:0
wait_for '[ "$(timeout 20 "$wine" "$probe" enabled "Select Disk - $caption" 1 | tr -d "\r")" = 1 ]' 60 ||
  fail "the disk selection dialog did not open"
timeout 20 "$wine" "$probe" click "Select Disk - $caption" 1
finish
[ "$rc" = 0 ] || fail "the run on the chosen disk ended with exit code $rc (124: the window did not close)"
log=$(newest_log)
[ -n "$log" ] && log_text "$log" | grep -q 'Window check done.' || fail "the run on the chosen disk did not end ($log)"
echo "window check: the disk selection dialog chose the disk, the run ended and the window closed"
# 5. The operator dialogs.
probe_finds() { timeout 20 "$wine" "$probe" text "$1" 0 > /dev/null 2>&1; }
# A mouse click on control $2 of the top-level window $1 (by the probe's "class:NAME").
click_on() {
  local at
  at=$(probe point "$1" "$2")
  [ -n "$at" ] || fail "no control $2 in $1"
  # shellcheck disable=SC2086
  xdotool mousemove --sync $at click 1
}
# The MessageBox icon of $2 on screen is the standard $1 icon: red (error) or yellow (warning) pixels,
# and none of the other colour. Without ImageMagick the look is not checked.
icon_colours() {
  import -window root -crop "$2" +repage "$work/icon.png"
  red=$(/usr/bin/convert "$work/icon.png" -fx '(r>0.6&&g<0.35&&b<0.35)?1:0' -format '%[fx:round(mean*w*h)]' info:)
  yellow=$(/usr/bin/convert "$work/icon.png" -fx '(r>0.7&&g>0.6&&b<0.35)?1:0' -format '%[fx:round(mean*w*h)]' info:)
  case $1 in
    error) [ "$red" -gt 40 ] && [ "$yellow" -lt 10 ] ;;
    warning) [ "$yellow" -gt 40 ] && [ "$red" -lt 10 ] ;;
  esac
}
icon_is() {
  command -v import > /dev/null && [ -x /usr/bin/convert ] || return 0
  local at
  at=$(probe rect "$2" 2002)
  [ -n "$at" ] || fail "the $2 window has no icon (control 2002)"
  wait_for 'icon_colours "$1" "$at"' 3 || fail "the $2 icon ($at) is not the $1 icon: $red red and $yellow yellow pixels"
  echo "window check: the $2 window shows the $1 icon ($red red, $yellow yellow pixels)"
}
printf '%s\r\n' \
  'iResult = MessageBox( Output:"Cancel me", Button:"OKCANCEL", AutoOK:FALSE, ICON:"ERROR" );' \
  'Print( Output:"MessageBox answered " + iResult );' \
  'ReturnData = InputBox( Title:"Barcode:", LenthLimit:10 );' \
  'Print( Output:"InputBox answered " + ReturnData );' \
  'iResult = MessageBox( Output:"Counting down", AutoOK:TRUE, ICON:"WARNING" );' \
  'Print( Output:"not reached " + iResult );' > "$work/dialogs.scpt"
touch "$work/stamp"
start 'SCRIPT:dialogs.scpt' /sim '\\.\PHYSICALDRIVE0' UI:2
wait_for '[ "$(probe text class:myBox 1)" = OK ]' 60 || fail "the MessageBox did not open: $(lines)"
[ "$(probe enabled "$caption" 0)" = 0 ] || fail "the main window is not disabled while the MessageBox shows"
icon_is error class:myBox
click_on class:myBox 2010
wait_for 'has_line "MessageBox answered 0"' 30 || fail "Cancel did not store 0: $(lines)"
echo "window check: the MessageBox answered Cancel by a click stored 0"
wait_for 'probe_finds class:InputBox' 30 || fail "the InputBox did not open: $(lines)"
click_on class:InputBox 2004
xdotool type --delay 20 123456789
xdotool key Return
wait_for '[ -n "$(probe text class:InputBox 2009)" ]' 20 ||
  fail "the 9-character scan was not refused (the field holds \"$(probe text class:InputBox 2004)\")"
[ -z "$(probe text class:InputBox 2004)" ] || fail "the refused scan was not cleared: $(probe text class:InputBox 2004)"
has_line "InputBox answered" && fail "the 9-character scan closed the InputBox"
echo "window check: the 9-character scan was refused: $(probe text class:InputBox 2009)"
# A long scan's note runs over several lines: the note and its window grow to show all of it.
long_scan=$(printf '%070d' 7)
xdotool type --delay 10 "$long_scan"
xdotool key Return
wait_for 'probe text class:InputBox 2009 | grep -q "$long_scan"' 20 || fail "the long scan's note is not shown: $(probe text class:InputBox 2009)"
note_fit=$(probe fits class:InputBox 2009 "Microsoft JhengHei" 9)
[ "${note_fit% *}" -ge 2 ] && [ "${note_fit#* }" = 1 ] ||
  fail "the note of the long scan ($note_fit: lines, fits) is cut off: $(probe text class:InputBox 2009)"
echo "window check: the long scan's note shows all its ${note_fit% *} lines"
xdotool type --delay 20 1234567890
xdotool key Return
wait_for 'has_line "InputBox answered 1234567890"' 20 || fail "the 10-character scan was not taken: $(lines)"
echo "window check: the 10-character scan was taken"
wait_for 'probe text class:myBox 1 | grep -q "^OK ("' 30 || fail "the AutoOK MessageBox shows no countdown"
first=$(probe text class:myBox 1)
sleep 2.5
second=$(probe text class:myBox 1)
first=${first#OK (}
second=${second#OK (}
[ "${first%)}" -ge 17 ] && [ "${first%)}" -le 20 ] && [ "${second%)}" -lt "${first%)}" ] ||
  fail "the countdown did not count down from 20: OK ($first, then OK ($second"
echo "window check: the default button counted OK ($first, then OK ($second"
icon_is warning class:myBox
click_on class:myBox 2001
xdotool key Escape
finish
[ "$rc" = 1 ] || fail "Escape in the MessageBox ended with exit code $rc, not -255 (1 in the shell; 124: it stayed)"
log=$(newest_log)
[ -n "$log" ] || fail "the dialog run left no TestLog.htm"
for want in 'Operator answer - Cancel me - Cancel (operator)' 'Operator answer - Counting down - Cancel (Escape)' \
            '---- Cancel Job ----'; do
  log_text "$log" | grep -qF -- "$want" || fail "the dialog run's TestLog.htm lacks \"$want\" ($log)"
done
log_text "$log" | grep -q 'not reached' && fail "the job went on after Escape ($log)"
echo "window check: Escape declined the MessageBox and stopped the job (exit code -255)"
# 6. A job stopped while a dialog shows (Stop reaches the disabled main window as a posted command, as
#    a broadcast error stop would cancel it) closes the dialog, declined.
printf '%s\r\n' \
  'iValue = ComboBox( Output:"Pick one", ItemList:"AAA|*BBB|CCC", AutoOK:FALSE );' \
  'Print( Output:"not reached " + iValue );' > "$work/stopped.scpt"
touch "$work/stamp"
start 'SCRIPT:stopped.scpt' /sim '\\.\PHYSICALDRIVE0' UI:2
wait_for 'probe_finds class:myCombo' 60 || fail "the ComboBox did not open: $(lines)"
timeout 20 "$wine" "$probe" click "$caption" 1002
finish
[ "$rc" = 1 ] || fail "the job stopped under a ComboBox ended with exit code $rc, not -255 (124: the dialog stayed)"
log=$(newest_log)
[ -n "$log" ] && log_text "$log" | grep -qF 'Operator answer - Pick one - none (Escape)' &&
  ! log_text "$log" | grep -q 'not reached' || fail "the stopped ComboBox was not declined ($log)"
echo "window check: stopping the job closed the open ComboBox, declined"
# 7. The combo, number and check-list boxes answered by the operator, then a ComboBox left alone until
#    its AutoOK countdown runs out: it closes by itself with the preselected item.
printf '%s\r\n' \
  'iValue = ComboBox( Output:"Pick CCC", ItemList:"AAA|*BBB|CCC", AutoOK:FALSE );' \
  'Print( Output:"ComboBox answered " + iValue );' \
  'iValue = NumberBox( "Number:", 10, FALSE );' \
  'Print( Output:"NumberBox answered " + iValue );' \
  'sList = CheckListBox( "Test item?", "*AAA|BBB|*CCC|DDD", FALSE );' \
  'Print( Output:"CheckListBox unchanged " + sList );' \
  'sList = CheckListBox( "Check all", "*AAA|BBB|*CCC|DDD", FALSE );' \
  'Print( Output:"CheckListBox all " + sList );' \
  'iValue = ComboBox( Output:"Counting down", ItemList:"AAA|*BBB|CCC", AutoOK:TRUE );' \
  'Print( Output:"AutoOK answered " + iValue );' > "$work/boxes.scpt"
touch "$work/stamp"
start 'SCRIPT:boxes.scpt' /sim '\\.\PHYSICALDRIVE0' UI:2
wait_for 'probe_finds class:myCombo' 60 || fail "the ComboBox did not open: $(lines)"
[ "$(probe text class:myCombo 1)" = OK ] || fail "the ComboBox without AutoOK shows \"$(probe text class:myCombo 1)\" on OK"
[ "$(probe text class:myCombo 2003)" = BBB ] || fail "the ComboBox did not preselect BBB: $(probe text class:myCombo 2003)"
click_on class:myCombo 2003
xdotool key Down Return
wait_for '[ "$(probe text class:myCombo 2003)" = CCC ]' 10 || fail "Down did not choose CCC: $(probe text class:myCombo 2003)"
click_on class:myCombo 1
wait_for 'has_line "ComboBox answered 2"' 20 || fail "the ComboBox did not store CCC's index 2: $(lines)"
echo "window check: the ComboBox stored the index of the item chosen by the keyboard"
wait_for 'probe_finds class:myNumber' 30 || fail "the NumberBox did not open: $(lines)"
[ "$(probe text class:myNumber 2004)" = 10 ] || fail "the NumberBox field does not hold 10: $(probe text class:myNumber 2004)"
click_on class:myNumber 2004
xdotool key End BackSpace BackSpace
xdotool type --delay 20 12x
click_on class:myNumber 1
wait_for '[ -n "$(probe text class:myNumber 2009)" ]' 20 || fail "the NumberBox took \"12x\": $(lines)"
has_line "NumberBox answered" && fail "the refused number closed the NumberBox"
xdotool type --delay 20 4321
click_on class:myNumber 1
wait_for 'has_line "NumberBox answered 4321"' 20 || fail "the NumberBox did not store 4321: $(lines)"
echo "window check: the NumberBox refused 12x and stored 4321"
wait_for 'probe_finds class:myCheckList' 30 || fail "the CheckListBox did not open: $(lines)"
click_on class:myCheckList 1
wait_for 'has_line "CheckListBox unchanged"' 20 || fail "the CheckListBox did not answer: $(lines)"
has_line 'CheckListBox unchanged "1","0","1","0"' || fail "the unchanged CheckListBox did not store 1,0,1,0: $(lines)"
wait_for '[ "$(probe text class:myCheckList 2001)" = "Check all" ]' 30 ||
  fail "the second CheckListBox did not open: $(lines)"
click_on class:myCheckList 2006
click_on class:myCheckList 1
wait_for 'has_line "CheckListBox all"' 20 || fail "the second CheckListBox did not answer: $(lines)"
has_line 'CheckListBox all "1","1","1","1"' || fail "\" Check / Uncheck all items\" did not check every item: $(lines)"
echo "window check: the CheckListBox stored 1,0,1,0 unchanged and 1,1,1,1 after \"Check / Uncheck all items\""
wait_for 'probe text class:myCombo 1 | grep -q "^OK ("' 30 || fail "the AutoOK ComboBox shows no countdown: $(lines)"
finish
[ "$rc" = 0 ] || fail "the dialog run ended with exit code $rc (124: the AutoOK ComboBox did not close by itself)"
log=$(newest_log)
[ -n "$log" ] || fail "the box run left no TestLog.htm"
for want in 'Operator answer - Counting down - BBB (countdown)' 'AutoOK answered 1'; do
  log_text "$log" | grep -qF -- "$want" || fail "the box run's TestLog.htm lacks \"$want\" ($log)"
done
echo "window check: the AutoOK ComboBox closed by itself after its countdown and stored BBB's index 1"
# 8. A run resumed after a restart, in the window form: boot 1 ends at its PCReBoot as the restart would
#    (the window closes, exit 0, one registration in the lab); --autorun (the next logon) opens the main
#    window, which goes on after the statement, and leaves no registration once the window is closed.
printf '%s\r\n' \
  'Print( Output:"before the restart" );' \
  'PCReBoot( DelayRunSec:0, PowerAction:1 );' \
  'Print( Output:"after the restart" );' > "$work/resume.scpt"
lab="SIMDIR:Z:${work//\//\\}\\lab"
registrations() { (cd "$work" && timeout 60 "$wine" "$exe" /sim "$lab" --autorun-list 2>/dev/null | tr -d '\r' | grep -c .) || true; }
start 'SCRIPT:resume.scpt' /sim "$lab" '\\.\PHYSICALDRIVE0'
finish
[ "$rc" = 0 ] || fail "boot 1 ended with exit code $rc, not 0 (124: the window stayed at the restart)"
[ "$(registrations)" = 1 ] || fail "boot 1 left $(registrations) registrations, not 1"
start /sim "$lab" --autorun
wait_for window_shown 60 || fail "the resumed run did not open the main window"
wait_for 'has_line "after the restart"' 60 || fail "the resumed run did not go on after the restart: $(lines)"
out=$(lines)
grep -qF '##### SCRIPT RESUME (Reboot 1) #####' <<<"$out" || fail "no SCRIPT RESUME line in the output list: $out"
grep -q 'before the restart' <<<"$out" && fail "the resumed run ran the script from its start: $out"
wait_for '[ "$(probe enabled "$caption" 1)" = 1 ]' 30 || fail "Start was not enabled again after the resumed run"
timeout 20 "$wine" "$probe" click "$caption" 2
finish
[ "$rc" = 0 ] || fail "the resumed run ended with exit code $rc, not 0"
[ "$(registrations)" = 0 ] || fail "the resumed run left $(registrations) registrations"
echo "window check: a run resumed after a restart showed in the main window, went on after PCReBoot and ended (exit 0)"
# 9. Style 10: the status history in a text box instead of the list, one status text a line.
status_caption="Kestrune Status Check"
exe=$PWD/build/windows/src/kestrune_window_check_status.exe
start /sim '\\.\PHYSICALDRIVE0'
wait_for '[ "$(probe text "$status_caption" 512 | tr "\n" "|")" = "Status one|Status two|" ]' 60 ||
  fail "the Style 10 status box does not hold both status texts: \"$(probe text "$status_caption" 512)\""
[ "$(probe visible "$status_caption" 512)$(probe visible "$status_caption" 511)" = 10 ] ||
  fail "Style 10 does not show the status box in place of the history list"
[ "$(probe visible "$status_caption" 1004)$(probe icon "$status_caption" 1004)" = 11 ] ||
  fail "the package's logo option does not show the logo"
timeout 20 "$wine" "$probe" click "$status_caption" 2
finish
[ "$rc" = 0 ] || fail "closing the idle Style 10 window ended with exit code $rc, not 0"
echo "window check: Style 10 shows the status history as text, one status a line"
# 10. Many lines, Stop by the mouse, closing during a run. Reading the whole list across processes
#     takes long at this size: the checks look at its newest lines only.
exe=$PWD/build/windows/src/kestrune_window_check.exe
in_tail() { probe tail "$caption" 40 | grep -q -- "$1"; }
began=$SECONDS
printf '%s\r\n' 'i = 0;' 'While ( i < 50000 ) {' '    Print( Output:"row " + i );' '    i++;' '}' \
  'Print( Output:"All rows printed" );' 'Delay( sec:60 );' 'Print( Output:"not reached" );' > "$work/many.scpt"
touch "$work/stamp"
start 'SCRIPT:many.scpt' /sim '\\.\PHYSICALDRIVE0'
wait_for window_shown 60 || fail "the main window did not open for the 50,000 lines"
# Messages to the window while the rows come, until they are all there.
slowest=0
pings=0
until probe last "$caption" | grep -q -e 'All rows printed' -e 'Delay'; do
  took=$(probe ping "$caption" 20)
  [ "$took" != hung ] && [ -n "$took" ] || fail "the window did not answer within 5 s while the lines came ($(probe count "$caption") lines)"
  [ "$took" -gt "$slowest" ] && slowest=$took
  pings=$((pings + 20))
  kill -0 "$program" 2>/dev/null || fail "the program ended before its 50,000 lines: $(probe count "$caption")"
done
[ "$pings" -ge 20 ] || fail "the rows were there before the window could be asked"
# The list holds what the run's view holds: the view starts afresh at 21,000 lines, so the list has
# the rows since its last new start, all of them in order, up to "row 49999".
item() { probe item "$caption" "$1" | sed 's/^ *//'; }
count=$(probe count "$caption")
for back in 1 2 3 4; do [ "$(item "-$back")" = "All rows printed" ] && break; done
at=$((count - back))
first=$(item 0)
first_row=${first#row }
[ "$count" -lt 21000 ] && [ "$first" = "row $first_row" ] && [ "$at" = $((50000 - first_row)) ] &&
  [ "$(item "$at")" = "All rows printed" ] && [ "$(item $((at - 1)))" = "row 49999" ] &&
  [ "$(item $((at / 2)))" = "row $((first_row + at / 2))" ] ||
  fail "the output list ($count items) does not hold the rows since its last new start in order: $first ... $(item $((at - 1))) at $at"
echo "window check: 50,000 lines shown (the list holds the $at since the view started afresh), the window answered $pings messages within $slowest ms all the while ($((SECONDS - began)) s)"
stop_by_mouse() {
  local tries
  for tries in $(seq 10); do
    click_on "$caption" 1002
    wait_for 'in_tail "---- Cancel Job ----"' 2 && return 0
  done
  return 1
}
# UI mode 0 tells of a run that ended without passing in a message box: OK closes it.
job_fail_box() {
  wait_for '[ "$(probe text "box:$caption" 65535)" = "Cancel Job" ]' 20 || fail "no \"Cancel Job\" message box after the stop"
  timeout 20 "$wine" "$probe" click "box:$caption" 1
  wait_for '! probe_finds "box:$caption"' 10 || fail "OK did not close the \"Cancel Job\" message box"
}
stop_by_mouse || fail "pressing Stop did not cancel the run: $(probe last "$caption")"
job_fail_box
wait_for '[ "$(probe enabled "$caption" 1)" = 1 ]' 30 || fail "Start was not enabled again after Stop"
[ "$(probe enabled "$caption" 1002)" = 0 ] || fail "Stop is still enabled after the run"
window_shown || fail "the window closed after Stop in UI mode 0"
in_tail "not reached" && fail "the run went on after Stop"
echo "window check: Stop by the mouse cancelled the run; Start enabled again, the window stayed"
# The next run, asked to close: Cancel leaves it running, OK stops it.
timeout 20 "$wine" "$probe" click "$caption" 1
wait_for '[ "$(probe enabled "$caption" 1)" = 0 ]' 20 || fail "Start did not start a second run"
timeout 20 "$wine" "$probe" click "$caption" 2
wait_for '[ "$(probe text "box:$caption" 65535)" = "Do you want to stop program?" ]' 20 ||
  fail "closing during a run did not ask: $(probe text "box:$caption" 65535)"
timeout 20 "$wine" "$probe" click "box:$caption" 2
wait_for '! probe_finds "box:$caption"' 10 || fail "Cancel did not close the question"
sleep 1
[ "$(probe enabled "$caption" 1)" = 0 ] && window_shown || fail "Cancel in the question did not leave the run going"
timeout 20 "$wine" "$probe" click "$caption" 2
wait_for '[ "$(probe text "box:$caption" 65535)" = "Do you want to stop program?" ]' 20 || fail "the second close did not ask"
timeout 20 "$wine" "$probe" click "box:$caption" 1
job_fail_box
wait_for '[ "$(probe enabled "$caption" 1)" = 1 ]' 60 || fail "OK in the question did not stop the run"
log=$(newest_log)
[ -n "$log" ] && [ "$(log_text "$log" | grep -c -- '---- Cancel Job ----')" = 2 ] || fail "the second run has no cancel line ($log)"
window_shown || fail "the window closed on OK; it should only stop the run"
echo "window check: closing during a run asked; Cancel went on, OK stopped the run"
timeout 20 "$wine" "$probe" click "$caption" 2
finish
[ "$rc" = 1 ] || fail "closing the idle window after a stopped run ended with exit code $rc, not its -255 (1 in the shell)"
echo "window check: the program ended with the last run's code -255 ($((SECONDS - began)) s for case 10)"
# 11. The output list's look: its rectangle on screen.
if command -v import > /dev/null && [ -x /usr/bin/convert ]; then
  python3 -c '
import struct, sys, zlib
w, h = 60, 40
raw = b"".join(b"\0" + bytes([0, 0, 255] * w) for _ in range(h))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                               + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
' "$work/blue.png"
  printf 'not a picture' > "$work/broken.png"
  printf '%s\r\n' 'Print( Output:"Picture check" );' 'PrintEx( Color:"IMAGE", Output:"blue.png" );' \
    'PrintEx( Color:"IMAGE", Output:"broken.png" );' 'PrintEx( Color:"GREEN", Output:"Pictures done." );' > "$work/pictures.scpt"
  start 'SCRIPT:pictures.scpt' /sim '\\.\PHYSICALDRIVE0'
  wait_for window_shown 60 || fail "the main window did not open for the pictures"
  wait_for 'in_tail "Pictures done."' 60 || fail "the picture run did not end: $(probe tail "$caption" 10)"
  wait_for '[ "$(probe enabled "$caption" 1)" = 1 ]' 30 || fail "Start was not enabled again after the picture run"
  # The list follows its newest line: show it from its first.
  timeout 20 "$wine" "$probe" top "$caption" 0
  sleep 1
  list_at=$(probe rect "$caption" 509)
  [ -n "$list_at" ] || fail "no output list"
  import -window root -crop "$list_at" +repage "$work/list.png"
  # How many pixels of the list inside its border (of the part $2, when given) pass the test $1.
  pixels() {
    # shellcheck disable=SC2086
    /usr/bin/convert "$work/list.png" -shave 3x3 ${2:+-crop $2 +repage} -fx "$1" -format '%[fx:round(mean*w*h)]' info:
  }
  all=$(/usr/bin/convert "$work/list.png" -shave 3x3 -format '%[fx:w*h]' info:)
  black=$(pixels 'max(r,max(g,b))<0.05?1:0')
  left_drawn=$(pixels 'max(r,max(g,b))>0.2?1:0' 84x10000+0+0)
  blue=$(pixels 'b>0.9&&r<0.1&&g<0.1?1:0')
  red=$(pixels 'r>0.8&&g<0.2&&b<0.2?1:0')
  green=$(pixels 'g>0.8&&r<0.2&&b<0.2?1:0')
  yellow=$(pixels 'r>0.8&&g>0.8&&b<0.2?1:0')
  [ $((black * 10)) -ge $((all * 7)) ] || fail "the list's background is not black: $black of $all pixels"
  [ "$left_drawn" = 0 ] || fail "$left_drawn pixels are drawn left of x = 90 in the list"
  [ "$blue" -ge 2000 ] || fail "the 60 x 40 picture is not drawn: $blue blue pixels"
  [ "$red" -ge 20 ] || fail "the unreadable picture shows no red \"Image Not Found\": $red red pixels"
  [ "$green" -ge 20 ] && [ "$yellow" -ge 20 ] || fail "the rows are not in their colours: $green green, $yellow yellow pixels"
  timeout 20 "$wine" "$probe" click "$caption" 2
  finish
  [ "$rc" = 0 ] || fail "closing the idle window after the picture run ended with exit code $rc, not 0"
  echo "window check: the list draws on black, nothing left of x = 90, a picture ($blue blue pixels), \"Image Not Found\" in red ($red), rows in green and yellow"
fi
# 12. The lab's drive goes away during a run (it is unplugged after 40 requests) and ReScanDriver
#     tells the window (32810): the disk combo box rebuilds and names the run's disk "- Disconnect";
#     the run goes on.
printf '%s\r\n' '[Lonely]' 'Attachment = nvme-inbox' 'Model = KESTRUNE SIM LONELY' 'Capacity = 64MiB' \
  'UnplugAfterRequests = 40' > "$work/unplug.ini"
printf '%s\r\n' 'Print( Output:"reading until the drive goes" );' 'SetErrorSkip( SkipCount:100 );' 'i = 0;' \
  'While ( i < 60 ) {' '    LBARead( LBA:0, SectorCount:1 );' '    i++;' '}' 'ReScanDriver();' \
  'Print( Output:"rescanned" );' 'Delay( sec:60 );' > "$work/unplug.scpt"
start 'SCRIPT:unplug.scpt' /sim=unplug.ini '\\.\PHYSICALDRIVE0' UI:2
wait_for window_shown 60 || fail "the main window did not open for the unplug run"
wait_for 'in_tail "rescanned"' 60 || fail "the unplug run did not get past ReScanDriver: $(probe tail "$caption" 10)"
combo=$(probe text "$caption" 500)
[ "$combo" = "KESTRUNE SIM LONELY (RAW) - Disconnect" ] || fail "the disk combo box shows \"$combo\", not the run's disk as disconnected"
[ "$(probe enabled "$caption" 1002)" = 1 ] || fail "the run did not go on after the drive went away"
timeout 20 "$wine" "$probe" click "$caption" 1002
finish
[ "$rc" = 1 ] || fail "the unplug run stopped by Stop ended with exit code $rc, not -255 (124: the window stayed)"
echo "window check: the drive went away during the run: the combo box shows \"$combo\" and the run went on"
echo "window check: passed"
