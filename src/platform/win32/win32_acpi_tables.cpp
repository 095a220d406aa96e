// The ACPI tables of a Windows machine through the firmware table interface: provider 'ACPI', the
// table named by its signature with the characters in little-endian order ("FACP" is 'PCAF').
#include <windows.h>

#include "platform/acpi_tables.h"
#include "platform/win32/last_error.h"

namespace kestrune::platform {
namespace {

constexpr DWORD kAcpiProvider = 'A' << 24 | 'C' << 16 | 'P' << 8 | 'I';

class Win32AcpiTables final : public AcpiTables {
 public:
  bool Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) override {
    bytes.clear();
    if (signature.size() != 4) {
      why = "an ACPI signature has four characters";
      return false;
    }
    DWORD id = 0;
    for (int i = 3; i >= 0; --i) id = id << 8 | static_cast<uint8_t>(signature[i]);
    // The first call gives the size; the table may be replaced between the calls, so a second
    // answer larger than the buffer is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
      const UINT size = GetSystemFirmwareTable(kAcpiProvider, id, bytes.empty() ? nullptr : bytes.data(),
                                               static_cast<DWORD>(bytes.size()));
      if (size == 0) {
        why = "the " + std::string(signature) + " table: " + LastErrorText();
        bytes.clear();
        return false;
      }
      if (size <= bytes.size()) {
        bytes.resize(size);
        return true;
      }
      bytes.assign(size, 0);
    }
    why = "the " + std::string(signature) + " table kept changing its size";
    bytes.clear();
    return false;
  }
};

}  // namespace

std::unique_ptr<AcpiTables> MakeSystemAcpiTables() { return std::make_unique<Win32AcpiTables>(); }

}  // namespace kestrune::platform
