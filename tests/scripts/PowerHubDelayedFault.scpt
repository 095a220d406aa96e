// A delayed power-off that fails is reported on the run thread, after the statement that was
// running when it failed.
SetErrorSkip( SkipCount:10 );
RelayPowerOff( DelayRunSec:1, Port:1 );
Delay( sec:3 );
Print( Output:"after the delay" );
