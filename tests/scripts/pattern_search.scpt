// FindLBA_ByPattern on the lab: the sectors of a marked fill found by the pattern, by a 4-byte part of
// one mark and by 8 bytes across a mark and the pattern, each hit with a dump of its own, and a search
// that finds nothing (0xFFFFFFFF is searched as 8 bytes).
FullByPattern( LBA:0x30, RangeSector:3, Pattern:0x11223344, MarkSectorHeader:TRUE );
FindLBA_ByPattern( StartLBA:0, FindPattern:0x11223344 );
FindLBA_ByPattern( StartLBA:0x31, FindPattern:0x31 );
FindLBA_ByPattern( StartLBA:0, FindPattern:0x3211223344 );
FindLBA_ByPattern( StartLBA:0, FindPattern:0xFFFFFFFF );
Print( Output:"done" );
