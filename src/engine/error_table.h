// The completion codes every command reports, with their fixed texts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kestrune::engine {

struct ErrorRow {
  int32_t code;
  std::string_view text;
};

// The 57 rows in table order.
std::span<const ErrorRow> ErrorTable();

// The text of code, or nullopt when the code is not in the table.
std::optional<std::string_view> ErrorText(int32_t code);

}  // namespace kestrune::engine
