// Identify (the SATA summary with its Items filter) and IdentifyEx (the IDENTIFY DEVICE word dump).
#include <vector>

#include "base/completion_codes.h"
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "devcmd/ata_identify_summary.h"
#include "devcmd/ata_identify_words.h"
#include "disk/ata_operations.h"
#include "disk/disk_state.h"
#include "disk/identify_data.h"
#include "disk/port_map.h"
#include "disk/port_name.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

AtaDiskFacts FactsOf(engine::Interpreter& interp) {
  disk::DiskState& state = disk::StateOf(interp);
  disk::DiskEntry& d = state.current;
  AtaDiskFacts facts;
  facts.sectorSize = d.sectorSize;
  facts.physicalDrive = d.devicePath;
  facts.cmdThrough = std::string(disk::ShortName(d.diskKind));
  facts.portId = disk::PortName(d, disk::PortMap::Load(disk::PortMapPathOf(state)));
  facts.socId = disk::SocIdOf(d, state.refreshIdentity);
  facts.configType = d.configType;
  return facts;
}

// IDENTIFY DEVICE of the current disk; reports a failure and returns false.
bool ReadIdentify(engine::Interpreter& interp, uint32_t view, std::vector<uint8_t>& data) {
  data.assign(disk::kAtaIdentifyBytes, 0);
  NvmeTarget target = CurrentAtaTarget(interp);
  const int32_t rc = target ? disk::AtaIdentifyData(*target.tree, *target.disk, data) : code::kOpenDiskFailed;
  if (rc < 0) interp.ReportCompletion(view, rc, "");
  return rc > 0;
}

// Identify( Items:"" );
void Identify(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"Items"});
  const std::string items = in.Text("");
  if (!in.ok()) return;
  std::vector<uint8_t> data;
  // A failed read leaves an empty result, so that the statement reads no stale or missing value.
  if (!ReadIdentify(interp, view, data))
    return static_cast<void>(engine::StoreValue(v.vars, errors, name, engine::Value::Text("")));
  ItemCollector collector(items);
  ViewLineSink sink(interp, view);
  AtaIdentifySummary(sink, disk::ParseAtaIdentity(data), FactsOf(interp), collector);
  engine::StoreValue(v.vars, errors, name, collector.Result());
}

// IdentifyEx( StartWord:0, EndWord:255);
void IdentifyEx(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"StartWord", "EndWord"});
  uint32_t start = in.U32(0);
  uint32_t end = in.U32(255);
  if (!in.ok()) return;
  end = std::min<uint32_t>(end, 255);
  start = std::min(start, end);
  std::vector<uint8_t> data;
  if (!ReadIdentify(interp, view, data)) return;
  ViewLineSink sink(interp, view);
  DumpIdentifyWords(sink, data, start, end);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"Identify", engine::kSataOnly, Identify},
    {"IdentifyEx", engine::kSataOnly, IdentifyEx},
};

}  // namespace

std::span<const engine::HandlerRow> AtaIdentifyHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
