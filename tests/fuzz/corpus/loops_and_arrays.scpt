// Loops, Break and arrays.
A[] = 10, 20, "thirty";
i = 0;
While ( i < 10 ) {
    If ( i == 3 ) {
        Break();
    }
    Print( Output:A[i] );
    i++;
}
Print( Output:"Left the loop at i = " + i );
