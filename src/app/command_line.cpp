#include "app/command_line.h"

#include <algorithm>
#include <climits>

#include "base/text.h"

namespace kestrune::app {
namespace {

using base::ContainsNoCase;
using base::FindNoCase;
using base::StartsWithNoCase;
using base::ToUpperAscii;

void AssignCut(std::string& field, std::string_view value, size_t capacity) {
  field.assign(value.substr(0, std::min(value.size(), capacity)));
}

// Text after "KEY:" with one pair of surrounding double quotes removed.
std::string_view KeyValue(std::string_view arg, size_t keyLength) {
  std::string_view v = arg.substr(keyLength);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return v;
}

// The keyed forms that child scripts and the reboot restart pass. They are recognised at the start
// of an argument, before the general table, so that a path inside them is never taken for a
// selector or a script parameter. Returns true when the argument was one of them.
bool ClassifyKeyedForm(std::string_view arg, CommandLine& cl) {
  struct Key {
    std::string_view name;
    int id;
  };
  static constexpr Key kKeys[] = {{"SCRIPT:", 0},   {"DRIVE:", 1},      {"DRVHW:", 2}, {"AUTOCLOSE:", 3},
                                  {"SUBBASE:", 4},  {"FRAME:", 5},      {"REBOOTSYNC:", 6},
                                  {"ERRSTOP:", 7},  {"SIMDIR:", 8},     {"ANSWERS:", 9}};
  for (const Key& key : kKeys) {
    if (!StartsWithNoCase(arg, key.name)) continue;
    std::string_view value = KeyValue(arg, key.name.size());
    switch (key.id) {
      case 0: AssignCut(cl.scriptPath, value, kPathCapacity); break;
      case 1: AssignCut(cl.targetSelector, ToUpperAscii(value), kSelectorCapacity); break;
      case 2: AssignCut(cl.diskIdentity, value, kPathCapacity); break;
      case 3:
        if (DecimalPrefix(value) != 0) cl.uiMode = 3;
        break;
      case 4: AssignCut(cl.subBase, value, kPathCapacity); break;
      case 5: AssignCut(cl.frame, value, 63); break;
      case 6: cl.rebootSync = DecimalPrefix(value); break;
      case 7: cl.errStop = DecimalPrefix(value); break;
      case 8: AssignCut(cl.simFolder, value, kPathCapacity); break;
      case 9: AssignCut(cl.answersPath, value, kPathCapacity); break;
    }
    return true;
  }
  return false;
}

bool IsSelector(std::string_view arg, const ParseOptions& options) {
  if (arg.find("\\\\.\\") != std::string_view::npos) return true;
  for (std::string_view word : {"/model/", "/fwver/", "/port/", "/vid/", "/socid/"})
    if (ContainsNoCase(arg, word)) return true;
  return options.blockDeviceSelectors && arg.starts_with("/dev/");
}

}  // namespace

int DecimalPrefix(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) value = INT_MAX;  // saturate rather than overflow
  }
  return static_cast<int>(negative ? -value : value);
}

ParseOptions NativeParseOptions() {
#ifdef _WIN32
  return ParseOptions{.blockDeviceSelectors = false};
#else
  return ParseOptions{.blockDeviceSelectors = true};
#endif
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, const ParseOptions& options) {
  CommandLine cl;
  for (size_t n = 1; n < args.size(); ++n) {
    std::string arg = args[n];
    if (arg.empty()) continue;

    if (arg == "/sim" || StartsWithNoCase(arg, "/sim=")) {
      cl.simulated = true;
      if (arg.size() > 5) AssignCut(cl.simLabFile, std::string_view(arg).substr(5), kPathCapacity);
      continue;
    }

    if (arg.back() == ',') {
      std::string stripped = arg.substr(0, arg.size() - 1);
      // A keyed form loses only the separating comma: its value may be a path that holds commas.
      if (ClassifyKeyedForm(stripped, cl)) continue;
      arg.erase(std::remove(arg.begin(), arg.end(), ','), arg.end());
      if (arg.empty()) continue;
    }
    if (ClassifyKeyedForm(arg, cl)) continue;

    if (IsSelector(arg, options)) {
      AssignCut(cl.targetSelector, ToUpperAscii(arg), kSelectorCapacity);
    } else if (size_t at = std::min(FindNoCase(arg, "UI:"), FindNoCase(arg, "UI=")); at != std::string::npos) {
      switch (DecimalPrefix(std::string_view(arg).substr(at + 3))) {
        case 0: cl.uiMode = 1; break;
        case 1: cl.uiMode = 2; break;
        case 2: cl.uiMode = 3; break;
        default: break;
      }
    } else if (size_t at = std::min(FindNoCase(arg, "SUBPARAM:"), FindNoCase(arg, "SUBPARAM="));
               at != std::string::npos) {
      AssignCut(cl.subParam, std::string_view(arg).substr(at + 9), kSubParamCapacity);
    } else if (ContainsNoCase(arg, "/outfile")) {
      cl.outputFileWanted = true;
      cl.outputFileName = (arg.size() > 8 && arg[8] == '=') ? arg.substr(9) : "outfile.txt";
      if (cl.outputFileName.size() > kPathCapacity) cl.outputFileName.resize(kPathCapacity);
    } else if (ContainsNoCase(arg, "/debug")) {
      cl.debugLevel = 1;
      cl.debugGiven = true;
    } else if (ContainsNoCase(arg, "/dbg")) {
      cl.debugLevel = 2;
      cl.debugGiven = true;
    } else if (ContainsNoCase(arg, "/hide")) {
      cl.uiMode = 1;
    } else if (arg.find("--") != std::string::npos) {
      AssignCut(cl.initCommand, arg, kInitCommandCapacity);
    } else {
      std::string appended = cl.subParam + arg + "$";
      // A word that no longer fits is dropped whole rather than cut into a wrong parameter.
      if (appended.size() <= kSubParamCapacity) cl.subParam = std::move(appended);
    }
  }
  return cl;
}

}  // namespace kestrune::app
