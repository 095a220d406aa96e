// The maker drive's firmware configuration block: VSC_GetFWconfig (also VSC_GetMPOem) decodes it
// with the package's item table, VSC_SetFWconfig (also VSC_SetMPOem) edits items and writes it
// back with the CRC the controller checks, then sets the host thermal thresholds it was given
// (NVMe drives). Both also serve the maker's SATA drives.
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/crc.h"
#include "base/text.h"
#include "devcmd/config_items.h"
#include "devcmd/field_table.h"
#include "devcmd/line_sink.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "disk/dump_file.h"
#include "disk/nvme_operations.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
constexpr uint32_t kThermalFid = 0x10;
constexpr uint32_t kKelvin = 273;

bool IsMpOem(const disk::DiskEntry& d) { return d.configType >= 101 && d.configType <= 103; }
bool HasConf(const std::vector<uint8_t>& b) { return b.size() >= 4 && b[0] == 'C' && b[1] == 'O' && b[2] == 'N' && b[3] == 'F'; }

// The drive's configuration block (or, for the manufacturing-data drives, its drive-information
// page): the transport result, with failures left to the caller.
int32_t ReadConfig(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, bool mpOem,
                   std::vector<uint8_t>& block) {
  block.assign(kConfigBlockSize, 0);
  const VendorArgs args = ArgsFor(interp, *target.disk, mpOem ? 0 : kBlockConfig);
  return SendVendor(interp, view, target, mpOem ? VendorOp::kDriveInformation : VendorOp::kReadBlock, args, block);
}

// VSC_GetFWconfig( FWCfgItem:"", ShowOffset:FALSE): every item, or the items named; without
// items the block is also kept as a ".fwcfg" dump.
void GetFWconfig(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"FWCfgItem", "ShowOffset"});
  const std::string items = in.Text("");
  const bool showOffset = in.Bool(false);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  const bool mpOem = IsMpOem(*target.disk);
  std::vector<uint8_t> block;
  if (const int32_t rc = ReadConfig(interp, view, target, mpOem, block); rc != disk::kNvmeDone)
    return interp.ReportCompletion(view, rc, "");
  if (!mpOem && !HasConf(block)) return interp.ReportCompletion(view, code::kNotSupported, "No CONF signature");
  const VendorData& data = VendorStateOf(interp).data;
  const std::vector<FieldRow> rows = data.FieldRows();
  ViewLineSink sink(interp, view);
  DecodeOptions options;
  options.items = items;
  options.showOffset = showOffset;
  const DecodeResult result = DecodeRecord(sink, block, rows, options);
  if (items.empty()) {
    disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".fwcfg"), block, disk::kReadDumpColour, false);
    return;
  }
  engine::StoreValue(interp.view(view).vars, errors, name, result.value);
}

// The host thermal thresholds from the values given (degrees Celsius); a missing one keeps the
// drive's. TMT1 in the upper 16 bits, TMT2 in the lower, in Kelvin.
int32_t SetThermalThresholds(const NvmeTarget& target, const ConfigEdit& edit) {
  uint32_t current = 0;
  if (!edit.tmt1 || !edit.tmt2) {
    const int32_t rc = disk::GetFeatures(*target.tree, *target.disk, kThermalFid, &current);
    if (rc != disk::kNvmeDone) return rc;
  }
  const uint32_t tmt1 = edit.tmt1 ? (*edit.tmt1 + kKelvin) & 0xFFFF : current >> 16;
  const uint32_t tmt2 = edit.tmt2 ? (*edit.tmt2 + kKelvin) & 0xFFFF : current & 0xFFFF;
  return disk::SetFeatures(*target.tree, *target.disk, kThermalFid, true, tmt1 << 16 | tmt2);
}

// VSC_SetFWconfig( FWCfgItem:"drv_serial_number", SetValue:"" ).
void SetFWconfig(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"FWCfgItem", "SetValue"});
  const std::string items = in.Text("drv_serial_number");
  const std::string values = in.Text("");
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  // The CRC the controller checks follows from its family; an unknown controller would get a guess.
  if (target.disk->socId == 0)
    return interp.ReportCompletion(view, code::kNotSupported, "Unknown controller, no CRC kind");
  std::vector<uint8_t> block;
  if (const int32_t rc = ReadConfig(interp, view, target, false, block); rc != disk::kNvmeDone)
    return interp.ReportCompletion(view, rc, "Get Original FWconfig Fail");
  if (!HasConf(block)) return interp.ReportCompletion(view, code::kNotSupported, "No CONF signature");
  const VendorData& data = VendorStateOf(interp).data;
  const ConfigEdit edit = ApplyConfigEdits(interp, view, data, block, items, values);
  if (edit.over) return;
  if (edit.code != 0) return interp.ReportCompletion(view, edit.code, edit.detail);
  VendorArgs a = ArgsFor(interp, *target.disk, kBlockConfig);
  a.crc = data.IsCedarOrLater(target.disk->socId) ? base::Crc32c(block) : base::Crc32(block);
  if (const int32_t rc = SendVendor(interp, view, target, VendorOp::kWriteBlock, a, block); rc != disk::kNvmeDone)
    return interp.ReportCompletion(view, rc, "Set err");
  // SATA drives have no host thermal thresholds: the block's own items are all they get.
  if ((edit.tmt1 || edit.tmt2) && disk::IsNvmeKind(target.disk->diskKind)) {
    if (const int32_t rc = SetThermalThresholds(target, edit); rc != disk::kNvmeDone)
      return interp.ReportCompletion(view, rc, "Set thermal thresholds err");
  }
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_GetFWconfig", engine::kNvmeOnly, GetFWconfig},
    {"VSC_SetFWconfig", engine::kNvmeOnly, SetFWconfig},
    {"VSC_GetFWconfig", engine::kSataOnly, GetFWconfig},
    {"VSC_SetFWconfig", engine::kSataOnly, SetFWconfig},
};

}  // namespace

std::span<const engine::HandlerRow> VendorConfigHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
