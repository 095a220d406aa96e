// NVMe: a raw admin command in which the script sets every command dword, with its data read into a
// dump file, sent from a file or from zeros, or no data at all.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/nvme_command_support.h"
#include "disk/dump_file.h"
#include "disk/nvme_operations.h"
#include "disk/sector_buffer.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;

// The largest transfer a raw command takes: more than any driver path moves in one command
// (JMicron's 24-bit length is the largest), and small enough that a mistyped length cannot exhaust
// the test PC's memory or fill its disk with one dump.
constexpr uint32_t kMaxRawBytes = 16u << 20;
constexpr size_t kMaxResultHexItems = 10;
constexpr size_t kMaxResultHexItemChars = 31;

enum class Direction { kIn, kOut, kNone };

struct Mode {
  Direction direction = Direction::kNone;
  bool show = true;  // IN and OUT announce their file; the _NOSHOW forms do not
};

std::optional<Mode> ModeOf(std::string_view io) {
  if (EqualsNoCase(io, "IN") || EqualsNoCase(io, "READ")) return Mode{Direction::kIn, true};
  if (EqualsNoCase(io, "IN_NOSHOW")) return Mode{Direction::kIn, false};
  if (EqualsNoCase(io, "OUT") || EqualsNoCase(io, "WRITE")) return Mode{Direction::kOut, true};
  if (EqualsNoCase(io, "OUT_NOSHOW")) return Mode{Direction::kOut, false};
  if (io.empty() || EqualsNoCase(io, "NODATA")) return Mode{Direction::kNone, false};
  return std::nullopt;
}

// The named parameters of the command record and the files.
struct Named {
  disk::NvmeCommand record;
  uint8_t opcode = 0;
  uint32_t nsid = 0;
  std::string ioFile;
  std::string resultHex;
};

// Index 0-15 of a "CDWn" name; nullopt for other names.
std::optional<size_t> DwordIndex(std::string_view name) {
  if (name.size() < 4 || name.size() > 5 || !base::StartsWithNoCase(name, "CDW")) return std::nullopt;
  size_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  return n < 16 ? std::optional<size_t>(n) : std::nullopt;
}

// Reads the named parameters; false when a value does not convert (it has been reported where the
// reader reports, and the command ends).
bool ReadNamed(const engine::VarList& vars, engine::ErrorSink& errors, std::string_view args, Named& out) {
  while (auto pair = engine::NextPair(args)) {
    const std::string& name = pair->name;
    const bool isFile = EqualsNoCase(name, "IOFile") || EqualsNoCase(name, "ResultHex");
    const std::optional<size_t> dword = DwordIndex(name);
    if (!isFile && !dword && !EqualsNoCase(name, "OpCode") && !EqualsNoCase(name, "NSID")) continue;
    if (pair->value.empty()) continue;
    engine::Value v = engine::ReadValue(vars, errors, pair->value);
    if (isFile) {
      std::optional<std::string> text = engine::ToText(v);
      if (!text) return false;
      (EqualsNoCase(name, "IOFile") ? out.ioFile : out.resultHex) = *text;
      continue;
    }
    std::optional<uint32_t> n = engine::ToUnsigned32(v);
    if (!n) return false;
    if (dword) {
      out.record.SetCdw(*dword, *n);
    } else if (EqualsNoCase(name, "NSID")) {
      out.nsid = *n;
    } else {
      out.opcode = static_cast<uint8_t>(*n);
    }
  }
  return true;
}

std::vector<std::string> Split(std::string_view text, char at) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(at, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Runs ResultHex for each "start:length:parse" item of the text, into ResultHex0, ResultHex1, ...
// by the item's position; items without exactly three fields are passed over.
void RunResultHexItems(engine::Interpreter& interp, uint32_t view, std::string_view items) {
  engine::CommandHandler resultHex = interp.HandlerFor("ResultHex", engine::CommandCategory::kGeneral, 0);
  if (resultHex == nullptr) return;
  std::vector<std::string> list = Split(items, '|');
  if (list.size() > kMaxResultHexItems) list.resize(kMaxResultHexItems);
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string item(engine::ClampChars(list[i], kMaxResultHexItemChars));
    const std::vector<std::string> fields = Split(item, ':');
    if (fields.size() != 3) continue;
    const std::string args =
        Format("ByteStart:%s, Len:%s, HexParse:\"%s\", ShowResult:TRUE",
               std::string(base::Trim(fields[0])).c_str(), std::string(base::Trim(fields[1])).c_str(),
               std::string(base::Trim(fields[2])).c_str());
    resultHex(interp, view, args, Format("ResultHex%zu", i));
  }
}

// NVMe( IO:"IN", DataLenByte:4096, OpCode:0xFE, NSID:0, CDW2:..., CDW10:..., IOFile:"", ResultHex:"" );
void Nvme(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args,
                       {"IO",    "DataLenByte", "OpCode", "NSID",  "CDW0",   "CDW1",     "CDW2",  "CDW3",
                        "CDW4",  "CDW5",        "CDW6",   "CDW7",  "CDW8",   "CDW9",     "CDW10", "CDW11",
                        "CDW12", "CDW13",       "CDW14",  "CDW15", "IOFile", "ResultHex"});
  const std::string io = in.Text("IN");
  uint32_t length = in.U32(4096);
  if (!in.ok()) return;
  Named named;
  if (!ReadNamed(v.vars, errors, args, named)) return;

  const std::optional<Mode> mode = ModeOf(io);
  if (!mode) return interp.ReportCompletion(view, code::kBadParameter, "IO Parameter Error ");
  if (mode->direction == Direction::kNone) length = 0;
  if (length > kMaxRawBytes)
    return interp.ReportCompletion(view, code::kBadParameter,
                                   Format("DataLenByte must not exceed %u", kMaxRawBytes));
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");

  disk::SectorBuffer buffer(length);
  if (!buffer.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  const bool resultHexGiven = !named.resultHex.empty();
  std::string outFile;  // OUT: the file the data came from, announced after the command

  if (mode->direction == Direction::kOut && !named.ioFile.empty()) {
    std::optional<std::string> found = engine::LookupFile(named.ioFile, interp.Folders(view));
    if (!found) return interp.ReportCompletion(view, code::kFileOpenFailed, named.ioFile);
    interp.writer().WriteLine(interp.output(view), "IOFile   : " + *found, engine::kDetail, 10,
                              engine::colour::kCyan);
    std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(*found);
    if (!bytes) return interp.ReportCompletion(view, code::kFileOpenFailed, *found);
    std::copy_n(bytes->begin(), std::min<size_t>(bytes->size(), length), buffer.data());
    outFile = *found;
  }

  const disk::NvmeDirection direction = mode->direction == Direction::kIn    ? disk::NvmeDirection::kIn
                                        : mode->direction == Direction::kOut ? disk::NvmeDirection::kOut
                                                                             : disk::NvmeDirection::kNone;
  uint32_t dw0 = 0;
  const int32_t rc = disk::RawAdmin(*target.tree, *target.disk, direction, named.opcode, named.nsid,
                                    named.record, buffer.bytes(), &dw0);
  if (rc < 0) return interp.ReportCompletion(view, rc, "");

  if (mode->direction == Direction::kIn) {
    // A name without a drive or root goes to the program's own folder.
    const std::string path = named.ioFile.empty() ? disk::DefaultDumpPath(interp, view)
                             : engine::IsFullPath(named.ioFile)
                                 ? named.ioFile
                                 : platform::JoinPath(interp.settings().programFolder, named.ioFile);
    if (!disk::AppendToFile(interp.host(), path, buffer.bytes()))
      return interp.ReportCompletion(view, code::kOutputFileFailed, path);
    if (mode->show)
      interp.writer().WriteDataFile(interp.output(view), disk::kReadDumpColour, path, !resultHexGiven);
    if (resultHexGiven) RunResultHexItems(interp, view, named.resultHex);
  } else if (mode->direction == Direction::kOut && mode->show) {
    if (outFile.empty()) {
      outFile = disk::DefaultDumpPath(interp, view);
      if (!disk::SaveDump(interp, view, outFile, buffer.bytes(), engine::colour::kOrange, !resultHexGiven))
        return;
    } else {
      interp.writer().WriteDataFile(interp.output(view), engine::colour::kOrange, outFile, !resultHexGiven);
    }
  }
  interp.writer().WriteFormatted(interp.output(view), engine::kDetail, 10, engine::colour::kWhite,
                                 "ResultValue : 0x%04X", dw0);
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"NVMe", engine::kNvmeOnly, Nvme},
};

}  // namespace

std::span<const engine::HandlerRow> RawNvmeHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
