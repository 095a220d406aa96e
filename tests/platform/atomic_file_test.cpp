// Whole-file replacement: a save or a placed file is either the old file or the new one, never a
// mix, and no temporary file outlives a failure.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrune::platform {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kestrune_atomic_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Path(const char* name) const { return (folder_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), fs::directory_iterator())); }

  fs::path folder_;
};

TEST_F(AtomicFile, SavesReplaceWholeAndLeaveNothingBehind) {
  const std::string path = Path("record.bin");
  for (bool sync : {false, true}) {
    ASSERT_TRUE(SaveFileAtomically(path, std::string("first\0bytes", 11), sync));
    EXPECT_EQ(Read(path), std::string("first\0bytes", 11));
    ASSERT_TRUE(SaveFileAtomically(path, "second", sync));
    EXPECT_EQ(Read(path), "second");
    EXPECT_EQ(Entries(), 1u) << "a temporary file was left beside the save";
  }
  // A folder that does not exist: the save fails and creates nothing.
  EXPECT_FALSE(SaveFileAtomically(Path("missing/record.bin"), "x", true));
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFile, PlacedFilesReplaceTheTargetOrLeaveItAlone) {
  const std::string piece = Path("trace.zip.part");
  const std::string target = Path("trace.zip");
  Write(target, "old");
  Write(piece, "downloaded bytes");
  ASSERT_TRUE(PlaceFileDurably(piece, target));
  EXPECT_EQ(Read(target), "downloaded bytes");
  EXPECT_FALSE(fs::exists(piece));
  // Nothing to place: the target stays as it was.
  EXPECT_FALSE(PlaceFileDurably(piece, target));
  EXPECT_EQ(Read(target), "downloaded bytes");
}

}  // namespace
}  // namespace kestrune::platform
