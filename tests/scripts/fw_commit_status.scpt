// Failed commits keep the drive's whole status (Do Not Retry included) and still show the slots:
// an activating commit the drive refuses, then an activation of an empty slot.
SetErrorSkip( SkipCount:4 );
UpdateFWex( File:"fw_lab_new.fw", Slot:3, Commit:3 );
FWActive( Slot:2, Commit:2 );
GetErrorCount( ShowResult:TRUE );
