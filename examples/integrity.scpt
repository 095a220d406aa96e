// Data integrity on the default lab drive: write, read back and compare, sequential and random, with
// trims, FUA writes and flushes mixed in, then a fill checked against its pattern. Each command ends with
// "Compare Result : ... | n" (0 clean, 1 read path, 2 stored data), which ResultColumn reads.
Compare_SeqReadWrite( LBA:0, RangeLenMB:64, AccessKB:128, QD:8, WritePattern:"AUTO", LimitCycle:1, LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:500, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
Compare_RandReadWrite( LBA:0, RangeLenMB:64, AccessKB:4, QD:16, WritePattern:"AUTO", LimitTxSizeMB:16, LimitTimeSec:30, StepRun:0, StepDelay:0, TrimRatio:1000, FuaRatio:500, FlushRatio:100, nWrite1Read:1 );
FullByPattern( LBA:0x40000, RangeMB:8, Pattern:0x55AA33CC, MarkSectorHeader:TRUE );
Compare_WithPattern( LBA:0x40000, RangeMB:8, ComparePattern:0x55AA33CC, MarkSectorHeader:TRUE, AccessKB:1024 );
Compare_RandSizeOverlap( LBA:0, RangeLenMB:64, QD:8, RandAccessKB:"AUTO", RandRatio:5, OverRatio:5, LimitTxSizeMB:32, LimitTimeSec:30 );
