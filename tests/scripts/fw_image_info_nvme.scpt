// FWImageInfo on the lab NVMe drive: the layout and plan of a good image, the refusals UpdateFW would
// give (misaligned tail, empty, missing), and nothing sent: the running revision stays.
SetErrorSkip( SkipCount:3 );
FWImageInfo( File:"fw_lab_new.fw" );
FWImageInfo( File:"fw_lab_bad_crc.fw" );
FWImageInfo( File:"fw_lab_tail.fw" );
FWImageInfo( File:"fw_empty.fw" );
FWImageInfo( File:"fw_missing.fw" );
GetLogPage_FirmwareSlotInfo();
