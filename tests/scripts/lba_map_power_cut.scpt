// The life of a map made on the spot: the base pattern laid down, a map made (every block of 1 MiB
// written twice in order), written until the drive loses its power, compared once as after a reboot
// (the map's copy in the log folder, judged by the progress record the write kept beside it) and once
// by this run's own record, then the base pattern put back and checked.
// Writes not yet durable may come back old: counted apart, no error. After a reboot nothing past the
// durable entries is known to have happened, so none of them counts as old data.
SetErrorSkip( SkipCount:20 );
FullByPattern( LBA:0x800, RangeSector:2048, Pattern:0, MarkSectorHeader:TRUE );
FlushCache();
before = DateTime( OutFormat:"YYYYMMDD-hhmmss" );
Compare_MapMake( RandRatio:0, LBA:0x800, RangeLenMB:1, AccessKB:16, LimitTxSizeMB:2, TrimRatio:0, FuaRatio:0, FlushRatio:0 );
after = DateTime( OutFormat:"YYYYMMDD-hhmmss" );
// The map's folder, beside the work folder, is named after the time it was made, to the millisecond.
map = "";
ms = 0;
While ( ms < 1000 ) {
    digits = "" + ms;
    if ( ms < 10 ) {
        digits = "00" + ms;
    } else if ( ms < 100 ) {
        digits = "0" + ms;
    }
    name = "../[LBAMap_" + before + "-" + digits + "]/LBAMap.map";
    found = IsFileExist( File:name );
    if ( found == 1 ) {
        map = name;
        Break();
    }
    name = "../[LBAMap_" + after + "-" + digits + "]/LBAMap.map";
    found = IsFileExist( File:name );
    if ( found == 1 ) {
        map = name;
        Break();
    }
    ms++;
}
Compare_MapWrite( LBAMap:map, QD:4, WritePattern:0x3C3CA5A5 );
Delay( sec:2 );
Compare_MapCompare( LBAMap:"LBAMap.map", BasePattern:0, WritePattern:0x3C3CA5A5 );
Compare_MapCompare( LBAMap:map, BasePattern:0, WritePattern:0x3C3CA5A5 );
Compare_MapRecoverBasePattern();
Compare_WithPattern( LBA:0x800, RangeSector:2048, ComparePattern:0, MarkSectorHeader:TRUE, AccessKB:64 );
