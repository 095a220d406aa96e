// The I/O ports of a Linux machine: one 16-bit in or out instruction after ioperm (root,
// CAP_SYS_RAWIO; refused under kernel lockdown). Not /dev/port: it moves one byte per access, and
// a 16-bit register such as the PM1a control register may take its high byte written alone as
// the whole value (QEMU's does), so the sleep enable bit would never arrive.
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define KESTRUNE_HAS_PORTS 1
#endif

#include "platform/port_io.h"
#include "platform/power.h"

namespace kestrune::platform {
namespace {

class LinuxPortIo final : public PortIo {
 public:
  std::optional<uint16_t> Read16(uint16_t port, std::string& why) override {
    uint16_t value = 0;
    if (!Access(port, value, false, why)) return std::nullopt;
    return value;
  }

  bool Write16(uint16_t port, uint16_t value, std::string& why) override { return Access(port, value, true, why); }

  bool Simulated() const override { return false; }

 private:
  // The access is this thread's own: ioperm grants the two ports to the calling thread, which
  // gives them back afterwards.
  static bool Access(uint16_t port, uint16_t& value, bool write, std::string& why) {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
#ifdef KESTRUNE_HAS_PORTS
    if (::ioperm(port, 2, 1) != 0) {
      char text[32];
      std::snprintf(text, sizeof text, "ioperm port 0x%X: ", port);
      why = text + std::string(std::strerror(errno));
      return false;
    }
    if (write)
      ::outw(value, port);
    else
      value = ::inw(port);
    ::ioperm(port, 2, 0);
    return true;
#else
    (void)port;
    (void)value;
    (void)write;
    why = "this processor has no I/O ports";
    return false;
#endif
  }
};

}  // namespace

std::unique_ptr<PortIo> MakeSystemPortIo(const std::string&) { return std::make_unique<LinuxPortIo>(); }

}  // namespace kestrune::platform
