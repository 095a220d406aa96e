// Structure definitions for Parse_FileHex: each type word's size and field type, the layout without
// alignment, and the lines that end the command.
#include <gtest/gtest.h>

#include "devcmd/struct_definition.h"

namespace kestrune::devcmd {
namespace {

TEST(StructDefinition, FieldsLaidOutOneAfterAnother) {
  const auto parsed = ParseStructDefinition(
      "struct header\n{\n\tx32 Signature;\n  u64 Total;\n\tchar Model[40];  // text\n"
      "short Words[3];\r\nbyte Flag;\nx64 Id;\nint64 Delta;\nu16 structVersion;\n};\nu32 NeverRead;\n");
  ASSERT_TRUE(std::holds_alternative<StructDefinition>(parsed));
  const StructDefinition& d = std::get<StructDefinition>(parsed);
  const struct {
    const char* name;
    FieldType type;
    uint32_t offset;
    int32_t count;
  } want[] = {{"Signature", FieldType::kU32Hex, 0, 0}, {"Total", FieldType::kU64, 4, 0},
              {"Model", FieldType::kText, 12, 40},     {"Words", FieldType::kU16List, 52, 3},
              {"Flag", FieldType::kU8Hex, 58, 0},      {"Id", FieldType::kU64Hex, 59, 0},
              {"Delta", FieldType::kI64, 67, 0},       {"structVersion", FieldType::kU16, 75, 0}};
  ASSERT_EQ(d.fields.size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    EXPECT_EQ(d.fields[i].name, want[i].name);
    EXPECT_EQ(d.fields[i].type, want[i].type) << want[i].name;
    EXPECT_EQ(d.fields[i].offset, want[i].offset) << want[i].name;
    EXPECT_EQ(d.fields[i].count, want[i].count) << want[i].name;
  }
  EXPECT_EQ(d.size, 77u);
}

TEST(StructDefinition, LinesThatEndTheCommand) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"x32 A;\nfloat Ratio;\n", "float Ratio;"},  // an unlisted type word
      {"u32;\n", "u32;"},                          // no name
      {"u32 A\n", "u32 A"},                        // no ";"
      {"u8 A[x];\n", "u8 A[x];"},                  // no array length
      {"u8 A[0];\n", "u8 A[0];"},
      {"struct s {\n};\nu32 A;\n", "No Struct Found"},
      {"u32 A;\nstruct inner {\n", "struct inner {"},  // a nested head after the first field
      {"", "No Struct Found"},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseStructDefinition(c.text);
    ASSERT_TRUE(std::holds_alternative<StructError>(parsed)) << c.text;
    EXPECT_EQ(std::get<StructError>(parsed).text, c.error) << c.text;
  }
}

}  // namespace
}  // namespace kestrune::devcmd
