#include "engine/covert_type.h"

#include <cstdlib>
#include <string>

#include "base/text.h"
#include "engine/literals.h"

namespace kestrune::engine {

using base::EqualsNoCase;
using base::Trim;

Value ConvertByType(std::string_view text, std::string_view covertType) {
  if (EqualsNoCase(covertType, "String")) return Value::Text(text);
  std::string trimmed(Trim(text, true));
  if (EqualsNoCase(covertType, "Integer")) return Value::Number(std::strtoll(trimmed.c_str(), nullptr, 10));
  if (EqualsNoCase(covertType, "Hex"))
    return Value::Hex(static_cast<int64_t>(std::strtoull(trimmed.c_str(), nullptr, 16)));
  if (auto number = ParseNumberLiteral(trimmed)) return *number;
  return Value::Text(text);
}

}  // namespace kestrune::engine
