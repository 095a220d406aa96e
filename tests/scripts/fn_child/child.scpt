// The child of fn_script.scpt: it reads the sector its parent wrote and leaves a result for it.
Print( Output:"child runs" );
LBARead( LBA:8, SectorCount:1 );
Exec( CmdLine:"/bin/cp child_result.ini %Output%.INI" );
