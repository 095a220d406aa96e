#!/bin/sh
# A run saved before a restart in the simulated lab and gone on with twice: boot 1 reaches
# PCReBoot inside While and If and ends as the restart would; "--autorun" (what the next logon
# starts) goes on after the statement, and a second PCReBoot ends boot 2; boot 3 finishes. Checked:
# values, texts, arrays and the skipped error's count come back, the reboot count, the log folder's
# HTML log appended to, each boot's dump kept under its own name, nothing left registered at the
# end; a save damaged at any one file is
# refused (nonzero, nothing run, the registration removed), and so is a start that names another
# generation or disk, finds another drive in the disk's place, or comes after the script changed;
# "--autorun-clear" removes every registration.
# Usage: resume_check.sh PROGRAM
set -u
k=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
lab="$work/lab"
fails=0
check() { # what, got, want
  if [ "$2" = "$3" ]; then echo "PASS: $1"; else echo "FAIL: $1: got '$2', want '$3'"; fails=$((fails + 1)); fi
}
has() { # what, file, text
  if grep -qF -- "$3" "$2"; then echo "PASS: $1"; else echo "FAIL: $1: no '$3' in"; cat "$2"; fails=$((fails + 1)); fi
}

printf '%s\r\n' \
  'SetErrorSkip( SkipCount:1 );' \
  'x = missing1;' \
  'Name = "kept text";' \
  'A[] = 5, 6, 7;' \
  'Round = 0;' \
  'While (Round < 3) {' \
  '    Round++;' \
  '    If (Round < 3) {' \
  '        Print( Output:"before restart " + Round );' \
  '        PCIInfo( ExtData:FALSE );' \
  '        PCReBoot( DelayRunSec:0, PowerAction:1 );' \
  '    }' \
  '    Print( Output:"round " + Round + " " + Name + " " + A[1] );' \
  '}' \
  'n = ArrayLen( Array:A[] );' \
  'e = GetErrorCount();' \
  'Print( Output:"len " + n + " errors " + e );' > "$work/resume.scpt"

run() { "$k" /sim SIMDIR:"$lab" "$@"; }

run SCRIPT:"$work/resume.scpt" '\\.\PHYSICALDRIVE0' > "$work/boot1.txt" 2>&1
check "boot 1 ends as the restart does" "$?" 0
has "boot 1 ran to the restart" "$work/boot1.txt" "before restart 1"
check "one registration after boot 1" "$(run --autorun-list | wc -l)" 1
run --autorun-list > "$work/list.txt"
has "the registration names the frame" "$work/list.txt" "/1, REBOOTSYNC:1, ERRSTOP:0"

# A start that is refused: it says why in one line, ends nonzero, runs nothing, leaves no
# registration and keeps the save's files. The saved set, the registration and the script are put
# back after it.
mkdir "$work/keep"
cp "$TMPDIR"/ScreenAPId* "$lab"/autorun/*.reg "$work/resume.scpt" "$work/keep/"
refusal() { # what, the reason
  run --autorun > "$work/refused.txt" 2>&1 < /dev/null
  code=$?
  has "$1 is refused, saying why" "$work/refused.txt" "$2"
  check "$1 ends nonzero" "$([ $code -ne 0 ] && echo nonzero)" nonzero
  check "$1 runs nothing" "$(grep -c 'round' "$work/refused.txt")" 0
  check "$1 leaves no registration" "$(run --autorun-list | wc -l)" 0
  check "$1 says so in one line" "$(wc -l < "$work/refused.txt")" 1
  check "$1 keeps the save's files" "$(ls "$TMPDIR" | grep -c '^ScreenAPId')" 6
  cp "$work/keep"/ScreenAPId* "$TMPDIR/"
  cp "$work/keep"/*.reg "$lab/autorun/"
  cp "$work/keep/resume.scpt" "$work/resume.scpt"
}
# Each damaged file.
for part in VarList MainList SubList LoopList ScriptInfo Resume; do
  f=$(ls "$TMPDIR"/ScreenAPId*_"$part".sct)
  head -c 20 "$work/keep/$(basename "$f")" > "$f"
  refusal "a save cut in $part.sct" "Cannot resume the saved run"
done
# A start that names another generation or disk, finds another drive (another serial number) in
# the disk's place, or a script changed since the save: the file edited, the edit, the case, the
# refusal's words.
printf '[NVMe0]\r\nAttachment=nvme-inbox\r\nCapacity=4GiB\r\nSerial=SIMNVME0000000000099\r\n' > "$work/other.ini"
while IFS='|' read -r file edit what why; do
  sed -i "$edit" $file
  refusal "$what" "$why"
done <<EOF
$lab/autorun/*.reg|s#FRAME:\([0-9]*\)/1#FRAME:\1/2#|a start of another generation|the save is of another generation
$lab/autorun/*.reg|s#DRVHW:"[^"]*"#DRVHW:"17-0-768-0-1-99"#|a start of another disk|the save is of another disk
$lab/autorun/*.reg|s# /sim SIMDIR# /sim=$work/other.ini SIMDIR#|a start on another drive|the disk is another drive (serial SIMNVME0000000000099, the save was made on SIMNVME0000000000001)
$work/resume.scpt|\$a Print( Output:"added" );|a start after the script changed|has changed since the save
EOF

run --autorun > "$work/boot2.txt" 2>&1
check "boot 2 ends as the restart does" "$?" 0
has "boot 2 says it resumes" "$work/boot2.txt" "##### SCRIPT RESUME (Reboot 1) #####"
has "boot 2 goes on after the statement" "$work/boot2.txt" "round 1 kept text 6"
has "boot 2 reaches the second restart" "$work/boot2.txt" "before restart 2"

run --autorun > "$work/boot3.txt" 2>&1
check "boot 3 ends well" "$?" 0
has "boot 3 says it resumes again" "$work/boot3.txt" "##### SCRIPT RESUME (Reboot 2) #####"
has "boot 3 finishes the loop" "$work/boot3.txt" "round 3 kept text 6"
has "arrays and the error count come back" "$work/boot3.txt" "len 3 errors 1"
check "nothing is left registered" "$(run --autorun-list | wc -l)" 0
# The page writes blanks as &nbsp;.
log=$(find "$TMPDIR" -name TestLog.htm -exec grep -lF "before&nbsp;restart&nbsp;1" {} + | head -1)
check "one HTML log holds all three boots" \
  "$(grep -cF -e 'before&nbsp;restart&nbsp;1' -e 'before&nbsp;restart&nbsp;2' -e 'round&nbsp;3&nbsp;kept' "$log")" 3

# Each boot's dump (PCIInfo's header) has its own name: the line counter came back with the run.
check "the dumps of both boots are kept" "$(find "$(dirname "$log")" -name '*.hex' | wc -l)" 2
# --autorun-clear: two registrations (restarts saved on two disks) are all removed; the list is
# then empty and --autorun runs nothing.
printf 'PCReBoot( DelayRunSec:0, PowerAction:1 );\r\nPrint( Output:"round after" );\r\n' > "$work/restart.scpt"
run SCRIPT:"$work/restart.scpt" '\\.\PHYSICALDRIVE0' > /dev/null 2>&1
run SCRIPT:"$work/restart.scpt" '\\.\PHYSICALDRIVE2' > /dev/null 2>&1
check "two registrations before the clear" "$(run --autorun-list | wc -l)" 2
run --autorun-clear
check "--autorun-clear ends well" "$?" 0
check "nothing is listed after the clear" "$(run --autorun-list | wc -c)" 0
run --autorun > "$work/cleared.txt" 2>&1
check "--autorun after the clear ends well" "$?" 0
check "--autorun after the clear runs nothing" "$(wc -c < "$work/cleared.txt")" 0
[ $fails -eq 0 ] && echo "ALL CHECKS PASSED"
exit $((fails != 0))
