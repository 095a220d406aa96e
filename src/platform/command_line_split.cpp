#include "platform/command_line_split.h"

namespace kestrune::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(std::string_view s) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i == s.size()) return args;

  // Argument 0: quotes toggle, backslashes are literal.
  std::string program;
  bool inQuotes = false;
  for (; i < s.size() && (inQuotes || !IsBlank(s[i])); ++i) {
    if (s[i] == '"')
      inQuotes = !inQuotes;
    else
      program += s[i];
  }
  args.push_back(std::move(program));

  inQuotes = false;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i == s.size()) break;
    std::string arg;
    for (;;) {
      size_t slashes = 0;
      while (i < s.size() && s[i] == '\\') ++slashes, ++i;
      bool copy = true;
      if (i < s.size() && s[i] == '"') {
        if (slashes % 2 == 0) {
          if (inQuotes && i + 1 < s.size() && s[i + 1] == '"')
            ++i;  // "" inside quotes: one literal quote, quoting goes on
          else
            copy = false, inQuotes = !inQuotes;
        }
        slashes /= 2;
      }
      arg.append(slashes, '\\');
      if (i == s.size() || (!inQuotes && IsBlank(s[i]))) break;
      if (copy) arg += s[i];
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string QuoteWindowsArgument(std::string_view arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos) return std::string(arg);
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    // Backslashes before a quote are doubled and the quote escaped; before anything else they stay.
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');  // before the closing quote
  out += '"';
  return out;
}

std::string JoinWindowsCommandLine(const std::vector<std::string>& args) {
  std::string out;
  for (size_t n = 0; n < args.size(); ++n) {
    if (n == 0) {
      out += '"';
      for (char c : args[0])
        if (c != '"') out += c;
      out += '"';
    } else {
      out += ' ';
      out += QuoteWindowsArgument(args[n]);
    }
  }
  return out;
}

}  // namespace kestrune::platform
