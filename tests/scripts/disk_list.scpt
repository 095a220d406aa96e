// The default lab: the disk list, the queries about the current disk, and a change of disk.
Disks[] = DiskList( ShowVolumn:TRUE, Column:TRUE, Filter:"", Master:TRUE );
n = ArrayLen( Array:Disks[] );
Print( Output:"Entries: " + n );
Print( Output:"First: " + Disks[0] );
Slaves[] = DiskList( ShowVolumn:FALSE, Column:FALSE, Filter:"", Master:FALSE );
Print( Output:"Without the system disk: " + ArrayLen( Array:Slaves[] ) );
Nvme = IsNVMEDisk();
Raw = IsRAWDisk();
Print( Output:"NVMe " + Nvme + ", raw " + Raw );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Nvme = IsNVMEDisk();
Raw = IsRAWDisk();
Print( Output:"NVMe " + Nvme + ", raw " + Raw );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE7" );
