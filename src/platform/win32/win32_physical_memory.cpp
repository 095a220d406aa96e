// Physical memory of a Windows machine through the IOrw kernel driver: one request per 4096
// bytes, addresses below 4 GiB (the request's address is 32 bits wide).
#include <algorithm>

#include "base/text.h"
#include "platform/physical_memory.h"
#include "platform/win32/iorw_driver.h"

namespace kestrune::platform {
namespace {

class Win32PhysicalMemory final : public PhysicalMemory {
 public:
  explicit Win32PhysicalMemory(std::string programFolder) : folder_(std::move(programFolder)) {}

  bool Read(uint64_t address, uint32_t length, std::vector<uint8_t>& bytes, std::string& why) override {
    bytes.clear();
    if (address + length > 0x100000000ull) {
      why = base::Format("physical address 0x%llX lies above what the driver reaches",
                         static_cast<unsigned long long>(address));
      return false;
    }
    std::unique_ptr<IorwDriver> driver = IorwDriver::OpenNamingFailure(folder_, why);
    if (!driver) return false;
    bytes.reserve(length);
    for (uint32_t done = 0; done < length;) {
      const uint32_t piece = std::min(length - done, iorw::kDataBytes);
      iorw::Record r = iorw::PhysicalRead(static_cast<uint32_t>(address + done), piece);
      if (!driver->Exchange(r, why)) {
        bytes.clear();
        return false;
      }
      bytes.insert(bytes.end(), r.data().begin(), r.data().begin() + piece);
      done += piece;
    }
    return true;
  }

 private:
  std::string folder_;
};

}  // namespace

std::unique_ptr<PhysicalMemory> MakeSystemPhysicalMemory(const std::string& programFolder) {
  return std::make_unique<Win32PhysicalMemory>(programFolder);
}

}  // namespace kestrune::platform
