// The maker's reading commands that keep a file (debug mode: each command's echo in grey): the
// crash dump by ReadBlock 8 with its progress, scrambled, through log page 07h, from a header
// that claims too much and from a foreign drive, then the critical log, grown defects, SPI debug
// information and vital product data in the three command sets.
SetErrorSkip( SkipCount:30 );
F = VSC_Cdump( SaveFile:"fc.cdp" );
Size = GetFileSize( File:F );
Print( Output:Size );
F = VSC_Cdump( SaveFile:"fc_enc.cdp", Encode:TRUE );
Size = GetFileSize( File:F );
Print( Output:Size );
N = VSC_CriticalLog( SaveFile:"fc.cri" );
Print( Output:N );
N = VSC_GetGrownDefect();
Print( Output:N );
VSC_GetSPIDbgInfo();
VSC_GetVPDData();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
SetVSCType( iVSCType:0xC0 );
F = VSC_Cdump( SaveFile:"c0.cdp" );
Size = GetFileSize( File:F );
Print( Output:Size );
VSC_CriticalLog( Decode:FALSE );
VSC_GetSPIDbgInfo( SaveFile:"c0.hex" );
VSC_GetVPDData();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
F = VSC_Cdump( SaveFile:"legacy.cdp" );
Size = GetFileSize( File:F );
Print( Output:Size );
VSC_CriticalLog();
VSC_GetGrownDefect();
VSC_GetVPDData();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
VSC_Cdump( SaveFile:"foreign.cdp" );
VSC_GetVPDData();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE5" );
VSC_Cdump( SaveFile:"huge.cdp" );
GetErrorCount( ShowResult:TRUE );
