// FWImageInfo on the lab SATA test drive: 512-byte alignment and DOWNLOAD MICROCODE pieces.
SetErrorSkip( SkipCount:1 );
FWImageInfo( File:"fw_lab_new.fw" );
FWImageInfo( File:"fw_empty.fw" );
