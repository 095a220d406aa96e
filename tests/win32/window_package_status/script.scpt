// The Style 10 check's script: two status texts for the status box, then the last line.
SetStatusText( Status:"Status one", Progress:10 );
SetStatusText( Status:"Status two", Progress:20 );
Print( LeftAlign:TRUE, Output:"Status check done." );
