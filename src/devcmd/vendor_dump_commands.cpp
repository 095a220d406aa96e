// VSC_Cdump (also GetLogPage_Cdump): the maker drive's crash dump into a file, by ReadBlock 8 when
// the drive has a dump header there, else through log page 07h between the "cdumpstart" and
// "cdumpend" marks; optionally scrambled like a stored script.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/nvme_command_groups.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/vendor_layouts.h"
#include "disk/dump_file.h"
#include "disk/nvme_operations.h"
#include "engine/arguments.h"
#include "engine/detail_line.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/script_text.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
constexpr auto& Line = engine::DetailLine;
constexpr uint8_t kDumpLogPage = 0x07;
constexpr std::string_view kStartMark = "cdumpstart", kEndMark = "cdumpend";

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The dump file being written: created anew with its first bytes, then appended to.
class DumpFile {
 public:
  DumpFile(engine::Interpreter& interp, std::string path) : interp_(interp), path_(std::move(path)) {}
  ~DumpFile() { Close(); }
  bool Start(std::span<const uint8_t> first) {
    platform::RemoveFile(path_);
    if (!disk::AppendToFile(interp_.host(), path_, first)) return false;
    file_ = platform::OpenAppendFile(path_);
    return file_ != nullptr;
  }
  bool Append(std::span<const uint8_t> bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
  }
  bool Close() {
    if (file_ == nullptr) return true;
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }
  const std::string& path() const { return path_; }

 private:
  engine::Interpreter& interp_;
  std::string path_;
  std::FILE* file_ = nullptr;
};

// Reads pieces with next until length bytes are appended, showing every whole MiB. False when it
// stopped: a failed read or write (reported) or the view's cancel flag.
template <typename Next>
bool Collect(engine::Interpreter& interp, uint32_t view, DumpFile& file, uint64_t done, uint64_t length, Next next) {
  std::vector<uint8_t> piece(kVendorBlock);
  while (done < length) {
    if (interp.view(view).cancel.load()) return false;
    if (const int32_t rc = next(piece); rc != disk::kNvmeDone) {
      interp.ReportCompletion(view, rc, "Cdump read");
      return false;
    }
    if (!file.Append(piece)) {
      interp.ReportCompletion(view, code::kOutputFileFailed, file.path());
      return false;
    }
    const uint64_t before = done;
    done += piece.size();
    ShowDumpProgress(interp, view, before, done);
  }
  return true;
}

// The dump by ReadBlock 8, first block given.
bool DumpByBlocks(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, DumpFile& file,
                  std::span<const uint8_t> first) {
  const DriveSize length = CrashDumpLength(first);
  if (length.code != 1) {
    interp.ReportCompletion(view, length.code, "Cdump header");
    return false;
  }
  if (!file.Start(first)) {
    interp.ReportCompletion(view, code::kOutputFileFailed, file.path());
    return false;
  }
  const VendorArgs args = ArgsFor(interp, *target.disk, kBlockCrashDump);
  return Collect(interp, view, file, first.size(), length.bytes, [&](std::span<uint8_t> piece) {
    return SendVendorQuiet(target, VendorOp::kReadBlock, args, piece);
  });
}

// The dump through log page 07h.
bool DumpByLogPage(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, DumpFile& file) {
  std::vector<uint8_t> page(kVendorBlock);
  auto read = [&](std::span<uint8_t> into) {
    return disk::GetLogPage(*target.tree, *target.disk, kDumpLogPage, 0, false, into);
  };
  if (const int32_t rc = read(page); rc != disk::kNvmeDone) {
    interp.ReportCompletion(view, rc, "Cdump log page");
    return false;
  }
  const int32_t length = static_cast<int32_t>(base::GetLe32(&page[kLogDumpLengthAt]));
  if (length <= 0) {
    Line(interp, view, "No Data Found", engine::colour::kWhite);
    return false;
  }
  if (!file.Start(Bytes(kStartMark))) {
    interp.ReportCompletion(view, code::kOutputFileFailed, file.path());
    return false;
  }
  if (!Collect(interp, view, file, 0, static_cast<uint64_t>(length), read)) return false;
  if (!file.Append(Bytes(kEndMark))) {
    interp.ReportCompletion(view, code::kOutputFileFailed, file.path());
    return false;
  }
  return true;
}

bool ScrambleFile(const std::string& path) {
  std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
  if (!bytes) return false;
  engine::ScrambleInPlace(*bytes);
  return platform::WriteWholeFile(path, *bytes);
}

// VSC_Cdump( SaveFile:"", Encode:FALSE ): the file's path is the result.
void Cdump(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"SaveFile", "Encode"});
  std::string file = in.Text("");
  const bool encode = in.Bool(false);
  if (!in.ok()) return;
  NvmeTarget target = MakerTarget(interp, view);
  if (!target) return;
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Save("cdp", "cdp"))) return;
  DumpFile out(interp, engine::OutputFilePath(interp, view, file));

  std::vector<uint8_t> first(kVendorBlock);
  const int32_t rc = SendVendor(interp, view, target, VendorOp::kReadBlock,
                                ArgsFor(interp, *target.disk, kBlockCrashDump), first);
  const bool done = rc == disk::kNvmeDone && HasDumpHeader(first) ? DumpByBlocks(interp, view, target, out, first)
                                                                   : DumpByLogPage(interp, view, target, out);
  if (!out.Close() && done) return interp.ReportCompletion(view, code::kOutputFileFailed, out.path());
  if (!done) return;
  if (encode && !ScrambleFile(out.path())) return interp.ReportCompletion(view, code::kOutputFileFailed, out.path());
  Line(interp, view, base::Format("Cdump File    : %s", out.path().c_str()), engine::colour::kCyan);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Text(out.path()));
}

constexpr engine::HandlerRow kHandlers[] = {
    {"VSC_Cdump", engine::kNvmeOnly, Cdump},
};

}  // namespace

std::span<const engine::HandlerRow> VendorDumpHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
