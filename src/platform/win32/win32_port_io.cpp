// The I/O ports of a Windows machine through the IOrw kernel driver, installed for each request
// and removed again (the power-management registers are touched once, just before the machine
// switches off).
#include "platform/port_io.h"
#include "platform/power.h"
#include "platform/win32/iorw_driver.h"

namespace kestrune::platform {
namespace {

class Win32PortIo final : public PortIo {
 public:
  explicit Win32PortIo(std::string programFolder) : folder_(std::move(programFolder)) {}

  std::optional<uint16_t> Read16(uint16_t port, std::string& why) override {
    iorw::Record r = iorw::PortRead16(port);
    if (!Send(r, why)) return std::nullopt;
    return iorw::PortValue16(r);
  }

  bool Write16(uint16_t port, uint16_t value, std::string& why) override {
    iorw::Record r = iorw::PortWrite16(port, value);
    return Send(r, why);
  }

  bool Simulated() const override { return false; }

 private:
  // The driver's failures carry the words a script's log shows for them.
  bool Send(iorw::Record& r, std::string& why) {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
    std::unique_ptr<IorwDriver> driver = IorwDriver::OpenNamingFailure(folder_, why);
    return driver && driver->Exchange(r, why);
  }

  std::string folder_;
};

}  // namespace

std::unique_ptr<PortIo> MakeSystemPortIo(const std::string& programFolder) {
  return std::make_unique<Win32PortIo>(programFolder);
}

}  // namespace kestrune::platform
