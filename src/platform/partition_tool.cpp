#include "platform/partition_tool.h"

#include <climits>

namespace kestrune::platform {
namespace {

constexpr size_t kLabelCharsLimit = 63;

// How many partitions a create makes (the reserved partition of a GPT layout not counted).
size_t PartitionsMade(const PartitionRequest& r) { return r.sizeMB == 0 ? 1 : 2; }

std::string LabelPart(const PartitionRequest& r, size_t i) {
  if (i >= r.labels.size() || r.labels[i].empty()) return "";
  return "label=\"" + r.labels[i] + "\"";
}

}  // namespace

size_t MaxLabelChars(PartitionFileSystem fs) {
  switch (fs) {
    case PartitionFileSystem::kNtfs:
      return 32;
    case PartitionFileSystem::kExfat:
      return 11;
    case PartitionFileSystem::kExt4:
      return 16;
  }
  return 0;
}

std::optional<std::vector<std::string>> SplitLabels(std::string_view text) {
  std::vector<std::string> labels;
  const size_t bar = text.find('|');
  if (bar == std::string_view::npos) {
    labels.emplace_back(text);
    return labels;
  }
  const std::string_view second = text.substr(bar + 1);
  if (second.find('|') != std::string_view::npos) return std::nullopt;
  labels.emplace_back(text.substr(0, bar));
  labels.emplace_back(second);
  return labels;
}

bool LabelAllowed(std::string_view label, PartitionFileSystem fs) {
  if (label.size() > kLabelCharsLimit || label.size() > MaxLabelChars(fs)) return false;
  for (char c : label) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || c == '"') return false;
  }
  return true;
}

int32_t CheckPartitionRequest(const PartitionRequest& r, const PartitionTool& tool) {
  constexpr int32_t kRefused = -2;
  if (r.operation != PartitionOperation::kCreateMbr && r.operation != PartitionOperation::kCreateGpt &&
      r.operation != PartitionOperation::kClean)
    return kRefused;
  if (r.operation == PartitionOperation::kClean) return 0;
  if (r.sizeMB < 0 || r.sizeMB > INT32_MAX || r.labels.size() > 2) return kRefused;
  if (!tool.Supports(r.fileSystem)) return kRefused;
  size_t named = 0;
  for (size_t i = 0; i < r.labels.size(); ++i) {
    if (!LabelAllowed(r.labels[i], r.fileSystem)) return kRefused;
    if (!r.labels[i].empty()) named = i + 1;
  }
  if (named > PartitionsMade(r)) return kRefused;
  // The script is the request in words: what does not fit one is refused everywhere alike.
  if (r.fileSystem != PartitionFileSystem::kExt4 && !DiskpartScript(r, r.diskNumber)) return kRefused;
  return 0;
}

std::string_view DiskpartFileSystem(PartitionFileSystem fs) {
  switch (fs) {
    case PartitionFileSystem::kNtfs:
      return "NTFS";
    case PartitionFileSystem::kExfat:
      return "EXFAT";
    case PartitionFileSystem::kExt4:
      return "";
  }
  return "";
}

std::optional<std::string> DiskpartScript(const PartitionRequest& r, uint32_t diskNumber) {
  const std::string disk = "SELECT DISK " + std::to_string(diskNumber) + " \r\n";
  std::string script;
  if (r.operation == PartitionOperation::kClean) {
    script = disk + "CLEAN \r\nEXIT";
  } else {
    if (r.operation != PartitionOperation::kCreateMbr && r.operation != PartitionOperation::kCreateGpt)
      return std::nullopt;
    const std::string fs(DiskpartFileSystem(r.fileSystem));
    if (fs.empty() || r.sizeMB < 0 || r.sizeMB > INT32_MAX) return std::nullopt;
    const bool gpt = r.operation == PartitionOperation::kCreateGpt;
    // A GPT conversion makes the reserved partition 1, so the data partitions are 2 and 3.
    const int first = gpt ? 2 : 1;
    auto format = [&](int partition, size_t label) {
      return "SELECT PARTITION " + std::to_string(partition) + " \r\nFORMAT FS=" + fs + " QUICK " +
             LabelPart(r, label) + "\r\nASSIGN \r\n";
    };
    script = disk + "CLEAN \r\nCONVERT " + (gpt ? "GPT" : "MBR") + " \r\n";
    if (r.sizeMB == 0) {
      script += " CREATE PARTITION PRIMARY \r\n" + format(first, 0);
    } else {
      script += "CREATE PARTITION PRIMARY SIZE=" + std::to_string(r.sizeMB) +
                "\r\nCREATE PARTITION PRIMARY \r\n" + format(first, 0) + format(first + 1, 1);
    }
    script += "EXIT";
  }
  if (script.size() > kMaxDiskpartScriptBytes) return std::nullopt;
  return script;
}

}  // namespace kestrune::platform
