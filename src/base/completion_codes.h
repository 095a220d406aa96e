// Completion codes: what a command reports when it fails (the negative codes) and the two results
// of commands that answer TRUE or FALSE. One name for every row of the error table
// (engine/error_table.cpp), in the table's order, with the row's text beside it. Code reports
// these names, never the numbers.
#pragma once

#include <cstdint>

namespace kestrune::base::code {

// clang-format off
inline constexpr int32_t kSuccessTrue = 1;                   // "Success Finish return TRUE"
inline constexpr int32_t kSuccessFalse = 0;                  // "Success Finish return FALSE"
inline constexpr int32_t kOpenDiskFailed = -1;               // "Open Disk Fail"
inline constexpr int32_t kBadParameter = -2;                 // "Parameters not match spec or over limit"
inline constexpr int32_t kReadFailed = -3;                   // "Read IO Fail"
inline constexpr int32_t kWriteFailed = -4;                  // "Write IO Fail"
inline constexpr int32_t kUpdateFwFailed = -5;               // "Update FW Error"
inline constexpr int32_t kActivateFwFailed = -6;             // "Active FW Error"
inline constexpr int32_t kActivateFwTimeout = -85;           // "Wait FW Active Timeout"
inline constexpr int32_t kPartitionControlFailed = -7;       // "Partition Control Error"
inline constexpr int32_t kPartitionCountFailed = -8;         // "Partition Count Detect Fail"
inline constexpr int32_t kDiskInfoFailed = -9;               // "Get Disk Information Fail"
inline constexpr int32_t kOutputFileFailed = -21;            // "Output File Fail"
inline constexpr int32_t kFileSizeFailed = -10;              // "Get File Size Error"
inline constexpr int32_t kSecurityPasswordFailed = -60;      // "Security Set Password"
inline constexpr int32_t kSecurityUnlockFailed = -61;        // "Security Set UnLock"
inline constexpr int32_t kSecurityErasePrepareFailed = -62;  // "Security Set Erase Prepare"
inline constexpr int32_t kSecurityEraseFailed = -63;         // "Security Set Erase"
inline constexpr int32_t kSecurityLockFailed = -64;          // "Security Set Lock"
inline constexpr int32_t kSecurityDisableFailed = -65;       // "Security Set Disable"
inline constexpr int32_t kMiscompareThenCorrect = -70;       // "1st Read is Miscompare, 2nd Read is Correct!"
inline constexpr int32_t kMiscompareTwice = -71;             // "1st Read is Miscompare, 2nd Read is still MisCompare!"
inline constexpr int32_t kFileOpenFailed = -11;              // "File Open Fail or File Does Not Exist"
inline constexpr int32_t kBlockDeleteFailed = -13;           // "Script Error CtlList_DelBlock Fail"
inline constexpr int32_t kBlockUpdateFailed = -14;           // "Script Error CtlList_UpdateAction Fail"
inline constexpr int32_t kBlockGetFailed = -15;              // "Script Error CtlList_GetBlock Fail"
inline constexpr int32_t kUndefinedCommand = -16;            // "Undefine Command"
inline constexpr int32_t kCommandTooLong = -12;              // "Script Command Too Long > 250"
inline constexpr int32_t kBlockCommandEndMissing = -17;      // "Lose Block Command End"
inline constexpr int32_t kBlockEndMissing = -18;             // "Lose Block End"
inline constexpr int32_t kPrepareFileFailed = -19;           // "Prepare File Error"
inline constexpr int32_t kRawModeOnly = -20;                 // "Command Only Support RAW Mode"
inline constexpr int32_t kRawOrPartitionOnly = -22;          // "Command Only Support RAW Mode or a Partition"
inline constexpr int32_t kNoPartitionFound = -24;            // "No Partition Found"
inline constexpr int32_t kFormatFailed = -23;                // "Format Fail"
inline constexpr int32_t kVariableNotInitial = -25;          // "Script Variable Not Initial"
inline constexpr int32_t kVariableTypeError = -26;           // "Script Variable Type Error"
inline constexpr int32_t kVariableCannotCompare = -27;       // "Script Variable Cannot Compare"
inline constexpr int32_t kKeyWordNotFound = -28;             // "Cannot find KeyWord"
inline constexpr int32_t kColumnNotFound = -29;              // "Cannot find ColumeId"
inline constexpr int32_t kPowerHubError = -72;               // "Power Hub Error"
inline constexpr int32_t kAutoBarcodeError = -73;            // "Auto Barcode Error"
inline constexpr int32_t kIoControlError = -74;              // "IO Control Error"
inline constexpr int32_t kRemoveDeviceFailed = -75;          // "Remove Device Error"
inline constexpr int32_t kIoResponseTimeout = -76;           // "IO Response Timeout"
inline constexpr int32_t kNotSupported = -79;                // "Function Not Support"
inline constexpr int32_t kTcpServerNotFound = -80;           // "TCP Server not found"
inline constexpr int32_t kOfaDriverRequired = -81;           // "Must Install OFA Driver"
inline constexpr int32_t kCompareSizeDifferent = -82;        // "Compare Size Different"
inline constexpr int32_t kHostMemoryAllocFailed = -83;       // "Host Memory Alloc Fail"
inline constexpr int32_t kDiskTypeMismatch = -84;            // "Command not match Disk NVMe/SATA Type"
inline constexpr int32_t kChangeDriverFailed = -86;          // "Change Driver Fail"
inline constexpr int32_t kTooMuchMemory = -87;               // "Too much memory used, Please reduce scope"
inline constexpr int32_t kOptionRomNotSupported = -88;       // "No Support Option ROM, Please Update FW first"
inline constexpr int32_t kPartitionCNotDeletable = -89;      // "Partition C cannot be deleted"
inline constexpr int32_t kInvalidData = -90;                 // "Invalid Data or Signature Incorrect"
inline constexpr int32_t kError = -255;                      // "Error"
// clang-format on

}  // namespace kestrune::base::code
