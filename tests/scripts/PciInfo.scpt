// PCIInfo on the lab's NVMe drive: its port, the configuration header, the six BARs and the link
// through the PCI Express capability. The vendor channel part is not there yet and says so.
PCIInfo( ExtData:TRUE );
Vid = Result( KeyWord:"VendorID" );
Print( Output:"Vendor: " + Vid );
