// The submission entries of the NVMe operations, the completion rule, the control codes, the
// paths the operations open and the bridge CDBs, byte by byte.
#include <gtest/gtest.h>

#include "disk/nvme_bridge_cdbs.h"
#include "disk/nvme_entries.h"
#include "platform/hex_bytes.h"
#include "platform/win_ioctl_codes.h"

namespace kestrune::disk {
namespace {

using kestrune::testing::Hex;

TEST(NvmeCommandRecord, DwordsAreLittleEndianAndOpcodeAndNsidAreTheirOwnBytes) {
  NvmeCommand c;
  c.SetCdw(10, 0x11223344);
  EXPECT_EQ(c.bytes[40], 0x44);
  EXPECT_EQ(c.bytes[43], 0x11);
  c.SetCdw(0, 0xABCDEF00);
  c.set_opcode(0x82);  // only the low byte of CDW0 changes
  EXPECT_EQ(c.Cdw(0), 0xABCDEF82u);
  c.set_nsid(0x01020304);
  EXPECT_EQ(c.bytes[4], 0x04);
  EXPECT_EQ(c.nsid(), 0x01020304u);
  c.SetCdw(16, 7);  // outside the entry: ignored
  EXPECT_EQ(c.Cdw(16), 0u);
}

TEST(NvmeCommandRecord, EntriesOfTheOperations) {
  struct Row {
    const char* what;
    NvmeCommand command;
    uint8_t opcode;
    uint32_t nsid, cdw10, cdw11, cdw14, cdw15;
  };
  const Row rows[] = {
      {"identify controller", IdentifyCommand(1, 0), 0x06, 0, 1, 0, 0, 0},
      {"identify namespace 1", IdentifyCommand(0, 1), 0x06, 1, 0, 0, 0, 0},
      {"log page 512 bytes", GetLogPageCommand(0x02, 0, false, 512), 0x02, 0xFFFFFFFF, 0x007F0002, 0, 0, 0},
      {"log page with LSP and RAE", GetLogPageCommand(0x0D, 0x0A, true, 4096), 0x02, 0xFFFFFFFF,
       0x03FF8A0D, 0, 0, 0},
      {"log page of one dword", GetLogPageCommand(0x01, 0, false, 4), 0x02, 0xFFFFFFFF, 0x00000001, 0, 0, 0},
      {"get features", GetFeaturesCommand(0x10), 0x0A, 0, 0x10, 0, 0, 0},
      {"set features, saved", SetFeaturesCommand(0x06, true, 1), 0x09, 0, 0x80000006, 1, 0, 0},
      {"set features", SetFeaturesCommand(0x10, false, 0x0161016B), 0x09, 0, 0x10, 0x0161016B, 0, 0},
      {"firmware commit", FirmwareCommitCommand(2, 3), 0x10, 0, 0x1A, 0, 0, 0},
      {"firmware download", FirmwareDownloadCommand(8192, 4096), 0x11, 0, 1023, 2048, 0, 0},
      {"format all", FormatAllCommand(), 0x80, 0xFFFFFFFF, 0x200, 0, 0, 0},
      {"security receive", SecurityCommand(0x82, 0xEF, 0x1234, 16), 0x82, 0xFFFFFFFF, 0xEF123400, 16,
       0x4F4D4952, 0x4F4D4952},
      {"security send", SecurityCommand(0x81, 0x01, 0x0005, 512), 0x81, 0xFFFFFFFF, 0x01000500, 512, 0x4F4D4952,
       0x4F4D4952},
      {"deallocate", DeallocateCommand(), 0x09, 1, 0, 4, 0, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.command.Cdw(0), r.opcode) << r.what;
    EXPECT_EQ(r.command.nsid(), r.nsid) << r.what;
    EXPECT_EQ(r.command.Cdw(10), r.cdw10) << r.what;
    EXPECT_EQ(r.command.Cdw(11), r.cdw11) << r.what;
    EXPECT_EQ(r.command.Cdw(14), r.cdw14) << r.what;
    EXPECT_EQ(r.command.Cdw(15), r.cdw15) << r.what;
    for (size_t i : {2, 3, 4, 5, 6, 7, 8, 9, 12, 13}) EXPECT_EQ(r.command.Cdw(i), 0u) << r.what << " CDW" << i;
  }
  const NvmeCommand security = SecurityCommand(0x82, 0, 0, 0);
  EXPECT_EQ(std::string(security.bytes.begin() + 56, security.bytes.end()), "RIMORIMO");
}

TEST(NvmeCompletion, OnlyASuccessfulCompletionIsSuccess) {
  struct Row {
    uint8_t opcode;
    uint16_t status;
    bool success;
  };
  const Row rows[] = {
      {0x06, 0x0000, true},
      {0x06, 0x4000, true},   // do-not-retry with a successful code
      {0x06, 0x0002, false},  // invalid field
      {0x06, 0x000B, false},  // generic 0Bh: invalid namespace or format
      {0x06, 0x010B, false},  // command-specific 0Bh of another command
      {0x10, 0x010B, true},   // firmware commit: activation needs a conventional reset
      {0x10, 0x000B, false},
      {0x10, 0x020B, false},  // media errors, not command-specific
      {0x10, 0x0106, false},  // invalid firmware slot
  };
  for (const Row& r : rows)
    EXPECT_EQ(CompletionSucceeded(r.opcode, r.status), r.success) << std::hex << int{r.opcode} << " " << r.status;
  const uint8_t entry[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x17, 0x02};  // phase 1, SCT 1, SC 0Bh
  EXPECT_EQ(CompletionStatusAt(entry), 0x010B);
}

TEST(NvmeControlCodes, ValuesOfTheRequests) {
  namespace w = platform::winio;
  EXPECT_EQ(w::kIoctlStorageQueryProperty, 0x002D1400u);
  EXPECT_EQ(w::kIoctlStorageSetProperty, 0x002D93FCu);
  EXPECT_EQ(w::kIoctlStorageProtocolCommand, 0x002DD3C0u);
  EXPECT_EQ(w::kIoctlStorageReinitializeMedia, 0x002D9640u);
  EXPECT_EQ(w::kIoctlStorageFirmwareDownload, 0x002DDC04u);
  EXPECT_EQ(w::kIoctlStorageFirmwareActivate, 0x002DDC08u);
  EXPECT_EQ(w::kIoctlScsiMiniport, 0x0004D008u);
  EXPECT_EQ(w::kIoctlScsiPassThroughDirect, 0x0004D014u);
}

TEST(NvmePaths, EachKindOpensItsOwnPath) {
  DiskEntry e;
  e.devicePath = "dev";
  e.scsiPortPath = "port";
  e.volumePath = "vol";
  struct Row {
    DiskKind kind;
    const char* path;
  };
  const Row rows[] = {{DiskKind::kNvm, "dev"},      {DiskKind::kOfaNvm, "port"},   {DiskKind::kIrstNvm, "port"},
                      {DiskKind::kJmi, "vol"},      {DiskKind::kAsm2362, "vol"},   {DiskKind::kAsm2364, "vol"},
                      {DiskKind::kRtl9210B, "vol"}, {DiskKind::kRtl9210, "vol"},   {DiskKind::kAta, "port"},
                      {DiskKind::kUnclassified, "port"}};
  for (const Row& r : rows) {
    e.diskKind = r.kind;
    EXPECT_EQ(NvmePathOf(e), r.path) << static_cast<int>(r.kind);
  }
  e.volumePath.clear();
  e.scsiPortPath.clear();
  e.diskKind = DiskKind::kJmi;
  EXPECT_EQ(NvmePathOf(e), "dev");
  e.diskKind = DiskKind::kOfaNvm;
  EXPECT_EQ(NvmePathOf(e), "dev");
}

TEST(BridgeCdbs, AsmediaForms) {
  const auto admin = NvmeQueue::kAdmin, io = NvmeQueue::kIo;
  const BridgeCdb command = AsmediaCommandCdb(admin, NvmeDirection::kIn);
  EXPECT_EQ(std::vector<uint8_t>(command.begin(), command.end()), Hex("EA 5A 80 00 01 00 00 00 00 00 00 00 00 40 00 00"));
  const BridgeCdb dataIn = AsmediaDataCdb(admin, NvmeDirection::kIn, 4096);
  EXPECT_EQ(std::vector<uint8_t>(dataIn.begin(), dataIn.end()), Hex("EB 5A 81 00 01 00 00 00 00 00 00 00 10 00 00 00"));
  const BridgeCdb dataOut = AsmediaDataCdb(io, NvmeDirection::kOut, 0x12345678);
  EXPECT_EQ(std::vector<uint8_t>(dataOut.begin(), dataOut.end()), Hex("EA 5A 81 01 02 00 00 00 00 00 12 34 56 78 00 00"));
  const BridgeCdb none = AsmediaDataCdb(admin, NvmeDirection::kNone, 0);
  EXPECT_EQ(std::vector<uint8_t>(none.begin(), none.end()), Hex("EB 5A 81 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  const BridgeCdb done = AsmediaCompletionCdb(io, NvmeDirection::kOut);
  EXPECT_EQ(std::vector<uint8_t>(done.begin(), done.end()), Hex("EB 5A 82 01 02 00 00 00 00 00 00 00 00 10 00 00"));

  const BridgeCdb identify = AsmediaSingleCdb(IdentifyCommand(1, 0), 4096);
  EXPECT_EQ(std::vector<uint8_t>(identify.begin(), identify.end()), Hex("E6 06 00 01 00 00 00 00 00 00 00 00 00 00 00 00"));
  const BridgeCdb ns = AsmediaSingleCdb(IdentifyCommand(0, 0x101), 4096);
  EXPECT_EQ(ns[7], 0x01);  // NSID bits 0-7 only
  const BridgeCdb log = AsmediaSingleCdb(GetLogPageCommand(0x02, 0, false, 512), 512);
  EXPECT_EQ(std::vector<uint8_t>(log.begin(), log.end()), Hex("E6 02 00 02 00 00 00 7F 00 00 00 00 00 00 00 00"));
  const BridgeCdb bigLog = AsmediaSingleCdb(GetLogPageCommand(0x07, 0, false, 8192), 8192);
  EXPECT_EQ(bigLog[6], 0x07);
  EXPECT_EQ(bigLog[7], 0xFF);
}

TEST(BridgeCdbs, JmicronForms) {
  auto v = [](const BridgeCdb& c) { return std::vector<uint8_t>(c.begin(), c.end()); };
  EXPECT_EQ(v(JmicronCommandCdb(NvmeQueue::kAdmin)), Hex("A1 80 00 00 02 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(JmicronCommandCdb(NvmeQueue::kIo)), Hex("A1 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(JmicronDataCdb(NvmeQueue::kAdmin, NvmeDirection::kIn, 4096)), Hex("A1 82 00 00 10 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(JmicronDataCdb(NvmeQueue::kAdmin, NvmeDirection::kNone, 0)).at(1), 0x81);
  EXPECT_EQ(v(JmicronDataCdb(NvmeQueue::kIo, NvmeDirection::kOut, 0xABCDEF)), Hex("A1 03 00 AB CD EF 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(JmicronCompletionCdb(NvmeQueue::kAdmin)), Hex("A1 8F 00 00 02 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(JmicronCompletionCdb(NvmeQueue::kIo)).at(1), 0x0F);

  NvmeCommand c = IdentifyCommand(1, 0);
  const auto block = JmicronCommandBlock(c);
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 8), Hex("4E 56 4D 45 00 00 00 00"));
  EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), block.begin() + 8));
  EXPECT_TRUE(std::all_of(block.begin() + 72, block.end(), [](uint8_t b) { return b == 0; }));
}

TEST(BridgeCdbs, RealtekForms) {
  auto v = [](const BridgeCdb& c) { return std::vector<uint8_t>(c.begin(), c.end()); };
  EXPECT_EQ(v(Rtl9210BCommandCdb(NvmeQueue::kAdmin)), Hex("E5 40 00 F7 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210BCommandCdb(NvmeQueue::kIo)).at(4), 0x01);
  EXPECT_EQ(v(Rtl9210BDataCdb(NvmeDirection::kIn, 4096)), Hex("E4 00 10 F8 00 00 01 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210BDataCdb(NvmeDirection::kOut, 0x1234)), Hex("E5 34 12 F8 00 00 02 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210BDataCdb(NvmeDirection::kNone, 0)), Hex("E5 00 00 F8 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210BCompletionCdb()), Hex("E4 10 00 F9 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210Cdb(IdentifyCommand(1, 0), 4096)), Hex("E4 00 10 06 01 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210Cdb(GetLogPageCommand(0x02, 0, false, 512), 512)),
            Hex("E4 00 02 02 02 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(v(Rtl9210DownloadCdb(0x8000, 4096)), Hex("E5 00 10 11 FF 03 00 20 00 00 00 00 00 00 00 00"));
}

}  // namespace
}  // namespace kestrune::disk
