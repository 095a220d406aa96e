// SetSystem_PCISpeed retrains the link of a drive at Gen3 x2 of Gen4 x4: Gen 4 makes it Gen4,
// Gen 6 is more than the link can do and stays at Gen4, Gen 2 slows it down. Gen 9 is refused.
SetErrorSkip( SkipCount:10 );
PCIInfo( ExtData:FALSE );
SetSystem_PCISpeed( Gen:4 );
SetSystem_PCISpeed( Gen:6 );
SetSystem_PCISpeed( Gen:2 );
PCIInfo( ExtData:FALSE );
SetSystem_PCISpeed( Gen:9 );
Identify( Items:"LINK_SPEED" );
