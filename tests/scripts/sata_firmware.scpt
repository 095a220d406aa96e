// The SATA firmware update on the lab's SATA test drive: refusals before anything is sent, a download
// without activation, one activated at once, and FWActive with nothing left to activate.
SetErrorSkip( SkipCount:8 );
UpdateFW( "fw_empty.fw", FALSE );
UpdateFW( "fw_lab_tail.fw", FALSE );
UpdateFW( "fw_missing.fw", TRUE );
UpdateFW( "fw_lab_new.fw", FALSE );
UpdateFW( "fw_lab_new.fw", TRUE );
FWActive();
GetErrorCount( ShowResult:TRUE );
