// The queries about the current disk: IsRAWDisk, IsNVMEDisk, IsUSBPort, IsDiskExist, IsROMDrive,
// IsFWCfgDisk, GetSocID (also VSC_GetSocID), GetConfigType and GetSSDState. Each stores its answer
// in the variable named after the command and prints nothing.
#include <string_view>

#include "disk/config_type.h"
#include "disk/disk_commands.h"
#include "disk/disk_find.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/device.h"

namespace kestrune::disk {
namespace {

constexpr uint32_t kRomDisk = 0;

void Store(engine::Interpreter& interp, uint32_t view, std::string_view name, engine::Value value) {
  engine::ReportingSink errors(interp, view);
  engine::StoreValue(interp.view(view).vars, errors, name, std::move(value));
}

void StoreFlag(engine::Interpreter& interp, uint32_t view, std::string_view name, bool flag) {
  Store(interp, view, name, engine::Value::Number(flag ? 1 : 0));
}

// The current disk with its maker's identification run when it has none yet; nullptr without one.
DiskEntry* IdentifiedCurrent(engine::Interpreter& interp) {
  DiskState& state = StateOf(interp);
  if (!state.hasCurrent) return nullptr;
  SocIdOf(state.current, state.refreshIdentity);
  return &state.current;
}

// configType of the current disk; 9999 (unknown) without one.
uint32_t ConfigTypeOfCurrent(engine::Interpreter& interp) {
  DiskEntry* current = IdentifiedCurrent(interp);
  return current ? current->configType : 9999;
}

int64_t SsdState(uint32_t type) {
  if (type <= 3) return type;
  if (type >= 101 && type <= 103) return type - 100;
  return 255;
}

void IsRAWDisk(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  DiskState& state = StateOf(interp);
  StoreFlag(interp, view, name, state.hasCurrent && state.current.raw);
}

void IsNVMEDisk(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  DiskState& state = StateOf(interp);
  StoreFlag(interp, view, name, state.hasCurrent && IsNvmeKind(state.current.diskKind));
}

// On a USB port: the USB bus, or a kind that only USB bridges give.
void IsUSBPort(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  DiskState& state = StateOf(interp);
  const DiskEntry& e = state.current;
  StoreFlag(interp, view, name,
            state.hasCurrent && (e.busType == platform::bus::kUsb || IsUsbBridgeNvme(e.diskKind) ||
                                 e.diskKind == DiskKind::kFlashDrive));
}

// The device tree shows the current disk now (found by its identity, as after a power cycle).
void IsDiskExist(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  DiskState& state = StateOf(interp);
  bool exists = false;
  if (state.hasCurrent) {
    const DiskEntry wanted = state.current;
    exists = FindByIdentity(RebuildDiskList(state), wanted, wanted.systemDisk) >= 0;
  }
  StoreFlag(interp, view, name, exists);
}

void IsROMDrive(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  StoreFlag(interp, view, name, ConfigTypeOfCurrent(interp) == kRomDisk);
}

void IsFWCfgDisk(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  uint32_t type = ConfigTypeOfCurrent(interp);
  StoreFlag(interp, view, name, type >= 1 && type <= 3);
}

void GetSocID(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  DiskEntry* current = IdentifiedCurrent(interp);
  Store(interp, view, name, engine::Value::Hex(current ? current->socId : 0));
}

void GetConfigType(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  Store(interp, view, name, engine::Value::Text(ConfigTypeName(ConfigTypeOfCurrent(interp))));
}

void GetSSDState(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view name) {
  Store(interp, view, name, engine::Value::Number(SsdState(ConfigTypeOfCurrent(interp))));
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"IsRAWDisk", engine::kAnyDisk, IsRAWDisk},
    {"IsNVMEDisk", engine::kAnyDisk, IsNVMEDisk},
    {"IsUSBPort", engine::kAnyDisk, IsUSBPort},
    {"IsDiskExist", engine::kAnyDisk, IsDiskExist},
    {"IsROMDrive", engine::kAnyDisk, IsROMDrive},
    {"IsFWCfgDisk", engine::kAnyDisk, IsFWCfgDisk},
    {"GetSocID", engine::kAnyDisk, GetSocID},
    {"GetConfigType", engine::kAnyDisk, GetConfigType},
    {"GetSSDState", engine::kAnyDisk, GetSSDState},
};

}  // namespace

std::span<const engine::HandlerRow> DiskQueryHandlers() { return kHandlers; }

}  // namespace kestrune::disk
