#include "engine/error_table.h"

namespace kestrune::engine {
namespace {

// clang-format off
constexpr ErrorRow kRows[] = {
    {1, "Success Finish return TRUE"},
    {0, "Success Finish return FALSE"},
    {-1, "Open Disk Fail"},
    {-2, "Parameters not match spec or over limit"},
    {-3, "Read IO Fail"},
    {-4, "Write IO Fail"},
    {-5, "Update FW Error"},
    {-6, "Active FW Error"},
    {-85, "Wait FW Active Timeout"},
    {-7, "Partition Control Error"},
    {-8, "Partition Count Detect Fail"},
    {-9, "Get Disk Information Fail"},
    {-21, "Output File Fail"},
    {-10, "Get File Size Error"},
    {-60, "Security Set Password"},
    {-61, "Security Set UnLock"},
    {-62, "Security Set Erase Prepare"},
    {-63, "Security Set Erase"},
    {-64, "Security Set Lock"},
    {-65, "Security Set Disable"},
    {-70, "1st Read is Miscompare, 2nd Read is Correct!"},
    {-71, "1st Read is Miscompare, 2nd Read is still MisCompare!"},
    {-11, "File Open Fail or File Does Not Exist"},
    {-13, "Script Error CtlList_DelBlock Fail"},
    {-14, "Script Error CtlList_UpdateAction Fail"},
    {-15, "Script Error CtlList_GetBlock Fail"},
    {-16, "Undefine Command"},
    {-12, "Script Command Too Long > 250"},
    {-17, "Lose Block Command End"},
    {-18, "Lose Block End"},
    {-19, "Prepare File Error"},
    {-20, "Command Only Support RAW Mode"},
    {-22, "Command Only Support RAW Mode or a Partition"},
    {-24, "No Partition Found"},
    {-23, "Format Fail"},
    {-25, "Script Variable Not Initial"},
    {-26, "Script Variable Type Error"},
    {-27, "Script Variable Cannot Compare"},
    {-28, "Cannot find KeyWord"},
    {-29, "Cannot find ColumeId"},
    {-72, "Power Hub Error"},
    {-73, "Auto Barcode Error"},
    {-74, "IO Control Error"},
    {-75, "Remove Device Error"},
    {-76, "IO Response Timeout"},
    {-79, "Function Not Support"},
    {-80, "TCP Server not found"},
    {-81, "Must Install OFA Driver"},
    {-82, "Compare Size Different"},
    {-83, "Host Memory Alloc Fail"},
    {-84, "Command not match Disk NVMe/SATA Type"},
    {-86, "Change Driver Fail"},
    {-87, "Too much memory used, Please reduce scope"},
    {-88, "No Support Option ROM, Please Update FW first"},
    {-89, "Partition C cannot be deleted"},
    {-90, "Invalid Data or Signature Incorrect"},
    {-255, "Error"},
};
// clang-format on
static_assert(std::size(kRows) == 57, "the error table has 57 rows");

}  // namespace

std::span<const ErrorRow> ErrorTable() { return kRows; }

std::optional<std::string_view> ErrorText(int32_t code) {
  for (const ErrorRow& row : kRows)
    if (row.code == code) return row.text;
  return std::nullopt;
}

}  // namespace kestrune::engine
