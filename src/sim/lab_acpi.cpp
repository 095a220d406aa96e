#include "sim/lab_acpi.h"

#include "base/bytes.h"
#include "base/text.h"
#include "sim/sim_lab.h"

namespace kestrune::sim {

std::vector<uint8_t> LabAcpiTable(const char* signature, uint8_t revision, std::span<const uint8_t> body) {
  std::vector<uint8_t> t(signature, signature + 4);
  base::AppendLe32(t, static_cast<uint32_t>(36 + body.size()));
  t.push_back(revision);
  t.push_back(0);  // checksum, set below
  for (const char c : std::string_view("KSTRNELABMACHI")) t.push_back(static_cast<uint8_t>(c));
  base::AppendLe32(t, 1);           // OEM revision
  base::AppendLe32(t, 0x4C41424B);  // creator id "KBAL"
  base::AppendLe32(t, 1);           // creator revision
  t.insert(t.end(), body.begin(), body.end());
  uint8_t sum = 0;
  for (const uint8_t b : t) sum = static_cast<uint8_t>(sum + b);
  t[9] = static_cast<uint8_t>(-sum);
  return t;
}

namespace {

constexpr uint16_t kSleepEnable = 0x2000;

std::vector<uint8_t> Fadt() {
  std::vector<uint8_t> body(244 - 36, 0);
  base::PutLe32(body.data() + 40 - 36, 0x7FFE0040);  // where the lab's DSDT would lie
  base::PutLe32(body.data() + 64 - 36, kLabPm1aControlPort);
  body[89 - 36] = 2;  // PM1_CNT_LEN
  return LabAcpiTable("FACP", 5, body);
}

// Scope (\) { Method (PTS, 0) { Store (_S5_, Local0) }  Name (_S5_, Package (4) { type, 0, 0, 0 }) }
std::vector<uint8_t> Dsdt() {
  const std::vector<uint8_t> method = {0x14, 0x0C, 'P', 'T', 'S', '_', 0x00, 0x70, '_', 'S', '5', '_', 0x60};
  const std::vector<uint8_t> s5 = {0x08, '_', 'S', '5', '_', 0x12, 0x07, 0x04, 0x0A, kLabS5SleepType, 0x00, 0x00, 0x00};
  std::vector<uint8_t> scope = {0x10, static_cast<uint8_t>(3 + method.size() + s5.size()), '\\', 0x00};
  scope.insert(scope.end(), method.begin(), method.end());
  scope.insert(scope.end(), s5.begin(), s5.end());
  return LabAcpiTable("DSDT", 2, scope);
}

}  // namespace

bool LabAcpiTables::Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) {
  if (signature == "FACP") {
    bytes = Fadt();
    return true;
  }
  if (signature == "DSDT") {
    bytes = Dsdt();
    return true;
  }
  bytes.clear();
  why = "the lab machine has no " + std::string(signature) + " table";
  return false;
}

std::optional<uint16_t> LabPortIo::Read16(uint16_t port, std::string& why) {
  if (port != kLabPm1aControlPort) {
    why = base::Format("the lab machine has no I/O port 0x%X", port);
    return std::nullopt;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return pm1aControl_;
}

bool LabPortIo::Write16(uint16_t port, uint16_t value, std::string& why) {
  if (port != kLabPm1aControlPort) {
    why = base::Format("the lab machine has no I/O port 0x%X", port);
    return false;
  }
  const uint8_t type = (value >> 10) & 7;
  if ((value & kSleepEnable) && type != kLabS5SleepType) {
    why = base::Format("the lab machine has no sleep state of type %u", type);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  pm1aControl_ = value & ~kSleepEnable;  // the enable bit reads back as zero
  if (value & kSleepEnable) {
    poweredOff_ = true;
    if (lab_) lab_->PowerCut();
  }
  return true;
}

uint16_t LabPortIo::pm1aControl() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pm1aControl_;
}

bool LabPortIo::poweredOff() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return poweredOff_;
}

}  // namespace kestrune::sim
