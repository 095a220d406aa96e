// Array rules: only a list assignment sets the length, an element assignment makes the element
// and leaves the length alone, a shorter list leaves the higher elements in place, and a list is
// cut into at most 50 items, the 50th taking the rest of the text.
A[] = 1, 2, 3, 4;
A[] = 9, 8;
n = ArrayLen( Array:A[] );
Print( Output:"After the shorter list: length " + n + ", A[0] " + A[0] + ", A[3] still " + A[3] );
A[6] = 7;
n = ArrayLen( Array:A[] );
Print( Output:"After writing A[6]: length " + n + ", A[6] " + A[6] );
// Elements written before any list: the array has no length yet, so they read as empty.
B[3] = 5;
Print( Output:"B[3] before a list: [" + B[3] + "]" );
B[] = 1;
n = ArrayLen( Array:B[] );
Print( Output:"B[3] once a list gave B the length " + n + ": " + B[3] );
// 52 parts of a split make 50 items.
L[] = StrSplit( String:"0_1_2_3_4_5_6_7_8_9_10_11_12_13_14_15_16_17_18_19_20_21_22_23_24_25_26_27_28_29_30_31_32_33_34_35_36_37_38_39_40_41_42_43_44_45_46_47_48_49_50_51", Split:"_", MaxCount:60 );
n = ArrayLen( Array:L[] );
Print( Output:"Split items: " + n + ", L[48] " + L[48] );
// The 50th item is the rest of the list, "49, 50, 51", which reads as no value.
SetErrorSkip( SkipCount:1 );
N[] = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51;
n = ArrayLen( Array:N[] );
Print( Output:"List items: " + n + ", N[48] " + N[48] );
