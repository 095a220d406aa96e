// The USB bridges switch their drive's power themselves: ASMedia and JMicron off, on and relink.
// The RTL9210B cannot and gives 2.
SetErrorSkip( SkipCount:5 );
SSDPowerOff( DelayRunSec:0 );
Identify();
SSDPowerOn( TimeoutSec:5 );
SSDPowerReLink( TimeoutSec:5 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE5" );
SSDPowerOff( DelayRunSec:0 );
SSDPowerOn( TimeoutSec:5 );
SSDPowerReLink( TimeoutSec:5 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE6" );
R = SSDPowerOn( TimeoutSec:5 );
Print( Output:"RTL9210B gives " + R );
