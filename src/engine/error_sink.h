// Where the variable store and the expression evaluator send their failures. The interpreter
// implements it with its report-completion step (error table, error policy); tests record calls.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::engine {

// Completion codes raised by variables and expressions.
namespace var_errors {
inline constexpr int32_t kParameters = -2;          // "Parameters not match spec or over limit"
inline constexpr int32_t kUndefineCommand = -16;    // "Undefine Command"
inline constexpr int32_t kNotInitial = -25;         // "Script Variable Not Initial"
inline constexpr int32_t kTypeError = -26;          // "Script Variable Type Error"
inline constexpr int32_t kCannotCompare = -27;      // "Script Variable Cannot Compare"
}  // namespace var_errors

class ErrorSink {
 public:
  // Reports one failure: a negative completion code and its detail text. May change variables of
  // the same view (the error policy keeps its counters there), so callers hold no references into
  // the variable store across this call.
  virtual void Report(int32_t code, std::string_view detail) = 0;

 protected:
  ~ErrorSink() = default;
};

}  // namespace kestrune::engine
