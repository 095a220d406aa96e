// Only NVMe drives on the inbox driver or a community miniport are PCI functions of their own:
// behind RST or a USB bridge PCIInfo and SetSystem_PCISpeed fail with Not PCI Device, and a SATA
// drive has no NVMe command rows at all. The community miniport drive is a PCI function.
SetErrorSkip( SkipCount:20 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE2" );
PCIInfo();
SetSystem_PCISpeed( Gen:3 );
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE3" );
PCIInfo();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE4" );
PCIInfo();
ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE1" );
PCIInfo( ExtData:FALSE );
