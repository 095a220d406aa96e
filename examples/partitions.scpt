// Partitions on the lab's SATA test drive: two labelled NTFS partitions on a GPT, the table read
// back, then the disk cleaned again (PartitionInfo then finds no table).
// Run: kestrune /sim SCRIPT:examples/partitions.scpt '\\.\PHYSICALDRIVE2'
// On a real drive, Partition_Create and Partition_Delete erase it: ConfirmMsg:TRUE asks first.
Partition_Create( ConfirmMsg:FALSE, PartType:2, FileSys:0, SizeMB:256, PartLabel:"DATA|LOGS" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
PartitionInfo();
Partition_Delete( ConfirmMsg:FALSE );
PartitionInfo();
