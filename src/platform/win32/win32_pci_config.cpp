// The PCI configuration access of Windows: the IOrw kernel driver (platform/win32/iorw_driver.h),
// installed when a session opens and removed when it ends; one session at a time in the process.
#include <windows.h>

#include <algorithm>

#include "platform/iorw_request.h"
#include "platform/pci_config.h"
#include "platform/power.h"
#include "platform/win32/iorw_driver.h"

namespace kestrune::platform {
namespace {

class Win32PciSession final : public PciConfigSession {
 public:
  Win32PciSession(std::unique_ptr<IorwDriver> driver, const PciFunction& fn) : driver_(std::move(driver)), fn_(fn) {}

  std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> buffer, PciAccessFailure& failure,
                               std::string& why) override {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (offset >= kPciHeaderBytes) return 0;  // the driver reaches the 256-byte header only
    const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(buffer.size()), kPciHeaderBytes - offset);
    iorw::Record r = iorw::PciConfigRead(fn_.bus, fn_.device, fn_.function, offset, n);
    if (!Exchange(r, failure, why)) return std::nullopt;
    std::copy_n(r.data().begin(), n, buffer.begin());
    return n;
  }

  bool Write(uint32_t offset, std::span<const uint8_t> data, PciAccessFailure& failure,
             std::string& why) override {
    const size_t n = data.size();
    if ((n != 1 && n != 2 && n != 4) || offset % n != 0 || offset + n > kPciHeaderBytes) {
      failure = PciAccessFailure::kFailed;
      why = "a configuration write is 1, 2 or 4 aligned bytes in the header";
      return false;
    }
    if (RealPowerActionsRefused()) {
      failure = PciAccessFailure::kRefused;
      why = "configuration writes are off here (KESTRUNE_NO_POWER or CI)";
      return false;
    }
    iorw::Record r = iorw::PciConfigWrite(fn_.bus, fn_.device, fn_.function, offset, data);
    return Exchange(r, failure, why);
  }

 private:
  bool Exchange(iorw::Record& r, PciAccessFailure& failure, std::string& why) {
    if (driver_->Exchange(r, why)) return true;
    failure = PciAccessFailure::kFailed;
    return false;
  }

  std::unique_ptr<IorwDriver> driver_;
  PciFunction fn_;
};

class Win32PciConfig final : public PciConfig {
 public:
  explicit Win32PciConfig(std::string programFolder) : folder_(std::move(programFolder)) {}

  std::unique_ptr<PciConfigSession> Open(const PciFunction& fn, PciAccessFailure& failure,
                                         std::string& why) override {
    if (fn.bus > 255 || fn.device > 31 || fn.function > 7) {
      failure = PciAccessFailure::kNoFunction;
      why = "not a PCI address";
      return nullptr;
    }
    std::unique_ptr<IorwDriver> driver = IorwDriver::Open(folder_, failure, why);
    if (!driver) return nullptr;
    return std::make_unique<Win32PciSession>(std::move(driver), fn);
  }

  bool Simulated() const override { return false; }

 private:
  std::string folder_;
};

}  // namespace

std::unique_ptr<PciConfig> MakeSystemPciConfig(const std::string& programFolder) {
  return std::make_unique<Win32PciConfig>(programFolder);
}

}  // namespace kestrune::platform
