// Arrays: a list assignment, element reads and ArrayLen.
A[] = 1, 2, "x";
n = ArrayLen( Array:A[] );
Print( Output:n );
i = 1;
Print( Output:A[i] );
Print( Output:A[2] );
s = A[0] + A[1];
Print( Output:s );
n = ArrayLen( Array:A[] ) + 10;
Print( Output:n );
A[] = 7, 8;
n = ArrayLen( Array:A[] );
Print( Output:n );
B[] = "only";
m = ArrayLen( Array:B[] );
Print( Output:m );
// Not an array: no "[]" in the argument.
k = ArrayLen( Array:5 );
Print( Output:k );
// An array never assigned reads as the empty text, so its length is 0.
e = ArrayLen( Array:Never[] );
Print( Output:e );
SetErrorSkip( SkipCount:1 );
q = ArrayLen( Array:"C[]" );
Print( Output:"after" );
r = A[5];
Print( Output:"never reached" );
