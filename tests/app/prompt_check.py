#!/usr/bin/env python3
"""The console form's operator prompts on a real terminal (a pseudo-terminal), then the same run
answered from an answer file.

Usage: prompt_check.py PROGRAM

The operator answers every dialog at its prompt: a countdown stopped by a reply, a reply edited with
Backspace, "abc" for a number (asked again), a check list confirmed unchanged, a 9-character scan
(cleared, asked again) and a 10-character one, a file, Escape and the end of the input on a yes/no
question with AutoOK (its countdown runs on and confirms), and Escape without AutoOK (the job stops). The run answered by
ANSWERS:"file" must give the same results and audit lines (their answer sources aside) and the same
exit code.
"""
import os
import re
import select
import subprocess
import sys
import tempfile
import time

SCRIPT = r'''// Every operator dialog once, each result printed
iResult = MessageBox(Output:"Test message?\nMulti lines information", Button:"OKCANCEL", AutoOK:TRUE, ICON:"QUESTION" );
Print( Output:"=> MessageBox " + iResult );
iValue = ComboBox(Output:"Test message?", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:FALSE );
Print( Output:"=> ComboBox " + iValue );
iValue = NumberBox( Title:"Number:", Default:10, AutoOK:FALSE );
Print( Output:"=> NumberBox " + iValue );
iSelectList[] = CheckListBox(Output:"Test item?", ItemList:"*AAA|BBB|*CCC|DDD", AutoOK:FALSE );
Print( Output:"=> CheckListBox " + iSelectList[0] + iSelectList[1] + iSelectList[2] + iSelectList[3] );
ReturnData = InputBox( Title:"Barcode:", SpecialKey:"SN", LenthLimit:10, ShowResult:FALSE, Default:"" );
Print( Output:"=> InputBox " + ReturnData );
FilePath = FileSelectBox( Ext:"*.txt#Texts");
Print( Output:"=> FileSelectBox " + FilePath );
iResult = MessageBox(Output:"Yes or no?", Button:"YESNO", AutoOK:TRUE );
Print( Output:"=> YesNo " + iResult );
iResult = MessageBox(Output:"Escape me", AutoOK:FALSE );
Print( Output:"=> never reached " + iResult );
'''

SOURCE = re.compile(r" \((operator|default|countdown|Escape|headless|answer-file line \d+)\)$")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


class Terminal:
    """The program on a pseudo-terminal: standard input, output and error are the terminal."""

    def __init__(self, argv, env):
        self.master, slave = os.openpty()
        self.proc = subprocess.Popen(argv, stdin=slave, stdout=slave, stderr=slave, start_new_session=True, env=env)
        os.close(slave)
        self.seen = ""
        self.at = 0  # what expect has matched so far

    def _read(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return False
        try:
            data = os.read(self.master, 4096)
        except OSError:  # the program has ended and the terminal is closed
            return None
        if not data:
            return None
        self.seen += data.decode("utf-8", "replace")
        return True

    def expect(self, text, timeout=10.0):
        end = time.monotonic() + timeout
        while True:
            found = self.seen.find(text, self.at)
            if found >= 0:
                self.at = found + len(text)
                return True
            left = end - time.monotonic()
            if left <= 0 or self._read(left) is None:
                check(False, "the terminal never showed %r; it showed:\n%s" % (text, self.seen[self.at:]))
                return False

    def type(self, keys):
        os.write(self.master, keys.encode())

    def finish(self, timeout=30.0):
        end = time.monotonic() + timeout
        while time.monotonic() < end and self._read(0.2) is not None:
            if self.proc.poll() is not None:
                while self._read(0.1):
                    pass
                break
        try:
            code = self.proc.wait(max(end - time.monotonic(), 0.1))
        except subprocess.TimeoutExpired:
            self.proc.kill()
            check(False, "the program did not end")
            code = None
        os.close(self.master)
        return code


def shown_lines(output):
    """The lines as a terminal shows them: of a rewritten line (status, countdown) its last form."""
    for raw in output.replace("\r\n", "\n").split("\n"):
        parts = [p for p in raw.split("\r") if p.strip()]
        yield parts[-1].strip() if parts else ""


def results(output):
    """The result and audit lines, the audit lines without their answer source."""
    return [SOURCE.sub("", line) for line in shown_lines(output)
            if line.startswith("=> ") or line.startswith("Operator answer - ") or line == "---- Cancel Job ----"]


def sources(output):
    return [m.group(1) for m in (SOURCE.search(line) for line in shown_lines(output)
                                 if line.startswith("Operator answer - ")) if m]


def main():
    program = sys.argv[1]
    work = tempfile.mkdtemp(prefix="prompt_check_")
    script = os.path.join(work, "dialogs.scpt")
    with open(script, "w", newline="\r\n") as f:
        f.write(SCRIPT)
    chosen = os.path.join(work, "chosen file.txt")
    with open(chosen, "w") as f:
        f.write("x\n")
    argv = [program, "SCRIPT:" + script, "/sim", "\\\\.\\PHYSICALDRIVE0"]
    env_tmp = dict(os.environ, TMPDIR=work)

    # The operator at the terminal.
    t = Terminal(argv, env_tmp)
    t.expect("Test message?")
    t.expect("[OK (20)/Cancel]: ")
    t.expect("[OK (19)/Cancel]: ", timeout=3)  # the countdown on the status line
    t.type("cancel\r")
    t.expect("=> MessageBox 0")
    t.expect("  3. CCC")
    t.expect("Item 1-3 [2]: ")
    t.type("x\x7f3\r")  # a typo taken back with Backspace
    t.expect("=> ComboBox 2")
    t.expect("Number [10]: ")
    t.type("abc\r")
    t.expect("not a decimal number of at most 8 characters, again")
    t.expect("Number [10]: ")
    t.type("42\r")
    t.expect("=> NumberBox 42")
    t.expect("  2 [ ] BBB")
    t.expect("Check 1-4, all or none [1,3]: ")
    t.type("\r")
    t.expect("=> CheckListBox 1010")
    t.expect('Special Key : "SN"')
    t.expect("Lenth Limit : 10")
    t.expect("Text: ")
    t.type("SN1234567\r")  # 9 characters: cleared, scanned again
    t.expect('"SN1234567" rejected: length 9, not 10, again')
    t.expect("Text: ")
    t.type("sn12345678\r")
    t.expect("=> InputBox sn12345678")
    t.expect("File to open (*.txt): ")
    t.type('"%s"\r' % chosen)
    t.expect("=> FileSelectBox " + chosen)
    t.expect("[Yes (20)/No]: ")
    t.type("\x1b")  # Escape does not stop a question with AutoOK
    t.expect("[Yes (19)/No]: ", timeout=3)
    t.type("\x04")  # nor does the end of the input: the countdown runs on
    t.expect("[Yes (17)/No]: ", timeout=4)
    t.expect("=> YesNo 1", timeout=25)
    t.expect("Escape me")
    t.expect("[OK/Cancel]: ")
    t.type("\x1b")
    t.expect("---- Cancel Job ----")
    typed_code = t.finish()
    typed = t.seen
    check("never reached" not in typed, "the job went on after Escape")
    check(sources(typed) == ["operator", "operator", "operator", "default", "operator", "operator", "countdown",
                             "Escape"], "answer sources at the terminal: %s" % sources(typed))

    # The same answers from a file, nobody at the terminal.
    answers = os.path.join(work, "answers.txt")
    with open(answers, "w") as f:
        f.write("MessageBox=Cancel\nComboBox=CCC\nNumberBox=42\nCheckListBox=\nInputBox=sn12345678\n"
                "FileSelectBox=%s\nMessageBox=yes\nMessageBox=\x1b\n" % chosen)
    run = subprocess.run(argv + ["ANSWERS:" + answers], stdin=subprocess.DEVNULL, capture_output=True,
                         text=True, timeout=60, env=env_tmp)
    check(results(run.stdout) == results(typed),
          "the answer file gives other output:\n%s\nthan the terminal:\n%s" %
          ("\n".join(results(run.stdout)), "\n".join(results(typed))))
    check(sources(run.stdout) == ["answer-file line %d" % n for n in range(1, 8)] + ["Escape"],
          "answer sources from the file: %s" % sources(run.stdout))
    check(run.returncode == typed_code, "exit codes %s (file) and %s (terminal)" % (run.returncode, typed_code))

    # A missing answer file: no run at all.
    missing = subprocess.run(argv + ["ANSWERS:" + os.path.join(work, "none.txt")], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, timeout=60, env=env_tmp)
    check(missing.returncode != 0, "a missing answer file still ran (exit code 0)")
    check("cannot read the answer file" in missing.stderr, "no clear message: %r" % missing.stderr)
    check("Operator answer" not in missing.stdout, "a run started without its answer file")

    if failures:
        print("%d check(s) failed" % len(failures), file=sys.stderr)
        return 1
    print("prompt checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
