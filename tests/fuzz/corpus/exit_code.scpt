Print( Output:"ending with code 3" );
Exit( ErrCode:3, ErrDesc:"done" );
Print( Output:"never reached" );
