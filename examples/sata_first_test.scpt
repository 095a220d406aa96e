// A first SATA test on the simulated lab's test drive: kestrune /sim SCRIPT:examples/sata_first_test.scpt "\\.\PHYSICALDRIVE2"
Model = Identify( Items:"MN" );
Print( Output:"Testing " + Model );
Temperature = SMART( Items:"194" );
ATAWrite( LBA:0x10000000, SectorCount:8, WritePattern:0x5A5AA5A5, MarkSectorHeader:TRUE, ATA_WMode:"DMA_Fua" );
ATARead( LBA:0x10000000, SectorCount:8, ATA_RMode:"DMA" );
SMART_Offline( SelfTest:"Short" );
IdentifyEx( StartWord:128, EndWord:128 );
