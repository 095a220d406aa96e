// Trimmed blocks judged by what the drive promised they read: all FFh where zeros were promised
// is a miscompare, in the compare after the write and in the replay with read-back, and on a
// SATA drive whose IDENTIFY word 69 promises zeros. Where FFh were promised the same blocks
// compare clean.
SetErrorSkip( SkipCount:20 );
Compare_MapWrite( LBAMap:"lba_map_trims.map", QD:4, WritePattern:0x5AA5A55A );
Compare_MapCompare( LBAMap:"lba_map_trims.map", BasePattern:0, WritePattern:0x5AA5A55A );
Compare_MapWriteCompare( LBAMap:"lba_map_trims.map", QD:1, WritePattern:0x5AA5A55A );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Compare_MapWrite( LBAMap:"lba_map_trims.map", QD:4, WritePattern:0x5AA5A55A );
Compare_MapCompare( LBAMap:"lba_map_trims.map", BasePattern:0, WritePattern:0x5AA5A55A );
Compare_MapWriteCompare( LBAMap:"lba_map_trims.map", QD:1, WritePattern:0x5AA5A55A );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Compare_MapWrite( LBAMap:"lba_map_trims.map", QD:4, WritePattern:0x5AA5A55A );
Compare_MapCompare( LBAMap:"lba_map_trims.map", BasePattern:0, WritePattern:0x5AA5A55A );
