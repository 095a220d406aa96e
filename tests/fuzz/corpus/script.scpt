// The default package's sample script: it needs no disk and shows the script language.
Print( Output:"Kestrune sample script" );
Print( Output:"Counting to three with a While loop:" );
i = 0;
While ( i < 3 ) {
    i++;
    Print( Output:i );
}
If ( i == 3 ) {
    Print( Output:"The loop ran three times." );
} else {
    Print( Output:"Unexpected loop count." );
}
Print( Output:"Done." );
