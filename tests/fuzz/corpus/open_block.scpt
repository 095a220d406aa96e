// A block left open at the end is reported after the run.
If (1 == 1) {
    Print( Output:"inside" );
