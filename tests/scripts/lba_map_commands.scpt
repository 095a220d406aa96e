// The LBA map commands on the lab: a map made (and one refused), a fixed map written and compared
// clean, the same compare after a bit went wrong in the stored data and the base pattern put back,
// the replay with read-back clean and with a bit that flips on the way (-70), and maps that are
// missing or spoiled.
SetErrorSkip( SkipCount:20 );
Compare_MapRecoverBasePattern();
Compare_MapMake( RandRatio:0, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1, TrimRatio:0, FuaRatio:0, FlushRatio:0 );
Compare_MapMake( RandRatio:100, LBA:0, RangeLenMB:1, AccessKB:4, LimitTxSizeMB:1, TrimRatio:3000, FuaRatio:0, FlushRatio:2001 );
Compare_MapWrite( LBAMap:"lba_map_seq.map", QD:8, WritePattern:0x5AA5A55A, StepRun:0, StepDelay:0 );
Compare_MapCompare( LBAMap:"lba_map_seq.map", BasePattern:0x00000000, WritePattern:0x5AA5A55A );
Compare_MapWriteCompare( LBAMap:"lba_map_seq.map", QD:8, WritePattern:0x0F0F0F0F, StepRun:0, StepDelay:0 );
Compare_MapWrite( LBAMap:"lba_map_seq.map", QD:129 );
Compare_MapCompare( LBAMap:"lba_map_seq.map", BasePattern:"AUTO", WritePattern:0x5AA5A55A );
Compare_MapWrite( LBAMap:"lba_map_missing.map", QD:8 );
Compare_MapCompare( LBAMap:"lba_map_bad.map", BasePattern:0, WritePattern:0x5AA5A55A );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Compare_MapWriteCompare( LBAMap:"lba_map_seq.map", QD:1, WritePattern:0x0F0F0F0F );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Compare_MapWrite( LBAMap:"lba_map_seq.map", QD:8, WritePattern:0x11111111 );
Compare_MapCompare( LBAMap:"lba_map_seq.map", BasePattern:0, WritePattern:0x11111111 );
Compare_MapRecoverBasePattern();
Compare_WithPattern( LBA:0x800, RangeSector:2048, ComparePattern:0, MarkSectorHeader:TRUE, AccessKB:64 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
Compare_MapWrite( LBAMap:"lba_map_seq.map", QD:8 );
Print( Output:"done" );
