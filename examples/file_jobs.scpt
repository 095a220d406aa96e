// The file commands on ordinary files (any disk mode): a write job polled while it runs, the file
// checked against its pattern and offset marks, read back past the cache, copied with its folder,
// compared with the copy and deleted. Files named without a folder are made in the run's log folder.
// Run: kestrune /sim SCRIPT:examples/file_jobs.scpt '\\.\PHYSICALDRIVE0'
SetErrorSkip( SkipCount:0 );
J0 = File_Write( File:"File0.hex", DataLenMB:64, WritePattern:0x55AA33CC, WaitFinish:FALSE );
jState = File_JobState( JobID:J0 );
While (jState == 17) {
    Delay( sec:1 );
    jState = File_JobState( JobID:J0 );
}
Print( Output:"write job " + J0 + " finished with state " + jState );
File_CompareWithPattern( File:"File0.hex", Pattern:0x55AA33CC, CheckHead:TRUE, OffsetByte:0 );
r = ResultColumn( KeyWord:"Compare Result", Colume:1 );
Print( Output:"compare result column: " + r );
J1 = File_Read( File:"File0.hex", OffsetByte:0, DataLenByte:0, WaitFinish:TRUE );
File_Copy( FromFile:"File0.hex", ToFile:"File1.hex" );
File_Compare( FromFile:"File0.hex", ToFile:"File1.hex" );
File_Delete( File:"File1.hex", ConfirmMsg:FALSE );
