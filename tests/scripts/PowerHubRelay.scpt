// The relay commands on the lab's serial relay board: off, its state, on, and the checks of the
// parameters. The port name stays when SetPowerHub refuses a name.
SetErrorSkip( SkipCount:10 );
RelayPowerOff( DelayRunSec:0, Port:1 );
Off = IsRelayPowerOn( Port:1 );
Print( Output:"Port 1 powered: " + Off );
Exist = IsDiskExist();
Print( Output:"Disk there: " + Exist );
RelayPowerOn( Port:1 );
On = IsRelayPowerOn( Port:0 );
Print( Output:"Port 1 powered: " + On );
Other = IsRelayPowerOn( Port:2 );
Print( Output:"Port 2 powered: " + Other );
SetPowerHub( COMPort:"LPT1" );
SetPowerHub( COMPort:"com4" );
RelayPowerOff( DelayRunSec:-1, Port:1 );
RelayPowerOff( DelayRunSec:70000, Port:1 );
RelayPowerOff( DelayRunSec:0, Port:300 );
Exists = IsRelayExisted( Relay:"USB_Relay" );
Print( Output:"Relay board: " + Exists );
