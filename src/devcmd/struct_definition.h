// The C-like structure definitions that Parse_FileHex decodes data files with: one field per line
// ("x32 Signature;", "char Model[40];"), laid out one after another from offset 0 without alignment.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "devcmd/field_table.h"

namespace kestrune::devcmd {

struct StructField {
  std::string name;
  FieldType type = FieldType::kU8;
  uint32_t offset = 0;
  int32_t count = 0;  // 0 for a scalar
};

struct StructDefinition {
  std::vector<StructField> fields;
  uint64_t size = 0;  // bytes of the whole structure

  // Field rows over the fields (the rows borrow the names: keep the definition alive).
  std::vector<FieldRow> Rows() const;
};

// The text of the line that could not be read: an unlisted type word, no name, no ";" (the line as
// it stands), or "No Struct Found" when no field came before the closing "}" or the end.
struct StructError {
  std::string text;
};

// Reads a definition: tabs count as blanks; empty lines and lines with "struct" or "{" are skipped;
// reading stops at the first line with "}".
std::variant<StructDefinition, StructError> ParseStructDefinition(std::string_view text);

}  // namespace kestrune::devcmd
