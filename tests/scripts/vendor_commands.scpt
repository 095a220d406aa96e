// The maker's vendor commands on a Cedar controller that speaks the FC/FD/FE command set (debug
// mode: each command's echo in grey): identification, the small commands, the configuration block
// read, edited and written back with its CRC, refusals before anything is sent.
SetErrorSkip( SkipCount:30 );
Id = GetSocID();
Print( Output:Id );
Type = GetConfigType();
Print( Output:Type );
VSC_CleanSMART();
VSC_KeepFRB();
Uid = VSC_GetOTPuid();
Print( Output:Uid );
Pct = VSC_GetReconstructionStatus();
Print( Output:Pct );
VSC_SetThinCapacity( SizeGB:0 );
VSC_SetThinCapacity( SizeGB:1 );
Pkg = VSC_GetFWconfig( FWCfgItem:"nand_package_num" );
Print( Output:Pkg );
VSC_GetFWconfig();
VSC_SetFWconfig( FWCfgItem:"sn|nand_package_num", SetValue:"SN-EDITED|8" );
VSC_GetFWconfig( FWCfgItem:"drv_serial_number|nand_package_num", ShowOffset:TRUE );
VSC_SetFWconfig( FWCfgItem:"nand_package_num", SetValue:"300" );
VSC_SetFWconfig( FWCfgItem:"no_such_item", SetValue:"1" );
VSC_SetFWconfig( FWCfgItem:"nand_die_num", SetValue:"" );
VSC_SetFWconfig( FWCfgItem:"tmt1|tmt2", SetValue:"70|-1" );
Th = GetFeature( FeatureId:0x10 );
Print( Output:Th );
VSC_GetFWconfig( FWCfgItem:"tmt1|tmt2|nand_die_num" );
PCIInfo();
GetErrorCount( ShowResult:TRUE );
