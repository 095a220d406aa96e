// Safe removal of the lab's NVMe drive: the node goes away, later commands find no disk.
SafeRemoveNVMe();
Exist = IsDiskExist();
Print( Output:"Disk still there: " + Exist );
