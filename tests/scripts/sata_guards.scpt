// SATA guards on the default lab: parameter errors send nothing, no data out to the system disk, a range the drive lacks fails.
SetErrorSkip( SkipCount:10 );
ATA( IO:"SIDEWAYS", ATACmd:0xEC, Feature:0, SectorCount:1 );
ATAWrite( LBA:100, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, ATA_WMode:"DMA_Fua" );
SMART_Offline( SelfTest:"Long" );
ATARead( LBA:100, SectorCount:0, ATA_RMode:"Normal" );
ATARead( LBA:0x20000000, SectorCount:1, ATA_RMode:"Normal" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
ATA( IO:"OUT", ATACmd:0xF1, Feature:0, SectorCount:1 );
ATAWrite( LBA:100, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, ATA_WMode:"Normal" );
Print( Output:"done" );
