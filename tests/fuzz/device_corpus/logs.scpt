SMART( ShowVSC:1, Items:"" );
GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );
v = GetFeature( FeatureId:0x06 );
NVMe( IO:"IN", DataLenByte:4096, OpCode:0x06, NSID:0, CDW10:0x1 );
