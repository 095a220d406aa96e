// Values fetched by key word from the lines a script printed.
Print( Output:"Serial Number : S1234" );
Print( Output:"Temperature (Celsius) : 40" );
Print( Output:"Link : x4|8.0 GT/s|PCIe" );
sn = Result( KeyWord:"SN|Serial Number", ShowResult:TRUE );
t1 = Result( KeyWord:"Temperature", ShowResult:TRUE, CovertType:"Integer" );
t2 = Result( KeyWord:"Temperature (Celsius)", ShowResult:FALSE );
Print( Output:"Sum of both keys = " + (t1 + t2) );
speed = ResultColumn( KeyWord:"Link", Colume:1, ShowResult:TRUE );
model = Result( KeyWord:"Model Number", ShowResult:TRUE, CovertType:"AUTO", Default:"unknown" );

// Failures that are counted and skipped: a column past the last "|", no data file to read.
SetErrorSkip( SkipCount:2 );
none = ResultColumn( KeyWord:"Link", Colume:3 );
data = ResultHex( ByteStart:4, Len:2, HexParse:"Num" );

// A line longer than 250 characters is shown cut.
long = "";
i = 0;
While( i < 30 )
{
  long = long + "0123456789";
  i++;
}
Print( Output:long );
