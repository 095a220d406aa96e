// SMART and the log pages on the simulated NVMe drive.
Kelvin = SMART( Items:"1" );
Kelvin -= 273;
Print( Output:Kelvin );
SMART();
Spare = SMART( ShowVSC:1, Items:"3|4|5" );
Print( Output:Spare );
GetLogPage_FirmwareSlotInfo();
Dw0 = GetLogPage( ID:2, DataLenByte:0 );
Print( Output:Dw0 );
