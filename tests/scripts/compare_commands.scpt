// The compare commands on the lab: clean runs with their report, the checks that come before any
// request, a bit that flips on the way (-70) and one in the stored data (-71), each with its place and
// its dumps.
SetErrorSkip( SkipCount:20 );
Compare_SeqReadWrite( LBA:0, RangeLenMB:4, AccessKB:128, QD:4, WritePattern:0x5AA5A55A, LimitCycle:2 );
Compare_RandReadWrite( LBA:0, RangeLenMB:4, AccessKB:4, QD:8, WritePattern:"AUTO", LimitTxSizeMB:2, LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:1000, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
FullByPattern( LBA:0x100, RangeSector:64, Pattern:0x12345678, MarkSectorHeader:TRUE );
Compare_WithPattern( LBA:0x100, RangeSector:64, ComparePattern:0x12345678, MarkSectorHeader:TRUE, AccessKB:16 );
Compare_WithPattern( LBA:0x100, RangeSector:64, ComparePattern:0x12345678, MarkSectorHeader:FALSE, AccessKB:16 );
Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:129 );
Compare_RandReadWrite( LBA:0, RangeLenMB:1, AccessKB:512, QD:4 );
Compare_WithPattern( LBA:0, RangeSector:8, ComparePattern:"AUTO" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:4, QD:1 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
Compare_SeqReadWrite( LBA:0, RangeLenMB:1, AccessKB:2, QD:1 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Compare_SeqReadWrite( LBA:0x800, RangeLenMB:1, AccessKB:64, QD:1, WritePattern:0x11111111, LimitCycle:1 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Compare_SeqReadWrite( LBA:0x800, RangeLenMB:1, AccessKB:64, QD:1, WritePattern:0x11111111, LimitCycle:1 );
Print( Output:"done" );
