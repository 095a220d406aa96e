// The drive's power through the hub: SSDPowerOff takes the drive away, SSDPowerOn brings it back
// and finds it again. A drive that stays away after power on fails the command.
SSDPowerOff( DelayRunSec:0, Port:1 );
Gone = IsDiskExist();
Print( Output:"Disk there after off: " + Gone );
SSDPowerOn( TimeoutSec:20, Port:1 );
Back = IsDiskExist();
Print( Output:"Disk there after on: " + Back );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
SSDPowerOff( DelayRunSec:0, Port:3 );
SSDPowerOn( TimeoutSec:1, Port:3 );
Print( Output:"never reached" );
