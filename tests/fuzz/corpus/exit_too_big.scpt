Exit( ErrCode:0x10000, ErrDesc:"too big" );
