// If chains, else on the same line as the closing brace and on its own line, While and Break.
a = 2;
If (a == 1) {
    Print( Output:"branch 1" );
} else if (a == 2) {
    Print( Output:"branch 2" );
} else {
    Print( Output:"branch else" );
}
i = 0;
While (i < 0) {
    Print( Output:"never" );
}
While (i < 10) {
    i++;
    If (i == 3) {
        Break();
    }
    Print( Output:i );
}
Print( Output:"after loop " + i );
x = (1+2)*3;
Print( Output:x );
If (x == 9) Print( Output:"one-line if taken" );
If (x == 8) Print( Output:"one-line if not taken" );
n = 0;
While (n < 2) {
    m = 0;
    While (m < 2) {
        Print( Output:"n" + n + " m" + m );
        m++;
    }
    n++;
}
