// The maker drive's identity blocks: VSC_GetDrvInfo (items of the drive-information page) and
// VSC_SecurityID (the MSID and PSID: shown, set and verified), on the maker's NVMe and SATA drives.
// Layouts: vendor_layouts.h.
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/field_table.h"
#include "devcmd/item_filter.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/vendor_layouts.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;
constexpr auto& Line = engine::DetailLine;

void Store(engine::Interpreter& interp, uint32_t view, std::string_view name, engine::Value value) {
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, std::move(value));
}

// The item's line, and its value as the item filter collects it.
std::string ShowDriveInfoItem(engine::Interpreter& interp, uint32_t view, std::span<const uint8_t> page,
                              const DriveInfoItem& item) {
  const uint8_t* at = &page[item.offset];
  std::string text, piece;
  switch (item.kind) {
    case DriveInfoKind::kFirmwareBase:
      text = FirmwareBaseText(at[0]);
      piece = Format("%u", at[0]);
      break;
    case DriveInfoKind::kHex16:
      text = Format("%04X", base::GetLe16(at));
      piece = Format("0x%X", base::GetLe16(at));
      break;
    case DriveInfoKind::kText8:
      text = PrintableText(page.subspan(item.offset, 8));
      piece = "\"" + text + "\"";
      break;
    case DriveInfoKind::kBytes8:
      text = HexString(page.subspan(item.offset, 8), false);
      piece = "\"" + text + "\"";
      break;
    case DriveInfoKind::kDecimal32:
      text = Format("%u", base::GetLe32(at));
      piece = text;
      break;
  }
  Line(interp, view, Format("%-42s : %s", item.name, text.c_str()), engine::colour::kWhite);
  return piece;
}

// VSC_GetDrvInfo( Source:0, DrvItem:"" ): Source selects the page (CDW13); DrvItem picks items by
// the item filter ("|" between them; empty: all) and their values are the result.
void GetDrvInfo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"Source", "DrvItem"});
  const uint32_t source = in.U32(0);
  const std::string items = in.Text("");
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  std::vector<uint8_t> page(kVendorBlock);
  if (!ReadVendor(interp, view, target, VendorOp::kDriveInformation, ArgsFor(interp, *target.disk, source), page)) return;
  ItemCollector collector(items);
  for (const DriveInfoItem& item : kDriveInfoItems)
    if (collector.Selects(item.name)) collector.Add(ShowDriveInfoItem(interp, view, page, item));
  if (collector.filtering()) Store(interp, view, name, collector.Result());
}

std::string IdText(std::span<const uint8_t> block, size_t at) { return PrintableText(block.subspan(at, kSecurityIdChars)); }

// Reads the security id block; false when it failed or has no signature (reported).
bool ReadSecurityBlock(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, std::vector<uint8_t>& block) {
  block.assign(kVendorBlock, 0);
  if (!ReadVendor(interp, view, target, VendorOp::kSecurityIdRead, {}, block)) return false;
  if (std::memcmp(block.data(), "SCID", 4) == 0) return true;
  Line(interp, view, "Sig not correct.", engine::colour::kRed);
  interp.ReportCompletion(view, code::kInvalidData, "Sig not correct.");
  return false;
}

// VSC_SecurityID( Function:0, Type:0, ID:"" ): Function 0 shows both ids, 1 sets the id of Type
// (0 MSID, 1 PSID) to ID and reads it back, 2 verifies it is ID. A FAIL is reported; the result is
// 1 for PASS, 0 for FAIL.
void SecurityID(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"Function", "Type", "ID"});
  const uint32_t function = in.U32(0), type = in.U32(0);
  const std::string id = in.Text("");
  if (!in.ok()) return;
  if (function > 2) return interp.ReportCompletion(view, code::kBadParameter, "Function 0, 1 or 2");
  if (type > 1) return interp.ReportCompletion(view, code::kBadParameter, "Type 0 (MSID) or 1 (PSID)");
  if (function != 0 && (id.empty() || id.size() > kSecurityIdChars))
    return interp.ReportCompletion(view, code::kBadParameter, "ID 1 to 32 characters");
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  std::vector<uint8_t> block;
  if (!ReadSecurityBlock(interp, view, target, block)) return;
  if (function == 0) {
    Line(interp, view, "MSID : " + IdText(block, kSecurityMsidAt), engine::colour::kWhite);
    Line(interp, view, "PSID : " + IdText(block, kSecurityPsidAt), engine::colour::kWhite);
    return;
  }
  const size_t at = type == 0 ? kSecurityMsidAt : kSecurityPsidAt;
  if (function == 1) {
    std::fill_n(block.begin() + static_cast<std::ptrdiff_t>(at), kSecurityIdChars, 0);
    std::memcpy(&block[at], id.data(), id.size());
    if (!ReadVendor(interp, view, target, VendorOp::kSecurityIdWrite, {}, block)) return;
    if (!ReadSecurityBlock(interp, view, target, block)) return;
  }
  const bool pass = IdText(block, at) == id;
  Line(interp, view, Format("%s%s%s  %s", function == 1 ? "Set " : "Verify ", type == 0 ? "MSID : " : "PSID : ", id.c_str(),
                            pass ? "PASS" : "FAIL"),
       pass ? engine::colour::kWhite : engine::colour::kRed);
  if (!pass) interp.ReportCompletion(view, code::kInvalidData, function == 1 ? "Set security id" : "Verify security id");
  Store(interp, view, name, engine::Value::Number(pass ? 1 : 0));
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_GetDrvInfo", engine::kNvmeOnly, GetDrvInfo},
    {"VSC_SecurityID", engine::kNvmeOnly, SecurityID},
    {"VSC_GetDrvInfo", engine::kSataOnly, GetDrvInfo},
    {"VSC_SecurityID", engine::kSataOnly, SecurityID},
};

}  // namespace

std::span<const engine::HandlerRow> VendorInfoHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
