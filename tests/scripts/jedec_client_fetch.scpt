// JEDEC219A_Client without its trace in the work folder: the master trace zip is fetched from the
// lab's file server (the account from the station file, its password never shown), the trace is
// extracted beside it and replayed. A second run finds both and fetches nothing.
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );
a = IsFileExist( File:"Client_128_GB_Master_Trace.zip" );
b = IsFileExist( File:"Client_128_GB_Master_Trace.txt" );
Print( Output:"zip " + a + ", trace " + b );
