// File_Compare of files of different sizes (-82), of a file whose bit flips in one read only (-70)
// and of files that really differ (-71), each with where they differ and that unit of both files,
// then the flipped file again, which now reads right.
SetErrorSkip( SkipCount:20 );
File_Write( File:"flip.bin", DataLenByte:65536, WritePattern:0x11111111, WaitFinish:TRUE );
File_Write( File:"same.bin", DataLenByte:65536, WritePattern:0x11111111 );
File_Write( File:"other.bin", DataLenByte:65536, WritePattern:0x22222222 );
File_Write( File:"short.bin", DataLenByte:65000, WritePattern:0x11111111 );
File_Compare( FromFile:"same.bin", ToFile:"short.bin" );
File_Compare( FromFile:"flip.bin", ToFile:"same.bin" );
File_Compare( FromFile:"same.bin", ToFile:"other.bin" );
File_Compare( FromFile:"same.bin", ToFile:"flip.bin" );
Print( Output:"done" );
