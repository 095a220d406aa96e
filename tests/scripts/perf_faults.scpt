// The performance commands refusing what they cannot do, before any request: bad sizes, depths, rates,
// ratios and ranges (-2), a size off the sector size, writes on a whole disk with volumes (-22), a
// volume without a file system for the test file (-19), then a time limit, and an unreadable sector (-3).
SetErrorSkip( SkipCount:30 );
Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:0, QD:4, LimitCycle:1 );
Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:4, QD:0, LimitCycle:1 );
Performance_RandRead( LBA:0, RangeLenMB:8, AccessKB:4, QD:4, LimitTxSizeMB:"CYCLE", LimitTimeSec:0, DotPerSec:1001 );
Performance_MixReadWrite( WriteRatio:101, RandRatio:50, LBA:0, RangeLenMB:16, AccessKB:4, QD:4, WritePattern:"AUTO", LimitTxSizeMB:4 );
Performance_RandRead( LBA:0, RangeLenMB:8, AccessKBRange:"64~4", QD:4, LimitTxSizeMB:"CYCLE" );
Performance_SeqRead( LBA:0x200000, RangeLenMB:8, AccessKB:4, QD:4, LimitCycle:1 );
Performance_VideoStream( LBA:0, RangeLenMB:50, AccessKB:1024, WritePattern:"AUTO", FrameHead:TRUE, LimitCycle:1, LimitTimeSec:0, FramePerDot:20 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:2, QD:4, LimitCycle:1 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Performance_SeqWrite( LBA:0, RangeLenMB:8, AccessKB:128, QD:4, WritePattern:0, LimitCycle:1 );
Performance_MixReadWrite( WriteRatio:10, RandRatio:50, LBA:0, RangeLenMB:16, AccessKB:4, QD:4, WritePattern:"AUTO", LimitTxSizeMB:4 );
Performance_VideoStream( LBA:0, RangeLenMB:101, AccessKB:1024, WritePattern:"AUTO", FrameHead:FALSE, LimitCycle:1, LimitTimeSec:0, FramePerDot:20 );
ChangeDisk( PhysicalName:"\\.\D:" );
Performance_RandRead( LBA:0, RangeLenMB:8, AccessKB:4, QD:4, LimitTxSizeMB:"CYCLE" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE0" );
Performance_SeqRead( LBA:0, RangeLenMB:1000, AccessKB:4, QD:1, LimitCycle:1, LimitTimeSec:2 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Performance_SeqRead( LBA:0, RangeLenMB:8, AccessKB:64, QD:1, LimitCycle:1 );
Print( Output:"done" );
