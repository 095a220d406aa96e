// A child of fn_script.scpt that stops on an error.
Exit( ErrCode:-3, ErrDesc:"child gives up" );
