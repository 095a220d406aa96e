// Each performance command on a lab drive of 100 us per request: its summary lines, its chart with the
// CSV attached, and the pattern that the sequential write left on the medium.
Performance_SeqWrite( LBA:0, RangeLenMB:8, AccessKB:128, QD:4, WritePattern:0x5A5A5A5A, LimitCycle:1 );
LBARead( LBA:2, SectorCount:1, Times:1, SaveFile:"" );
Performance_SeqRead( LBA:2048, RangeLenMB:8, AccessKB:128, QD:8, LimitCycle:2 );
Performance_SeqRead( LBA:0, RangeLenMB:8, AccessSector:64, Worker:2, LimitCycle:1 );
Performance_RandRead( LBA:0, RangeLenMB:16, AccessKB:4, QD:8, LimitTxSizeMB:"CYCLE" );
Performance_RandWrite( LBA:0, RangeLenMB:16, AccessKBRange:"4~64", QD:4, WritePattern:"AUTO", LimitTxSizeMB:4 );
Performance_MixReadWrite( WriteRatio:25, RandRatio:50, LBA:0, RangeLenMB:16, AccessKB:4, QD:4, WritePattern:"AUTO", LimitTxSizeMB:4 );
Performance_VideoStream( LBA:0, RangeLenMB:101, AccessKB:1024, WritePattern:"AUTO", FrameHead:TRUE, LimitCycle:1, LimitTimeSec:0, FramePerDot:20 );
