// A delayed SSDPowerOff whose script ends during its delay: the drive keeps its power. The sleep
// under way holds the run open until after the delay has run out.
PowerState_S3S4( PowerState:"S3", PowerSleepSec:5, PowerIntervalSec:1, DelayRunSec:0, LimitTimeSec:0, LimitCycle:1, StopByJobEnd:FALSE );
Delay( sec:1 );
SSDPowerOff( DelayRunSec:2, Port:1 );
Print( Output:"the last statement" );
