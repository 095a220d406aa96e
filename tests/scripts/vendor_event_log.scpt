// The maker's event log (debug mode: the echo in grey, by handle with CDW2 unless ByCmd is 1):
// decoded into the view, into a text file over three pages, an empty log, a log without its
// header, one of zeros, a foreign drive and arguments out of range.
SetErrorSkip( SkipCount:30 );
N = VSC_GetEventLog( SaveFile:"fc.elog" );
Print( Output:N );
N = VSC_GetEventLog( SaveFile:"fc.elog", DecodeType:2 );
N = VSC_GetEventLog( ByCmd:7 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
SetVSCType( iVSCType:0xC0 );
N = VSC_GetEventLog( SaveFile:"c0.elog", DecodeType:1, TarFile:"c0.txt", ByCmd:1 );
Print( Output:N );
Size = GetFileSize( File:"c0.elog" );
Print( Output:Size );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
N = VSC_GetEventLog( SaveFile:"legacy.elog" );
Print( Output:N );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
VSC_GetEventLog();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
VSC_GetEventLog();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE5" );
VSC_GetEventLog();
GetErrorCount( ShowResult:TRUE );
