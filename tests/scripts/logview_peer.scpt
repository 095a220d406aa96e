// With the companion stand-in (logview_peer.peer): commands reach it, a key word is answered and
// Result reads the reply, a slow answer is waited for, a key word never answered times out with an
// empty result, and a wait without a limit is interrupted by the operator (Ctrl-C) and says so.
LogView_Send( Command:"Open Report", DelayRunSec:0 );
LogView_Wait( Command:"Serial", TimeoutSec:5 );
v = Result( KeyWord:"Result", ShowResult:FALSE );
Print( Output:"got [" + v + "]" );
LogView_Wait( Command:"Slow", TimeoutSec:5 );
LogView_Wait( Command:"Silent", TimeoutSec:1 );
LogView_Send( Command:"Close Report", DelayRunSec:0 );
LogView_Wait( Command:"Hang up", TimeoutSec:0 );
Print( Output:"not reached" );
