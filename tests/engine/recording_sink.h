// An ErrorSink that keeps every report, for tests of variables and expressions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/error_sink.h"

namespace kestrune::engine {

class RecordingSink final : public ErrorSink {
 public:
  void Report(int32_t code, std::string_view detail) override { reports.emplace_back(code, std::string(detail)); }

  std::vector<std::pair<int32_t, std::string>> reports;
};

}  // namespace kestrune::engine
