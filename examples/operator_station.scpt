// An operator station: scan the drive's serial label, pick the test, confirm the erase.
// Run it at a terminal, or unattended with the answers of operator_station_answers.txt:
//   kestrune /sim SCRIPT:examples/operator_station.scpt \\.\PHYSICALDRIVE0 ANSWERS:examples/operator_station_answers.txt
Serial = InputBox( Title:"Scan the serial label", SpecialKey:"SN", LenthLimit:10, ShowResult:TRUE, Default:"" );
Test = ComboBox(Output:"Which test?", ItemList:"*Quick|Full|Burn-in", Return:"String", AutoOK:TRUE );
Cycles = NumberBox( Title:"Cycles:", Default:1, AutoOK:TRUE );
Steps[] = CheckListBox(Output:"Steps to run", ItemList:"*Identify|*SMART|Erase", AutoOK:TRUE );
// Every copy started on this PC with this script meets here, so that all drives start their test together
// (the delay gives copies started together the time to register).
SyncInit( DelayRunSec:2 );
Together = SyncWait( TimeoutSec:180 );
Print( Output:"Drive " + Serial + ": " + Test + " test, " + Cycles + " cycle(s)" );
If (Steps[0] == "1") {
  Identify( ShowResult:FALSE );
}
If (Steps[2] == "1") {
  Go = MessageBox(Output:"Erase the drive?\nAll data on it is lost.", Button:"YESNO", AutoOK:FALSE, ICON:"WARNING" );
  If (Go == 1) {
    Print( Output:"erasing" );
  }
}
