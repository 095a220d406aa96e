// Text and number functions: StrCmp, StrStr, StrLen, StrSub, StrReplace, StrSetLen, StrSplit,
// StrToNumber, NumberToStr, BitValue and RandomValue. Texts are counted in characters (code
// points), not bytes.
#include <optional>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/error_sink.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/view.h"

namespace kestrune::engine {

namespace code = base::code;
using base::ContainsNoCase;
using base::EqualsNoCase;
using base::FindNoCase;
using base::Format;
using base::Trim;

namespace {

constexpr size_t kMaxSubChars = 255;  // longest StrSub result
constexpr int64_t kMaxSetLen = 128;
constexpr int64_t kDefaultSplitParts = 50;

// Byte offsets at which the characters of a UTF-8 text start, followed by the text's size, so that
// character k is the bytes [at[k], at[k + 1]).
std::vector<size_t> CharOffsets(std::string_view s) {
  std::vector<size_t> at;
  for (size_t i = 0; i < s.size(); ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) at.push_back(i);
  at.push_back(s.size());
  return at;
}

size_t CharCount(std::string_view s) { return CharOffsets(s).size() - 1; }

// Stores a text result under name. A text longer than a variable holds is refused with -2 rather
// than cut, so that a script never goes on with a silently shortened value.
void StoreText(Interpreter& interp, uint32_t view, std::string_view name, std::string_view text) {
  ReportingSink errors(interp, view);
  if (CharCount(text) > kMaxTextChars) {
    interp.ReportCompletion(view, code::kBadParameter, Format("Result Over %zu Characters", kMaxTextChars));
    return;
  }
  StoreValue(interp.view(view).vars, errors, name, Value::Text(text));
}

void StoreNumber(Interpreter& interp, uint32_t view, std::string_view name, Value value) {
  ReportingSink errors(interp, view);
  StoreValue(interp.view(view).vars, errors, name, std::move(value));
}

// Both parameters of StrCmp are named "String", so it binds purely by position.
void StrCmp(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {});
  std::string a = in.Text("");
  std::string b = in.Text("");
  if (!in.ok()) return;
  StoreNumber(interp, view, name, Value::Number(a == b ? 1 : 0));
}

void StrStr(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String", "SubStr"});
  std::string text = in.Text("");
  std::string sub = in.Text("");
  if (!in.ok()) return;
  StoreNumber(interp, view, name, Value::Number(ContainsNoCase(text, sub) ? 1 : 0));
}

void StrLen(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String"});
  std::string text = in.Text("");
  if (!in.ok()) return;
  StoreNumber(interp, view, name, Value::Number(static_cast<int64_t>(CharCount(text))));
}

// A character index of StrSub: negative counts from the end; the result is clamped to the text so
// that an index past either end selects up to that end.
size_t ClampIndex(int64_t index, size_t length) {
  const int64_t n = static_cast<int64_t>(length);
  if (index < 0) index = index < -n ? 0 : n + index;
  return static_cast<size_t>(index > n ? n : index);
}

void StrSub(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String", "StartId", "EndId"});
  std::string text = in.Text("");
  int64_t startId = in.I64(0);
  int64_t endId = in.I64(0);
  if (!in.ok()) return;
  std::vector<size_t> at = CharOffsets(text);
  const size_t length = at.size() - 1;
  size_t start = ClampIndex(startId, length);
  size_t end = endId == 0 ? length : ClampIndex(endId, length);
  std::string_view sub;
  if (start < end) sub = std::string_view(text).substr(at[start], at[end] - at[start]);
  StoreText(interp, view, name, ClampChars(sub, kMaxSubChars));
}

void StrReplace(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String", "OldStr", "NewStr"});
  std::string text = in.Text("");
  std::string oldStr = in.Text("");
  std::string newStr = in.Text("");
  if (!in.ok()) return;
  if (oldStr.empty()) {
    interp.ReportCompletion(view, code::kBadParameter, "OldStr is Empty");
    return;
  }
  std::string out;
  size_t from = 0;
  // Searching goes on after each match in the original text, so a NewStr that contains OldStr is
  // not replaced again.
  for (size_t hit; (hit = FindNoCase(text, oldStr, from)) != std::string::npos; from = hit + oldStr.size()) {
    out.append(text, from, hit - from);
    out += newStr;
  }
  out.append(text, from, std::string::npos);
  StoreText(interp, view, name, out);
}

void StrSetLen(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String", "RightAlign", "SetLen"});
  std::optional<Value> value = in.Any();
  bool rightAlign = in.Bool(true);
  int64_t setLen = in.I64(10);
  if (!in.ok() || (value && value->IsNone())) return;  // a missing variable was reported
  if (setLen < 1 || setLen > kMaxSetLen) {
    interp.ReportCompletion(view, code::kBadParameter, "SetLen Over Limit");
    return;
  }
  std::string text;
  if (value && value->IsNumeric())
    text = Format("%lld", static_cast<long long>(value->number));
  else if (value)
    text = value->text;
  const size_t length = CharCount(text);
  const size_t wanted = static_cast<size_t>(setLen);
  if (length < wanted) {
    std::string blanks(wanted - length, ' ');
    text = rightAlign ? blanks + text : text + blanks;
  }
  StoreText(interp, view, name, text);
}

// The parts of text between the separator sep (one whole character), at most maxParts of them;
// the rest of the text after the last part taken is dropped. An empty text has no parts.
std::vector<std::string_view> SplitAt(std::string_view text, std::string_view sep, int64_t maxParts) {
  std::vector<std::string_view> parts;
  if (text.empty()) return parts;
  size_t from = 0;
  while (static_cast<int64_t>(parts.size()) < maxParts) {
    size_t hit = text.find(sep, from);
    parts.push_back(text.substr(from, hit == std::string_view::npos ? std::string_view::npos : hit - from));
    if (hit == std::string_view::npos) break;
    from = hit + sep.size();
  }
  return parts;
}

void StrSplit(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String", "Split", "MaxCount"});
  std::string text = in.Text("");
  std::string sep = in.Text("");
  int64_t maxParts = in.I64(kDefaultSplitParts);
  if (!in.ok()) return;
  const size_t sepChars = CharCount(sep);
  if (sepChars > 1) {
    interp.ReportCompletion(view, code::kBadParameter, "Split Length > 1");
    return;
  }
  if (sepChars == 0) {
    interp.ReportCompletion(view, code::kBadParameter, "Split is Empty");
    return;
  }
  std::string list;
  for (std::string_view part : SplitAt(text, sep, maxParts)) {
    // The list is split again at quotes and commas by the array assignment; a part holding a double
    // quote would come out as different items, so it is refused instead.
    if (part.find('"') != std::string_view::npos) {
      interp.ReportCompletion(view, code::kBadParameter, "Split Item Has a Double Quote");
      return;
    }
    if (!list.empty()) list += ",";
    list += "\"" + std::string(part) + "\"";
  }
  StoreText(interp, view, name, list);
}

void StrToNumber(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"String", "HexDec"});
  std::string text = in.Text("");
  std::string hexDec = in.Text("Auto");
  if (!in.ok()) return;
  std::optional<Value> literal = ParseNumberLiteral(Trim(text, true));
  int64_t number = literal ? literal->number : 0;
  ValueType type = literal ? literal->type : ValueType::kNumber;
  if (EqualsNoCase(hexDec, "Hex"))
    type = ValueType::kHex;
  else if (EqualsNoCase(hexDec, "Dec"))
    type = ValueType::kNumber;
  StoreNumber(interp, view, name, Value::OfType(number, type));
}

void NumberToStr(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Value", "HexDec"});
  const uint64_t value = static_cast<uint64_t>(in.I64(0));
  std::string hexDec = in.Text("DEC");
  if (!in.ok()) return;
  std::string text;
  if (EqualsNoCase(hexDec, "HEX")) {
    const auto high = static_cast<unsigned>(value >> 32), low = static_cast<unsigned>(value & 0xFFFFFFFFu);
    text = high != 0 ? Format("0x%08X%08X", high, low) : Format("0x%08X", low);
  } else if (EqualsNoCase(hexDec, "DEC")) {
    text = Format("%llu", static_cast<unsigned long long>(value));
  } else {
    interp.ReportCompletion(view, code::kBadParameter, "Format Error");
    return;
  }
  StoreText(interp, view, name, text);
}

void BitValue(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Value", "BitId"});
  uint32_t value = in.U32(0);
  uint32_t bit = in.U32(0);
  if (!in.ok()) return;
  StoreNumber(interp, view, name, Value::Number((value >> (bit % 32)) & 1u));
}

// A 64-bit draw from the host's cryptographic source: two instances started in the same second
// never share a sequence, and tests get a reproducible one from the fake host.
std::optional<uint64_t> Random64(platform::Host& host) {
  uint8_t bytes[8];
  if (!host.RandomBytes(bytes)) return std::nullopt;
  uint64_t v = 0;
  for (uint8_t b : bytes) v = (v << 8) | b;
  return v;
}

void RandomValue(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"RangeStart", "RangeEnd", "ShowResult", "ShowHex"});
  int64_t rangeStart = in.I64(0);
  int64_t rangeEnd = in.I64(0xFFFF);
  bool show = in.Bool(true);
  bool showHex = in.Bool(false);
  if (!in.ok()) return;
  if (rangeEnd <= rangeStart) {
    interp.ReportCompletion(view, code::kBadParameter, "(RangeEnd must > RangeStart)");
    return;
  }
  // Unsigned arithmetic: the span of the widest range does not fit a signed 64-bit number.
  const uint64_t span = static_cast<uint64_t>(rangeEnd) - static_cast<uint64_t>(rangeStart);
  std::optional<uint64_t> draw = Random64(interp.host());
  if (!draw) {
    interp.ReportCompletion(view, code::kError, "(the system's random source failed)");
    return;
  }
  const auto value = static_cast<int64_t>(static_cast<uint64_t>(rangeStart) + *draw % span);
  if (show)
    interp.writer().WriteFormatted(interp.output(view), kDetail, 10, colour::kYellow, "%.*s: %lld | 0x%08llX",
                                   static_cast<int>(name.size()), name.data(), static_cast<long long>(value),
                                   static_cast<unsigned long long>(value));
  StoreNumber(interp, view, name, Value::OfType(value, showHex ? ValueType::kHex : ValueType::kNumber));
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"StrCmp", kAnyDisk, StrCmp},
    {"StrStr", kAnyDisk, StrStr},
    {"StrLen", kAnyDisk, StrLen},
    {"StrSub", kAnyDisk, StrSub},
    {"StrReplace", kAnyDisk, StrReplace},
    {"StrSetLen", kAnyDisk, StrSetLen},
    {"StrSplit", kAnyDisk, StrSplit},
    {"StrToNumber", kAnyDisk, StrToNumber},
    {"NumberToStr", kAnyDisk, NumberToStr},
    {"BitValue", kAnyDisk, BitValue},
    {"RandomValue", kAnyDisk, RandomValue},
};

}  // namespace

std::vector<HandlerRow> RegisterTextCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
