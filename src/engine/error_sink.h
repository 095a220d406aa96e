// Where the variable store and the expression evaluator send their failures. The interpreter
// implements it with its report-completion step (error table, error policy); tests record calls.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::engine {

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
