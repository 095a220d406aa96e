// Commands that fetch values out of the latest command's output: Result, ResultColumn and ResultHex.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/covert_type.h"
#include "engine/expression.h"
#include "engine/interpreter.h"
#include "engine/keyword_lookup.h"
#include "engine/literals.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::ContainsNoCase;
using base::EqualsNoCase;
using base::Format;
using base::GetLe16;
using base::GetLe32;
using base::GetLe64;
using base::Trim;

namespace {

void Result(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"KeyWord", "ShowResult", "CovertType", "Default"});
  std::string keyword = in.Text("");
  bool show = in.Bool(true);
  std::string covertType = in.Text("Auto");
  std::string fallback = in.Text("");
  if (!in.ok()) return;

  for (char& c : keyword)
    if (c == '"') c = ' ';
  keyword = std::string(Trim(keyword));
  ViewOutput* out = interp.output(view);
  std::optional<KeywordHit> hit = LookupKeyword(out, keyword);
  if (!hit) {
    interp.writer().WriteLine(out, "No KeyWord [" + keyword + "], Return DefaultStr", kDetail, 10,
                              colour::kRed);
    hit = KeywordHit{keyword, fallback};
  }
  Value value = ConvertByType(hit->value, covertType);
  StoreValue(vars, errors, name, value);
  if (show)
    interp.writer().WriteLine(out, Format("%-42s = %s", hit->keyword.c_str(), DisplayText(value).c_str()),
                              kDetail, 10, colour::kGrey);
}

// The n-th column of a "|"-separated value: column 0 is the text before the first "|", column n the
// text after the n-th "|" up to the next one. nullopt when the value has fewer than n "|".
std::optional<std::string_view> ColumnOf(std::string_view value, int64_t n) {
  if (n < 0) return std::nullopt;
  for (int64_t i = 0; i < n; ++i) {
    size_t bar = value.find('|');
    if (bar == std::string_view::npos) return std::nullopt;
    value.remove_prefix(bar + 1);
  }
  return value.substr(0, value.find('|'));
}

void ResultColumn(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"KeyWord", "Colume", "ShowResult", "CovertType"});
  std::string keyword = in.Text("");
  int64_t column = in.I64(0);
  bool show = in.Bool(true);
  std::string covertType = in.Text("Auto");
  if (!in.ok()) return;

  ViewOutput* out = interp.output(view);
  std::optional<KeywordHit> hit = LookupKeyword(out, keyword);
  // A failure leaves an empty text as the result, so that a skipped error is counted once and no
  // value of an earlier call is taken for this one.
  if (!hit) {
    StoreValue(vars, errors, name, Value::Text(""));
    interp.ReportCompletion(view, code::kKeyWordNotFound, keyword);
    return;
  }
  std::optional<std::string_view> text = ColumnOf(hit->value, column);
  if (!text) {
    StoreValue(vars, errors, name, Value::Text(""));
    interp.ReportCompletion(view, code::kColumnNotFound,
                            Format("ColumeId: %lld", static_cast<long long>(column)));
    return;
  }
  Value value = ConvertByType(Trim(*text), covertType);
  StoreValue(vars, errors, name, value);
  if (show)
    interp.writer().WriteLine(out,
                              Format("%s[%lld] = %s", hit->keyword.c_str(), static_cast<long long>(column),
                                     DisplayText(value).c_str()),
                              kDetail, 10, colour::kGrey);
}

// ResultHex forms, tested in this order against HexParse.
enum class HexForm { kFixedHex, kNumX, kNum, kHex, kHexDump, kStr, kHexAscii, kRawBinary };

struct HexRequest {
  int64_t byteStart = 0;
  int64_t len = 0;
  std::string parse;
  bool show = false;
  std::string saveFile;
};

// ResultHex takes its pairs by name, in any order; other names are ignored. False when a value does
// not convert (its failure has been reported by the reader where it reports at all).
bool ReadHexRequest(const VarList& vars, ErrorSink& errors, std::string_view args, HexRequest& r) {
  while (auto pair = NextPair(args)) {
    const std::string& n = pair->name;
    bool isNumber = EqualsNoCase(n, "ByteStart") || EqualsNoCase(n, "Len");
    bool isText = EqualsNoCase(n, "HexParse") || EqualsNoCase(n, "ReturnType") || EqualsNoCase(n, "SaveFile");
    bool isBool = EqualsNoCase(n, "ShowResult");
    if ((!isNumber && !isText && !isBool) || pair->value.empty()) continue;
    Value v = ReadValue(vars, errors, pair->value);
    if (isBool) {
      r.show = ToBoolean(v);
    } else if (isNumber) {
      std::optional<int64_t> number = ToInt64(v);
      if (!number) return false;
      (EqualsNoCase(n, "Len") ? r.len : r.byteStart) = *number;
    } else {
      std::optional<std::string> text = ToText(v);
      if (!text) return false;
      (EqualsNoCase(n, "SaveFile") ? r.saveFile : r.parse) = *text;
    }
  }
  return true;
}

bool IsNumberWidth(int64_t len) { return len == 1 || len == 2 || len == 4 || len == 8; }

// The form HexParse names; for the fixed-width names len is set to their width. nullopt (with
// error set to the -26 detail) when the form or its Len is not supported.
std::optional<HexForm> ChooseForm(std::string_view parse, int64_t& len, std::string& error) {
  static constexpr std::pair<std::string_view, int64_t> kFixed[] = {
      {"BYTE", 1}, {"WORD", 2}, {"DWORD", 4}, {"ULONGLONG", 8}};
  for (const auto& [word, width] : kFixed) {
    if (EqualsNoCase(parse, word)) {
      len = width;
      return HexForm::kFixedHex;
    }
  }
  if (EqualsNoCase(parse, "NumX")) {
    if (IsNumberWidth(len)) return HexForm::kNumX;
    error = "NumX only support Len 1,2,4,8";
    return std::nullopt;
  }
  if (ContainsNoCase(parse, "Num")) {
    if (IsNumberWidth(len)) return HexForm::kNum;
    error = "Num only support Len 1,2,4,8";
    return std::nullopt;
  }
  if (EqualsNoCase(parse, "Hex")) return HexForm::kHex;
  if (EqualsNoCase(parse, "HexDump")) return HexForm::kHexDump;
  if (ContainsNoCase(parse, "Str")) return HexForm::kStr;
  if (EqualsNoCase(parse, "HexASCII")) return HexForm::kHexAscii;
  if (EqualsNoCase(parse, "RawBinary")) return HexForm::kRawBinary;
  error = "ReturnType Error";
  return std::nullopt;
}

uint64_t LittleEndian(const std::vector<uint8_t>& b) {
  switch (b.size()) {
    case 1:
      return b[0];
    case 2:
      return GetLe16(b.data());
    case 4:
      return GetLe32(b.data());
    default:
      return GetLe64(b.data());
  }
}

std::string HexOfWidth(uint64_t v, size_t width) {
  if (width == 8)
    return Format("0x%08X%08X", static_cast<unsigned>(v >> 32), static_cast<unsigned>(v & 0xFFFFFFFFu));
  return Format("0x%0*X", static_cast<int>(width * 2), static_cast<unsigned>(v));
}

char Printable(uint8_t b) { return b >= 32 && b <= 126 ? static_cast<char>(b) : '.'; }

// The value of the non-file forms for bytes.
Value FormatBytes(HexForm form, const std::vector<uint8_t>& bytes) {
  std::string text;
  switch (form) {
    case HexForm::kFixedHex:
    case HexForm::kNumX:
      return Value::Hex(static_cast<int64_t>(LittleEndian(bytes)));
    case HexForm::kNum:
      return Value::Number(static_cast<int64_t>(LittleEndian(bytes)));
    case HexForm::kHex:
      for (uint8_t b : bytes) text += Format("%02X", b);
      break;
    case HexForm::kHexDump:
      for (uint8_t b : bytes) text += Format("%02X ", b);
      break;
    case HexForm::kStr:
      for (uint8_t b : bytes) {
        if (b == 0) break;
        text += Printable(b);
      }
      break;
    case HexForm::kHexAscii:
    case HexForm::kRawBinary:
      for (uint8_t b : bytes) text += Printable(b);
      break;
  }
  return Value::Text(text);
}

// The text a ResultHex value is shown as: numbers keep the width of their form, and an unsigned
// 64-bit decimal is shown unsigned.
std::string ShownText(HexForm form, const Value& value, size_t width) {
  if (form == HexForm::kFixedHex || form == HexForm::kNumX)
    return HexOfWidth(static_cast<uint64_t>(value.number), width);
  if (form == HexForm::kNum)
    return Format("%llu", static_cast<unsigned long long>(static_cast<uint64_t>(value.number)));
  return value.text;
}

std::optional<std::vector<uint8_t>> ReadRange(const std::string& path, uint64_t offset, uint64_t len) {
  std::ifstream in(platform::FsPath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> bytes(len);
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(len));
  if (static_cast<uint64_t>(in.gcount()) != len) return std::nullopt;
  return bytes;
}

void ResultHex(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ViewOutput* out = interp.output(view);
  OutputWriter::CloseResultFile(out);
  HexRequest r;
  if (!ReadHexRequest(v.vars, errors, args, r)) return;
  auto fail = [&](int32_t code, std::string_view detail) {
    StoreValue(v.vars, errors, name, Value::Text(""));
    interp.ReportCompletion(view, code, detail);
  };

  std::string error;
  std::optional<HexForm> form = ChooseForm(r.parse, r.len, error);
  if (!form) return fail(code::kVariableTypeError, error);
  if (r.byteStart < 0 || r.len < 0)
    return fail(code::kBadParameter, "ByteStart and Len must not be negative");
  if (*form != HexForm::kRawBinary) r.len = std::min<int64_t>(r.len, 256);

  std::optional<KeywordHit> hit = LookupKeyword(out, "FINDHEX");
  std::error_code ec;
  uint64_t size = hit ? std::filesystem::file_size(platform::FsPath(hit->value), ec) : 0;
  if (!hit || ec || size == 0) return fail(code::kFileOpenFailed, "");
  uint64_t start = static_cast<uint64_t>(r.byteStart);
  uint64_t len = static_cast<uint64_t>(r.len);
  // RawBinary without a length, or with one beyond the file, takes the file from ByteStart to its end.
  if (*form == HexForm::kRawBinary && (len == 0 || len >= size) && start <= size) len = size - start;
  if (start > size || len > size - start) return fail(code::kFileOpenFailed, "");
  std::optional<std::vector<uint8_t>> bytes = ReadRange(hit->value, start, len);
  if (!bytes) return fail(code::kFileOpenFailed, "");

  Value value;
  std::string shown;
  if (*form == HexForm::kRawBinary) {
    std::string target = r.saveFile.empty() ? OutputBaseName(interp, view) + ".raw" : r.saveFile;
    if (!r.saveFile.empty() && !platform::FsPath(target).is_absolute())
      target = platform::JoinPath(v.logFolder, target);
    if (!platform::WriteWholeFile(target, *bytes)) return fail(code::kOutputFileFailed, target);
    value = Value::Text(target);
    shown = target;
  } else {
    value = FormatBytes(*form, *bytes);
    shown = ShownText(*form, value, bytes->size());
  }
  if (r.show)
    interp.writer().WriteLine(
        out, Format("%-16.*s : %s", static_cast<int>(name.size()), name.data(), shown.c_str()), kDetail, 10,
        colour::kGrey);
  StoreValue(v.vars, errors, name, value);
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"Result", kAnyDisk, Result},
    {"ResultColumn", kAnyDisk, ResultColumn},
    {"ResultHex", kAnyDisk, ResultHex},
};

}  // namespace

std::vector<HandlerRow> RegisterResultCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
