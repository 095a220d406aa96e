#include "scripted_device.h"

namespace kestrune::disk::testing {
namespace {

// A handle on the tree's device: forwards everything to it.
class Handle final : public platform::Device {
 public:
  explicit Handle(ScriptedDevice& d) : d_(d) {}
  std::optional<uint64_t> Read(uint64_t o, std::span<uint8_t> b) override { return d_.Read(o, b); }
  std::optional<uint64_t> Write(uint64_t o, std::span<const uint8_t> b, bool f) override { return d_.Write(o, b, f); }
  bool Flush() override { return d_.Flush(); }
  bool Trim(uint64_t o, uint64_t l) override { return d_.Trim(o, l); }
  std::optional<uint64_t> LengthBytes() override { return d_.LengthBytes(); }
  std::optional<uint32_t> SectorSize() override { return d_.SectorSize(); }
  std::optional<bool> WriteCacheEnabled() override { return d_.WriteCacheEnabled(); }
  std::optional<bool> TrimSupported() override { return d_.TrimSupported(); }
  platform::PassStatus Scsi(std::span<const uint8_t> cdb, platform::DataDirection dir, std::span<uint8_t> data,
                            uint32_t t, platform::ScsiResult& r) override {
    return d_.Scsi(cdb, dir, data, t, r);
  }
  platform::PassStatus Ata(platform::AtaRegisters& regs, platform::DataDirection dir, std::span<uint8_t> data,
                           uint32_t t) override {
    return d_.Ata(regs, dir, data, t);
  }
  platform::PassStatus Nvme(platform::NvmeRoute route, platform::NvmeQueue q, std::span<const uint8_t, 64> e,
                            platform::DataDirection dir, std::span<uint8_t> data, uint32_t t,
                            platform::NvmeCompletion& c) override {
    return d_.Nvme(route, q, e, dir, data, t, c);
  }
  platform::PassStatus Control(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out, uint32_t& ret,
                               uint32_t& err) override {
    return d_.Control(code, in, out, ret, err);
  }

 private:
  ScriptedDevice& d_;
};

}  // namespace

std::unique_ptr<platform::Device> ScriptedTree::Open(const std::string& path, platform::OpenAccess) {
  opened.push_back(path);
  if (failing.count(path) != 0) return nullptr;
  return std::make_unique<Handle>(device);
}

}  // namespace kestrune::disk::testing
