// The maker's vendor commands that change or read small things: SetVSCType, GetSocID (also
// VSC_GetSocID), VSC_CleanSMART, VSC_KeepFRB, VSC_SetThinCapacity, VSC_GetOTPuid and
// VSC_GetReconstructionStatus, and the SATA drives' VSC_CleanEventLog and VSC_TrainDDREye. Each
// goes only to the maker's drives (-79 before any I/O otherwise) and prints its debug echo in grey.
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "disk/disk_state.h"
#include "disk/identity_refresh.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;
constexpr auto& Line = engine::DetailLine;
constexpr size_t kPage = 4096;

void Store(engine::Interpreter& interp, uint32_t view, std::string_view name, engine::Value value) {
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, std::move(value));
}

// Sends a command without data and reports a failure.
void SendPlain(engine::Interpreter& interp, uint32_t view, VendorOp op, uint32_t a = 0, uint32_t b = 0) {
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  std::vector<uint8_t> none;
  const int32_t rc = SendVendor(interp, view, target, op, ArgsFor(interp, *target.disk, a, b), none);
  if (rc != disk::kNvmeDone) interp.ReportCompletion(view, rc, "");
}

// SetVSCType( iVSCType:0x00 ): the current disk's vendor variant (low byte); a non-zero one enters
// the vendor mode of that variant. 0 sends nothing.
void SetVSCType(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"iVSCType"});
  const uint32_t variant = in.U32(0) & 0xFF;
  if (!in.ok()) return;
  if (variant == 0) {
    disk::DiskState& disks = disk::StateOf(interp);
    if (disks.hasCurrent) disks.current.vendorVariant = 0;
    return;
  }
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  target.disk->vendorVariant = variant;
  std::vector<uint8_t> none;
  const int32_t rc = SendVendor(interp, view, target, VendorOp::kEnterVendorMode, {}, none);
  if (rc != disk::kNvmeDone) interp.ReportCompletion(view, rc, "");
}

// GetSocID: the maker's controller id of the current disk, identified first when not known.
void GetSocID(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  disk::DiskState& disks = disk::StateOf(interp);
  uint32_t socId = 0;
  if (disks.hasCurrent) socId = disk::SocIdOf(disks.current, disks.refreshIdentity);
  Store(interp, view, name, engine::Value::Hex(socId));
}

void CleanSMART(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  SendPlain(interp, view, VendorOp::kCleanSmart);
}

void KeepFRB(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  SendPlain(interp, view, VendorOp::kKeepFrb);
}

// The SATA drives' own actions: empty the event log, train the DRAM interface's data eye.
void CleanEventLog(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  SendPlain(interp, view, VendorOp::kCleanEventLog);
}

void TrainDDREye(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  SendPlain(interp, view, VendorOp::kTrainDdrEye);
}

// VSC_SetThinCapacity( SizeGB:0 ): the drive's visible capacity; 0 would leave about 10 MB, so it
// is refused, and a failing command is reported.
void SetThinCapacity(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"SizeGB"});
  const int64_t sizeGb = in.I64(0);
  if (!in.ok()) return;
  if (sizeGb <= 0 || sizeGb > 1000000) return interp.ReportCompletion(view, code::kBadParameter, "SizeGB 1 to 1000000");
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  const uint64_t n = ThinCapacitySectors(static_cast<uint64_t>(sizeGb), target.disk->sectorSize);
  std::vector<uint8_t> none;
  const VendorArgs a = ArgsFor(interp, *target.disk, static_cast<uint32_t>(n), static_cast<uint32_t>(n >> 32));
  const int32_t rc = SendVendor(interp, view, target, VendorOp::kSetThinCapacity, a, none);
  if (rc != disk::kNvmeDone) return interp.ReportCompletion(view, rc, "");
  Line(interp, view, Format("%-18s : %llu", "Thin Capacity", static_cast<unsigned long long>(n)), engine::colour::kWhite);
}

// Reads a 4096-byte page of op into page; false when it failed (reported).
bool ReadPage(engine::Interpreter& interp, uint32_t view, VendorOp op, std::vector<uint8_t>& page) {
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return false;
  page.assign(kPage, 0);
  return ReadVendor(interp, view, target, op, ArgsFor(interp, *target.disk), page);
}

// VSC_GetOTPuid(): the controller's one-time-programmable unique id and its signature dword.
void GetOTPuid(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  std::vector<uint8_t> page;
  if (!ReadPage(interp, view, VendorOp::kOtpUid, page)) return;
  const uint32_t high = base::GetLe32(&page[4]), low = base::GetLe32(&page[0]), sig = base::GetLe32(&page[8]);
  Line(interp, view, Format("SocUID             : 0x%08X_%08X", high, low), engine::colour::kWhite);
  Line(interp, view, Format("signature          : 0x%X", sig), engine::colour::kWhite);
  Store(interp, view, name, engine::Value::Text(Format("%08X%08X", high, low)));
}

// VSC_GetReconstructionStatus(): a page starting with 5Ah, then the percentage done, whether the
// configuration is rebuilt in full, and a reserved byte.
void GetReconstructionStatus(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  std::vector<uint8_t> page;
  if (!ReadPage(interp, view, VendorOp::kReconstructionStatus, page)) return;
  if (page[0] != 0x5A) return interp.ReportCompletion(view, code::kInvalidData, "signature not match 0x5A");
  Line(interp, view, Format("sig               : 0x%02X", page[0]), engine::colour::kWhite);
  Line(interp, view, Format("percentage        : %d", page[1]), engine::colour::kWhite);
  Line(interp, view, Format("fwcfg_full_recon  : %d", page[2]), engine::colour::kWhite);
  Line(interp, view, Format("rsvd              : %d", page[3]), engine::colour::kWhite);
  Store(interp, view, name, engine::Value::Number(page[1]));
}

constexpr engine::HandlerRow kHandlers[] = {
    {"SetVSCType", engine::kNvmeOnly, SetVSCType},
    {"GetSocID", engine::kAnyDisk, GetSocID},
    {"VSC_CleanSMART", engine::kNvmeOnly, CleanSMART},
    {"VSC_KeepFRB", engine::kNvmeOnly, KeepFRB},
    {"VSC_SetThinCapacity", engine::kNvmeOnly, SetThinCapacity},
    {"VSC_GetOTPuid", engine::kNvmeOnly, GetOTPuid},
    {"VSC_GetReconstructionStatus", engine::kNvmeOnly, GetReconstructionStatus},
    {"VSC_CleanSMART", engine::kSataOnly, CleanSMART},
    {"VSC_KeepFRB", engine::kSataOnly, KeepFRB},
    {"VSC_CleanEventLog", engine::kSataOnly, CleanEventLog},
    {"VSC_TrainDDREye", engine::kSataOnly, TrainDDREye},
    {"VSC_GetOTPuid", engine::kSataOnly, GetOTPuid},
    {"VSC_GetReconstructionStatus", engine::kSataOnly, GetReconstructionStatus},
};

}  // namespace

std::span<const engine::HandlerRow> VendorHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
