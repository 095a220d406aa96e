// FullByPattern and FindLBA_ByPattern refusing what they cannot do: a start past the end, a pattern that is
// neither a number nor AUTO, a negative range, a write that moves nothing, an unreadable sector, and a disk
// that is not RAW (which may still be searched).
SetErrorSkip( SkipCount:20 );
FullByPattern( LBA:0x8000, RangeSector:1, Pattern:0, MarkSectorHeader:TRUE );
FullByPattern( LBA:0, RangeSector:1, Pattern:"SOME", MarkSectorHeader:TRUE );
FullByPattern( LBA:0, RangeSector:-1, Pattern:0, MarkSectorHeader:TRUE );
FindLBA_ByPattern( StartLBA:0x8000, FindPattern:0x55AAFF00 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
FullByPattern( LBA:0x10, RangeSector:8, Pattern:0x12345678, MarkSectorHeader:TRUE );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
FindLBA_ByPattern( StartLBA:0x1000, FindPattern:0x55AAFF00 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
FullByPattern( LBA:0, RangeSector:1, Pattern:0, MarkSectorHeader:TRUE );
FindLBA_ByPattern( StartLBA:0, FindPattern:0x55AAFF00 );
Print( Output:"done" );
