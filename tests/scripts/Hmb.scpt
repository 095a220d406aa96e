// SetSystem_HMB reads the policy (none set yet), writes 7 as 2, and 0xFF only reads it again.
SetSystem_HMB( HmbSet:0xFF );
SetSystem_HMB( HmbSet:7 );
SetSystem_HMB( HmbSet:0xFF );
SetSystem_HMB( HmbSet:0 );
SystemInfo();
