// FWImageInfo: the checks and the plan of a firmware update, without the update. The image goes
// through the same checks as UpdateFW and UpdateFWex on the current disk (the maker's rules on the
// maker's drives, 4096-byte alignment on NVMe, 512 on SATA), then the lines say how it is laid out
// and how it would be sent. Only Identify is read from the drive.
#include <array>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/firmware_file.h"
#include "devcmd/firmware_image.h"
#include "devcmd/firmware_plan.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "disk/ata_identity.h"
#include "disk/ata_operations.h"
#include "disk/ata_task_file.h"
#include "disk/disk_kind.h"
#include "disk/nvme_operations.h"
#include "engine/arguments.h"
#include "engine/output.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::Format;

void Line(engine::Interpreter& interp, uint32_t view, const std::string& label, const std::string& value) {
  interp.writer().WriteLine(interp.output(view), Format("%-15s: %s", label.c_str(), value.c_str()), engine::kDetail,
                            10, engine::colour::kWhite);
}

std::string ChecksumVerdict(const FirmwareImage& image) {
  switch (image.checksum) {
    case ChecksumKind::kCrc32c:
    case ChecksumKind::kCrc32:
      return std::string(ChecksumName(image.checksum)) + ", matches";
    case ChecksumKind::kNone:
      return "none";
    default:
      return "unknown: the stored value matches no CRC of the image";
  }
}

}  // namespace

void FWImageInfo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File"});
  const std::string file = in.Text("");
  if (!in.ok()) return;
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry disk = *target.disk;
  const bool sata = disk::IsSataKind(disk.diskKind);
  if (!sata && !disk::IsNvmeKind(disk.diskKind))
    return interp.ReportCompletion(view, code::kNotSupported, "the current disk is neither NVMe nor SATA");
  std::string path;
  std::optional<std::vector<uint8_t>> bytes = ReadFirmwareFile(interp, view, file, path);
  if (!bytes) return;
  const ImageRules rules{!sata && disk.socId != 0, sata ? size_t{disk::kAtaSectorBytes} : kFirmwarePieceBytes};
  const ImageCheck check = CheckFirmwareImage(std::move(*bytes), path, rules);
  if (check.code != 0) return interp.ReportCompletion(view, check.code, check.detail);
  const FirmwareImage& image = check.image;
  Line(interp, view, "Image Bytes", Format("%zu (file %zu)", image.bytes.size(), image.fileBytes));
  Line(interp, view, "CONF Block", image.placement == ConfigPlacement::kNone
                                       ? std::string("none")
                                       : Format("%s at 0x%zX", std::string(PlacementName(image.placement)).c_str(),
                                                image.configOffset));
  // Other makers' images carry their own checks, which their drives make: they are sent as they are.
  Line(interp, view, "Checksum", rules.makerRules ? ChecksumVerdict(image) : "not checked here (not the maker's drive)");

  if (sata) {
    std::array<uint8_t, 512> identify{};
    if (disk::AtaIdentifyData(*target.tree, disk, identify) != code::kSuccessTrue)
      return interp.ReportCompletion(view, code::kReadFailed, "IDENTIFY DEVICE");
    const MicrocodePlan plan = PlanMicrocode(image.bytes.size(), identify);
    if (plan.code != 0) return interp.ReportCompletion(view, plan.code, plan.detail);
    const uint32_t pieces = (plan.totalBlocks + plan.pieceBlocks - 1) / plan.pieceBlocks;
    Line(interp, view, "Pieces", Format("%u of at most %u bytes (DOWNLOAD MICROCODE 03h)", pieces,
                                        plan.pieceBlocks * disk::kAtaSectorBytes));
  } else {
    std::vector<uint8_t> page(disk::kIdentifyBytes);
    if (const int32_t rc = ReadIdentify(interp, 1, 0, page); rc < 0) return interp.ReportCompletion(view, rc, "");
    const FirmwareCaps caps = ReadFirmwareCaps(page.data());
    const DownloadPlan plan = PlanDiskDownload(*target.tree, disk, caps, image.bytes.size(), 1);
    if (plan.code != 0) return interp.ReportCompletion(view, plan.code, plan.detail);
    Line(interp, view, "Pieces", Format("%zu of %u bytes", plan.pieces.size(), plan.pieceBytes));
    Line(interp, view, "Slot", Format("%u of %u%s", plan.slot, caps.slotCount(), caps.slot1ReadOnly() ? ", slot 1 read-only" : ""));
    Line(interp, view, "Commit Action", Format("%u", ChooseCommitAction(0, disk.configType, disk.diskKind,
                                                                         disk.firmwareRevision, VendorStateOf(interp).data.VersionMarker(disk.socId))));
  }
  Line(interp, view, "Sent", "nothing");
}

}  // namespace kestrune::devcmd
