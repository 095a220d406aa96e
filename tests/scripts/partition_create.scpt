// Partition_Create and Partition_Delete on the lab, and PartitionInfo of what they leave: two MBR
// partitions with labels, one GPT partition on 4096-byte sectors, and the default GPT of a 3 TiB
// drive with two exFAT partitions labelled A and B.
Partition_Create( ConfirmMsg:FALSE, PartType:1, FileSys:0, SizeMB:16, PartLabel:"DATA|LOGS" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE0" );
PartitionInfo();
Partition_Delete( ConfirmMsg:FALSE );
PartitionInfo();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Partition_Create( ConfirmMsg:FALSE, PartType:2, FileSys:0, PartLabel:"NTFS4K" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
PartitionInfo();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
Partition_Create( ConfirmMsg:FALSE, PartType:0, FileSys:1, SizeMB:1024, PartLabel:"A|B" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
PartitionInfo();
Partition_Delete( ConfirmMsg:FALSE );
PartitionInfo();
