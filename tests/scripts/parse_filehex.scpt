// Parse_FileHex: a record decoded by a structure definition (decimal and hexadecimal scalars, a text,
// an array, every field with its offset, then the size), a definition with an unlisted type (-255
// with its line) and a data file that is missing (-11 with its name).
SetErrorSkip( SkipCount:5 );
Parse_FileHex( File:"parse_filehex.hex", StructFile:"parse_filehex.h" );
Parse_FileHex( File:"parse_filehex.hex", StructFile:"parse_filehex_bad.h" );
Parse_FileHex( File:"missing.hex", StructFile:"parse_filehex.h" );
Print( Output:"done" );
