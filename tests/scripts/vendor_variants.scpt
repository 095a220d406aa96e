// The other command sets and drives: a Birch controller on C0/C1/C2 (not named by the
// identification, chosen with SetVSCType), an Alder controller on the legacy opcodes named by its
// drive-information page, a drive that is not the maker's (nothing sent), and the resets with
// their relinks on the inbox driver and behind a JMicron bridge.
SetErrorSkip( SkipCount:30 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Id = GetSocID();
Print( Output:Id );
VSC_GetOTPuid();
SetVSCType( iVSCType:0xC0 );
VSC_GetOTPuid();
VSC_SetFWconfig( FWCfgItem:"nand_die_num", SetValue:"4" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Id = GetSocID();
Print( Output:Id );
Type = GetConfigType();
Print( Output:Type );
VSC_GetReconstructionStatus();
VSC_GetFWconfig( FWCfgItem:"soc_id" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
Id = GetSocID();
Print( Output:Id );
VSC_CleanSMART();
SetVSCType( iVSCType:1 );
SetVSCType( iVSCType:0 );
PCIInfo( ExtData:FALSE );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE0" );
VSC_ForceTo( iFWMode:2 );
VSC_BrandNew( ConfirmMsg:FALSE );
VSC_FTLVirgin( ConfirmMsg:FALSE );
VSC_KillFW( ConfirmMsg:FALSE );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
VSC_FTLVirgin( ConfirmMsg:FALSE );
GetErrorCount( ShowResult:TRUE );
