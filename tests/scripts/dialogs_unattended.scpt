// Nobody at the terminal and no answer file: a question with AutoOK counts down from 20 and takes
// the default button, a question without it is declined at once. Every result is stored.
iValue = ComboBox(Output:"Test message?", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:TRUE );
Print( Output:"ComboBox after the countdown " + iValue );
iResult = MessageBox(Output:"Erase the drive?", Button:"OKCANCEL", AutoOK:FALSE );
Print( Output:"MessageBox " + iResult );
iValue = ComboBox(Output:"Pick one", ItemList:"AAA|*BBB", AutoOK:FALSE );
Print( Output:"ComboBox " + iValue );
iValue = NumberBox( "Number:", 10, FALSE );
Print( Output:"NumberBox " + iValue );
iSelectList[] = CheckListBox("Test item?", "*AAA|BBB", FALSE );
Print( Output:"CheckListBox " + iSelectList[0] + iSelectList[1] );
ReturnData = InputBox( Title:"Barcode:", Default:"SN1" );
Print( Output:"InputBox [" + ReturnData + "]" );
FilePath = FileSelectBox( Ext:"*.bin#FW image");
Print( Output:"FileSelectBox [" + FilePath + "]" );
SetErrorSkip( SkipCount:1 );
// Refused before anything shows
iValue = ComboBox(Output:"No split", ItemList:"AAA", AutoOK:TRUE );
Print( Output:"ComboBox refused " + iValue );
