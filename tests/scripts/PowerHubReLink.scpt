// SSDPowerReLink of a drive on a PCI controller: its parent is disabled and enabled again, and the
// drive is found again.
SSDPowerReLink( TimeoutSec:10, Port:0 );
Back = IsDiskExist();
Print( Output:"Disk there: " + Back );
