// A delayed SSDPowerOff whose run is cancelled during its delay (the operator declines the file
// dialog, as Escape does): the drive keeps its power. The sleep under way holds the run open
// until after the delay has run out, so a power-off that missed the cancel would show here.
PowerState_S3S4( PowerState:"S3", PowerSleepSec:5, PowerIntervalSec:1, DelayRunSec:0, LimitTimeSec:0, LimitCycle:1, StopByJobEnd:FALSE );
Delay( sec:1 );
SSDPowerOff( DelayRunSec:2, Port:1 );
Before = IsRelayPowerOn( Port:1 );
Print( Output:"Right after: " + Before );
FilePath = FileSelectBox( Ext:"*.txt" );
Print( Output:"not reached" );
