// Identify on the simulated NVMe drive: the summary, values picked by Items and by Result, the dumps.
Identify();
Model = Result( KeyWord:"Model Number" );
Print( Output:Model );
Model = Identify( Items:"MN" );
Print( Output:Model );
Both = Identify( Items:"MN | FWver" );
Print( Output:Both );
Count = Identify( Items:"|NN|" );
Count += 1;
Print( Output:Count );
Identify_Controller( StartByte:76, EndByte:76 );
Identify_Controller( StartByte:5000, EndByte:5000 );
Identify_Namespace( StartByte:0, EndByte:26 );
Identify_ActiveNamespaceID();
