#include "engine/run_save.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "base/crc.h"
#include "base/text.h"
#include "base/unicode.h"
#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {
namespace {

using base::Format;

constexpr const char* kMagic = "KestruneRunSave";

// Field sizes of the state files, in UTF-16 units (a terminator included).
constexpr size_t kNameUnits = 64;
constexpr size_t kTextUnits = 1024;
constexpr size_t kPathUnits = 260;

// Byte offsets in a variable record.
constexpr size_t kVarName = 0, kVarType = 128, kVarValue = 136, kVarText = 144;
static_assert(kVarText + kTextUnits * 2 == kVarRecordSize);
// Byte offsets in a block record (two pointer-sized words first, meaningless after a restart).
constexpr size_t kBlockLevel = 16, kBlockAction = 20, kBlockOffset = 24;
static_assert(kBlockOffset + 8 == kBlockRecordSize);
// Byte offsets in the view record: six paths, then the run's numbers.
constexpr size_t kInfoScript = 0, kInfoLogFolder = 520, kInfoBaseLogFolder = 1040, kInfoScriptFolder = 1560,
                 kInfoLogData = 2080, kInfoUpload = 2600, kInfoStatement = 3120, kInfoResume = 3124,
                 kInfoLoopLevel = 3128, kInfoBreakLevel = 3132, kInfoRebootCount = 3136, kInfoSaveId = 3140,
                 kInfoLineCounter = 3144;
static_assert(kInfoUpload + kPathUnits * 2 == kInfoStatement && kInfoLineCounter + 8 <= kScriptInfoSize);

// Puts text as UTF-16 into a field of units units with its terminator; false when it does not fit.
bool PutUtf16(std::string& bytes, size_t offset, std::string_view text, size_t units) {
  const std::string wide = base::Utf16Le(text);
  if (wide.size() / 2 >= units) return false;
  std::memcpy(bytes.data() + offset, wide.data(), wide.size());
  return true;
}

std::string GetUtf16(const std::string& bytes, size_t offset, size_t units) {
  size_t n = 0;
  while (n < units && (bytes[offset + 2 * n] != 0 || bytes[offset + 2 * n + 1] != 0)) ++n;
  return base::FromUtf16Le(std::string_view(bytes).substr(offset, 2 * n));
}

uint8_t* At(std::string& bytes, size_t offset) { return reinterpret_cast<uint8_t*>(bytes.data() + offset); }
const uint8_t* At(const std::string& bytes, size_t offset) {
  return reinterpret_cast<const uint8_t*>(bytes.data() + offset);
}

uint32_t CrcOf(std::string_view bytes) { return base::Crc32(base::TextBytes(bytes)); }

std::string BlockList(const std::vector<BlockNode>& nodes) {
  std::string bytes(nodes.size() * kBlockRecordSize, '\0');
  for (size_t i = 0; i < nodes.size(); ++i) {
    base::PutLe32(At(bytes, i * kBlockRecordSize + kBlockLevel), static_cast<uint32_t>(nodes[i].level));
    base::PutLe32(At(bytes, i * kBlockRecordSize + kBlockAction), static_cast<uint32_t>(nodes[i].action));
    base::PutLe32(At(bytes, i * kBlockRecordSize + kBlockOffset), nodes[i].savedOffset);
  }
  return bytes;
}

std::optional<std::vector<BlockNode>> ParseBlockList(const std::string& bytes) {
  if (bytes.size() % kBlockRecordSize != 0) return std::nullopt;
  std::vector<BlockNode> nodes;
  for (size_t at = 0; at < bytes.size(); at += kBlockRecordSize) {
    const uint32_t action = base::GetLe32(At(bytes, at + kBlockAction));
    if (action > static_cast<uint32_t>(BlockAction::kLoopSkip)) return std::nullopt;
    nodes.push_back({static_cast<int32_t>(base::GetLe32(At(bytes, at + kBlockLevel))), static_cast<BlockAction>(action),
                     base::GetLe32(At(bytes, at + kBlockOffset))});
  }
  return nodes;
}

std::optional<std::string> VarListBytes(const VarList& vars, std::string& why) {
  std::string bytes(vars.Size() * kVarRecordSize, '\0');
  size_t at = 0;
  for (const Variable& var : vars.Items()) {
    if (!PutUtf16(bytes, at + kVarName, var.name, kNameUnits)) {
      why = "the variable name " + var.name + " is too long to save";
      return std::nullopt;
    }
    base::PutLe32(At(bytes, at + kVarType), static_cast<uint32_t>(var.value.type));
    if (var.value.IsText()) {
      if (!PutUtf16(bytes, at + kVarText, var.value.text, kTextUnits)) {
        why = "the text of " + var.name + " is too long to save";
        return std::nullopt;
      }
    } else {
      base::PutLe64(At(bytes, at + kVarValue), static_cast<uint64_t>(var.value.number));
    }
    at += kVarRecordSize;
  }
  return bytes;
}

std::optional<std::vector<Variable>> ParseVarList(const std::string& bytes) {
  if (bytes.size() % kVarRecordSize != 0) return std::nullopt;
  std::vector<Variable> vars;
  for (size_t at = 0; at < bytes.size(); at += kVarRecordSize) {
    Variable var;
    var.name = GetUtf16(bytes, at + kVarName, kNameUnits);
    const uint32_t type = base::GetLe32(At(bytes, at + kVarType));
    if (var.name.empty() || type > static_cast<uint32_t>(ValueType::kHex)) return std::nullopt;
    var.value.type = static_cast<ValueType>(type);
    if (var.value.IsText())
      var.value.text = GetUtf16(bytes, at + kVarText, kTextUnits);
    else
      var.value.number = static_cast<int64_t>(base::GetLe64(At(bytes, at + kVarValue)));
    vars.push_back(std::move(var));
  }
  return vars;
}

std::optional<std::string> ViewRecordBytes(const View& v, const ResumeRecord& r, std::string& why) {
  std::string bytes(kScriptInfoSize, '\0');
  const std::pair<size_t, const std::string*> paths[] = {
      {kInfoScript, &r.scriptPath},         {kInfoLogFolder, &r.logFolder}, {kInfoBaseLogFolder, &r.baseLogFolder},
      {kInfoScriptFolder, &r.scriptFolder}, {kInfoLogData, &r.logDataPath}, {kInfoUpload, &r.uploadFolder}};
  for (const auto& [offset, path] : paths) {
    if (!PutUtf16(bytes, offset, *path, kPathUnits)) {
      why = "the path " + *path + " is too long to save";
      return std::nullopt;
    }
  }
  base::PutLe32(At(bytes, kInfoStatement), v.statementOffset);
  base::PutLe32(At(bytes, kInfoResume), r.resumeOffset);
  base::PutLe32(At(bytes, kInfoLoopLevel), static_cast<uint32_t>(r.loopLevel));
  base::PutLe32(At(bytes, kInfoBreakLevel), static_cast<uint32_t>(r.breakLevel));
  base::PutLe32(At(bytes, kInfoRebootCount), r.rebootCount);
  base::PutLe32(At(bytes, kInfoSaveId), r.saveId);
  base::PutLe64(At(bytes, kInfoLineCounter), r.lineCounter);
  return bytes;
}

// ---- The resume record's text: "Key=value" lines; "\" escapes itself, line ends and CR. ----

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char n = s[++i];
    out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
  }
  return out;
}

template <class T>
bool ParseNumber(const std::string& text, T& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return false;
  out = static_cast<T>(n);
  return static_cast<long long>(out) == n;
}

}  // namespace

std::string RunSavePath(const std::string& folder, uint32_t saveId, const std::string& part) {
  return platform::JoinPath(folder, Format("ScreenAPId%u_%s", saveId, part.c_str()));
}

const std::vector<std::string>& RunSaveStateParts() {
  static const std::vector<std::string> parts = {"VarList.sct", "MainList.sct", "SubList.sct", "LoopList.sct",
                                                 "ScriptInfo.sct"};
  return parts;
}

std::optional<SaveImage> BuildRunSave(const View& v, ResumeRecord& record, std::string& why) {
  SaveImage image;
  std::optional<std::string> vars = VarListBytes(v.vars, why);
  if (!vars) return std::nullopt;
  std::vector<BlockNode> loops;
  for (int32_t level : v.loopList) loops.push_back({level, BlockAction::kMain, 0});
  std::optional<std::string> info = ViewRecordBytes(v, record, why);
  if (!info) return std::nullopt;
  image.files = {{"VarList.sct", *vars},
                 {"MainList.sct", BlockList(v.mainList)},
                 {"SubList.sct", BlockList(v.subList)},
                 {"LoopList.sct", BlockList(loops)},
                 {"ScriptInfo.sct", *info}};
  record.files.clear();
  for (const auto& [part, bytes] : image.files) record.files.push_back({part, bytes.size(), CrcOf(bytes)});
  image.files.push_back({kResumePart, ResumeRecordText(record)});
  return image;
}

bool WriteRunSave(const std::string& folder, uint32_t saveId, const SaveImage& image, std::string& why) {
  for (const auto& [part, bytes] : image.files) {
    const std::string path = RunSavePath(folder, saveId, part);
    if (!platform::SaveFileAtomically(path, bytes, true)) {
      why = "cannot write " + path;
      return false;
    }
  }
  return true;
}

std::string ResumeRecordText(const ResumeRecord& r) {
  std::string body;
  auto put = [&body](const char* key, const std::string& value) { body += std::string(key) + "=" + Escape(value) + "\n"; };
  auto num = [&put](const char* key, long long n) { put(key, std::to_string(n)); };
  num("SaveId", r.saveId);
  num("RebootCount", r.rebootCount);
  put("Script", r.scriptPath);
  num("ScriptCrc", r.scriptCrc);
  num("ScriptSize", static_cast<long long>(r.scriptSize));
  num("ResumeOffset", r.resumeOffset);
  num("LoopLevel", r.loopLevel);
  num("BreakLevel", r.breakLevel);
  put("ScriptFolder", r.scriptFolder);
  put("LogFolder", r.logFolder);
  put("BaseLogFolder", r.baseLogFolder);
  put("LogData", r.logDataPath);
  put("Upload", r.uploadFolder);
  put("OutputMirror", r.outputMirror);
  num("LineCounter", static_cast<long long>(r.lineCounter));
  num("ElapsedMs", static_cast<long long>(r.elapsedMs));
  put("Disk", r.diskIdentity);
  put("Serial", r.diskSerial);
  put("HubPort", r.hubPort);
  num("LastCode", r.lastCode);
  put("LastDescription", r.lastDescription);
  for (const ResumeRecord::FileCheck& f : r.files) put("File", Format("%s %llu %u", f.part.c_str(), static_cast<unsigned long long>(f.length), f.crc));
  return Format("%s %u\nCRC=%u\n", kMagic, r.version, CrcOf(body)) + body;
}

std::optional<ResumeRecord> ParseResumeRecord(const std::string& text, std::string& why) {
  const std::string magic = std::string(kMagic) + " ";
  const size_t first = text.find('\n');
  unsigned version = 0;
  if (text.compare(0, magic.size(), magic) != 0) {
    why = "not a run save";
    return std::nullopt;
  }
  const size_t second = first == std::string::npos ? std::string::npos : text.find('\n', first + 1);
  if (second == std::string::npos || !ParseNumber(text.substr(magic.size(), first - magic.size()), version)) {
    why = "the save is damaged (cut short)";
    return std::nullopt;
  }
  if (version > kRunSaveVersion) {
    why = Format("the save was written by a newer version of the program (format %u)", version);
    return std::nullopt;
  }
  const std::string crcLine = text.substr(first + 1, second - first - 1);
  const std::string body = text.substr(second + 1);
  uint32_t crc = 0;
  if (crcLine.rfind("CRC=", 0) != 0 || !ParseNumber(crcLine.substr(4), crc) || crc != CrcOf(body)) {
    why = "the save is damaged (its CRC does not match)";
    return std::nullopt;
  }
  ResumeRecord r;
  r.version = version;
  bool ok = true;
  size_t at = 0;
  while (at < body.size()) {
    size_t end = body.find('\n', at);
    if (end == std::string::npos) end = body.size();
    const std::string line = body.substr(at, end - at);
    at = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      ok = false;
      continue;
    }
    const std::string key = line.substr(0, eq), value = Unescape(line.substr(eq + 1));
    if (key == "SaveId") ok &= ParseNumber(value, r.saveId);
    else if (key == "RebootCount") ok &= ParseNumber(value, r.rebootCount);
    else if (key == "Script") r.scriptPath = value;
    else if (key == "ScriptCrc") ok &= ParseNumber(value, r.scriptCrc);
    else if (key == "ScriptSize") ok &= ParseNumber(value, r.scriptSize);
    else if (key == "ResumeOffset") ok &= ParseNumber(value, r.resumeOffset);
    else if (key == "LoopLevel") ok &= ParseNumber(value, r.loopLevel);
    else if (key == "BreakLevel") ok &= ParseNumber(value, r.breakLevel);
    else if (key == "ScriptFolder") r.scriptFolder = value;
    else if (key == "LogFolder") r.logFolder = value;
    else if (key == "BaseLogFolder") r.baseLogFolder = value;
    else if (key == "LogData") r.logDataPath = value;
    else if (key == "Upload") r.uploadFolder = value;
    else if (key == "OutputMirror") r.outputMirror = value;
    else if (key == "LineCounter") ok &= ParseNumber(value, r.lineCounter);
    else if (key == "ElapsedMs") ok &= ParseNumber(value, r.elapsedMs);
    else if (key == "Disk") r.diskIdentity = value;
    else if (key == "Serial") r.diskSerial = value;
    else if (key == "HubPort") r.hubPort = value;
    else if (key == "LastCode") ok &= ParseNumber(value, r.lastCode);
    else if (key == "LastDescription") r.lastDescription = value;
    else if (key == "File") {
      ResumeRecord::FileCheck f;
      char part[64] = {};
      unsigned long long length = 0;
      unsigned fileCrc = 0;
      ok &= std::sscanf(value.c_str(), "%63s %llu %u", part, &length, &fileCrc) == 3;
      f.part = part;
      f.length = length;
      f.crc = fileCrc;
      r.files.push_back(f);
    }
  }
  if (!ok || r.scriptPath.empty() || r.files.size() != RunSaveStateParts().size()) {
    why = "the save is damaged (a field is missing or unreadable)";
    return std::nullopt;
  }
  return r;
}

std::optional<LoadedSave> LoadRunSave(const std::string& folder, uint32_t saveId, std::string& why) {
  const std::string resumePath = RunSavePath(folder, saveId, kResumePart);
  std::optional<std::vector<uint8_t>> resume = platform::ReadWholeFile(resumePath);
  if (!resume) {
    why = "no save at " + resumePath;
    return std::nullopt;
  }
  LoadedSave out;
  std::optional<ResumeRecord> record = ParseResumeRecord(std::string(resume->begin(), resume->end()), why);
  if (!record) return std::nullopt;
  if (record->saveId != saveId) {
    why = Format("the save belongs to another run (id %u)", record->saveId);
    return std::nullopt;
  }
  out.record = std::move(*record);
  std::vector<std::string> bytes;
  for (size_t i = 0; i < RunSaveStateParts().size(); ++i) {
    const std::string& part = RunSaveStateParts()[i];
    const ResumeRecord::FileCheck& check = out.record.files[i];
    const std::string path = RunSavePath(folder, saveId, part);
    std::optional<std::vector<uint8_t>> file = platform::ReadWholeFile(path);
    std::string b = file ? std::string(file->begin(), file->end()) : std::string();
    if (!file || check.part != part || b.size() != check.length || CrcOf(b) != check.crc) {
      why = "the save file " + path + (file ? " does not match its resume record" : " is missing");
      return std::nullopt;
    }
    bytes.push_back(std::move(b));
  }
  std::optional<std::vector<Variable>> vars = ParseVarList(bytes[0]);
  std::optional<std::vector<BlockNode>> mainList = ParseBlockList(bytes[1]);
  std::optional<std::vector<BlockNode>> subList = ParseBlockList(bytes[2]);
  std::optional<std::vector<BlockNode>> loops = ParseBlockList(bytes[3]);
  if (!vars || !mainList || !subList || !loops || bytes[4].size() != kScriptInfoSize) {
    why = "the save's state files are damaged";
    return std::nullopt;
  }
  out.state.vars = std::move(*vars);
  out.state.mainList = std::move(*mainList);
  out.state.subList = std::move(*subList);
  for (const BlockNode& n : *loops) out.state.loopList.push_back(n.level);
  return out;
}

void RemoveRunSave(const std::string& folder, uint32_t saveId) {
  for (const std::string& part : RunSaveStateParts()) platform::RemoveFile(RunSavePath(folder, saveId, part));
  platform::RemoveFile(RunSavePath(folder, saveId, kResumePart));
}

}  // namespace kestrune::engine
