// The USB relay board: it is found, switches its channel off and on, and reports its state.
Exists = IsRelayExisted( Relay:"USB_Relay" );
Print( Output:"Relay board: " + Exists );
SSDPowerOff( DelayRunSec:0, Port:0 );
Off = IsRelayPowerOn( Port:0 );
Print( Output:"Powered: " + Off );
SSDPowerOn( TimeoutSec:10, Port:0 );
On = IsRelayPowerOn( Port:0 );
Print( Output:"Powered: " + On );
