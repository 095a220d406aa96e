// PCIInfo, SetSystem_PCISpeed, SetSystem_NVMeEnable and SetSystem_HMB: the drive's PCI function
// through the configuration access (platform/pci_config.h), its parent device, and the storage
// port's host memory buffer policy (platform/system_facts.h).
//
// Only NVMe controllers on the system's own or a community miniport driver (kinds 10 and 11) are
// PCI functions the commands may reach: behind RST, a bridge or USB the disk's PCI function is not
// the drive's. Changes to the machine (configuration writes, node restarts, the policy) are refused
// outside the lab in the test environments (NodeControlRefused).
#include <algorithm>
#include <array>

#include "base/completion_codes.h"
#include "base/text.h"
#include "base/bytes.h"
#include "base/crc.h"
#include "devcmd/firmware_file.h"
#include "devcmd/line_sink.h"
#include "devcmd/pci_calibration.h"
#include "devcmd/vendor_channel.h"
#include "disk/identity_refresh.h"
#include "devcmd/pci_express.h"
#include "devcmd/platform_access.h"
#include "devcmd/platform_commands.h"
#include "devcmd/power_station.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/node_control.h"
#include "disk/pci_link.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
namespace colour = engine::colour;
using base::Format;
using disk::DiskKind;
using platform::PciAccessFailure;

constexpr uint32_t kTrainingPollMs = 10;
constexpr uint32_t kTrainingLimitMs = 1000;
constexpr uint32_t kHeaderMinimum = 64;
constexpr uint32_t kHmbReadOnly = 0xFF;
constexpr uint32_t kHmbHighest = 2;

constexpr auto& Line = engine::DetailLine;

// The current disk when it is a PCI NVMe function (kinds 10, 11); reports otherwise.
const disk::DiskEntry* PciDisk(engine::Interpreter& interp, uint32_t view) {
  disk::DiskState& disks = disk::StateOf(interp);
  if (!disks.hasCurrent) {
    interp.ReportCompletion(view, code::kOpenDiskFailed, "");
    return nullptr;
  }
  const DiskKind k = disks.current.diskKind;
  if (k != DiskKind::kNvm && k != DiskKind::kOfaNvm) {
    interp.ReportCompletion(view, code::kNotSupported, "Not PCI Device");
    return nullptr;
  }
  return &disks.current;
}

platform::PciFunction FunctionOf(const disk::DiskEntry& d) {
  return {d.location >> 8, (d.location >> 3) & 0x1F, d.location & 0x7, d.controllerInstanceId};
}

void ReportAccess(engine::Interpreter& interp, uint32_t view, PciAccessFailure failure,
                  const std::string& why) {
  switch (failure) {
    case PciAccessFailure::kDriverLoad:
      return interp.ReportCompletion(view, code::kError, "Load Kernel Driver Fail");
    case PciAccessFailure::kDriverOpen:
      return interp.ReportCompletion(view, code::kError, "Create Driver Object Fail");
    case PciAccessFailure::kNoFunction:
      return interp.ReportCompletion(view, code::kNotSupported, "Not PCI Device (" + why + ")");
    default:
      return interp.ReportCompletion(view, code::kError, why);
  }
}

std::unique_ptr<platform::PciConfigSession> OpenFunction(engine::Interpreter& interp, uint32_t view,
                                                         const platform::PciFunction& fn) {
  platform::PciConfig* pci = PlatformAccessOf(interp).pci;
  if (!pci) {
    interp.ReportCompletion(view, code::kNotSupported, "this build has no PCI configuration access");
    return nullptr;
  }
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::string why;
  std::unique_ptr<platform::PciConfigSession> s = pci->Open(fn, failure, why);
  if (!s) ReportAccess(interp, view, failure, why);
  return s;
}

// The header, zero past what the system shows; nullopt (reported) when not even the first 64
// bytes could be read.
struct Header {
  std::array<uint8_t, platform::kPciHeaderBytes> bytes{};
  uint32_t shown = 0;
  std::span<const uint8_t> Shown() const { return std::span<const uint8_t>(bytes.data(), shown); }
};
std::optional<Header> ReadHeader(engine::Interpreter& interp, uint32_t view, platform::PciConfigSession& s) {
  Header h;
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::string why;
  std::optional<uint32_t> n = s.Read(0, h.bytes, failure, why);
  if (!n || *n < kHeaderMinimum) {
    ReportAccess(interp, view, n ? PciAccessFailure::kFailed : failure,
                 n ? Format("the system showed only %u bytes of the configuration header", *n) : why);
    return std::nullopt;
  }
  h.shown = std::min<uint32_t>(*n, platform::kPciHeaderBytes);
  return h;
}

bool Write16(engine::Interpreter& interp, uint32_t view, platform::PciConfigSession& s, uint32_t offset,
             uint16_t value) {
  const std::array<uint8_t, 2> b{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::string why;
  if (s.Write(offset, b, failure, why)) return true;
  ReportAccess(interp, view, failure, why);
  return false;
}

uint16_t Le16(const Header& h, uint32_t at) {
  return static_cast<uint16_t>(h.bytes[at] | h.bytes[at + 1] << 8);
}

// The link as the function's registers show it now; where they cannot be read, as the device tree
// reports it. Reports nothing.
disk::PciLinks LinkNow(engine::Interpreter& interp, const disk::DiskEntry& d) {
  platform::PciConfig* pci = PlatformAccessOf(interp).pci;
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::string why;
  if (std::unique_ptr<platform::PciConfigSession> s =
          pci ? pci->Open(FunctionOf(d), failure, why) : nullptr) {
    std::array<uint8_t, platform::kPciHeaderBytes> h{};
    if (std::optional<uint32_t> n = s->Read(0, h, failure, why)) {
      const std::span<const uint8_t> shown(h.data(), std::min<uint32_t>(*n, platform::kPciHeaderBytes));
      if (std::optional<uint32_t> cap = FindCapability(shown, kPcieCapabilityId))
        if (std::optional<disk::PciLinks> links = PcieLinkOf(shown, *cap)) return *links;
    }
  }
  disk::DiskState& disks = disk::StateOf(interp);
  return disks.tree ? disk::PciLinkStatus(*disks.tree, d) : disk::PciLinks{};
}

// The PHY part of PCIInfo through the maker's vendor channel: the calibration block with its
// verdict, then block 7 written with the link width, read back 5 s later for the lane margins and
// the extended counters. Drives that are not the maker's (or not identified) end after the header.
void PhyBlocks(engine::Interpreter& interp, uint32_t view, uint32_t lanes, bool extData) {
  disk::DiskState& disks = disk::StateOf(interp);
  if (!disks.hasCurrent || disk::SocIdOf(disks.current, disks.refreshIdentity) == 0) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  ViewLineSink sink(interp, view);
  std::vector<uint8_t> block(kConfigBlockSize);
  const VendorArgs args = ArgsFor(interp, *target.disk);
  int32_t rc = SendVendor(interp, view, target, VendorOp::kPhyCalibration, args, block);
  if (rc != disk::kNvmeDone) return interp.ReportCompletion(view, rc, "PCI Calibration");
  if (CalibrationPresent(block)) CalibrationLines(sink, ReadCalibration(block));

  std::vector<uint8_t> none;
  if (target.disk->vendorVariant == kVariantFc) {
    rc = SendVendor(interp, view, target, VendorOp::kLaneMarginPrepare, args, none);
    if (rc != disk::kNvmeDone) return interp.ReportCompletion(view, rc, "PCI Lane Margin");
  }
  std::fill(block.begin(), block.end(), uint8_t{0});
  base::PutLe32(block.data(), lanes);
  VendorArgs write = ArgsFor(interp, *target.disk, kBlockLaneMargin);
  const VendorData& data = VendorStateOf(interp).data;
  write.crc = data.IsCedarOrLater(target.disk->socId) ? base::Crc32c(block) : base::Crc32(block);
  rc = SendVendor(interp, view, target, VendorOp::kWriteBlock, write, block);
  if (rc != disk::kNvmeDone) return interp.ReportCompletion(view, rc, "PCI Lane Margin");
  Countdown(interp, view, "Wait", 5);
  if (interp.view(view).cancel.load()) return;
  rc = SendVendor(interp, view, target, VendorOp::kReadBlock, ArgsFor(interp, *target.disk, kBlockLaneMargin), block);
  if (rc != disk::kNvmeDone) return interp.ReportCompletion(view, rc, "PCI Lane Margin");
  LaneMarginLines(sink, block, lanes);
  if (!extData) return;
  ExtDataLines(sink, block, data.IsCedarOrLater(target.disk->socId));
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".hex"), block, disk::kReadDumpColour, false);
}

// PCIInfo( ExtData:TRUE );
void PCIInfo(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"ExtData"});
  const bool extData = in.Bool(true);
  if (!in.ok()) return;
  const disk::DiskEntry* d = PciDisk(interp, view);
  if (!d) return;
  const platform::PciFunction fn = FunctionOf(*d);
  Line(interp, view, Format("Port ID        : PCIE-%02X:%02X.%X", fn.bus, fn.device, fn.function),
       colour::kYellow);
  std::unique_ptr<platform::PciConfigSession> session = OpenFunction(interp, view, fn);
  if (!session) return;
  const std::optional<Header> header = ReadHeader(interp, view, *session);
  session.reset();  // the driver goes before anything else is done
  if (!header) return;
  ViewLineSink sink(interp, view);
  PciHeaderLines(sink, header->bytes);
  std::optional<disk::PciLinks> links;
  if (std::optional<uint32_t> cap = FindCapability(header->Shown(), kPcieCapabilityId))
    links = PcieLinkOf(header->Shown(), *cap);
  if (links) {
    PcieLinkLines(sink, *links);
  } else if (disk::DiskState& disks = disk::StateOf(interp); disks.tree != nullptr) {
    // An unprivileged reader sees only the start of the header: the link as the system reports it.
    Line(interp, view, "The PCI Express capability is not readable here; the link is the system's report",
         colour::kGrey);
    PcieLinkLines(sink, disk::PciLinkStatus(*disks.tree, *d));
  }
  if (!disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view, ".hex"), header->bytes,
                      disk::kReadDumpColour, false))
    return;
  PhyBlocks(interp, view, links ? links->current.width : 0, extData);
}

// One end of a link: its open configuration space, header and PCI Express capability.
struct LinkEnd {
  std::unique_ptr<platform::PciConfigSession> session;
  Header header;
  uint32_t cap = 0;
  uint16_t Register(uint32_t at) const { return Le16(header, cap + at); }
};

// Opens and reads one end; reported and nullopt when it cannot be read or has no PCI Express
// capability.
std::optional<LinkEnd> OpenLinkEnd(engine::Interpreter& interp, uint32_t view, const platform::PciFunction& fn,
                                   const char* what) {
  LinkEnd end;
  end.session = OpenFunction(interp, view, fn);
  if (!end.session) return std::nullopt;
  std::optional<Header> header = ReadHeader(interp, view, *end.session);
  if (!header) return std::nullopt;
  end.header = *header;
  const std::optional<uint32_t> cap = FindCapability(end.header.Shown(), kPcieCapabilityId);
  if (!cap) {
    interp.ReportCompletion(view, code::kError, Format("the %s shows no PCI Express capability", what));
    return std::nullopt;
  }
  end.cap = *cap;
  return end;
}

platform::PciFunction FunctionAt(uint32_t location) { return {location >> 8, (location >> 3) & 0x1F, location & 0x7, ""}; }

// SetSystem_PCISpeed(Gen:3 );
// The target speed goes into Link Control 2 of both ends, the drive's function and the downstream
// port above it; the port retrains the link (Retrain Link is the port's: an endpoint's is
// reserved), and the speed the link trained to is read back from the port.
void SetSystemPciSpeed(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"Gen"});
  const int64_t gen = in.I64(3);
  if (!in.ok()) return;
  const disk::DiskEntry* current = PciDisk(interp, view);
  if (!current) return;
  if (gen < 1 || gen > 6)
    return interp.ReportCompletion(view, code::kBadParameter,
                                   Format("(Gen %lld is not 1 to 6)", static_cast<long long>(gen)));
  if (NodeControlRefused(interp, view)) return;
  const disk::DiskEntry d = *current;
  disk::DiskState& disks = disk::StateOf(interp);
  const uint32_t portLocation = disks.tree ? disk::UpstreamPortLocation(*disks.tree, d.location) : 0;
  if (portLocation == 0)
    return interp.ReportCompletion(view, code::kError, "the system shows no PCI port above the drive's function");
  const platform::PciFunction portFn = FunctionAt(portLocation);
  std::optional<disk::PcieLink> trained;
  {
    std::optional<LinkEnd> drive = OpenLinkEnd(interp, view, FunctionOf(d), "drive's PCI function");
    if (!drive) return;
    std::optional<LinkEnd> port = OpenLinkEnd(interp, view, portFn, "port above the drive");
    if (!port) return;
    const uint32_t type = PortTypeOf(port->header.Shown(), port->cap);
    if (type != kRootPort && type != kDownstreamPort)
      return interp.ReportCompletion(view, code::kError,
                                     Format("the device above the drive (%02X:%02X.%X) is no downstream port",
                                            portFn.bus, portFn.device, portFn.function));
    for (const auto& [end, what] : {std::pair{&*drive, "drive's"}, std::pair{&*port, "port's"}})
      if (!(SupportedGenerations(end->header.Shown(), end->cap) & 1u << (gen - 1)))
        return interp.ReportCompletion(view, code::kBadParameter,
                                       Format("(Gen %lld: the %s end of the link does not support it)",
                                              static_cast<long long>(gen), what));
    const uint32_t g = static_cast<uint32_t>(gen);
    if (!Write16(interp, view, *drive->session, drive->cap + kLinkControl2,
                 WithTargetSpeed(drive->Register(kLinkControl2), g)) ||
        !Write16(interp, view, *port->session, port->cap + kLinkControl2,
                 WithTargetSpeed(port->Register(kLinkControl2), g)) ||
        !Write16(interp, view, *port->session, port->cap + kLinkControl,
                 static_cast<uint16_t>(port->Register(kLinkControl) | kRetrainLink)))
      return;
    Line(interp, view, Format("PCIE Target Link Speed : Gen%lld", static_cast<long long>(gen)), colour::kWhite);
    // Link Training clears once the link is up again.
    platform::Host& host = interp.host();
    const uint64_t start = host.MonotonicMs();
    for (;;) {
      std::optional<Header> now = ReadHeader(interp, view, *port->session);
      if (!now) return;
      port->header = *now;
      if (!(port->Register(kLinkStatus) & kLinkTraining)) break;
      if (host.MonotonicMs() - start >= kTrainingLimitMs)
        return interp.ReportCompletion(view, code::kError, "the link is still training after 1 s");
      host.SleepMs(kTrainingPollMs);
    }
    if (std::optional<disk::PciLinks> links = PcieLinkOf(port->header.Shown(), port->cap)) trained = links->current;
  }
  ViewLineSink sink(interp, view);
  PcieLinkLines(sink, LinkNow(interp, d));
  if (!trained || trained->generation != static_cast<uint32_t>(gen))
    return interp.ReportCompletion(view, code::kError,
                                   Format("the link trained to Gen%u, not Gen%lld", trained ? trained->generation : 0,
                                          static_cast<long long>(gen)));
}

// SetSystem_NVMeEnable(Enable:FALSE );
void SetSystemNvmeEnable(engine::Interpreter& interp, uint32_t view, std::string_view args,
                         std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"Enable"});
  const bool enable = in.Bool(false);
  if (!in.ok()) return;
  disk::DiskState& disks = disk::StateOf(interp);
  if (!disks.hasCurrent) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  if (NodeControlRefused(interp, view)) return;
  if (!disk::SetParentEnabled(interp, disks.current, enable))
    return interp.ReportCompletion(view, code::kError,
                                   enable ? "The disk's parent device does not enable again"
                                          : "The disk's parent device does not disable");
  Line(interp, view, enable ? "NVMe Device Enabled" : "NVMe Device Disabled", colour::kOlive);
}

// SetSystem_HMB( HmbSet:0xFF );
void SetSystemHmb(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"HmbSet"});
  const int64_t wanted = in.I64(kHmbReadOnly);
  if (!in.ok()) return;
  if (wanted < 0)
    return interp.ReportCompletion(view, code::kBadParameter,
                                   Format("(HmbSet %lld)", static_cast<long long>(wanted)));
  platform::SystemFacts* facts = PlatformAccessOf(interp).facts;
  if (!facts) return interp.ReportCompletion(view, code::kNotSupported, "this build has no system settings");
  const platform::HmbPolicyReport now = facts->HmbPolicy();
  if (!now.available) return interp.ReportCompletion(view, code::kNotSupported, now.note);
  // A policy never set is shown as -1: the driver's default holds.
  Line(interp, view, Format("Now Host HMB Value: %d", now.value ? static_cast<int>(*now.value) : -1),
       colour::kWhite);
  if (wanted == kHmbReadOnly) return;
  const uint32_t value = static_cast<uint32_t>(std::min<int64_t>(wanted, kHmbHighest));
  if (NodeControlRefused(interp, view)) return;
  std::string why;
  if (!facts->SetHmbPolicy(value, why)) return interp.ReportCompletion(view, code::kError, why);
  Line(interp, view, Format("Set Host HMB Value: %u", value), colour::kCyan);
  Line(interp, view, "Please Reboot PC for Active HMB Setting.", colour::kYellow);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"PCIInfo", engine::kNvmeOnly, PCIInfo},
    {"SetSystem_PCISpeed", engine::kNvmeOnly, SetSystemPciSpeed},
    {"SetSystem_NVMeEnable", engine::kNvmeOnly, SetSystemNvmeEnable},
    {"SetSystem_HMB", engine::kNvmeOnly, SetSystemHmb},
};

}  // namespace

std::span<const engine::HandlerRow> PciHandlers() { return kHandlers; }

std::vector<engine::HandlerRow> RegisterPlatformCommands(engine::Interpreter& interp) {
  PlatformAccessOf(interp);  // made before any run
  return interp.Register({PciHandlers(), SystemInfoHandlers()});
}

}  // namespace kestrune::devcmd
