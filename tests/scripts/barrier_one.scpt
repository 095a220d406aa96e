// A barrier of one participant passes at once, barrier after barrier. A SyncWait before
// SyncInit is refused, a timeout of 0 means no limit, and the end of the run leaves.
SetErrorSkip( SkipCount:1 );
r = SyncWait( TimeoutSec:5 );
SyncInit();
SyncInit( DelayRunSec:1 );
r = SyncWait( TimeoutSec:5 );
Print( Output:"first barrier " + r );
r = SyncWait( TimeoutSec:0 );
Print( Output:"second barrier " + r );
r = SyncWait();
Print( Output:"third barrier " + r );
