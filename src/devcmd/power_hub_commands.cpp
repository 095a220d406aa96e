#include "devcmd/power_hub_commands.h"

#include <memory>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/bridge_power.h"
#include "devcmd/hub_session.h"
#include "devcmd/power_station.h"
#include "platform/power.h"
#include "disk/disk_find.h"
#include "disk/disk_state.h"
#include "disk/node_control.h"
#include "disk/wait_disk.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
namespace colour = engine::colour;
using base::Format;
using disk::DiskKind;

// 0 means as long as a 16-bit count allows; more than that is refused.
constexpr int64_t kMaxSeconds = 65535;
constexpr uint32_t kPowerOnSettleMs = 5000;
constexpr uint32_t kRemoveEverySeconds = 5;
constexpr uint32_t kSliceMs = 100;

constexpr auto& Line = engine::DetailLine;

void Store(engine::Interpreter& interp, uint32_t view, std::string_view name, int64_t value) {
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(value));
}

bool IsAsmedia(DiskKind k) { return k == DiskKind::kAsm2362 || k == DiskKind::kAsm2364; }

// A seconds parameter: -2 for negative values and values above 65535.
std::optional<uint32_t> Seconds(engine::Interpreter& interp, uint32_t view, int64_t value, const char* name) {
  if (value < 0 || value > kMaxSeconds) {
    interp.ReportCompletion(view, code::kBadParameter, Format("(%s %lld out of range)", name, static_cast<long long>(value)));
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> Port(engine::Interpreter& interp, uint32_t view, int64_t value) {
  if (value < 0 || value > 0xFFFF) {
    interp.ReportCompletion(view, code::kBadParameter, Format("(Port %lld out of range)", static_cast<long long>(value)));
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// Runs a power action after seconds on a thread of its own. It counts down on a grey line of
// its own ("format" with the seconds left) and gives up without a word when the view is
// cancelled or its script ends first (its run may still wait for other threads). What the action
// reports goes to the run thread.
void StartDelayed(engine::Interpreter& interp, uint32_t view, uint32_t seconds, std::string format,
                  std::function<HubOutcome()> action) {
  engine::ViewOutput* out = interp.output(view);
  const engine::ResultFileRef owner = engine::OutputWriter::OpenResultFile(out);
  // The line is written here, in the statement's order; the thread only counts it down.
  const engine::LineRef line =
      interp.writer().WriteLine(out, Format(format.c_str(), seconds), engine::kDetail, 10, colour::kGrey);
  StationOf(interp).StartDelayed([&interp, view, seconds, out, owner, line, format = std::move(format),
                                  action = std::move(action)] {
    engine::OutputWriter::BackgroundScope scope(owner);
    engine::View& v = interp.view(view);
    engine::OutputWriter& writer = interp.writer();
    auto gone = [&v] { return v.cancel.load() || v.scriptEnded.load() || !v.running.load(); };
    for (uint32_t left = seconds; left > 0; --left) {
      for (uint32_t ms = 0; ms < 1000; ms += kSliceMs) {
        if (gone()) return;
        interp.host().SleepMs(kSliceMs);
      }
      writer.RewriteLine(out, line, Format(format.c_str(), left - 1));
    }
    if (gone()) return;
    writer.RewriteLine(out, line, "");
    const HubOutcome r = action();
    if (!r.ok()) interp.PostCompletion(view, r.code, r.detail);
  });
}

// ---- The hub and bridge actions (run thread or a delayed thread) ----

HubOutcome HubOff(engine::Interpreter& interp, uint32_t view, uint32_t port, std::string_view line, uint32_t c) {
  Line(interp, view, line, c);
  return SwitchHub(StationOf(interp), interp.host(), port, false);
}

HubOutcome BridgeAction(engine::Interpreter& interp, const disk::DiskEntry& disk, BridgePower action) {
  platform::DeviceTree* tree = disk::StateOf(interp).tree;
  std::unique_ptr<platform::Device> device =
      tree ? tree->Open(disk.devicePath, platform::OpenAccess::kReadWrite) : nullptr;
  if (!device) return HubOutcome{code::kOpenDiskFailed, {}, 0};
  const int32_t rc = SendBridgePower(*device, disk.diskKind, action);
  if (rc != 0) return HubOutcome{rc, "The USB bridge refused the power request", 0};
  return {};
}

std::string BridgeLine(DiskKind k, std::string_view what) {
  return std::string(IsAsmedia(k) ? "ASM" : "JMI") + " USB Bridge " + std::string(what);
}

// Reports what an action gave on the run thread; true when it succeeded.
bool Report(engine::Interpreter& interp, uint32_t view, const HubOutcome& r) {
  if (r.ok()) return true;
  interp.ReportCompletion(view, r.code, r.detail);
  return false;
}

// The RTL9210B bridge has no power control: the command says so and gives 2.
void NoBridgePower(engine::Interpreter& interp, uint32_t view, std::string_view name) {
  Line(interp, view, "RTL9210B USB Bridge cannot switch the disk's power", colour::kYellow);
  Store(interp, view, name, 2);
}

const disk::DiskEntry* CurrentDisk(engine::Interpreter& interp, uint32_t view) {
  disk::DiskState& disks = disk::StateOf(interp);
  if (!disks.hasCurrent) {
    interp.ReportCompletion(view, code::kOpenDiskFailed, "");
    return nullptr;
  }
  return &disks.current;
}

bool OnNvmeBus(const disk::DiskEntry& d) { return d.busType == platform::bus::kNvme; }

// ---- Handlers ----

// SSDPowerOff( DelayRunSec:0, Port:0 );
void SsdPowerOff(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"DelayRunSec", "Port"});
  const int64_t delayArg = in.I64(0), portArg = in.I64(0);
  if (!in.ok()) return;
  const std::optional<uint32_t> delay = Seconds(interp, view, delayArg, "DelayRunSec");
  const std::optional<uint32_t> port = delay ? Port(interp, view, portArg) : std::nullopt;
  if (!port) return;
  const disk::DiskEntry* current = CurrentDisk(interp, view);
  if (!current) return;
  const disk::DiskEntry disk = *current;
  if (disk.diskKind == DiskKind::kRtl9210B) return NoBridgePower(interp, view, name);
  const bool bridge = BridgePowerCode(disk.diskKind, BridgePower::kOff).has_value();
  if (!bridge && !Report(interp, view, ProbeHub(StationOf(interp), interp.host(), *port))) return;
  std::function<HubOutcome()> action = [&interp, view, disk, bridge, p = *port] {
    if (!bridge) return HubOff(interp, view, p, "Relay PowerOff", colour::kOlive);
    Line(interp, view, BridgeLine(disk.diskKind, "PowerOff Disk"), colour::kOlive);
    return BridgeAction(interp, disk, BridgePower::kOff);
  };
  if (*delay != 0) return StartDelayed(interp, view, *delay, "Wait %d Sec for SSD PowerOff...", std::move(action));
  Report(interp, view, action());
}

// The wait after the hub switched the power on: the hub is already closed. Every fifth second a
// disk of the NVMe bus has its nodes removed so that the system finds it anew; every second the
// tree is re-enumerated and the disk looked for.
bool WaitAfterHubPowerOn(engine::Interpreter& interp, uint32_t view, const disk::DiskEntry& disk, uint32_t seconds,
                         engine::LineRef line) {
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  const bool removeNodes = OnNvmeBus(disk) && (StationOf(interp).lab() || !platform::RealPowerActionsRefused());
  for (uint32_t i = 0; i <= seconds; ++i) {
    if (interp.view(view).cancel.load()) return false;
    const std::string text = Format("Wait Disk Remain Timeout %u sec", seconds - i);
    if (!writer.RewriteLine(out, line, text)) line = writer.WriteLine(out, text, engine::kDetail, 10, colour::kGrey);
    if (i != 0 && i % kRemoveEverySeconds == 0 && removeNodes) disk::RemoveDiskNode(interp, disk);
    disk::Rescan(interp);
    interp.host().SleepMs(1000);
    if (disk::FindCurrentDiskAgain(interp)) {
      writer.RewriteLine(out, line, "");
      Line(interp, view, "Find Disk", colour::kWhite);
      return true;
    }
  }
  return false;
}

// SSDPowerOn( TimeoutSec:20, Port:0);
void SsdPowerOn(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"TimeoutSec", "Port"});
  const int64_t timeoutArg = in.I64(20), portArg = in.I64(0);
  if (!in.ok()) return;
  std::optional<uint32_t> timeout = Seconds(interp, view, timeoutArg, "TimeoutSec");
  const std::optional<uint32_t> port = timeout ? Port(interp, view, portArg) : std::nullopt;
  if (!port) return;
  if (*timeout == 0) timeout = static_cast<uint32_t>(kMaxSeconds);
  const disk::DiskEntry* current = CurrentDisk(interp, view);
  if (!current) return;
  const disk::DiskEntry disk = *current;
  if (disk.diskKind == DiskKind::kRtl9210B) return NoBridgePower(interp, view, name);
  if (BridgePowerCode(disk.diskKind, BridgePower::kOn)) {
    Line(interp, view, BridgeLine(disk.diskKind, "PowerON Disk"), colour::kOlive);
    if (!Report(interp, view, BridgeAction(interp, disk, BridgePower::kOn))) return;
    if (!disk::WaitForDisk(interp, view, *timeout) && !interp.view(view).cancel.load())
      interp.ReportCompletion(view, code::kIoResponseTimeout, "The disk did not come back after power on");
    return;
  }
  PowerStation& station = StationOf(interp);
  if (!Report(interp, view, CheckHub(station, *port))) return;
  Line(interp, view, "Relay PowerON", colour::kOlive);
  engine::LineRef line =
      interp.writer().WriteLine(interp.output(view), "Wait Disk...", engine::kDetail, 10, colour::kGrey);
  // The hub is given back as soon as the frame is out: other instances may need it while this
  // one waits for its disk.
  if (!Report(interp, view, SwitchHub(station, interp.host(), *port, true))) return;
  interp.host().SleepMs(kPowerOnSettleMs);
  if (WaitAfterHubPowerOn(interp, view, disk, *timeout, line)) return;
  if (interp.view(view).cancel.load()) return;
  Line(interp, view,
       OnNvmeBus(disk) ? "PowerOn - TimeOut, Disk Disconnect or MotherBoard Not Support ReConnect PCIE."
                       : "PowerOn - TimeOut, Disk Disconnect",
       colour::kRed);
  interp.ReportCompletion(view, code::kIoResponseTimeout, "The disk did not come back after power on");
}

// SSDPowerReLink( TimeoutSec:20, Port:0);
void SsdPowerReLink(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"TimeoutSec", "Port"});
  const int64_t timeoutArg = in.I64(20), portArg = in.I64(0);
  if (!in.ok()) return;
  std::optional<uint32_t> timeout = Seconds(interp, view, timeoutArg, "TimeoutSec");
  if (!timeout || !Port(interp, view, portArg)) return;
  if (*timeout == 0) timeout = static_cast<uint32_t>(kMaxSeconds);
  const disk::DiskEntry* current = CurrentDisk(interp, view);
  if (!current) return;
  const disk::DiskEntry disk = *current;
  if (disk.diskKind == DiskKind::kRtl9210B) return NoBridgePower(interp, view, name);
  if (BridgePowerCode(disk.diskKind, BridgePower::kReLink)) {
    Line(interp, view, BridgeLine(disk.diskKind, "Power ReLink Disk"), colour::kOlive);
    if (!Report(interp, view, BridgeAction(interp, disk, BridgePower::kReLink))) return;
  } else {
    if (NodeControlRefused(interp, view)) return;
    Line(interp, view, "PCIE ReLink Disk", colour::kOlive);
    if (!disk::SetParentEnabled(interp, disk, false))
      return interp.ReportCompletion(view, code::kError, "The disk's parent device does not disable");
    if (!disk::SetParentEnabled(interp, disk, true))
      return interp.ReportCompletion(view, code::kError, "The disk's parent device does not enable again");
  }
  if (!disk::WaitForDisk(interp, view, *timeout) && !interp.view(view).cancel.load())
    interp.ReportCompletion(view, code::kIoResponseTimeout, "The disk did not come back after the relink");
}

// RelayPowerOff( DelayRunSec:5, Port:0 );
void RelayPowerOff(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"DelayRunSec", "Port"});
  const int64_t delayArg = in.I64(5), portArg = in.I64(0);
  if (!in.ok()) return;
  const std::optional<uint32_t> delay = Seconds(interp, view, delayArg, "DelayRunSec");
  const std::optional<uint32_t> port = delay ? Port(interp, view, portArg) : std::nullopt;
  if (!port) return;
  if (!Report(interp, view, ProbeHub(StationOf(interp), interp.host(), *port))) return;
  std::function<HubOutcome()> action = [&interp, view, p = *port] {
    return HubOff(interp, view, p, "Relay Power Off", colour::kWhite);
  };
  if (*delay != 0) return StartDelayed(interp, view, *delay, "Wait %d Sec for Relay PowerOff...", std::move(action));
  Report(interp, view, action());
}

// RelayPowerOn( Port:0 );
void RelayPowerOn(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"Port"});
  const int64_t portArg = in.I64(0);
  if (!in.ok()) return;
  const std::optional<uint32_t> port = Port(interp, view, portArg);
  if (!port) return;
  PowerStation& station = StationOf(interp);
  if (!Report(interp, view, CheckHub(station, *port))) return;
  Line(interp, view, "Relay PowerON", colour::kOlive);
  Report(interp, view, SwitchHub(station, interp.host(), *port, true));
}

// PowerStatus = IsRelayPowerOn( Port:0 );
void IsRelayPowerOn(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"Port"});
  const int64_t portArg = in.I64(0);
  if (!in.ok()) return;
  std::optional<uint32_t> port = Port(interp, view, portArg);
  if (!port) return;
  const HubOutcome r = QueryHub(StationOf(interp), interp.host(), *port == 0 ? 1 : *port);
  if (!Report(interp, view, r)) return;
  Store(interp, view, name, r.status);
}

// Bool = IsRelayExisted( Relay:"USB_Relay" ); the parameter is not read.
void IsRelayExisted(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  platform::RelayLibrary* relays = StationOf(interp).relays();
  std::string why;
  const bool any = relays && relays->Available(why) && !relays->Serials().empty();
  Store(interp, view, name, any ? 1 : 0);
}

// SetPowerHub(COMPort:"COM3");
void SetPowerHub(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"COMPort"});
  const std::string port = in.Text("");
  if (!in.ok()) return;
  if (!base::StartsWithNoCase(port, "COM"))
    return interp.ReportCompletion(view, code::kBadParameter, "(COMPort must begin with COM)");
  StationOf(interp).set_portName(port);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"SSDPowerOff", engine::kNvmeOnly, SsdPowerOff},
    {"SSDPowerOn", engine::kNvmeOnly, SsdPowerOn},
    {"SSDPowerReLink", engine::kNvmeOnly, SsdPowerReLink},
    {"RelayPowerOff", engine::kAnyDisk, RelayPowerOff},
    {"RelayPowerOn", engine::kAnyDisk, RelayPowerOn},
    {"IsRelayPowerOn", engine::kAnyDisk, IsRelayPowerOn},
    {"IsRelayExisted", engine::kAnyDisk, IsRelayExisted},
    {"SetPowerHub", engine::kAnyDisk, SetPowerHub},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterPowerHubCommands(engine::Interpreter& interp) {
  // A delayed action's failure is posted to the run thread, which reports it after the statement
  // that was running when it came, and at the latest when the run ends.
  StationOf(interp);
  return interp.Register({kHandlers});
}

}  // namespace kestrune::devcmd
