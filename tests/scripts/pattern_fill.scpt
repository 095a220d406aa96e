// FullByPattern on the lab: a marked range read back, the first two "AUTO" patterns of a run, a range
// cut to the end of the disk, and 1 MiB by RangeMB.
FullByPattern( LBA:0x100, RangeSector:16, Pattern:0x55AA33CC, MarkSectorHeader:TRUE );
LBARead( LBA:0x100, SectorCount:1 );
LBARead( LBA:0x10F, SectorCount:1 );
LBARead( LBA:0x110, SectorCount:1 );
FullByPattern( LBA:0x200, RangeSector:1, Pattern:"AUTO", MarkSectorHeader:FALSE );
FullByPattern( LBA:0x201, RangeSector:1, Pattern:"AUTO", MarkSectorHeader:TRUE );
LBARead( LBA:0x200, SectorCount:1 );
LBARead( LBA:0x201, SectorCount:1 );
FullByPattern( LBA:0x7FF0, RangeMB:1, Pattern:0x0F0F0F0F, MarkSectorHeader:TRUE );
LBARead( LBA:0x7FFF, SectorCount:1 );
FullByPattern( LBA:0, RangeMB:1, Pattern:0, MarkSectorHeader:TRUE );
LBARead( LBA:0x7FF, SectorCount:1 );
LBARead( LBA:0x800, SectorCount:1 );
