// The map compare after the drive lost its power while a map was written with its write cache on.
// The map writes every block with FUA, then half of them plainly and flushes, then the other half
// plainly, then a third round that the power cut stops. Old data of writes not yet durable is
// allowed and counted apart, with no error. The second drive ignores flushes, so its flushed
// writes come back old: old data after a flush, an error. The first drive gets its base pattern
// back after its compare.
SetErrorSkip( SkipCount:20 );
Compare_MapWrite( LBAMap:"lba_map_durable.map", QD:4, WritePattern:0x5AA5A55A );
Delay( sec:2 );
Compare_MapCompare( LBAMap:"lba_map_durable.map", BasePattern:0, WritePattern:0x5AA5A55A );
Compare_MapRecoverBasePattern();
Compare_WithPattern( LBA:0x800, RangeSector:2048, ComparePattern:0, MarkSectorHeader:TRUE, AccessKB:64 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Compare_MapWrite( LBAMap:"lba_map_durable.map", QD:4, WritePattern:0x5AA5A55A );
Delay( sec:2 );
Compare_MapCompare( LBAMap:"lba_map_durable.map", BasePattern:0, WritePattern:0x5AA5A55A );
