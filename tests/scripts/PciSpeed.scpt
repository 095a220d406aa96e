// SetSystem_PCISpeed retrains the link of a drive at Gen3 x2 of Gen4 x4 through its root port (up
// to Gen5): Gen 4 makes it Gen4, Gen 2 slows it down. Gen 5 and 6 are more than the drive's end
// supports and Gen 9 is no generation: refused, the link unchanged.
SetErrorSkip( SkipCount:10 );
PCIInfo( ExtData:FALSE );
SetSystem_PCISpeed( Gen:4 );
SetSystem_PCISpeed( Gen:6 );
SetSystem_PCISpeed( Gen:2 );
PCIInfo( ExtData:FALSE );
SetSystem_PCISpeed( Gen:9 );
Identify( Items:"LINK_SPEED" );
