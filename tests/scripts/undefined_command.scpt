NoSuchCommand( a:1 );
