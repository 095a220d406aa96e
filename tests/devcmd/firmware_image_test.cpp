// The checks of a firmware image before anything is sent, and the download plan.
#include <gtest/gtest.h>

#include <cstring>

#include "base/bytes.h"
#include "base/crc.h"
#include "devcmd/firmware_image.h"
#include "devcmd/firmware_plan.h"

namespace kestrune::devcmd {
namespace {

std::vector<uint8_t> Blocks(size_t n, uint8_t fill = 0x5C) { return std::vector<uint8_t>(n * 4096, fill); }

void Tag(std::vector<uint8_t>& b, size_t at, const char* tag) { std::memcpy(b.data() + at, tag, 4); }

TEST(Crc, KnownCheckValues) {
  const std::string check = "123456789";
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(check.data()), check.size());
  EXPECT_EQ(base::Crc32(bytes), 0xCBF43926u);
  EXPECT_EQ(base::Crc32c(bytes), 0xE3069283u);
  EXPECT_EQ(base::Crc32c({}), 0u);
}

struct LayoutCase {
  const char* what;
  std::vector<uint8_t> file;
  const char* name;
  bool maker;
  int32_t code;
  const char* detail;
  ConfigPlacement placement;
  size_t configOffset;
  size_t sentBytes;
};

std::vector<uint8_t> Container(std::initializer_list<uint32_t> list, size_t blocks, size_t confBlock) {
  std::vector<uint8_t> b = Blocks(blocks, 0);
  Tag(b, 0, "CMFG");
  size_t i = 0;
  for (uint32_t index : list) base::PutLe32(b.data() + 16 + 4 * i++, index);
  if (confBlock < blocks) Tag(b, confBlock * 4096, "CONF");
  return b;
}

std::vector<uint8_t> Trailing(size_t blocks) {
  std::vector<uint8_t> b = Blocks(blocks);
  Tag(b, b.size() - 4096, "CONF");
  return b;
}

TEST(FirmwareImage, LayoutsAndRefusals) {
  const LayoutCase cases[] = {
      {"empty", {}, "a.fw", true, -10, "Get File Size Error", ConfigPlacement::kNone, 0, 0},
      {"misaligned tail", std::vector<uint8_t>(4096 + 100, 1), "a.fw", false, -5, "FW size not align 4096",
       ConfigPlacement::kNone, 0, 0},
      {"too large", Blocks(64 * 256 + 1), "a.fw", false, -2, "FW image too large", ConfigPlacement::kNone, 0, 0},
      {"plain image", Blocks(3), "prog.fw", false, 0, "", ConfigPlacement::kNone, 0, 3 * 4096},
      {"trailing", Trailing(3), "a.fw", true, 0, "", ConfigPlacement::kTrailing, 2 * 4096, 3 * 4096},
      {"prog appended", Blocks(2), "X_Prog_1.fw", true, 0, "", ConfigPlacement::kAppended, 2 * 4096, 3 * 4096},
      {"prog rdt not appended", Blocks(2), "prog_RDT.fw", true, 0, "", ConfigPlacement::kNone, 0, 2 * 4096},
      {"container", Container({9, 2, 3}, 4, 3), "a.fw", true, 0, "", ConfigPlacement::kContainer, 3 * 4096,
       4 * 4096},
      {"container index past the image skipped", Container({1000, 0xFFFFFFFF, 3}, 4, 3), "a.fw", true, 0, "",
       ConfigPlacement::kContainer, 3 * 4096, 4 * 4096},
      {"container CONF listed first", Container({3, 2}, 4, 3), "a.fw", true, -255, "No Found CONF block",
       ConfigPlacement::kNone, 0, 0},
      {"container without CONF", Container({1, 2}, 4, 9), "a.fw", true, -255, "No Found CONF block",
       ConfigPlacement::kNone, 0, 0},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    ImageCheck r = CheckFirmwareImage(c.file, c.name, {c.maker, 4096});
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.detail, c.detail);
    if (c.code != 0) continue;
    EXPECT_EQ(r.image.placement, c.placement);
    EXPECT_EQ(r.image.configOffset, c.configOffset);
    EXPECT_EQ(r.image.bytes.size(), c.sentBytes);
    if (c.placement != ConfigPlacement::kNone) EXPECT_EQ(std::memcmp(r.image.ConfigBlock().data(), "CONF", 4), 0);
  }
  // SATA images go in 512-byte sectors.
  EXPECT_EQ(CheckFirmwareImage(std::vector<uint8_t>(1536, 1), "a.bin", {false, 512}).code, 0);
  EXPECT_EQ(CheckFirmwareImage(std::vector<uint8_t>(1537, 1), "a.bin", {false, 512}).detail, "FW size not align 512");
}

TEST(FirmwareImage, ChecksumKindsAndRewrite) {
  std::vector<uint8_t> image = Blocks(3);
  const std::span<const uint8_t> body = std::span<const uint8_t>(image).first(2 * 4096);
  uint8_t* stored = image.data() + 2 * 4096 + 12;
  const struct {
    uint32_t value;
    ChecksumKind kind;
  } cases[] = {{base::Crc32c(body), ChecksumKind::kCrc32c},
               {base::Crc32(body), ChecksumKind::kCrc32},
               {0, ChecksumKind::kNone},
               {0x12345678, ChecksumKind::kUnknown}};
  for (const auto& c : cases) {
    base::PutLe32(stored, c.value);
    EXPECT_EQ(DetectChecksum(image), c.kind) << ChecksumName(c.kind);
  }
  for (ChecksumKind kind : {ChecksumKind::kCrc32c, ChecksumKind::kCrc32}) {
    base::PutLe32(stored, 0);
    image[5] ^= 0xFF;  // an edit in the body
    WriteChecksum(image, kind);
    EXPECT_EQ(DetectChecksum(image), kind);
  }
  base::PutLe32(stored, 0x12345678);
  WriteChecksum(image, ChecksumKind::kUnknown);
  EXPECT_EQ(base::GetLe32(stored), 0x12345678u);
}

TEST(FirmwareImage, EditRefreshesContainerChecksumOrTrailingHeader) {
  ImageCheck c = CheckFirmwareImage(Container({5, 2}, 4, 2), "a.fw", {true, 4096});
  ASSERT_EQ(c.code, 0);
  WriteChecksum(c.image.bytes, ChecksumKind::kCrc32c);
  c.image.checksum = DetectChecksum(c.image.bytes);
  ASSERT_EQ(c.image.checksum, ChecksumKind::kCrc32c);
  c.image.ConfigBlock()[100] = 0x42;
  RefreshAfterEdit(c.image);
  EXPECT_EQ(DetectChecksum(c.image.bytes), ChecksumKind::kCrc32c);

  std::vector<uint8_t> file = Trailing(2);
  std::fill(file.begin() + 4096 - 16, file.begin() + 4096, 0);
  file[4096 + 2053] = 7;
  file[4096 + 2100] = 0xA1;
  ImageCheck t = CheckFirmwareImage(file, "a.fw", {true, 4096});
  ASSERT_EQ(t.code, 0);
  RefreshAfterEdit(t.image);
  const std::vector<uint8_t> header(t.image.bytes.begin() + 4096 - 16, t.image.bytes.begin() + 4096);
  EXPECT_EQ(header, (std::vector<uint8_t>{0x88, 1, 5, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA1}));
  // A header already there stays.
  t.image.bytes[4096 - 16] = 0x11;
  t.image.ConfigBlock()[2100] = 0xB2;
  RefreshAfterEdit(t.image);
  EXPECT_EQ(t.image.bytes[4096 - 1], 0xA1);
}

struct PlanCase {
  const char* what;
  FirmwareCaps caps;
  disk::DiskKind kind;
  uint64_t bytes;
  uint32_t slot;
  int32_t code;
  uint32_t pieceBytes;
  size_t pieces;
  uint32_t lastLength;
  uint8_t planSlot;
};

TEST(FirmwarePlan, PiecesAndSlots) {
  using K = disk::DiskKind;
  const PlanCase cases[] = {
      {"plain 4 KiB pieces", {0x06, 0, 0, 0}, K::kNvm, 3 * 4096, 2, 0, 4096, 3, 4096, 2},
      {"FWUG FFh is none", {0x06, 0xFF, 0, 0}, K::kNvm, 2 * 4096, 2, 0, 4096, 2, 4096, 2},
      {"FWUG 4: 16 KiB pieces, short last", {0x06, 4, 0, 0}, K::kNvm, 5 * 4096, 3, 0, 16384, 2, 4096, 3},
      {"granularity above MDTS", {0x06, 4, 1, 0}, K::kNvm, 5 * 4096, 2, -2, 0, 0, 0, 0},
      {"RTL9210 65535 B", {0x06, 16, 0, 0}, K::kRtl9210, 16 * 4096, 2, -2, 0, 0, 0, 0},
      {"JMicron carries 64 KiB", {0x06, 16, 0, 0}, K::kJmi, 32 * 4096, 2, 0, 65536, 2, 65536, 2},
      {"read-only slot 1 moves to 2", {0x07, 0, 0, 0}, K::kNvm, 4096, 1, 0, 4096, 1, 4096, 2},
      {"slot 0: the controller picks", {0x07, 0, 0, 0}, K::kNvm, 4096, 0, 0, 4096, 1, 4096, 0},
      {"one read-only slot", {0x03, 0, 0, 0}, K::kNvm, 4096, 1, -2, 0, 0, 0, 0},
      {"slot beyond FRMW's count", {0x06, 0, 0, 0}, K::kNvm, 4096, 4, -2, 0, 0, 0, 0},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.what);
    const DownloadPlan p = PlanDownload(c.caps, c.kind, c.bytes, c.slot);
    EXPECT_EQ(p.code, c.code) << p.detail;
    if (c.code != 0) {
      EXPECT_TRUE(p.pieces.empty());
      continue;
    }
    EXPECT_EQ(p.pieceBytes, c.pieceBytes);
    ASSERT_EQ(p.pieces.size(), c.pieces);
    EXPECT_EQ(p.pieces.back().length, c.lastLength);
    EXPECT_EQ(p.pieces.back().offset % c.pieceBytes, 0u);
    EXPECT_EQ(p.slot, c.planSlot);
  }
}

TEST(FirmwarePlan, CommitZeroChooses) {
  using K = disk::DiskKind;
  EXPECT_EQ(ChooseCommitAction(0, 9999, K::kOfaNvm, "3.0.0.1", "3.0.0"), 1);
  EXPECT_EQ(ChooseCommitAction(0, 0, K::kOfaNvm, "V3.0.0.1", "3.0.0"), 3);
  EXPECT_EQ(ChooseCommitAction(0, 0, K::kOfaNvm, "V2.0.0.1", "3.0.0"), 1);
  EXPECT_EQ(ChooseCommitAction(0, 1, K::kNvm, "x", "3.0.0"), 3);
  EXPECT_EQ(ChooseCommitAction(2, 0, K::kNvm, "3.0.0", "3.0.0"), 2);
}

TEST(FirmwarePlan, CapsFromIdentifyController) {
  std::array<uint8_t, 4096> id{};
  id[77] = 5;
  id[260] = 0x17;
  base::PutLe16(&id[270], 30);
  id[319] = 2;
  const FirmwareCaps c = ReadFirmwareCaps(id.data());
  EXPECT_EQ(c.slotCount(), 3);
  EXPECT_TRUE(c.slot1ReadOnly());
  EXPECT_EQ(c.mdts, 5);
  EXPECT_EQ(c.mtfa, 30);
  EXPECT_EQ(c.fwug, 2);
}

}  // namespace
}  // namespace kestrune::devcmd
