// The default package's sample script: it lists the disks, writes and reads back a sector of the
// target drive, and shows the script language on the way.
Print( Output:"Kestrune sample script" );
Disks[] = DiskList( ShowVolumn:FALSE, Column:FALSE, Filter:"", Master:TRUE );
n = ArrayLen( Array:Disks[] );
Print( Output:"Disks found: " + n );
i = 0;
While ( i < 3 ) {
    LBAWrite( LBA:i, SectorCount:1, WritePattern:0x12345678, MarkSectorHeader:TRUE );
    LBARead( LBA:i, SectorCount:1 );
    Mark = ResultHex( ByteStart:0, Len:8, HexParse:"Hex" );
    Print( Output:"Sector " + i + " carries the mark " + Mark );
    i++;
}
If ( i == 3 ) {
    Print( Output:"Wrote and read back three sectors." );
} else {
    Print( Output:"Unexpected loop count." );
}
Print( Output:"Done." );
