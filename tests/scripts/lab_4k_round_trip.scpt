// A drive with 4096-byte sectors: a round trip, a trim to the end, and a flush.
LBAWrite( LBA:10, SectorCount:2, WritePattern:0xA5A5A5A5, MarkSectorHeader:FALSE );
LBARead( LBA:11, SectorCount:1 );
First = ResultHex( ByteStart:4092, Len:4, HexParse:"DWORD" );
Print( Output:"Last dword of sector 11: " + First );
TRIM( LBA:10, TRIMSectorCount:0 );
LBARead( LBA:10, SectorCount:1 );
Trimmed = ResultHex( ByteStart:0, Len:4, HexParse:"DWORD" );
Print( Output:"After the trim: " + Trimmed );
FlushCache();
LBARead( LBA:0, SectorCount:0 );
