// The ACPI tables of a Linux machine: the kernel's copies in /sys/firmware/acpi/tables, one file
// per table named by its signature (root only).
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/acpi_tables.h"

namespace kestrune::platform {
namespace {

class LinuxAcpiTables final : public AcpiTables {
 public:
  bool Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) override {
    bytes.clear();
    const std::string path = "/sys/firmware/acpi/tables/" + std::string(signature);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      why = path + ": " + std::strerror(errno);
      return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.empty()) {
      why = path + ": nothing could be read";
      bytes.clear();
      return false;
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<AcpiTables> MakeSystemAcpiTables() { return std::make_unique<LinuxAcpiTables>(); }

}  // namespace kestrune::platform
