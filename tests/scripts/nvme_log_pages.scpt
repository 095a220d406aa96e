// The log-page commands and the namespace descriptors on the lab's NVMe drive.
GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );
Temp = ResultHex( ByteStart:1, Len:2, HexParse:"Num" );
Print( Output:"Composite temperature (K): " + Temp );
GetLogPage_ErrorInfo();
GetLogPage_SMART();
GetLogPage_CommandEffect();
Identify_DescriptorNamespac();
GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:6 );
