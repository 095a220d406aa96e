#include "workloads/map_progress_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/bytes.h"
#include "base/crc.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::workloads {
namespace {

constexpr char kMagic[8] = {'K', 'S', 'M', 'A', 'P', 'P', 'R', 'G'};
constexpr uint32_t kVersion = 2;
constexpr size_t kCrcAtV1 = 40, kSerialAt = 40, kDiskBytesAt = 60, kCrcAt = 68;
constexpr uint64_t kSaveEveryMs = 1000;
constexpr uint64_t kMaxStep = uint64_t{1} << 24;
static_assert(kProgressRecordBytes == kCrcAt + 4 && kProgressRecordV1Bytes == kCrcAtV1 + 4 &&
                  kDiskBytesAt == kSerialAt + kProgressSerialChars,
              "progress record layout");

}  // namespace

MapIdentity IdentityOf(std::span<const uint8_t> mapFile) { return {mapFile.size(), base::Crc32(mapFile)}; }

std::vector<uint8_t> EncodeProgress(const ProgressRecord& r) {
  std::vector<uint8_t> out(kProgressRecordBytes);
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  base::PutLe32(out.data() + 8, kVersion);
  base::PutLe64(out.data() + 12, r.map.bytes);
  base::PutLe32(out.data() + 20, r.map.crc);
  base::PutLe64(out.data() + 24, r.durable);
  base::PutLe64(out.data() + 32, r.horizon);
  std::memcpy(out.data() + kSerialAt, r.disk.serial.data(), std::min(r.disk.serial.size(), kProgressSerialChars));
  base::PutLe64(out.data() + kDiskBytesAt, r.disk.bytes);
  base::PutLe32(out.data() + kCrcAt, base::Crc32(std::span(out).first(kCrcAt)));
  return out;
}

std::optional<ProgressRecord> DecodeProgress(std::span<const uint8_t> b) {
  if (b.size() < kProgressRecordV1Bytes || std::memcmp(b.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
  const uint32_t version = base::GetLe32(b.data() + 8);
  const size_t crcAt = version == 1 ? kCrcAtV1 : kCrcAt;
  if ((version != 1 && version != kVersion) || b.size() != crcAt + 4 ||
      base::GetLe32(b.data() + crcAt) != base::Crc32(b.first(crcAt)))
    return std::nullopt;
  ProgressRecord r;
  if (version == kVersion) {
    const char* serial = reinterpret_cast<const char*>(b.data() + kSerialAt);
    r.disk.serial.assign(serial, strnlen(serial, kProgressSerialChars));
    r.disk.bytes = base::GetLe64(b.data() + kDiskBytesAt);
  }
  r.map = {base::GetLe64(b.data() + 12), base::GetLe32(b.data() + 20)};
  r.durable = base::GetLe64(b.data() + 24);
  r.horizon = base::GetLe64(b.data() + 32);
  if (r.durable > r.horizon) return std::nullopt;
  return r;
}

std::string ProgressFileNameFor(const ProgressDisk& disk) {
  std::string name = disk.serial.substr(0, kProgressSerialChars);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
  return "LBAMap_" + (name.empty() ? std::string("disk") : name) + ".progress";
}

std::optional<ProgressRecord> FindProgressRecord(std::initializer_list<std::string> folders,
                                                 const MapIdentity& identity, const ProgressDisk& disk) {
  const ProgressDisk unnamed;
  for (const std::string& folder : folders) {
    for (const std::string& name : {std::string(kProgressFileName), ProgressFileNameFor(disk)}) {
      const std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(platform::JoinPath(folder, name));
      if (!bytes) continue;
      const std::optional<ProgressRecord> record = DecodeProgress(*bytes);
      if (record && record->map == identity && (record->disk == disk || record->disk == unnamed)) return record;
    }
  }
  return std::nullopt;
}

ProgressJournal::ProgressJournal(MapIdentity map, ProgressDisk disk, uint64_t entries, Save save)
    : entries_(entries), save_(std::move(save)) {
  record_.map = map;
  record_.disk = std::move(disk);
  if (record_.disk.serial.size() > kProgressSerialChars) record_.disk.serial.resize(kProgressSerialChars);
}

bool ProgressJournal::BeforeIssue(uint64_t index, uint64_t durable, uint64_t nowMs) {
  if (index < record_.horizon) return true;
  if (savedAtMs_ && nowMs - *savedAtMs_ < kSaveEveryMs) step_ = std::min(step_ * 2, kMaxStep);
  const ProgressRecord before = record_;
  record_.horizon = std::min(entries_, index + step_);
  record_.durable = std::min(durable, record_.horizon);
  if (Write(nowMs)) return true;
  record_ = before;  // not on disk: the next issue must try again
  return false;
}

void ProgressJournal::Tick(uint64_t durable, uint64_t nowMs) {
  if (durable == record_.durable || (savedAtMs_ && nowMs - *savedAtMs_ < kSaveEveryMs)) return;
  record_.durable = std::min(durable, record_.horizon);
  Write(nowMs);
}

bool ProgressJournal::Finish(uint64_t durable, uint64_t issued) {
  record_.horizon = std::min(record_.horizon, issued);
  record_.durable = std::min(durable, record_.horizon);
  return Write(savedAtMs_.value_or(0));
}

bool ProgressJournal::Write(uint64_t nowMs) {
  savedAtMs_ = nowMs;
  return save_(EncodeProgress(record_));
}

}  // namespace kestrune::workloads
