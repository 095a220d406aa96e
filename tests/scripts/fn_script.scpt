// CallFnScript runs a child script in a second instance on the same lab drive and shows the result it leaves;
// a child that fails, and one that does not exist, are reported.
SetErrorSkip( SkipCount:10 );
LBAWrite( LBA:8, SectorCount:1, WritePattern:0x5A5AA5A5 );
FlushCache();
r = CallFnScript( ScpxFile:"fn_child/child.scpt", Param:"from parent" );
Print( Output:r );
CallFnScript( ScpxFile:"fn_child/failing.scpt" );
CallFnScript( ScpxFile:"fn_child/missing.scpt" );
n = GetErrorCount( ShowResult:FALSE );
Print( Output:n );
