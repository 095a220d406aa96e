// PowerAction 2 with the LAN power-cycle server reached: the lab PC switches itself off and the
// run ends there.
PCReBoot( DelayRunSec:0, PowerAction:2, SPOR:FALSE, BootContinue:FALSE );
Print( Output:"never printed" );
