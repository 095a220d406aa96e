// The window check's script: a line of each colour kind, a data file, and the last line the check
// waits for.
Print( Output:"Window check: first line" );
LBARead( LBA:0, SectorCount:1 );
Print( LeftAlign:TRUE, Output:"Window check done." );
