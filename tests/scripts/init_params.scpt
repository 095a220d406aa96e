// Words on the command line reach the script through InitParam_Data and InitParam_List.
a = InitParam_Data( KeyWord:"Init_Param0" );
n = InitParam_Data( KeyWord:"count", ShowResult:FALSE );
n++;
Print( Output:n );
A[] = InitParam_List( ShowResult:TRUE );
last = ArrayLen( Array:A[] );
last--;
Print( Output:A[last] );
x = InitParam_Data( KeyWord:"absent", Default:"fallback" );
