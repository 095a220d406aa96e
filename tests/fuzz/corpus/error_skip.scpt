// Two errors are counted and skipped, the third stops the run.
SetErrorSkip( SkipCount:2 );
x = missing1;
y = missing2;
Print( Output:"still running" );
z = missing3;
Print( Output:"never reached" );
