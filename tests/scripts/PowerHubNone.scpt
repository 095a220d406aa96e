// Without a hub type in the station file the hub commands fail and name what is missing.
SetErrorSkip( SkipCount:10 );
RelayPowerOn( Port:1 );
SSDPowerOff( DelayRunSec:0, Port:1 );
Print( Output:"done" );
