// Bad input first, then S3 and S4 in turn, four cycles on the lab's clock. The run's end waits for
// the cycling, which ends by its cycle limit.
SetErrorSkip( SkipCount:3 );
PowerState_S3S4( PowerState:"S5", PowerSleepSec:1 );
PowerState_S3S4( PowerState:"S3", PowerSleepSec:-1 );
OneShot_S3S4( PowerState:"S3+S4", PowerSleepSec:1 );
OneShot_S3S4( PowerState:"S4", PowerSleepSec:1 );
PowerState_S3S4( PowerState:"S3+S4", PowerSleepSec:1, PowerIntervalSec:1, DelayRunSec:0, LimitTimeSec:0, LimitCycle:4, StopByJobEnd:FALSE );
