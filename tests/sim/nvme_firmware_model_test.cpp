// The lab's NVMe firmware model: the image format, piece rules (granularity, MDTS, overlap), the
// slot state machine across commits and resets, and the injected update failures.
#include <gtest/gtest.h>

#include "nvme_model_fixture.h"
#include "sim/lab_file.h"
#include "sim/lab_firmware_image.h"

namespace kestrune::sim {
namespace {

TEST(LabFirmwareImage, FormatIsCheckedByteForByte) {
  std::vector<uint8_t> image = MakeLabImage("REV00042", 5000, 0xAB);
  ASSERT_EQ(image.size(), 8192u);
  // Golden header: magic, revision, CRC-32 of the image with the CRC field zero.
  EXPECT_EQ(std::string(image.begin(), image.begin() + 16), "KSTRNFW1REV00042");
  EXPECT_EQ(LabImageRevision(image), "REV00042");
  struct Damage {
    const char* what;
    size_t at;
  } damages[] = {{"magic", 0}, {"revision", 9}, {"crc", 17}, {"payload", 6000}};
  for (const Damage& d : damages) {
    std::vector<uint8_t> bad = image;
    bad[d.at] ^= 0x01;
    EXPECT_EQ(LabImageRevision(bad), std::nullopt) << d.what;
  }
  image.resize(8192 + 512);
  EXPECT_EQ(LabImageRevision(image), std::nullopt) << "length";
}

DriveDescription FirmwareDrive() {
  DriveDescription d = SmallDrive("N", Attachment::kNvmeInbox, 0);
  d.nvmeFirmware.fwug = 2;  // 8 KiB pieces
  d.nvmeFirmware.mdts = 2;  // 16 KiB transfers
  d.nvmeFirmware.mtfa = 25;
  d.nvmeFirmware.revisions = {"OLDREV02"};
  return d;
}

class NvmeFirmwareModel : public NvmeModel {
 protected:
  NvmeFirmwareModel() : NvmeModel(FirmwareDrive()) {}
  uint16_t Piece(std::vector<uint8_t>& image, uint32_t offset, uint32_t length) {
    std::vector<uint8_t> piece(image.begin() + offset, image.begin() + offset + length);
    return Out(0x11, 0, {{10, length / 4 - 1}, {11, offset / 4}}, piece);
  }
  uint16_t Commit(uint32_t slot, uint32_t action) { return Send(0x10, 0, {{10, slot | action << 3}}); }
  uint8_t SlotByte() { return Log(0x03, 512)[0]; }
  std::string Running() {
    std::vector<uint8_t> id(4096);
    EXPECT_EQ(In(0x06, 0, {{10, 1}}, id), 0);
    return std::string(id.begin() + 64, id.begin() + 72);
  }
};

TEST_F(NvmeFirmwareModel, IdentifyNamesTheSlotsAndLimits) {
  std::vector<uint8_t> id(4096);
  ASSERT_EQ(In(0x06, 0, {{10, 1}}, id), 0);
  EXPECT_EQ(id[77], 2);
  EXPECT_EQ(id[260], 0x17);
  EXPECT_EQ(base::GetLe16(&id[270]), 25);
  EXPECT_EQ(id[319], 2);
  const std::vector<uint8_t> log = Log(0x03, 512);
  EXPECT_EQ(std::string(log.begin() + 16, log.begin() + 24), "OLDREV02");
}

TEST_F(NvmeFirmwareModel, PieceRules) {
  std::vector<uint8_t> image = MakeLabImage("NEWREV03", 5 * 4096);
  const struct {
    const char* what;
    uint32_t offset, length;
    uint16_t status;
  } steps[] = {
      {"misaligned offset", 4096, 8192, 0x0002},
      {"above MDTS", 0, 5 * 4096, 0x0002},
      {"8 KiB piece", 0, 8192, 0},
      {"16 KiB piece, the last", 8192, 16384, 0},
      {"overlap", 8192, 8192, 0x0114},
  };
  for (const auto& s : steps)
    EXPECT_EQ(Piece(image, s.offset, std::min<uint32_t>(s.length, 5 * 4096 - s.offset)), s.status) << s.what;
  EXPECT_EQ(Commit(2, 1), 0);
  EXPECT_EQ(SlotByte(), 0x21);
  drive().SetDisabled(true);  // a relink resets the controller
  drive().SetDisabled(false);
  dev = t.Open(PhysicalDrivePath(0));
  EXPECT_EQ(SlotByte(), 0x02);
  EXPECT_EQ(Running(), "NEWREV03");
}

TEST_F(NvmeFirmwareModel, ResetDropsAPartlyStagedImage) {
  std::vector<uint8_t> image = MakeLabImage("NEWREV04", 4 * 4096);
  ASSERT_EQ(Piece(image, 0, 8192), 0);
  t.lab->PowerCut();
  ASSERT_EQ(Piece(image, 8192, 8192), 0);
  EXPECT_EQ(Commit(3, 3), 0x0107);  // half an image
  EXPECT_EQ(Running(), "FW0     ");
}

TEST_F(NvmeFirmwareModel, InjectedFailures) {
  std::vector<uint8_t> image = MakeLabImage("NEWREV05", 2 * 4096);
  FaultPlan plan;
  plan.firmwareFailPiece = 2;
  plan.firmwareFailStatus = 0x0004;
  drive().set_faults(plan);
  EXPECT_EQ(Piece(image, 0, 4096), 0);
  EXPECT_EQ(Piece(image, 4096, 4096), 0x0004);

  plan = FaultPlan{};
  plan.firmwareCommitStatus = 0x0110;
  plan.firmwareKeepsOld = true;
  drive().set_faults(plan);
  t.lab->PowerCut();
  ASSERT_EQ(Piece(image, 0, 8192), 0);
  EXPECT_EQ(Commit(2, 3), 0x0110);  // committed, waits for a subsystem reset
  EXPECT_EQ(SlotByte(), 0x21);
  t.lab->PowerCut();
  EXPECT_EQ(SlotByte(), 0x01);  // the drive came back on its old firmware
  EXPECT_EQ(Running(), "FW0     ");
}

TEST(LabFileFirmware, KeysAndRefusals) {
  const struct {
    const char* keys;
    const char* error;  // empty: accepted
  } cases[] = {
      {"FirmwareSlots = 2\r\nReadOnlySlot1 = no\r\nSlotFirmware = AB12\r\nFwug = 4\r\nMdts = 5\r\nMtfa = 30", ""},
      {"FirmwareFailPiece = 3=unplug\r\nFirmwareCommitStatus = 0x010B\r\nFirmwareKeepsOld = yes", ""},
      {"FirmwareSlots = 8", "not 1 to 7"},
      {"FirmwareSlots = 1\r\nSlotFirmware = A", "more revisions than slots"},
      {"FirmwareFailPiece = 0", "not N[=STATUS]"},
      {"Fwug = 256", "more than 8 bits"},
      {"SystemMaxTransfer = 0x20000\r\nSystemAlignment = 512", ""},
      {"SystemMaxTransfer = lots", "not a number"},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("[n]\r\nAttachment = nvme-inbox\r\nCapacity = 1GiB\r\n") + c.keys + "\r\n";
    const LabFileResult r = ParseLab(base::IniFile::Parse(text));
    if (*c.error == 0) {
      EXPECT_TRUE(r.error.empty()) << c.keys << ": " << r.error;
    } else {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << c.keys << ": " << r.error;
    }
  }
  const LabFileResult limits = ParseLab(base::IniFile::Parse(
      "[n]\r\nAttachment = nvme-inbox\r\nCapacity = 1GiB\r\nSystemMaxTransfer = 0x20000\r\nSystemAlignment = 512\r\n"));
  ASSERT_TRUE(limits.error.empty()) << limits.error;
  EXPECT_EQ(limits.lab->drives.at(0).nvmeFirmware.systemMaxTransfer, 0x20000u);
  EXPECT_EQ(limits.lab->drives.at(0).nvmeFirmware.systemAlignment, 512u);
  const LabFileResult sata = ParseLab(base::IniFile::Parse("[s]\r\nAttachment = sata-ahci\r\nCapacity = 1GiB\r\nFwug = 1\r\n"));
  EXPECT_NE(sata.error.find("only NVMe drives"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::sim
