// Shows the error policy: two errors are counted and skipped, the third would stop the run.
SetErrorSkip( SkipCount:2 );
x = NoSuchVariable;
y = AnotherMissing;
ErrCount = GetErrorCount( ShowResult:TRUE );
Print( Output:"Two errors were skipped; the script goes on." );
Exit( ErrCode:0, ErrDesc:"Finished on purpose" );
