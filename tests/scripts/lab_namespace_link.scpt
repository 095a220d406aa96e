// Identify on namespace 2 of a drive whose PCI Express link runs at Gen3 x2 of Gen4 x4, then on a
// drive whose link the lab does not report.
Identify();
Link = Identify( Items:"SUPPORT_SPEED | LINK_SPEED" );
Print( Output:Link );
Identify_Namespace( StartByte:0, EndByte:7 );
Identify_ActiveNamespaceID();
Identify_DescriptorNamespac();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
Identify( Items:"|NN| | SECTOR_SIZE | SUPPORT_SPEED | LINK_SPEED" );
