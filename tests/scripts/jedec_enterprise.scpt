// JEDEC219A_Enterprise on the lab: a write-only run and its table (no reads), the ranges too small
// for the workload, a bit that flips on the way back (-70) and one stored flipped (-71) under
// DataCompare, a read and a write that fail, and a disk with a volume that takes reads only.
SetErrorSkip( SkipCount:20 );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:16, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:4, LimitTimeSec:0 );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:1, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:4, LimitTimeSec:0 );
JEDEC219A_Enterprise( LBA:0x1FFFF00, RangeLenMB:0, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:4, LimitTimeSec:0 );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:16, WriteRatio:101, DataCompare:FALSE, LimitTxSizeMB:4, LimitTimeSec:0 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:2, WriteRatio:100, DataCompare:TRUE, LimitTxSizeMB:4, LimitTimeSec:0 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:2, WriteRatio:100, DataCompare:TRUE, LimitTxSizeMB:4, LimitTimeSec:0 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:2, WriteRatio:0, DataCompare:FALSE, LimitTxSizeMB:4, LimitTimeSec:0 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:2, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:1, LimitTimeSec:0 );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:2, WriteRatio:0, DataCompare:FALSE, LimitTxSizeMB:1, LimitTimeSec:0 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE6" );
JEDEC219A_Enterprise( LBA:0, RangeLenMB:2, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:1, LimitTimeSec:0 );
Print( Output:"done" );
