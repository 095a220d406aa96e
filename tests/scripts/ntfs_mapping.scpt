// The NTFS mapping commands on a lab volume made from an mkntfs image: a resident file's record,
// sectors of the MFT area and of a fragmented file, a range over several files, a file eight
// folders down found through the folder indexes, and the refusals: outside the volume, past the
// MFT, past the file, in a hole, a volume that is no NTFS volume, a disk without volumes.
SetErrorSkip( SkipCount:20 );
GetFileByMftId( MftId:64 );
GetFileByLBA( LBA:0x8A1 );
GetFileByLBA( LBA:0xF48 );
Print( Output:GetFileByLBA );
GetFileByLBA( LBA:0xF4F, SectorCount:0x12 );
GetFileLBA( File:"E:\small.txt", ByteOffset:0 );
GetFileLBA( File:"E:\frag.bin", ByteOffset:0x1234 );
Print( Output:GetFileLBA );
GetFileLBA( File:"E:\d1\d2\d3\d4\d5\d6\d7\d8\deep.txt", ByteOffset:3, NtfsTrace:TRUE );
GetFileLBA( File:"E:\sparse.bin", ByteOffset:0x10000 );
GetFileLBA( File:"E:\frag.bin", ByteOffset:99999 );
GetFileLBA( File:"E:\nothere.bin", ByteOffset:0, NtfsTrace:TRUE );
GetFileByLBA( LBA:0x10 );
GetFileByLBA( LBA:0x1800 );
GetFileByMftId( MftId:100000 );
GetFileByMftId( MftId:-1 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
GetFileByMftId( MftId:0 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
GetFileByLBA( LBA:0 );
GetFileByMftId( MftId:0 );
