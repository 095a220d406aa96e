// VolumeImage_X: a volume's bytes copied in from an image file (plain or gzip) when the lab's drive
// is made, named relative to the lab file, refused when it does not fit or does not open.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include "base/ini.h"
#include "platform/files.h"
#include "sim/lab_file.h"
#include "sim/sim_lab.h"
#include "support/fake_host.h"

namespace kestrune::sim {
namespace {

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + i / 512);
  return bytes;
}

void WriteGzip(const std::string& path, const std::vector<uint8_t>& bytes) {
  gzFile f = gzopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
  gzclose(f);
}

std::string Lab(const std::string& image, const std::string& size = "1MiB") {
  return "[D]\nAttachment=nvme-inbox\nCapacity=8MiB\nVolumes=E:\nVolume_E=1MiB, " + size + "\nVolumeImage_E=" + image +
         "\n";
}

class VolumeImage : public ::testing::Test {
 protected:
  // The lab of text (written as lab.ini in dir), made; error when it does not start.
  std::unique_ptr<SimLab> Make(const std::string& text, std::string& error) {
    const std::string ini = dir.path() + "/lab.ini";
    std::ofstream(ini) << text;
    return SimLab::CreateFromFile(ini, dir.path() + "/simlab", host, error);
  }
  std::vector<uint8_t> ReadDisk(SimLab& lab, uint64_t offset, size_t size) {
    std::unique_ptr<platform::Device> d = lab.Open(PhysicalDrivePath(0), platform::OpenAccess::kRead);
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(d && d->Read(offset, out));
    return out;
  }
  testing::FakeHost host;
  testing::TempDir dir;
};

TEST_F(VolumeImage, PlainAndCompressedImagesLandOnTheirVolume) {
  const std::vector<uint8_t> bytes = Pattern(64 * 1024);
  ASSERT_TRUE(platform::WriteWholeFile(dir.path() + "/plain.img", bytes));
  WriteGzip(dir.path() + "/packed.img.gz", bytes);
  for (const char* image : {"plain.img", "packed.img.gz"}) {
    SCOPED_TRACE(image);
    std::string error;
    std::unique_ptr<SimLab> lab = Make(Lab(image), error);  // relative to the lab file
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(ReadDisk(*lab, 1 << 20, bytes.size()), bytes);
    // The bytes are the stored data, so a second start copies them in again over any change.
    std::unique_ptr<platform::Device> d = lab->Open(PhysicalDrivePath(0), platform::OpenAccess::kReadWrite);
    ASSERT_TRUE(d);
    std::vector<uint8_t> zeros(4096);
    ASSERT_TRUE(d->Write(1 << 20, zeros, true));
    d.reset();
    lab.reset();
    lab = Make(Lab(image), error);
    ASSERT_TRUE(lab) << error;
    EXPECT_EQ(ReadDisk(*lab, 1 << 20, 4096), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4096));
  }
}

TEST_F(VolumeImage, RefusesWhatDoesNotFit) {
  ASSERT_TRUE(platform::WriteWholeFile(dir.path() + "/big.img", Pattern(2 << 20)));
  ASSERT_TRUE(platform::WriteWholeFile(dir.path() + "/bad.img.gz", std::vector<uint8_t>{0x1F, 0x8B, 8, 0, 1, 2, 3}));
  struct Case {
    std::string text;
    std::string error;
  };
  for (const Case& c : std::vector<Case>{
           {Lab("big.img"), "larger than volume E:"},
           {Lab("none.img"), "cannot open the volume image"},
           {Lab("bad.img.gz"), "does not decompress"},
           {Lab("big.img") + "VolumeImage_G=big.img\n", "names a letter that Volumes does not list"},
           {Lab(" "), "no file named"},
       }) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(Make(c.text, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kestrune::sim
