// The built-in command table. Row order matters: lookup takes the first row that fits, and a few
// names have one row per disk kind, so the order decides which of them a disk finds.

#include "engine/command_table.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "base/text.h"

namespace kestrune::engine {

using base::EqualsNoCase;

namespace {

constexpr CommandEntry Row(std::string_view name, CommandCategory category) {
  return {name, category, kAnyDisk, {}, {}};
}
constexpr CommandEntry Device(std::string_view name, std::string_view usage = {}) {
  return {name, CommandCategory::kDevice, kAnyDisk, usage, {}};
}
constexpr CommandEntry Nvme(std::string_view name, std::string_view usage = {},
                            std::string_view sameAs = {}) {
  return {name, CommandCategory::kDevice, kNvmeOnly, usage, sameAs};
}
constexpr CommandEntry Sata(std::string_view name, std::string_view usage = {}) {
  return {name, CommandCategory::kDevice, kSataOnly, usage, {}};
}
constexpr CommandEntry General(std::string_view name, std::string_view usage = {},
                               std::string_view sameAs = {}) {
  return {name, CommandCategory::kGeneral, kAnyDisk, usage, sameAs};
}

// A usage template is a sample call showing every parameter in binding order with its default. It is
// documentation only and kept exactly as published, spacing and spelling included. Alias rows carry
// none of their own.
// clang-format off
constexpr CommandEntry kCommands[] = {
    Row("If", CommandCategory::kIf),
    Row("While", CommandCategory::kWhile),
    // Device and test commands: the NVMe rows,
    Nvme("Identify", R"(Identify( Items:"");)"),
    Nvme("Identify_Controller", "Identify_Controller( StartByte:0, EndByte:4095 );"),
    Nvme("Identify_Namespace", "Identify_Namespace( StartByte:0, EndByte:4095 );"),
    Nvme("Identify_ActiveNamespaceID", "Identify_ActiveNamespaceID();"),
    Nvme("Identify_DescriptorNamespac", "Identify_DescriptorNamespac();"),
    Nvme("GetLogPage", "GetLogPage( ID:0x02, LSP:0, RAE:0, DataLenByte:512 );"),
    Nvme("GetLogPage_ErrorInfo", "GetLogPage_ErrorInfo();"),
    Nvme("GetLogPage_SMART", {}, "SMART"),
    Nvme("SMART", R"(SMART( ShowVSC:1, Items:"" );)"),
    Nvme("GetLogPage_FirmwareSlotInfo", "GetLogPage_FirmwareSlotInfo();"),
    Nvme("SafeRemoveNVMe", "SafeRemoveNVMe();"),
    Nvme("SecurErase", "SecurErase( ConfirmMsg:TRUE );"),
    Nvme("UpdateFW", R"(UpdateFW( File:"", Slot:1, Commit:0, AutoReset:TRUE, ExtDelay:0 );)"),
    Nvme("UpdateFWex", R"(UpdateFWex( File:"", Slot:1, Commit:0, AutoReset:TRUE, ExtDelay:0, KeepSSDcfg:TRUE, FWCfgItem:"nand_package_num", SetValue:"" );)"),
    Nvme("FWActive", "FWActive(Slot:1, Commit:1 );"),
    Nvme("PCIInfo", "PCIInfo( ExtData:TRUE );"),
    Nvme("NVMe", R"(NVMe( IO:"IN", DataLenByte:4096, OpCode:0xFE, NSID:0, CDW2:0x76647673, CDW10:0x400, CDW12:0x82, CDW13:0x03, CDW14:0x00, CDW15:0x00, IOFile:"", ResultHex:"" );)"),
    Nvme("GetLogPage_CommandEffect", "GetLogPage_CommandEffect();"),
    Nvme("SetSystem_PCISpeed", "SetSystem_PCISpeed(Gen:3 );"),
    Nvme("SetSystem_NVMeEnable", "SetSystem_NVMeEnable(Enable:FALSE );"),
    Nvme("SetSystem_HMB", "SetSystem_HMB( HmbSet:0xFF );"),
    Nvme("GetFeature", "iValue = GetFeature( FeatureId:0x10 );"),
    Nvme("SetFeature", "SetFeature( FeatureId:0x10, Save:FALSE, CDW11:0x0161016B );"),
    Nvme("GetFeature_TemperatureTH", "GetFeature_TemperatureTH();"),
    Nvme("SetFeature_TemperatureTH", "SetFeature_TemperatureTH( KTemperature1:348, KTemperature2:358 );"),
    Nvme("GetFeature_WriteCache", "GetFeature_WriteCache();"),
    Nvme("SetFeature_WriteCache", "SetFeature_WriteCache( Enable:TRUE );"),
    Nvme("GetLogPage_Cdump", {}, "VSC_Cdump"),
    Nvme("VSC_Cdump", R"(VSC_Cdump( SaveFile:"", Encode:FALSE );)"),
    Nvme("SetVSCType", "SetVSCType( iVSCType:0x00 );"),
    Nvme("VSC_GetMPinfo", R"(VSC_GetMPinfo( DefectList:FALSE, NCB:0, MPInfoItem:"", ShowOffset:FALSE );)"),
    Nvme("VSC_GetFWconfig", R"(VSC_GetFWconfig( FWCfgItem:"", ShowOffset:FALSE);)"),
    Nvme("VSC_SetFWconfig", R"(VSC_SetFWconfig( FWCfgItem:"drv_serial_number", SetValue:"" );)"),
    Nvme("VSC_GetDrvInfo", R"(VSC_GetDrvInfo( Source:0, DrvItem:"" );)"),
    Nvme("VSC_GetMPOem", {}, "VSC_GetFWconfig"),
    Nvme("VSC_SetMPOem", {}, "VSC_SetFWconfig"),
    Nvme("VSC_GetGrownDefect", "VSC_GetGrownDefect();"),
    Nvme("VSC_KillFW", "VSC_KillFW( ConfirmMsg:TRUE );"),
    Nvme("VSC_CleanSMART", "VSC_CleanSMART();"),
    Nvme("VSC_FTLVirgin", "VSC_FTLVirgin( ConfirmMsg:TRUE );"),
    Nvme("VSC_GetEventLog", R"(VSC_GetEventLog( SaveFile:"", DecodeType:0, TarFile:"", ByCmd:0 );)"),
    Nvme("VSC_KeepFRB", "VSC_KeepFRB();"),
    Nvme("VSC_BrandNew", "VSC_BrandNew( ConfirmMsg:TRUE );"),
    Nvme("VSC_GetOTPuid", "VSC_GetOTPuid();"),
    Nvme("VSC_GetVPDData", "VSC_GetVPDData();"),
    Nvme("VSC_GetReconstructionStatus", "VSC_GetReconstructionStatus();"),
    Nvme("VSC_ForceTo", "VSC_ForceTo( iFWMode:0x00 );"),
    Nvme("VSC_SetThinCapacity", "VSC_SetThinCapacity( SizeGB:0 );"),
    Nvme("VSC_CriticalLog", R"(VSC_CriticalLog( SaveFile:"", Decode:TRUE );)"),
    Nvme("VSC_GetSPIDbgInfo", R"(VSC_GetSPIDbgInfo( SaveFile:"" );)"),
    Nvme("VSC_SecurityID", R"(VSC_SecurityID(Function:0, Type:0, ID:"");)"),
    // the SATA rows (a name given for both kinds is a separate row with its own handler),
    Sata("Identify", R"(Identify( Items:"" );)"),
    Sata("IdentifyEx", "IdentifyEx( StartWord:0, EndWord:255);"),
    Sata("SMART", R"(SMART( Items:"" );)"),
    Sata("SMART_Offline", R"(SMART_Offline( SelfTest:"Short" );)"),
    Sata("UpdateFW", R"(UpdateFW( File:"", ActiveNow:FALSE );)"),
    Sata("FWActive", "FWActive();"),
    Sata("ATA", R"(ATA( IO:"IN", ATACmd:0xFE, Feature:2, SectorCount:1, Low:0x00, Mid:0x00, High:0x01, ExLow:0, ExMid:0, ExHigh:0 );)"),
    Sata("ATARead", R"(ATARead( LBA:100, SectorCount:1, ATA_RMode:"Normal" );)"),
    Sata("ATAWrite", R"(ATAWrite( LBA:100, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, ATA_WMode:"Normal" );)"),
    Sata("SecurErase", "SecurErase( ConfirmMsg:TRUE );"),
    Sata("STBI", "STBI();"),
    Sata("IDLE", "IDLE();"),
    Sata("VSC_GetEventLog"),
    Sata("VSC_GetDrvInfo"),
    Sata("VSC_CleanEventLog"),
    Sata("VSC_GetFWconfig"),
    Sata("VSC_SetFWconfig"),
    Sata("VSC_GetMPinfo"),
    Sata("VSC_GetGrownDefect"),
    Sata("VSC_CleanSMART"),
    Sata("VSC_BrandNew"),
    Sata("VSC_KillFW"),
    Sata("VSC_TrainDDREye"),
    Sata("VSC_KeepFRB"),
    Sata("VSC_GetOTPuid"),
    Sata("VSC_ForceTo"),
    Sata("VSC_GetReconstructionStatus"),
    Sata("VSC_SecurityID"),
    // and the rows for any disk, with a few NVMe-only ones among them.
    Device("SystemInfo", "SystemInfo();"),
    Device("PartitionInfo", "PartitionInfo();"),
    Device("Partition_Create", R"(Partition_Create( ConfirmMsg:TRUE, PartType:0, FileSys:0, SizeMB:0, PartLabel:"" );)"),
    Device("Partition_Delete", "Partition_Delete( ConfirmMsg:TRUE );"),
    Device("LBARead", R"(LBARead( LBA:128, SectorCount:1, Times:1, SaveFile:"" );)"),
    Device("LBAWrite", "LBAWrite( LBA:128, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, FUA:FALSE ); "),
    Device("TRIM", "TRIM( LBA:128, TRIMSectorCount:1 );"),
    Device("FlushCache", "FlushCache();"),
    Device("Performance_SeqRead", "Performance_SeqRead( LBA:0, RangeLenMB:4096, AccessKB:128, QD:32, LimitCycle:1, LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );"),
    Device("Performance_SeqWrite", R"(Performance_SeqWrite( LBA:0, RangeLenMB:4096, AccessKB:128, QD:32, WritePattern:"AUTO", LimitCycle:1, LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );)"),
    Device("Performance_RandRead", R"(Performance_RandRead( LBA:0, RangeLenMB:0, AccessKB:4, QD:32, LimitTxSizeMB:"CYCLE", LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );)"),
    Device("Performance_RandWrite", R"(Performance_RandWrite( LBA:0, RangeLenMB:4096, AccessKB:4, QD:32, WritePattern:"AUTO", LimitTxSizeMB:"CYCLE", LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );)"),
    Device("Performance_MixReadWrite", R"(Performance_MixReadWrite( WriteRatio:25, RandRatio:50, LBA:0, RangeLenMB:4096, AccessKB:4, QD:32, WritePattern:"AUTO", LimitTxSizeMB:1024, LimitTimeSec:0, DotPerSec:1, GetTemperatureSec:0 );)"),
    Device("Performance_VideoStream", R"(Performance_VideoStream( LBA:0, RangeLenMB:0, AccessKB:8192, WritePattern:"AUTO", FrameHead:TRUE, LimitCycle:1, LimitTimeSec:0, FramePerDot:20 );)"),
    Device("JEDEC219A_Enterprise", "JEDEC219A_Enterprise( LBA:0, RangeLenMB:0, WriteRatio:100, DataCompare:FALSE, LimitTxSizeMB:1024, LimitTimeSec:0 );"),
    Device("JEDEC219A_Client", "JEDEC219A_Client( LBA:0, RangeMB:0, LimitTxSizeMB:0, LimitTimeSec:60 );"),
    Device("Compare_SeqReadWrite", R"(Compare_SeqReadWrite( LBA:0, RangeLenMB:4096, AccessKB:128, QD:32, WritePattern:"AUTO", LimitCycle:1, LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:0, FuaRatio:0, FlushRatio:0, nWrite1Read:1 );)"),
    Device("Compare_RandReadWrite", R"(Compare_RandReadWrite( LBA:0, RangeLenMB:4096, AccessKB:4, QD:32, WritePattern:"AUTO", LimitTxSizeMB:1024, LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:0, FuaRatio:0, FlushRatio:0, nWrite1Read:1 );)"),
    Device("Compare_WithPattern", "Compare_WithPattern( LBA:0, RangeSector:1, ComparePattern:0x55AA33CC, MarkSectorHeader:TRUE, AccessKB:16384 );"),
    Device("Compare_MapMake", "Compare_MapMake( RandRatio:100, LBA:0, RangeLenMB:1024, AccessKB:4, LimitTxSizeMB:1024, TrimRatio:0, FuaRatio:0, FlushRatio:0 );"),
    Device("Compare_MapWriteCompare", R"(Compare_MapWriteCompare( LBAMap:"", QD:32, WritePattern:"AUTO", StepRun:0, StepDelay:0 );)"),
    Device("Compare_MapWrite", R"(Compare_MapWrite( LBAMap:"", QD:32, WritePattern:0x55AA33CC, StepRun:0, StepDelay:0 );)"),
    Device("Compare_MapCompare", R"(Compare_MapCompare( LBAMap:"", BasePattern:0x00000000, WritePattern:0x55AA33CC );)"),
    Device("Compare_RandSizeOverlap", R"(Compare_RandSizeOverlap( LBA:0, RangeLenMB:1024, QD:32, RandAccessKB:"AUTO", RandRatio:5, OverRatio:5, LimitTxSizeMB:0, LimitTimeSec:60 );)"),
    Device("Compare_MapAppend", R"(Compare_MapAppend( LBAMap:"", RandRatio:100, LBA:0, RangeLenMB:1024, LimitTxSizeMB:1024, TrimRatio:0, FuaRatio:0, FlushRatio:0 );)"),
    Device("Compare_MapRecoverBasePattern", "Compare_MapRecoverBasePattern();"),
    Device("FindLBA_ByPattern", "FindLBA_ByPattern( StartLBA:0x00, FindPattern:0x55AAFF00 );"),
    Nvme("SSDPowerOff", "SSDPowerOff( DelayRunSec:0, Port:0 );"),
    Nvme("SSDPowerOn", "SSDPowerOn( TimeoutSec:20, Port:0);"),
    Nvme("SSDPowerReLink", "SSDPowerReLink( TimeoutSec:20, Port:0);"),
    Device("PowerState_S3S4", R"(PowerState_S3S4( PowerState:"S3", PowerSleepSec:60, PowerIntervalSec:30, DelayRunSec:5, LimitTimeSec:0, LimitCycle:1, StopByJobEnd:TRUE);)"),
    Device("OneShot_S3S4", R"(OneShot_S3S4( PowerState:"S3", PowerSleepSec:60);)"),
    Device("RelayPowerOff", "RelayPowerOff( DelayRunSec:5, Port:0 );"),
    Device("RelayPowerOn", "RelayPowerOn( Port:0 );"),
    Device("FullByPattern", "FullByPattern( LBA:0, RangeMB:1024, Pattern:0x00000000, MarkSectorHeader:TRUE );"),
    Device("FWbin_SetFWconfig"),
    Device("Parse_MPInfo"),
    Device("Parse_FWconfig"),
    Device("Parse_EventLog"),
    Device("Parse_CDump"),
    Device("Parse_FileHex"),
    Device("Parse_CriticalLog"),
    Device("Parse_SMART"),
    Device("Parse_DrvInfo"),
    Device("Parse_GrownDefect"),
    Device("Parse_DieGrownDefect"),
    Device("File_Copy", R"(File_Copy( FromFile:"", ToFile:"" );)"),
    Device("File_Compare", R"(File_Compare( FromFile:"", ToFile:"" );)"),
    Device("File_Delete", R"(File_Delete( File:"", ConfirmMsg:TRUE );)"),
    Device("File_FullByPattern", R"(File_FullByPattern( File:"", DataLenMB:4096, WritePattern:0x55AA33CC );)"),
    Device("File_Write", R"(J0 = File_Write( File:"File0.hex", DataLenMB:4096, WritePattern:0x55AA33CC, WaitFinish:TRUE );)"),
    Device("File_Read", R"(J0 = File_Read( File:"File0.hex", OffsetByte:0, DataLenByte:0, WaitFinish:TRUE );)"),
    Device("File_CompareWithPattern", R"(File_CompareWithPattern( File:"", Pattern:0x55AA33CC, CheckHead:TRUE, OffsetByte:0 );)"),
    Device("ReScanDriver", "ReScanDriver();"),
    Device("Exec", R"(Exec(AssignFolder:"", CmdLine:"text.exe %Disk%", ResultFile:"", WaitClose:TRUE);)"),
    Device("CSV_ShowChart", R"(CSV_ShowChart( File:"", DrawType:"Spline_2D", Title:"" );)"),
    Device("CSV_ShowTable", R"(CSV_ShowTable( File:"", Title:"" );)"),
    Nvme("MonitorData", R"(MonitorData( MonitorItem:"T-Composite | T-Sensor1 | T-Sensor2", GetDataSec:2, LimitTimeSec:60 );)"),
    Device("Parse"),
    Device("RDTErrCode"),
    Device("RDTResult"),
    Device("MergeFW"),
    Device("RegPortName", "RegPortName();"),
    // This program's own row, after the published device block.
    Device("FWImageInfo", R"(FWImageInfo( File:"" );)"),

    // General built-ins.
    General("Exit", R"(Exit( ErrCode:0x00, ErrDesc:"" );)"),
    General("Break"),
    General("Delay", "Delay(sec:1);"),
    General("Print", R"(Print( LeftAlign:FALSE, Output:"Test");)"),
    General("PrintEx", R"(PrintEx( LeftAlign:FALSE, FontSize:10, Color:"WHITE", Output:"Test"))"),
    General("DiskList", R"(Disk[] = DiskList( ShowVolumn:FALSE, Column:FALSE, Filter:"", Master:TRUE);)"),
    General("Result", R"(Value = Result( KeyWord:"Model Number", ShowResult:TRUE, CovertType:"AUTO", Default:"" );)"),
    General("ResultHex", R"(Data = ResultHex( ByteStart:0, Len:4, HexParse:"Num", ShowResult:TRUE, SaveFile:"" );)"),
    General("ResultColumn", R"(Value = ResultColumn( KeyWord:"01", Colume:2, ShowResult:TRUE, CovertType:"AUTO" );)"),
    General("InitParam_Data", R"(InitParam_Data( KeyWord:"Init_Param0", ShowResult:TRUE, CovertType:"AUTO", Default:"" ))"),
    General("InitParam_List", "InitParam_List( ShowResult:TRUE )"),
    General("SyncInit", "SyncInit( DelayRunSec:0 );"),
    General("SyncWait", "SyncWait( TimeoutSec:180 );"),
    General("Report_Print", R"(Report_Print( File:"", Output:"", Append:TRUE ))"),
    General("SetStatusText", R"(SetStatusText( Status:"", Progress:0 ))"),
    General("SetGlobalVar", R"(SetGlobalVar( Var:"Gi", Value:"" ))"),
    General("GetGlobalVar", R"(GetGlobalVar( Var:"Gi" ))"),
    General("AutoRunOnStartup", "AutoRunOnStartup()"),
    General("CallFnScript", R"(CallFnScript( ScpxFile:"", Param:"", WaitClose:TRUE, AutoClose:TRUE ))"),
    General("CancelFnScript", "CancelFnScript()"),
    General("FontList", "FontList()"),
    General("PCReBoot", "PCReBoot( DelayRunSec:0, PowerAction:1, SPOR:FALSE, BootContinue:TRUE );"),
    General("ChangeDisk", R"(ChangeDisk( PhysicalName:"");)"),
    General("MessageBox", R"(iResult = MessageBox(Output:"Test message?\nMulti lines information", Button:"OKCANCEL", AutoOK:TRUE, ICON:"QUESTION" );)"),
    General("ComboBox", R"(iValue = ComboBox(Output:"Test message?", ItemList:"AAA|*BBB|CCC", Return:"Index", AutoOK:TRUE );)"),
    General("NumberBox", R"(iValue = NumberBox( Title:"Number:", Default:10, AutoOK:TRUE );)"),
    General("CheckListBox", R"(iSelectList[] = CheckListBox(Output:"Test item?", ItemList:"*AAA|BBB|*CCC|DDD", AutoOK:TRUE );)"),
    General("InputBox", R"(ReturnData = InputBox( Title:"Barcode:", SpecialKey:"", LenthLimit:0, ShowResult:FALSE, Default:"" );)"),
    General("FileSelectBox", R"(FilePath = FileSelectBox( Ext:"*.*#All FW");)"),
    General("GlobalLock", "GlobalLock()"),
    General("GlobalUnLock", "GlobalUnLock()"),
    General("SetErrorSkip", "SetErrorSkip( SkipCount:1);"),
    General("GetErrorCount", "ErrCount = GetErrorCount( ShowResult:TRUE);"),
    General("SetErrorDesc", R"(SetErrorDesc( Output:"Error Stop");)"),
    General("RandomValue", "Value = RandomValue( RangeStart:0, RangeEnd:0xFFFF, ShowResult:TRUE, ShowHex:FALSE);"),
    General("StrToNumber"),
    General("StrStr", R"(Bool = StrStr( String:"TestString", SubStr:"est" );)"),
    General("StrCmp", R"(Bool = StrCmp( String:"TEST", String:"test" );)"),
    General("StrSub", R"(String = StrSub( String:"ABCDEF", StartId:0, EndId:3);)"),
    General("BitValue", "iBitV = BitValue( Value:0x03, BitId:0);"),
    General("NumberToStr"),
    General("StrLen", R"(iLen = StrLen( String:"ABCDEF" );)"),
    General("StrSplit", R"(AA[] = StrSplit( String:"AB_CD_EF", Split:"_" );)"),
    General("ArrayLen", "iLen = ArrayLen( Array:AA[] );"),
    General("StrSetLen", R"(NewStr = StrSetLen( String:"ABCDEF", RightAlign:TRUE, SetLen:10 );)"),
    General("StrReplace", R"(Str = StrReplace( String:"ABCDEFG", OldStr:"CD", NewStr:"XY" );)"),
    General("RunTime", R"(irt = RunTime( ShowResult:FALSE, TimeFormat:"sec" );)"),
    General("DateTime", R"(String = DateTime( OutFormat:"YYYYMMDD" );)"),
    General("IsRAWDisk"),
    General("IsROMDrive"),
    General("IsNVMEDisk"),
    General("IsFWCfgDisk"),
    General("IsUSBPort"),
    General("IsWinOS"),
    General("IsDiskExist"),
    General("IsFileExist", R"(IsFileExist( File:"" ))"),
    General("IsS3S4Running", "Bool = IsS3S4Running();"),
    General("IsRelayPowerOn", "PowerStatus = IsRelayPowerOn( Port:0 );"),
    General("IsFnScriptRunning", "IsFnScriptRunning()"),
    General("Cls", "Cls()"),
    General("GetINIData", R"(GetINIData( Section:"LogData", Item:"ItemName", CovertType:"AUTO", Default:"ERR", File:"" ))"),
    General("SetINIData", R"(SetINIData( Section:"LogData", Item:"ItemName", Output:"Data", File:"", Flush:FALSE ))"),
    General("FileRename"),
    General("File_JobState", "jState = File_JobState( JobID:J0 );"),
    General("APFileName", "APFileName( ShowResult:TRUE )"),
    General("GetFileSize"),
    General("GetFileLBA"),
    General("GetFileByLBA"),
    General("GetFileByMftId"),
    General("ScpxFolder", "ScpxFolder( ShowResult:TRUE )"),
    General("LogFolder", {}, "GetLogFolder"),
    General("GetLogFolder", "GetLogFolder( JobPath:TRUE, ShowResult:TRUE )"),
    General("SetLogFolder", R"(SetLogFolder( Output:"" ))"),
    General("LogUpload", R"(LogUpload(LogName:"", Param:"", Param:"", Param:"", Param:"", Param:"" );)"),
    General("GetConfigType", "GetConfigType()"),
    General("CSV_AddData", R"(CSV_AddData( File:"", Item:"ItemName", Output:"Data", AppendOnTail:TRUE ))"),
    General("MergeCSVs"),
    General("SetPowerHub", R"(SetPowerHub(COMPort:"COM3");)"),
    General("roziDadaze", "roziDadaze()"),
    General("GetViewID", "GetViewID()"),
    General("LogView_Send", R"(LogView_Send( Command:"", DelayRunSec:15 );)"),
    General("LogView_Wait", R"(LogView_Wait( Command:"", TimeoutSec:15 );)"),
    General("VSC_GetSocID", {}, "GetSocID"),
    General("GetSocID"),
    General("GetSSDState", "GetSSDState()"),
    General("Help"),
    General("GetDiskInfo"),
    General("ShowCLICmdHeader", "ShowCLICmdHeader( Show:TRUE );"),
    General("ConsoleOut", R"(ConsoleOut( Stdout:"", Append:FALSE ))"),
    General("IsRelayExisted", R"(Bool = IsRelayExisted( Relay:"USB_Relay" );)"),
};
// clang-format on

constexpr size_t CountCategory(CommandCategory category) {
  size_t n = 0;
  for (const CommandEntry& e : kCommands) n += e.category == category ? 1 : 0;
  return n;
}

constexpr bool NamesFit() {
  for (const CommandEntry& e : kCommands)
    if (e.name.empty() || e.name.size() > 65 || e.usage.size() > 255) return false;
  return true;
}

// The published 234 rows and one of this program's own: FWImageInfo.
static_assert(std::size(kCommands) == 235);
static_assert(CountCategory(CommandCategory::kIf) == 1 && CountCategory(CommandCategory::kWhile) == 1);
static_assert(CountCategory(CommandCategory::kDevice) == 143);
static_assert(CountCategory(CommandCategory::kGeneral) == 90);
static_assert(NamesFit(), "a name exceeds 65 characters or a usage template 255");

}  // namespace

std::span<const CommandEntry> CommandTable() { return kCommands; }

bool DeviceFlagFits(uint8_t flag, int diskType) {
  const bool sata = diskType == 1 || diskType == 2;
  const bool nvme = diskType >= 10 && diskType <= 17;
  switch (flag) {
    case kAnyDisk:
      return true;
    case kSataOnly:
      return sata;
    case kNvmeOnly:
      return nvme;
    case kBothKinds:
      return sata || nvme;
    default:
      return false;
  }
}

namespace {

// The rows by lower-case name, rows of one name in table order: every call of every statement is
// looked up here, so the lookup is a binary search rather than a walk over the whole table.
struct NameIndex {
  std::vector<std::pair<std::string, size_t>> rows;
  NameIndex() {
    for (size_t i = 0; i < std::size(kCommands); ++i) rows.emplace_back(base::ToLowerAscii(kCommands[i].name), i);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  }
};

}  // namespace

int FindCommand(std::string_view name, CommandCategory category, int diskType) {
  static const NameIndex index;
  const std::string key = base::ToLowerAscii(name);
  auto [from, to] = std::equal_range(index.rows.begin(), index.rows.end(), std::pair<std::string, size_t>(key, 0),
                                     [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto it = from; it != to; ++it) {
    const size_t i = it->second;
    const CommandEntry& e = kCommands[i];
    if (e.category != category) continue;
    if (category == CommandCategory::kGeneral || DeviceFlagFits(e.deviceFlag, diskType))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace kestrune::engine
