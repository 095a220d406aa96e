// A delayed RelayPowerOff returns at once and switches the port when its time has come.
RelayPowerOff( DelayRunSec:2, Port:1 );
Before = IsRelayPowerOn( Port:1 );
Print( Output:"Right after: " + Before );
Delay( sec:4 );
After = IsRelayPowerOn( Port:1 );
Print( Output:"Four seconds later: " + After );
RelayPowerOn( Port:1 );
