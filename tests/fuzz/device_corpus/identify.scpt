Identify();
Identify_Namespace( StartByte:0, EndByte:4095 );
