LBAWrite( LBA:0, SectorCount:8, WritePattern:0x5A5A5A5A, MarkSectorHeader:TRUE, FUA:TRUE );
LBARead( LBA:0, SectorCount:8, Times:3, SaveFile:"" );
TRIM( LBA:0, TRIMSectorCount:8 );
FlushCache();
