// JEDEC219A_Client whose trace fetch the lab's file server refuses (a wrong password in the station
// file): -11 with the reason, the password not shown, no zip or trace left in the work folder.
SetErrorSkip( SkipCount:1 );
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
a = IsFileExist( File:"Client_128_GB_Master_Trace.zip" );
b = IsFileExist( File:"Client_128_GB_Master_Trace.txt" );
Print( Output:"zip left " + a + ", trace left " + b );
