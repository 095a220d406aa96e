// The maker drive's identity blocks (debug mode: each command's echo in grey): the items of the
// drive-information page, all or picked as the result, a source page the drive does not have, the
// security ids shown, set, verified and refused, a legacy drive and a foreign one.
SetErrorSkip( SkipCount:30 );
VSC_GetDrvInfo();
Soc = VSC_GetDrvInfo( DrvItem:"Soc_ID" );
Print( Output:Soc );
Clk = VSC_GetDrvInfo( DrvItem:"Cpu_Clk|Nand_Clk" );
Print( Output:Clk );
VSC_GetDrvInfo( Source:1 );
VSC_SecurityID();
VSC_SecurityID( Function:1, Type:1, ID:"NEWPSID" );
Ok = VSC_SecurityID( Function:2, Type:1, ID:"NEWPSID" );
Print( Output:Ok );
Ok = VSC_SecurityID( Function:2, Type:0, ID:"WRONG" );
Print( Output:Ok );
VSC_SecurityID( Function:1, Type:0, ID:"" );
VSC_SecurityID( Function:3 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
Fw = VSC_GetDrvInfo( DrvItem:"FW_Base|Origin_FW_Name" );
Print( Output:Fw );
VSC_SecurityID();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
VSC_GetDrvInfo();
VSC_SecurityID();
GetErrorCount( ShowResult:TRUE );
