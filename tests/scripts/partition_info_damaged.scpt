// PartitionInfo on tables broken under it: a GPT whose primary header was overwritten (the backup
// header at the disk end is read instead), the same disk with partition records but no 55h AAh
// signature (no table at all), and records of a foreign type that reach past the disk end.
SetErrorSkip( SkipCount:10 );
Partition_Create( ConfirmMsg:FALSE, PartType:2, FileSys:0, SizeMB:16, PartLabel:"A|B" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE0" );
LBAWrite( LBA:1, SectorCount:1, WritePattern:0x12345678, MarkSectorHeader:FALSE );
PartitionInfo();
LBAWrite( LBA:0, SectorCount:1, WritePattern:0xAA55AA55, MarkSectorHeader:FALSE );
PartitionInfo();
LBAWrite( LBA:0, SectorCount:1, WritePattern:0x55AA55AA, MarkSectorHeader:FALSE );
PartitionInfo();
Print( Output:"done" );
