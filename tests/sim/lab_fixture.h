// A lab in a temporary folder with a fake host, for the simulated-lab tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_lab.h"
#include "support/fake_host.h"

namespace kestrune::sim {

struct LabUnderTest {
  testing::TempDir dir;
  testing::FakeHost host;
  std::unique_ptr<SimLab> lab;

  explicit LabUnderTest(LabDescription description = DefaultLab()) {
    std::string error;
    lab = SimLab::Create(std::move(description), dir.path(), host, error);
    EXPECT_TRUE(lab) << error;
  }
  std::unique_ptr<platform::Device> Open(const std::string& path) {
    return lab->Open(path, platform::OpenAccess::kReadWrite);
  }
};

// A small drive for tests: 8 MiB unless said otherwise.
inline DriveDescription SmallDrive(std::string name, Attachment a, uint32_t number, uint32_t sectorSize = 512,
                                   uint64_t capacity = uint64_t{8} << 20) {
  DriveDescription d;
  d.name = std::move(name);
  d.attachment = a;
  d.deviceNumber = number;
  d.scsiPort = number;
  d.model = "SIM MODEL " + std::to_string(number);
  d.serial = "SN" + std::to_string(number);
  d.firmware = "FW" + std::to_string(number);
  d.sectorSize = sectorSize;
  d.capacityBytes = capacity;
  d.removable = a == Attachment::kUsbFlash;
  d.trimSupported = a != Attachment::kUsbFlash;
  if (IsUsbAttachment(a)) d.usbPorts = {number + 1};
  d.inquiry = DefaultInquiry(a, d.model, d.firmware);
  return d;
}

inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

}  // namespace kestrune::sim
