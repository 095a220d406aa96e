// A write job not waited for reads 17 while it writes and 31 once it is done, the file then
// compares with its pattern and offset marks from its start and from inside a unit, and a read
// from the file's size fails.
SetErrorSkip( SkipCount:20 );
J0 = File_Write( File:"slow.bin", DataLenMB:30, WritePattern:0, WaitFinish:FALSE );
jState = File_JobState( JobID:J0 );
Print( Output:"running: " + jState );
While (jState == 17) {
    Delay( sec:1 );
    jState = File_JobState( JobID:J0 );
}
Print( Output:"finished: " + jState );
File_CompareWithPattern( File:"slow.bin", Pattern:0, CheckHead:TRUE, OffsetByte:0 );
File_CompareWithPattern( File:"slow.bin", Pattern:0, CheckHead:TRUE, OffsetByte:1000 );
File_Read( File:"slow.bin", OffsetByte:31457280, DataLenByte:0, WaitFinish:TRUE );
J1 = File_Read( File:"slow.bin", OffsetByte:31457000, DataLenByte:0, WaitFinish:TRUE );
Print( Output:"read job " + J1 + " state " + _FThread3 );
File_JobState( JobID:7 );
