// The closing brace and the else on separate lines close the If chain. The else then belongs to
// the outermost block, and its closing brace removes the bottom block node: -13.
a = 2;
If (a == 2) {
    Print( Output:"then taken" );
}
else {
    Print( Output:"outer else skipped" );
}
