// Without a companion: a command is sent, a key word waits out its time, an empty key word
// does nothing, and a command too long for its slot is refused.
SetErrorSkip( SkipCount:2 );
LogView_Send( Command:"Open Report", DelayRunSec:0 );
LogView_Wait( Command:"Serial", TimeoutSec:1 );
LogView_Wait( Command:"", TimeoutSec:1 );
LogView_Send( Command:"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", DelayRunSec:0 );
Print( Output:"done" );
