// SyncWait without SyncInit stops the run with -2.
r = SyncWait();
Print( Output:"never reached" );
