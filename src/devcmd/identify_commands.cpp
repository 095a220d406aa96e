// Identify (the summary with its Items filter), the Identify Controller and Identify Namespace
// dumps, and the active namespace and namespace descriptor lists.
#include <array>

#include "base/completion_codes.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "devcmd/nvme_decoders_dump.h"
#include "devcmd/nvme_decoders_identify.h"
#include "devcmd/nvme_decoders_logs.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/pci_link.h"
#include "disk/port_map.h"
#include "disk/port_name.h"
#include "disk/sector_buffer.h"
#include "disk/sector_io.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

constexpr uint8_t kCnsNamespace = 0;
constexpr uint8_t kCnsController = 1;
constexpr uint8_t kCnsActiveList = 2;
constexpr uint8_t kCnsDescriptors = 3;

// A zero-filled, page-aligned 4096-byte Identify page.
class IdentifyPage {
 public:
  IdentifyPage() : buffer_(kIdentifyPageBytes) {}
  bool ok() const { return buffer_.ok(); }
  std::span<uint8_t, kIdentifyPageBytes> bytes() {
    return std::span<uint8_t, kIdentifyPageBytes>(buffer_.data(), kIdentifyPageBytes);
  }

 private:
  disk::SectorBuffer buffer_;
};

// Reads one Identify page; reports a failure and returns false.
bool Read(engine::Interpreter& interp, uint32_t view, uint8_t cns, uint32_t nsid, IdentifyPage& page) {
  if (!page.ok()) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return false;
  }
  const int32_t rc = ReadIdentify(interp, cns, nsid, page.bytes());
  if (rc < 0) {
    interp.ReportCompletion(view, rc, "");
    return false;
  }
  return true;
}

// The namespace the current disk is: what Identify Namespace and the descriptor list read.
uint32_t CurrentNamespaceId(engine::Interpreter& interp) {
  const disk::DiskState& state = disk::StateOf(interp);
  return state.hasCurrent ? state.current.namespaceId : 1;
}

IdentifyDiskFacts FactsOf(engine::Interpreter& interp) {
  disk::DiskState& state = disk::StateOf(interp);
  disk::DiskEntry& d = state.current;
  IdentifyDiskFacts facts;
  facts.writeCache = state.tree != nullptr && disk::WriteCacheState(*state.tree, d.devicePath);
  if (state.tree != nullptr) {
    const disk::PciLinks links = disk::PciLinkStatus(*state.tree, d);
    facts.maxLink = links.max;
    facts.currentLink = links.current;
  }
  facts.physicalDrive = d.devicePath;
  facts.cmdThrough = std::string(disk::ShortName(d.diskKind));
  facts.portId = disk::PortName(d, disk::PortMap::Load(disk::PortMapPathOf(state)));
  facts.socId = disk::SocIdOf(d, state.refreshIdentity);
  facts.vendorVariant = d.vendorVariant;
  facts.configType = d.configType;
  facts.originFw = d.currentFirmware;
  return facts;
}

// Identify( Items:"" );
void Identify(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"Items"});
  const std::string items = in.Text("");
  if (!in.ok()) return;
  ItemCollector collector(items);
  ViewLineSink sink(interp, view);
  // A failed read leaves an empty result, so that the statement reads no stale or missing value.
  auto fail = [&] { engine::StoreValue(v.vars, errors, name, engine::Value::Text("")); };
  IdentifyPage controller;
  if (!Read(interp, view, kCnsController, 0, controller)) return fail();
  IdentifyControllerSummary(sink, controller.bytes(), collector);
  IdentifyPage ns;
  if (!Read(interp, view, kCnsNamespace, CurrentNamespaceId(interp), ns)) return fail();
  IdentifyNamespaceSummary(sink, ns.bytes(), FactsOf(interp), collector);
  engine::StoreValue(v.vars, errors, name, collector.Result());
}

using PageDump = bool (*)(LineSink&, std::span<const uint8_t, kIdentifyPageBytes>, ByteWindow);

// The dump of one page within the StartByte-EndByte window, then the whole page as a dump file.
void DumpPage(engine::Interpreter& interp, uint32_t view, std::string_view args, uint8_t cns, uint32_t nsid,
              PageDump dump) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"StartByte", "EndByte"});
  const uint32_t start = in.U32(0);
  const uint32_t end = in.U32(4095);
  if (!in.ok()) return;
  IdentifyPage page;
  if (!Read(interp, view, cns, nsid, page)) return;
  ViewLineSink sink(interp, view);
  if (!dump(sink, page.bytes(), ClampWindow(start, end))) return;
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view), page.bytes(), disk::kReadDumpColour,
                 false);
}

// Identify_Controller( StartByte:0, EndByte:4095 );
void IdentifyController(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  DumpPage(interp, view, args, kCnsController, 0, DumpIdentifyController);
}

// Identify_Namespace( StartByte:0, EndByte:4095 );
void IdentifyNamespace(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  DumpPage(interp, view, args, kCnsNamespace, CurrentNamespaceId(interp), DumpIdentifyNamespace);
}

void IdentifyActiveNamespaceId(engine::Interpreter& interp, uint32_t view, std::string_view,
                               std::string_view) {
  IdentifyPage page;
  if (!Read(interp, view, kCnsActiveList, 0, page)) return;
  ViewLineSink sink(interp, view);
  DecodeActiveNamespaces(sink, page.bytes());
}

void IdentifyDescriptorNamespace(engine::Interpreter& interp, uint32_t view, std::string_view,
                                 std::string_view) {
  IdentifyPage page;
  if (!Read(interp, view, kCnsDescriptors, CurrentNamespaceId(interp), page)) return;
  ViewLineSink sink(interp, view);
  DecodeNamespaceDescriptor(sink, page.bytes());
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"Identify", engine::kNvmeOnly, Identify},
    {"Identify_Controller", engine::kNvmeOnly, IdentifyController},
    {"Identify_Namespace", engine::kNvmeOnly, IdentifyNamespace},
    {"Identify_ActiveNamespaceID", engine::kNvmeOnly, IdentifyActiveNamespaceId},
    {"Identify_DescriptorNamespac", engine::kNvmeOnly, IdentifyDescriptorNamespace},
};

}  // namespace

std::span<const engine::HandlerRow> IdentifyHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
