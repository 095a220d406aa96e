// PartitionInfo on the lab: a RAW disk without a boot signature, the MBR the lab writes for a
// described volume, and the system disk with C: and D:.
PartitionInfo();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
PartitionInfo();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
PartitionInfo();
