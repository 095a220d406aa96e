// SystemInfo on the lab test PC: the platform lines, the disks and the current disk, first the NVMe
// test drive without volumes, then the SATA drive that holds C:.
SystemInfo();
Os = Result( KeyWord:"OS Version" );
Print( Output:"OS: " + Os );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
SystemInfo();
