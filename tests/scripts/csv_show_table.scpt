// CSV_ShowTable prints a small CSV file as a table: the title, then the first cells padded to the
// widest first cell and the others right-aligned to the widest of them. Bad calls: a DrawType that
// is no chart kind, a CSV file that does not exist.
Report_Print( File:"table.csv", Output:"Item,Min,Max\nTemp,31,45\nSpare Blocks,100,7\nShort,1\n", Append:FALSE );
CSV_ShowTable( File:"table.csv", Title:"Drive Summary" );
SetErrorSkip( SkipCount:2 );
CSV_ShowChart( File:"table.csv", DrawType:"Pie", Title:"" );
CSV_ShowTable( File:"missing.csv", Title:"" );
