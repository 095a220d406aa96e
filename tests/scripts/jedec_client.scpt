// JEDEC219A_Client on the lab with a small trace the script writes into the work folder: the
// analysis, the cold scale of a 16 GiB range, the replay's totals (the whole trace, then up to a
// transfer limit) and the trace text that the writes put on the disk. Then the refusals: a range
// under 64 MiB, bad trace lines (-90), a missing trace (-11), a disk with a volume (-22), a write
// that fails (-4). On 4096-byte sectors the LBA counts those sectors and a 512-byte write is widened
// to one of them.
SetErrorSkip( SkipCount:20 );
Report_Print( File:"Client_128_GB_Master_Trace.txt", Output:"$write 0 8\n$trims 40961 40960\n$write 40968 16\n$trims 81920 8\n", Append:TRUE );
Report_Print( File:"Client_128_GB_Master_Trace.txt", Output:"flush\n$write 245760000 8\n\n$write 1 1\n", Append:TRUE );
Report_Print( File:"bad_trace.txt", Output:"$write 0 8\nflush\n$write 12x 8\n", Append:TRUE );
Report_Print( File:"far_trace.txt", Output:"$trims 250101700 100\n", Append:TRUE );
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
LBARead( LBA:0, SectorCount:1, Times:1, SaveFile:"" );
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:1, LimitTimeSec:60 );
JEDEC219A_Client( LBA:0, RangeMB:32, LimitTxSizeMB:0, LimitTimeSec:60 );
JEDEC219A_Client( LBA:0, RangeSector:131072, LimitTxSizeMB:0, LimitTimeSec:60 );
JEDEC219A_Client( TraceFile:"bad_trace.txt", LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
JEDEC219A_Client( TraceFile:"far_trace.txt", LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
JEDEC219A_Client( TraceFile:"missing_trace.txt", LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE5" );
JEDEC219A_Client( LBA:0x100, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
LBARead( LBA:0x100, SectorCount:1, Times:1, SaveFile:"" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE6" );
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
Print( Output:"done" );
