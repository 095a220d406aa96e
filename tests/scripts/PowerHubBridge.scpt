// The USB bridges switch their drive's power themselves: ASMedia and JMicron off, on and relink;
// the RTL9210B cannot and gives 2.
SSDPowerOff( DelayRunSec:0 );
SSDPowerOn( TimeoutSec:5 );
SSDPowerReLink( TimeoutSec:5 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE5" );
SSDPowerOff( DelayRunSec:0 );
SSDPowerOn( TimeoutSec:5 );
SSDPowerReLink( TimeoutSec:5 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE6" );
R = SSDPowerOn( TimeoutSec:5 );
Print( Output:"RTL9210B gives " + R );
