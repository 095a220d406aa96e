#include "sim/request_log.h"

#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::sim {

std::string FormatRecord(const RequestRecord& r) {
  using base::Format;
  std::string line = r.operation + " " + r.path;
  const bool sector =
      r.operation == "Read" || r.operation == "Write" || r.operation == "WriteFua" || r.operation == "Trim";
  if (sector) {
    line += Format(" @%llu +%llu", static_cast<unsigned long long>(r.offset),
                   static_cast<unsigned long long>(r.length));
  } else if (r.operation.rfind("Nvme", 0) == 0 && r.command.size() >= 64) {
    line += Format(" op %02X nsid %X cdw10 %08X +%llu", r.command[0], base::GetLe32(&r.command[4]),
                   base::GetLe32(&r.command[40]), static_cast<unsigned long long>(r.length));
  } else if (!r.command.empty()) {
    line += " ";
    for (size_t i = 0; i < r.command.size(); ++i) line += Format(i ? " %02X" : "%02X", r.command[i]);
    line += Format(" +%llu", static_cast<unsigned long long>(r.length));
  }
  if (r.control != 0) line += Format(" via %08X", r.control);
  return line + " -> " + r.result;
}

void RequestLog::Add(RequestRecord record) {
  std::lock_guard lock(mutex_);
  if (!enabled_) return;
  if (records_.size() >= kCapacity) {
    records_.pop_front();
    ++dropped_;
  }
  records_.push_back(std::move(record));
}

std::vector<RequestRecord> RequestLog::Records() const {
  std::lock_guard lock(mutex_);
  return {records_.begin(), records_.end()};
}

std::vector<std::string> RequestLog::Lines() const {
  std::vector<std::string> lines;
  for (const RequestRecord& r : Records()) lines.push_back(FormatRecord(r));
  return lines;
}

void RequestLog::Clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
  dropped_ = 0;
}

uint64_t RequestLog::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void RequestLog::set_enabled(bool on) {
  std::lock_guard lock(mutex_);
  enabled_ = on;
}

}  // namespace kestrune::sim
