// libFuzzer target: arbitrary bytes as a script run on the simulated lab's NVMe drive with the disk,
// sector and NVMe commands registered, so that fuzzing reaches argument readers, range checks,
// transports, decoders and the lab's command sets. The lab's sparse drive files and the work folder
// are in memory (/dev/shm). Build and run as executor_fuzz (target device_fuzz, corpus
// tests/fuzz/device_corpus).
#include "app/device_commands.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "fuzz_session.h"
#include "sim/sim_lab.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune;
  static const std::string folder = fuzz::MemoryFolder("kestrune_device_fuzz");
  static testing::FakeHost& host = fuzz::FuzzHost(folder);
  static std::unique_ptr<sim::SimLab> lab = [] {
    std::string error;
    return sim::SimLab::CreateFromFile("", folder + "/simlab", host, error);
  }();
  static engine::Interpreter* interp = [] {
    if (!lab) __builtin_trap();
    auto* i = new engine::Interpreter(host, fuzz::FuzzSettings(folder), nullptr);
    disk::DiskState& disks = disk::StateOf(*i);
    disks.tree = lab.get();
    if (!app::RegisterDeviceCommands(*i).empty()) __builtin_trap();
    fuzz::TakeOutOffLimits(*i);
    return i;
  }();
  // Every input starts on the NVMe drive, whatever the last one changed to.
  disk::DiskState& disks = disk::StateOf(*interp);
  const std::vector<disk::DiskEntry>& list = disk::RebuildDiskList(disks);
  if (list.empty()) __builtin_trap();
  disk::SetCurrentDisk(*interp, list.front());
  fuzz::RunInput(*interp, folder, data, size);
  return 0;
}
