// The raw NVMe command on the simulated drive: Identify Controller into a dump, values picked from
// it with ResultHex items, a command without data, and an IO text it does not know.
SetErrorSkip( SkipCount:5 );
NVMe( IO:"IN", DataLenByte:512, OpCode:0x06, NSID:0, CDW10:1 );
NVMe( IO:"IN", DataLenByte:512, OpCode:0x06, CDW10:1, ResultHex:"0:2:Num|bad|24:8:Str" );
Print( Output:ResultHex2 );
NVMe( IO:"NODATA", DataLenByte:4096, OpCode:0x0A, CDW10:0x06 );
NVMe( IO:"SIDEWAYS", DataLenByte:512, OpCode:0x06 );
SecurErase( ConfirmMsg:TRUE );
GetErrorCount();
