// Exec starts a program without a shell, and imports the files a program leaves at the output base name.
Exec( CmdLine:"/bin/echo literal $(id) `id` | & >x $HOME", WaitClose:TRUE );
Print( Output:Exec );
Exec( CmdLine:"/bin/cp exec_import.txt %Output%.TXT" );
Exec( CmdLine:"/bin/cp exec_import.xml %Output%.XML" );
Exec( CmdLine:"/bin/cp exec_import.ini %Output%.INI" );
Print( Output:"never reached" );
