// A device for transport tests: it records every pass-through request with its bytes and answers
// through functions the test sets (no function: the request is not supported). A tree opens it on
// every path except those marked as failing.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::disk::testing {

struct PassCall {
  enum Kind { kControl, kScsi, kNvme } kind = kControl;
  uint32_t code = 0;                        // control code
  std::vector<uint8_t> bytes;               // control input, CDB, or NVMe entry
  std::vector<uint8_t> data;                // data out as sent (SCSI, NVMe)
  size_t length = 0;                        // data buffer (SCSI, NVMe) or output (control) size
  platform::DataDirection direction = platform::DataDirection::kNone;
  platform::NvmeRoute route = platform::NvmeRoute::kInbox;
  platform::NvmeQueue queue = platform::NvmeQueue::kAdmin;
};

class ScriptedDevice final : public platform::Device {
 public:
  using ControlAnswer = std::function<platform::PassStatus(uint32_t code, std::span<uint8_t> output, uint32_t& error)>;
  using ScsiAnswer = std::function<platform::PassStatus(std::span<const uint8_t> cdb, std::span<uint8_t> data,
                                                        platform::ScsiResult& result)>;
  using NvmeAnswer = std::function<platform::PassStatus(std::span<const uint8_t, 64> entry, std::span<uint8_t> data,
                                                        platform::NvmeCompletion& completion)>;
  ControlAnswer control;
  ScsiAnswer scsi;
  NvmeAnswer nvme;
  std::vector<PassCall> calls;

  std::optional<uint64_t> Read(uint64_t, std::span<uint8_t>) override { return std::nullopt; }
  std::optional<uint64_t> Write(uint64_t, std::span<const uint8_t>, bool) override { return std::nullopt; }
  bool Flush() override { return false; }
  bool Trim(uint64_t, uint64_t) override { return false; }
  std::optional<uint64_t> LengthBytes() override { return std::nullopt; }
  std::optional<uint32_t> SectorSize() override { return std::nullopt; }
  std::optional<bool> WriteCacheEnabled() override { return std::nullopt; }
  std::optional<bool> TrimSupported() override { return std::nullopt; }
  platform::PassStatus Ata(platform::AtaRegisters&, platform::DataDirection, std::span<uint8_t>, uint32_t) override {
    return platform::PassStatus::kNotSupported;
  }

  platform::PassStatus Scsi(std::span<const uint8_t> cdb, platform::DataDirection direction, std::span<uint8_t> data,
                            uint32_t, platform::ScsiResult& result) override {
    PassCall c{PassCall::kScsi};
    c.bytes.assign(cdb.begin(), cdb.end());
    if (direction == platform::DataDirection::kOut) c.data.assign(data.begin(), data.end());
    c.length = data.size();
    c.direction = direction;
    calls.push_back(c);
    return scsi ? scsi(cdb, data, result) : platform::PassStatus::kNotSupported;
  }

  platform::PassStatus Nvme(platform::NvmeRoute route, platform::NvmeQueue queue, std::span<const uint8_t, 64> entry,
                            platform::DataDirection direction, std::span<uint8_t> data, uint32_t,
                            platform::NvmeCompletion& completion) override {
    PassCall c{PassCall::kNvme};
    c.bytes.assign(entry.begin(), entry.end());
    if (direction == platform::DataDirection::kOut) c.data.assign(data.begin(), data.end());
    c.length = data.size();
    c.direction = direction;
    c.route = route;
    c.queue = queue;
    calls.push_back(c);
    return nvme ? nvme(entry, data, completion) : platform::PassStatus::kNotSupported;
  }

  platform::PassStatus Control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                               uint32_t& returned, uint32_t& error) override {
    PassCall c{PassCall::kControl};
    c.code = code;
    c.bytes.assign(input.begin(), input.end());
    c.length = output.size();
    calls.push_back(c);
    returned = 0;
    error = 0;
    if (!control) return platform::PassStatus::kNotSupported;
    const platform::PassStatus s = control(code, output, error);
    if (s == platform::PassStatus::kOk) returned = static_cast<uint32_t>(output.size());
    return s;
  }

  size_t Count(PassCall::Kind kind) const {
    size_t n = 0;
    for (const PassCall& c : calls) n += c.kind == kind ? 1 : 0;
    return n;
  }
};

// Opens the one scripted device on every path but those in failing; records the paths opened.
class ScriptedTree final : public platform::DeviceTree {
 public:
  ScriptedDevice device;
  std::set<std::string> failing;
  std::vector<std::string> opened;

  platform::DeviceSnapshot Enumerate() override { return {}; }
  std::unique_ptr<platform::Device> Open(const std::string& path, platform::OpenAccess) override;
  bool Rescan() override { return true; }
  bool RemoveNode(const std::string&) override { return false; }
  bool SetNodeEnabled(const std::string&, bool) override { return false; }
};

}  // namespace kestrune::disk::testing
