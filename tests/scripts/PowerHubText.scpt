// A power hub of text commands: switching works, the state cannot be read, port 7 does not exist.
SetErrorSkip( SkipCount:10 );
RelayPowerOff( DelayRunSec:0, Port:2 );
RelayPowerOn( Port:0 );
IsRelayPowerOn( Port:1 );
RelayPowerOn( Port:7 );
Print( Output:"done" );
