// UpdateFW and FWActive on the lab's SATA drive: the image reaches the drive whole, in pieces the
// drive takes, at their offsets; activation at once; and the refusals that send nothing.
#include <gtest/gtest.h>

#include "ata_lab.h"
#include "base/completion_codes.h"
#include "platform/files.h"

namespace kestrune::devcmd::testing {
namespace {

namespace code = base::code;

class AtaFirmware : public AtaLab {
 protected:
  std::string Image(const std::string& name, size_t bytes) {
    std::vector<uint8_t> data(bytes);
    for (size_t i = 0; i < bytes; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 512);
    const std::string path = platform::JoinPath(dir.path(), name);
    EXPECT_TRUE(platform::WriteWholeFile(path, data));
    return path;
  }
  size_t DownloadsSent() {
    size_t n = 0;
    for (uint8_t c : SentAtaCommands()) n += c == 0x92;
    return n;
  }
};

TEST_F(AtaFirmware, ImageGoesDownWholeInPiecesTheDriveTakes) {
  // 200 blocks: three pieces of 64 (the drive's word 235) and one of 8.
  const std::string image = Image("big.fw", 200 * 512);
  lab->requestLog().Clear();
  Run("UpdateFW( \"" + image + "\", FALSE );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(DownloadsSent(), 4u);
  EXPECT_EQ(Drive(kRawSata)->ata().microcode, *platform::ReadWholeFile(image));
  EXPECT_EQ(Drive(kRawSata)->ata().activations, 0u);
  EXPECT_EQ(Body().back().text, "Update Progress: 100%");

  // Activated at once: the drive is looked for again and its capacity agrees.
  Run("UpdateFW( \"" + image + "\", TRUE );");
  ASSERT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Drive(kRawSata)->ata().activations, 1u);
  EXPECT_EQ(BodyTexts().back(), "Wait FW Active...");

  // Nothing left to activate: the drive refuses.
  Run("FWActive();");
  EXPECT_EQ(Code(), code::kActivateFwFailed);
}

TEST_F(AtaFirmware, BadImagesSendNothing) {
  struct Case {
    std::string file;
    int32_t code;
  } cases[] = {
      {Image("empty.fw", 0), code::kFileSizeFailed},
      {Image("odd.fw", 1000), code::kBadParameter},
      {platform::JoinPath(dir.path(), "missing.fw"), code::kFileOpenFailed},
  };
  for (const Case& c : cases) {
    lab->requestLog().Clear();
    Run("UpdateFW( \"" + c.file + "\", TRUE );");
    EXPECT_EQ(Code(), c.code) << c.file;
    EXPECT_EQ(DownloadsSent(), 0u) << c.file;
  }
}

}  // namespace
}  // namespace kestrune::devcmd::testing
