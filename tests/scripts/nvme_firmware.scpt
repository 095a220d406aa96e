// NVMe firmware update on the lab drive (inbox driver, three slots, slot 1 read-only): images the
// tools script wrote, refusals before anything is sent, Commit 255, an update with its slot report.
SetErrorSkip( SkipCount:8 );
UpdateFWex( File:"fw_lab_tail.fw" );
UpdateFWex( File:"fw_missing.fw" );
UpdateFWex( File:"fw_lab_new.fw", Slot:4 );
UpdateFWex( File:"fw_lab_bad_crc.fw", Slot:3, Commit:1 );
UpdateFWex( File:"fw_lab_new.fw", Slot:3, Commit:255 );
Rev = UpdateFW( File:"fw_lab_new.fw" );
Print( Output:Rev );
Rev = FWActive( Slot:1, Commit:2 );
Print( Output:Rev );
GetErrorCount( ShowResult:TRUE );
