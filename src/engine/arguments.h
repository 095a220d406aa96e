// Command arguments: the pair reader, argument evaluation before a handler call, and the readers
// handlers use to bind their parameters by position.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error_sink.h"
#include "engine/value.h"
#include "engine/variables.h"

namespace kestrune::engine {

struct Pair {
  std::string name;   // text before the first ":" outside quotes (at most 30 characters); may be empty
  std::string value;  // trimmed; may be empty
};

// Takes the next "name:value" pair from text (up to the first "," outside double quotes) and
// advances text past it. Returns nullopt when neither name nor value is found.
std::optional<Pair> NextPair(std::string_view& text);

// Evaluates every pair's value as an expression and writes the arguments back as "name:value"
// (numbers in decimal, hexadecimal numbers as 0x..., text in double quotes), stopping at the first
// pair whose value is empty.
std::string EvaluateArguments(VarList& vars, ErrorSink& errors, std::string_view args);

// Reads a handler's parameters in the order of its usage template. The handler names its
// parameters up front; each reader call binds the next one: to the pair carrying that parameter's
// name when there is one, else to the pair in the same position unless that pair is named for
// another parameter. So both "Print( LeftAlign:FALSE, Output:"x" )" and "Print( Output:"x" )" bind
// Output, and positional calls with any names still work. A parameter without a pair takes the
// default. A value that does not convert makes the reader fail (ok() turns false): the handler must
// then return without doing anything.
class ArgReader {
 public:
  ArgReader(const VarList& vars, ErrorSink& errors, std::string_view args,
            std::initializer_list<std::string_view> parameters);

  uint32_t U32(uint32_t fallback);
  int64_t I64(int64_t fallback);
  std::string Text(std::string_view fallback);
  bool Bool(bool fallback);
  // The pair bound to the next parameter as it is (for handlers that read the name as data).
  std::optional<Pair> Raw();
  // The value bound to the next parameter (nullopt when there is no pair for it).
  std::optional<Value> Any();

  bool ok() const { return ok_; }

 private:
  const Pair* Bind();
  std::optional<Value> NextValue();

  const VarList& vars_;
  ErrorSink& errors_;
  std::vector<Pair> pairs_;
  std::vector<std::string_view> parameters_;
  size_t next_ = 0;
  bool ok_ = true;
};

}  // namespace kestrune::engine
