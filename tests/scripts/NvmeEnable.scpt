// SetSystem_NVMeEnable takes the drive's controller away and brings it back.
SetErrorSkip( SkipCount:10 );
SetSystem_NVMeEnable( Enable:FALSE );
There = IsDiskExist();
Print( Output:"Disk there after disable: " + There );
SetSystem_NVMeEnable( Enable:TRUE );
There = IsDiskExist();
Print( Output:"Disk there after enable: " + There );
