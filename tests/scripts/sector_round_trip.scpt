// Write a marked pattern, read it back three times, write its dump one sector further on, trim both.
LBAWrite( LBA:8, SectorCount:1, WritePattern:0x11223344, MarkSectorHeader:TRUE );
LBARead( LBA:8, SectorCount:1, Times:3 );
LBAWrite( LBA:9, File:"R0000000001.Hex" );
LBARead( VLBA:9, SectorCount:1, SaveFile:"copy.hex" );
TRIM( LBA:8, TRIMSectorCount:2 );
LBARead( LBA:8, SectorCount:2 );
