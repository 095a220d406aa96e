// The manufacturing record of the maker's drives (debug mode: the echo in grey): in full with
// offsets and the factory defect list, items picked by name and alias with their values as the
// result, the second defect page, a page the legacy opcode cannot carry, a foreign drive.
SetErrorSkip( SkipCount:10 );
VSC_GetMPinfo( DefectList:TRUE, ShowOffset:TRUE );
V = VSC_GetMPinfo( MPInfoItem:"soc_id|origin_fw|cpu_clk" );
Print( Output:V );
V = VSC_GetMPinfo( MPInfoItem:"nand_clk" );
Print( Output:V );
VSC_GetMPinfo( DefectList:TRUE, NCB:1, MPInfoItem:"layout" );
VSC_GetMPinfo( DefectList:TRUE, NCB:2, MPInfoItem:"layout" );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
VSC_GetMPinfo( DefectList:TRUE, MPInfoItem:"soc_id" );
VSC_GetMPinfo( DefectList:TRUE, NCB:1 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE5" );
VSC_GetMPinfo();
GetErrorCount( ShowResult:TRUE );
