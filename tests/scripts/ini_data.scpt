// Values written by SetINIData read back with GetINIData, sections and keys ignoring case.
SetINIData( Section:"Station", Item:"Slot", Output:7, File:"station.ini" );
v = GetINIData( Section:"STATION", Item:"slot", File:"station.ini" );
v += 1;
Print( Output:v );
d = GetINIData( Section:"Station", Item:"missing", File:"station.ini" );
Print( Output:d );
// An unattended run has nobody to choose a file: an empty File cancels the run.
SetINIData( Section:"Station", Item:"Slot", Output:8 );
Print( Output:"not reached" );
