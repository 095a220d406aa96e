// Operator dialogs answered from the answer file that dialogs_answers.args names, line by line.
iResult = MessageBox(Output:"Test message?\nMulti lines information", Button:"OKCANCEL", AutoOK:TRUE, ICON:"QUESTION" );
Print( Output:"MessageBox " + iResult );
iResult = MessageBox(Output:"Continue?", Button:"YESNO", AutoOK:FALSE, ICON:"WARNING" );
Print( Output:"MessageBox YESNO " + iResult );
iValue = ComboBox(Output:"Test message?", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:TRUE );
Print( Output:"ComboBox " + iValue );
sValue = ComboBox(Output:"Station:", ItemList:"Line 1|Line 2", Return:"String", AutoOK:TRUE );
Print( Output:"ComboBox String " + sValue );
iValue = NumberBox( Title:"Number:", Default:10, AutoOK:TRUE );
Print( Output:"NumberBox " + iValue );
iSelectList[] = CheckListBox(Output:"Test item?", ItemList:"*AAA|BBB|*CCC|DDD", AutoOK:TRUE );
n = ArrayLen( Array:iSelectList[] );
Print( Output:"CheckListBox " + n + " items " + iSelectList[0] + iSelectList[1] + iSelectList[2] + iSelectList[3] );
ReturnData = InputBox( Title:"Barcode:", SpecialKey:"SN", LenthLimit:10, ShowResult:TRUE, Default:"" );
Print( Output:"InputBox " + ReturnData );
FilePath = FileSelectBox( Ext:"*.txt#Answer files|*.*#All");
Print( Output:"FileSelectBox " + FilePath );
SetErrorSkip( SkipCount:3 );
// A chosen file that does not exist
FilePath = FileSelectBox( Ext:"*.bin");
Print( Output:"missing file [" + FilePath + "]" );
// A 9-character scan where 10 are needed
ReturnData = InputBox( Title:"Barcode:", LenthLimit:10 );
Print( Output:"rejected scan [" + ReturnData + "]" );
// A line written for another command
iResult = MessageBox(Output:"Last?", AutoOK:TRUE );
Print( Output:"wrong line " + iResult );
// The answers are used up and nobody is at the terminal: declined at once
iResult = MessageBox(Output:"Nobody?", AutoOK:FALSE );
Print( Output:"nobody " + iResult );
