// PowerAction 2 asks the LAN power-cycle server first: not reached, nothing is saved and the
// PC stays on, the script goes on with the error skipped.
SetErrorSkip( SkipCount:1 );
PCReBoot( DelayRunSec:0, PowerAction:2, SPOR:FALSE, BootContinue:TRUE );
Print( Output:"still on" );
