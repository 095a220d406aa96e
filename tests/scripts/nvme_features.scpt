// Features on the simulated NVMe drive: a successful fixed form does not end the run, and a
// threshold that would spill into the other half is refused.
GetFeature( FeatureId:0x06 );
GetFeature( FeatureId:0x10 );
SetFeature_TemperatureTH( KTemperature1:348, KTemperature2:358 );
GetFeature_TemperatureTH();
SetFeature_WriteCache( Enable:FALSE );
Cache = GetFeature_WriteCache();
Print( Output:Cache );
SetFeature( 0x06, TRUE, 1 );
Cache = GetFeature_WriteCache();
Print( Output:Cache );
SetFeature_TemperatureTH( KTemperature1:0x10000, KTemperature2:358 );
Print( Output:"not reached" );
