// Block I/O guards on the simulated lab: range checks, RAW mode and the system disk.
SetErrorSkip( SkipCount:10 );
LBARead( LBA:0, SectorCount:0 );
LBARead( LBA:0x800000, SectorCount:1 );
LBARead( LBA:0x7FFFFF, SectorCount:2 );
TRIM( LBA:0x800000, TRIMSectorCount:0 );
TRIM( LBA:100, TRIMSectorCount:0 );
FlushCache();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
TRIM( LBA:0, TRIMSectorCount:1 );
LBAWrite( LBA:0, SectorCount:1 );
Print( Output:"done" );
