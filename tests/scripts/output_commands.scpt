// PrintEx in the forms a console shows, FontList, SetStatusText, and ConsoleOut into a file
// that PrintEx then shows line by line.
PrintEx( LeftAlign:FALSE, FontSize:10, Color:"WHITE", Output:"Test");
PrintEx( LeftAlign:TRUE, Color:"GREEN", FontSize:14, Output:"left aligned" );
PrintEx( "a pair without a name is the output" );
FontList();
SetStatusText( Status:"Cycle 1 of 3", Progress:33 );
ConsoleOut( Stdout:"console.txt" );
Print( Output:"into the file" );
PrintEx( Output:"also into the file" );
ConsoleOut();
Print( Output:"back on the console" );
PrintEx( Color:"TXTFILE", Output:"console.txt" );
ConsoleOut( Stdout:"console.txt", Append:TRUE );
Print( Output:"appended" );
ConsoleOut();
PrintEx( Color:"TXTFILE", Output:"console.txt" );
