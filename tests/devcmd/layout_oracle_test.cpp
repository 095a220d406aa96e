// Our CRCs, checksum kinds and structure layouts against reference values that
// tests/devcmd/check_oracles.sh computes with python3-crcmod and gcc. Skipped unless that script
// names its files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/crc.h"
#include "devcmd/firmware_image.h"
#include "devcmd/struct_definition.h"

namespace kestrune::devcmd {
namespace {

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(LayoutOracle, CrcsAndChecksumKindsAgreeWithCrcmod) {
  const char* manifest = std::getenv("KESTRUNE_CRC_ORACLE");
  if (!manifest) GTEST_SKIP() << "KESTRUNE_CRC_ORACLE not set (tests/devcmd/check_oracles.sh sets it)";
  std::ifstream in(manifest);
  int checked = 0;
  for (std::string line; std::getline(in, line); ++checked) {
    std::istringstream words(line);
    std::string what, path, a, b;
    words >> what >> path >> a >> b;
    const std::vector<uint8_t> bytes = FileBytes(path);
    SCOPED_TRACE(line);
    if (what == "data") {
      EXPECT_EQ(base::Crc32(bytes), std::stoul(a, nullptr, 16));
      EXPECT_EQ(base::Crc32c(bytes), std::stoul(b, nullptr, 16));
    } else {
      EXPECT_EQ(ChecksumName(DetectChecksum(bytes)), a);
    }
  }
  EXPECT_GE(checked, 10);
}

TEST(LayoutOracle, StructureLayoutAgreesWithGcc) {
  const char* oracle = std::getenv("KESTRUNE_STRUCT_ORACLE");
  if (!oracle) GTEST_SKIP() << "KESTRUNE_STRUCT_ORACLE not set (tests/devcmd/check_oracles.sh sets it)";
  std::ifstream in(oracle);
  std::string word, value;
  ASSERT_TRUE(in >> word >> value && word == "definition");
  const std::vector<uint8_t> text = FileBytes(value);
  const auto parsed = ParseStructDefinition(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  ASSERT_TRUE(std::holds_alternative<StructDefinition>(parsed)) << std::get<StructError>(parsed).text;
  const StructDefinition& def = std::get<StructDefinition>(parsed);
  size_t i = 0;
  while (in >> word) {
    if (word == "sizeof") {
      uint64_t size = 0;
      in >> size;
      EXPECT_EQ(def.size, size);
      break;
    }
    uint32_t offset = 0;
    in >> value >> offset;
    ASSERT_LT(i, def.fields.size());
    EXPECT_EQ(def.fields[i].name, value);
    EXPECT_EQ(def.fields[i].offset, offset) << value;
    ++i;
  }
  EXPECT_EQ(i, def.fields.size());
  EXPECT_GE(i, 60u);
}

}  // namespace
}  // namespace kestrune::devcmd
