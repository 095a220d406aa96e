#include "devcmd/vendor_channel.h"

#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/bridge_power.h"
#include "devcmd/field_table.h"
#include "devcmd/vendor_sata_carriage.h"
#include "disk/ata_operations.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/identity_refresh.h"
#include "disk/nvme_operations.h"
#include "engine/detail_line.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::devcmd {
namespace {

constexpr size_t kPage = 4096;
constexpr uint8_t kPageMark = 0x5A;
constexpr uint8_t kVendorLogPage = 0xE1;
// The drive-information page: the layout version at byte 280 and what it holds.
constexpr size_t kInfoLayout = 280, kInfoAux = 300, kInfoSocId = 1582, kInfoAlderFw = 1606, kLegacyInfoFw = 50;
constexpr uint16_t kInfoWithSocId = 1768, kInfoWithAux = 4096;
constexpr size_t kFirmwareChars = 8;

std::string TextAt(const std::vector<uint8_t>& page, size_t at) {
  return PrintableText(std::span<const uint8_t>(page).subspan(at, kFirmwareChars));
}

// One vendor command on the disk, its echo text handed to echo first (nullptr: none; identification
// runs outside any view).
int32_t Send(platform::DeviceTree& tree, const disk::DiskEntry& e, VendorOp op, const VendorArgs& args,
             std::span<uint8_t> buffer, const std::function<void(const std::string&)>* echo = nullptr,
             bool withCdw2 = false) {
  if (disk::IsSataKind(e.diskKind)) {
    const SataVendorCommand c = EncodeSataVendor(op, args);
    if (c.code != base::code::kSuccessTrue) return c.code;
    if (c.length > buffer.size()) return base::code::kBadParameter;
    if (echo) (*echo)(disk::AtaEchoText(c.tf));
    return disk::AtaCommand(tree, e, c.tf, buffer.first(c.length));
  }
  const VendorCommand c = EncodeVendorCommand(op, e.vendorVariant, args, buffer.size());
  if (c.code != disk::kNvmeDone) return c.code;
  if (echo) (*echo)(VendorEchoText(c, withCdw2));
  return disk::RawAdmin(tree, e, c.direction, c.opcode, c.nsid, c.record, buffer.first(c.length));
}

bool ReadConfigPage(platform::DeviceTree& tree, disk::DiskEntry& e, std::vector<uint8_t>& page) {
  VendorArgs args;
  args.a = kBlockConfigPage;
  return Send(tree, e, VendorOp::kReadBlock, args, page) == disk::kNvmeDone && page[0] == kPageMark;
}

uint32_t ConfigTypeFor(int kind, uint32_t first) { return kind == 2 ? first : kind == 4 ? first + 1 : first + 2; }

bool IsFirstAlder(const VendorData& data, uint32_t socId) {
  for (const SocEntry& s : data.socs)
    if (s.family == SocFamily::kAlder) return s.id == socId;
  return false;
}

}  // namespace

VendorState& VendorStateOf(engine::Interpreter& interp) { return interp.State<VendorState>(); }

bool IsMakerDrive(const VendorData& data, const disk::DiskEntry& e) {
  if (disk::IsNvmeKind(e.diskKind)) return data.IsMakerVendor(static_cast<uint16_t>(e.pciVendorId));
  if (disk::IsSataKind(e.diskKind)) return e.wwnOui != 0 && data.IsMakerOui(e.wwnOui);
  return false;
}

void IdentifyMakerDrive(platform::DeviceTree& tree, const VendorData& data, disk::DiskEntry& e, int kind) {
  e.configType = 9999;
  e.vendorAux = 0;
  e.vendorVariant = 0;
  e.socId = 0;
  e.vendorIdentified = true;
  if (!IsMakerDrive(data, e)) return;

  std::vector<uint8_t> page(kPage);
  if (disk::IsSataKind(e.diskKind)) {
    if (!ReadConfigPage(tree, e, page)) return;
    e.socId = base::GetLe16(&page[2]);
    e.configType = ConfigTypeFor(kind, 1);
    if (const std::string fw = TextAt(page, 32); !fw.empty()) e.currentFirmware = fw;
    return;
  }
  bool configPage = false;
  if (disk::GetLogPage(tree, e, kVendorLogPage, 0, false, page) == disk::kNvmeDone && page[0] == kPageMark) {
    e.vendorVariant = kVariantFc;
    std::vector<uint8_t> none;
    Send(tree, e, VendorOp::kEnterVendorMode, {}, none);
    e.socId = base::GetLe16(&page[2]);
    configPage = true;
  }
  if (e.socId == 0) {
    e.vendorVariant = 0;
    configPage = ReadConfigPage(tree, e, page);
    if (!configPage) {
      e.vendorVariant = kVariantFc;
      std::vector<uint8_t> none;
      Send(tree, e, VendorOp::kEnterVendorMode, {}, none);
      configPage = ReadConfigPage(tree, e, page);
    }
    if (configPage) e.socId = base::GetLe16(&page[2]);
  }
  if (configPage) {
    e.configType = ConfigTypeFor(kind, 1);
    const std::string fw = TextAt(page, 32);
    if (!fw.empty()) e.currentFirmware = fw;
  } else {
    e.vendorVariant = 0;
    if (Send(tree, e, VendorOp::kDriveInformation, {}, page) == disk::kNvmeDone &&
        base::GetLe16(&page[kInfoLayout]) == kInfoWithSocId) {
      e.socId = base::GetLe16(&page[kInfoSocId]);
      e.vendorAux = base::GetLe32(&page[kInfoAux]);
      e.configType = ConfigTypeFor(kind, 101);
      std::string fw;
      if (IsFirstAlder(data, e.socId)) {
        fw = TextAt(page, kInfoAlderFw);
      } else {
        std::vector<uint8_t> legacy(kPage);
        if (Send(tree, e, VendorOp::kLegacyDriveInformation, {}, legacy) == disk::kNvmeDone)
          fw = TextAt(legacy, kLegacyInfoFw);
      }
      if (!fw.empty()) e.currentFirmware = fw;
    }
  }
  if (e.socId != 0 && e.vendorAux == 0 && Send(tree, e, VendorOp::kDriveInformation, {}, page) == disk::kNvmeDone &&
      base::GetLe16(&page[kInfoLayout]) == kInfoWithAux) {
    e.vendorAux = base::GetLe32(&page[kInfoAux]);
    if (data.IsCedarOrLater(e.socId)) e.vendorAux *= 2;
  }
}

std::string UseVendorData(engine::Interpreter& interp, const std::string& folder) {
  VendorState& state = VendorStateOf(interp);
  const std::string path = platform::JoinPath(folder, kVendorDataFile);
  std::string error;
  if (std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path)) {
    VendorDataParse parsed = ParseVendorData(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (parsed.data) {
      state.data = std::move(*parsed.data);
      state.source = path;
    } else {
      error = path + ", " + parsed.error;
    }
  }
  disk::DiskState& disks = disk::StateOf(interp);
  disks.refreshIdentity = [&disks, &state](disk::DiskEntry& entry) {
    if (disks.tree != nullptr) IdentifyMakerDrive(*disks.tree, state.data, entry);
  };
  return error;
}

NvmeTarget MakerTarget(engine::Interpreter& interp, uint32_t view) {
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) {
    interp.ReportCompletion(view, base::code::kOpenDiskFailed, "");
    return {};
  }
  if (!IsMakerDrive(VendorStateOf(interp).data, *target.disk)) {
    interp.ReportCompletion(view, base::code::kNotSupported, "Not a maker drive");
    return {};
  }
  // The command set to speak comes from the identification.
  disk::SocIdOf(*target.disk, disk::StateOf(interp).refreshIdentity);
  return target;
}

int32_t SendVendor(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, VendorOp op,
                   const VendorArgs& args, std::span<uint8_t> buffer, bool withCdw2) {
  const std::function<void(const std::string&)> echo = [&](const std::string& text) {
    engine::DetailLine(interp, view, text, engine::colour::kGrey);
  };
  return Send(*target.tree, *target.disk, op, args, buffer, interp.settings().debugLevel != 0 ? &echo : nullptr,
              withCdw2);
}

int32_t SendVendorQuiet(const NvmeTarget& target, VendorOp op, const VendorArgs& args, std::span<uint8_t> buffer) {
  return Send(*target.tree, *target.disk, op, args, buffer);
}

bool ReadVendor(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, VendorOp op,
                const VendorArgs& args, std::span<uint8_t> buffer) {
  const int32_t rc = SendVendor(interp, view, target, op, args, buffer);
  if (rc == disk::kNvmeDone) return true;
  interp.ReportCompletion(view, rc, "");
  return false;
}

int32_t OnDiskDevice(engine::Interpreter& interp, const disk::DiskEntry& disk,
                     const std::function<int32_t(platform::Device&)>& send) {
  platform::DeviceTree* tree = disk::StateOf(interp).tree;
  std::unique_ptr<platform::Device> device =
      tree ? tree->Open(disk.devicePath, platform::OpenAccess::kReadWrite) : nullptr;
  return device ? send(*device) : base::code::kOpenDiskFailed;
}

int32_t PowerResetDisk(engine::Interpreter& interp, const disk::DiskEntry& disk) {
  if (!HasBridgePowerReset(disk.diskKind)) return 0;
  return OnDiskDevice(interp, disk, [&](platform::Device& d) {
    return PowerResetBridge(d, disk.diskKind, [&](uint32_t ms) { interp.host().SleepMs(ms); });
  });
}

VendorArgs ArgsFor(engine::Interpreter& interp, const disk::DiskEntry& disk, uint32_t a, uint32_t b, uint32_t c) {
  VendorArgs args{a, b, c};
  args.alder = VendorStateOf(interp).data.FamilyOf(disk.socId) == SocFamily::kAlder;
  return args;
}

std::string VendorSavePath(engine::Interpreter& interp, uint32_t view, const std::string& file,
                           std::string_view extension) {
  return file.empty() ? disk::DefaultDumpPath(interp, view, extension) : engine::OutputFilePath(interp, view, file);
}

void ShowDumpProgress(engine::Interpreter& interp, uint32_t view, uint64_t before, uint64_t after) {
  constexpr uint64_t kMiB = 1 << 20;
  if (after / kMiB > before / kMiB)
    engine::DetailLine(interp, view, base::Format("Dump Size     : %5d MB", static_cast<int>(after / kMiB)),
                       engine::colour::kGrey);
}

}  // namespace kestrune::devcmd
