// A semicolon inside quotes still ends the statement: the call then lacks its closing parenthesis.
Print( Output:"before" );
Print( Output:"a;b" );
Print( Output:"never reached" );
