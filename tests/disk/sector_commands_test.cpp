#include "disk/sector_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "disk/dataset_management.h"
#include "disk/pattern_fill.h"
#include "disk/sector_buffer.h"
#include "disk/sector_io.h"
#include "sector_lab.h"

namespace kestrune::disk::testing {
namespace {

constexpr uint32_t kOlive = 0x009696;

using SectorCommands = SectorLab;

std::vector<uint8_t> Block(uint64_t lba, uint32_t count, uint32_t pattern, bool mark, uint32_t sectorSize) {
  std::vector<uint8_t> b(static_cast<size_t>(count) * sectorSize);
  FillSectorBlock(b, lba, pattern, mark, sectorSize);
  return b;
}

// Puts bytes on path at lba directly, for reads to find.
void Put(platform::DeviceTree& tree, const std::string& path, uint64_t lba, const std::vector<uint8_t>& bytes,
         uint32_t sectorSize) {
  SectorBuffer b(bytes.size());
  std::copy(bytes.begin(), bytes.end(), b.data());
  ASSERT_EQ(WriteSectors(tree, path, lba, static_cast<int32_t>(bytes.size() / sectorSize), b.bytes(),
                         sectorSize, false),
            1);
}

std::vector<uint8_t> Get(platform::DeviceTree& tree, const std::string& path, uint64_t lba, uint32_t count,
                         uint32_t sectorSize) {
  SectorBuffer b(static_cast<size_t>(count) * sectorSize);
  EXPECT_EQ(ReadSectors(tree, path, lba, static_cast<int32_t>(count), b.bytes(), sectorSize), 1);
  return std::vector<uint8_t>(b.data(), b.data() + b.size());
}

// ---- LBARead ----

TEST_F(SectorCommands, ReadOfZeroSectorsIsRefused) {
  Select(kRawNvme);
  lab->requestLog().Clear();
  Run("LBARead( LBA:0, SectorCount:0 );");
  EXPECT_EQ(Code(), -2);
  EXPECT_TRUE(DumpPath().empty());
  EXPECT_TRUE(Requests("Read").empty());
}

TEST_F(SectorCommands, ReadSavesTheSectorsToTheDefaultDumpInOlive) {
  Select(kRawNvme);
  const std::vector<uint8_t> data = Block(40, 2, 0xA1B2C3D4, true, 512);
  Put(tree(), kRawNvme, 40, data, 512);
  Run("LBARead( LBA:40, SectorCount:2 );");
  EXPECT_EQ(Code(), 0);
  ASSERT_FALSE(DumpPath().empty());
  EXPECT_TRUE(DumpPath().ends_with(".Hex")) << DumpPath();
  EXPECT_TRUE(DumpPath().starts_with(interp.view(0).logFolder)) << DumpPath();
  EXPECT_EQ(DumpBytes(), data);
  for (const engine::OutputLine& l : printed)
    if (l.kind == engine::kDataFile) {
      EXPECT_EQ(l.colour, kOlive);
    }
}

TEST_F(SectorCommands, VolumeClustersAreEightSectorsOfTheVolume) {
  Select(kVolumeD);
  const uint32_t ss = 4096;
  const std::vector<uint8_t> data = Block(16, 8, 0x0BADF00D, true, ss);
  Put(tree(), kLettered, kVolumeDOffset / ss + 16, data, ss);  // volume sector 16 on the disk
  lab->requestLog().Clear();
  Run("LBARead( VLCN:2, SectorCount:8 );");
  EXPECT_EQ(Code(), 0);
  std::vector<sim::RequestRecord> reads = Requests("Read");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].path, kVolumeD);
  EXPECT_EQ(reads[0].offset, 16u * ss);
  EXPECT_EQ(reads[0].length, 8u * ss);
  EXPECT_EQ(DumpBytes(), data);
}

TEST_F(SectorCommands, VlbaReadsTheVolumeAndLbaTheWholeDisk) {
  Select(kVolumeD);
  lab->requestLog().Clear();
  Run("LBARead( VLBA:3, SectorCount:1 );");
  Run("LBARead( LBA:3, SectorCount:1 );");
  std::vector<sim::RequestRecord> reads = Requests("Read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].path, kVolumeD);
  EXPECT_EQ(reads[1].path, kLettered);
  EXPECT_EQ(reads[1].offset, 3u * 4096);
}

TEST_F(SectorCommands, RepeatedReadsRewriteOneProgressLine) {
  Select(kRawNvme);
  lab->requestLog().Clear();
  Run("LBARead( LBA:0, SectorCount:1, Times:3 );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Requests("Read").size(), 3u);
  std::vector<engine::OutputLine> progress;
  for (const engine::OutputLine& l : Body())
    if (l.text.starts_with("Read ")) progress.push_back(l);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0].text, "Read 3 Times");
  EXPECT_EQ(progress[0].colour, engine::colour::kGrey);
  EXPECT_EQ(DumpBytes().size(), 512u);
}

TEST_F(SectorCommands, ASingleReadShowsNoProgress) {
  Select(kRawNvme);
  Run("LBARead( LBA:0, SectorCount:1 );");
  for (const engine::OutputLine& l : Body()) EXPECT_FALSE(l.text.starts_with("Read ")) << l.text;
}

TEST_F(SectorCommands, ReadSaveFileGoesToTheLogFolder) {
  Select(kRawNvme);
  Run("LBARead( LBA:0, SectorCount:2, Times:1, SaveFile:\"mine.hex\" );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(DumpPath(), platform::JoinPath(interp.view(0).logFolder, "mine.hex"));
  EXPECT_EQ(DumpBytes().size(), 1024u);
}

TEST_F(SectorCommands, ReadRangesAreCheckedBeforeTheDiskIsOpened) {
  Select(kRawNvme);
  const char* statements[] = {
      "LBARead( LBA:131072, SectorCount:1 );",              // the first sector past the end
      "LBARead( LBA:131071, SectorCount:2 );",              // runs past the end
      "LBARead( LBA:0, SectorCount:-1 );",                  // negative count
      "LBARead( LBA:0, SectorCount:0x100000000 );",         // more than a 32-bit count
      "LBARead( LBA:0x7FFFFFFFFFFFFFFF, SectorCount:1 );",  // LBA x sector size wraps
      "LBARead( LBA:-1, SectorCount:1 );",
      "LBARead( VLCN:0x2000000000000000, SectorCount:1 );",  // the cluster number x 8 wraps
      "LBARead( LBA:0, SectorCount:1, Times:0 );",
  };
  for (const char* s : statements) {
    lab->requestLog().Clear();
    Run(s);
    EXPECT_EQ(Code(), -2) << s;
    EXPECT_TRUE(lab->requestLog().Records().empty()) << s;
    EXPECT_TRUE(DumpPath().empty()) << s;
  }
  Run("LBARead( LBA:131071, SectorCount:1 );");
  EXPECT_EQ(Code(), 0) << "the last sector is in range";
}

TEST_F(SectorCommands, VolumeReadsStayInsideTheVolume) {
  Select(kVolumeD);
  // The volume's size as the system reports it: its file system's whole clusters, a little less
  // than the 32 MiB partition.
  const uint64_t volumeSectors = disk::StateOf(interp).current.totalBytes / 4096;
  ASSERT_GT(volumeSectors, 32 * kMiB / 4096 - 4);
  ASSERT_LT(volumeSectors, 32 * kMiB / 4096);
  Run("LBARead( VLBA:" + std::to_string(volumeSectors) + ", SectorCount:1 );");
  EXPECT_EQ(Code(), -2);
  Run("LBARead( VLBA:" + std::to_string(volumeSectors - 1) + ", SectorCount:1 );");
  EXPECT_EQ(Code(), 0);
}

// ---- LBAWrite ----

TEST_F(SectorCommands, WriteLaysThePatternWithMarksAndDumpsItInOrange) {
  Select(kRawNvme);
  Run("LBAWrite( LBA:20, SectorCount:2, WritePattern:0x11223344, MarkSectorHeader:TRUE );");
  EXPECT_EQ(Code(), 0);
  const std::vector<uint8_t> expected = Block(20, 2, 0x11223344, true, 512);
  EXPECT_EQ(Get(tree(), kRawNvme, 20, 2, 512), expected);
  EXPECT_EQ(DumpBytes(), expected);
  for (const engine::OutputLine& l : printed)
    if (l.kind == engine::kDataFile) {
      EXPECT_EQ(l.colour, engine::colour::kOrange);
    }
  for (const engine::OutputLine& l : Body()) EXPECT_NE(l.text, "Command Only Support RAW Mode");
}

TEST_F(SectorCommands, WriteAndReadRoundTripOn512And4096ByteSectors) {
  for (const auto& [path, ss] : {std::pair{kRawNvme, 512u}, std::pair{kRaw4K, 4096u}}) {
    Select(path);
    Run("LBAWrite( LBA:33, SectorCount:3, WritePattern:0xCAFEBABE, MarkSectorHeader:FALSE );");
    EXPECT_EQ(Code(), 0) << path;
    Run("LBARead( LBA:33, SectorCount:3 );");
    EXPECT_EQ(Code(), 0) << path;
    EXPECT_EQ(DumpBytes(), Block(33, 3, 0xCAFEBABE, false, ss)) << path;
  }
}

TEST_F(SectorCommands, WriteDefaultsAndForcedUnitAccess) {
  Select(kRawNvme);
  lab->requestLog().Clear();
  Run("LBAWrite( LBA:0 );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Get(tree(), kRawNvme, 0, 1, 512), Block(0, 1, 0x55AAFF00, true, 512));
  EXPECT_EQ(Requests("Write").size(), 1u);
  Run("LBAWrite( LBA:1, SectorCount:1, WritePattern:0, MarkSectorHeader:FALSE, FUA:TRUE );");
  EXPECT_EQ(Requests("WriteFua").size(), 1u);
  EXPECT_EQ(Get(tree(), kRawNvme, 1, 1, 512), std::vector<uint8_t>(512, 0));
}

TEST_F(SectorCommands, WriteOnADiskWithLettersWarnsAndStillWrites) {
  Select(kLettered);
  Run("LBAWrite( LBA:4, SectorCount:1, WritePattern:0x01020304, MarkSectorHeader:TRUE );");
  EXPECT_EQ(Code(), 0);
  std::vector<engine::OutputLine> body = Body();
  ASSERT_FALSE(body.empty());
  EXPECT_EQ(body[0].text, "Command Only Support RAW Mode");
  EXPECT_EQ(body[0].colour, engine::colour::kRed);
  EXPECT_EQ(Get(tree(), kLettered, 4, 1, 4096), Block(4, 1, 0x01020304, true, 4096));
}

TEST_F(SectorCommands, WriteOnAVolumeEntryGoesToTheWholeDisk) {
  Select(kVolumeD);
  lab->requestLog().Clear();
  Run("LBAWrite( LBA:2, SectorCount:1 );");
  EXPECT_EQ(Code(), 0);
  std::vector<sim::RequestRecord> writes = Requests("Write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].path, kLettered);
  EXPECT_EQ(writes[0].offset, 2u * 4096);
}

TEST_F(SectorCommands, WritesToTheSystemDiskAreRefused) {
  for (const std::string& path : {kSystemSata, std::string("\\\\.\\C:")}) {
    Select(path);
    lab->requestLog().Clear();
    Run("LBAWrite( LBA:0, SectorCount:1 );");
    EXPECT_EQ(Code(), -22) << path;
    EXPECT_TRUE(Requests("Write").empty()) << path;
    EXPECT_TRUE(DumpPath().empty()) << path;
  }
}

TEST_F(SectorCommands, WriteRangesAreChecked) {
  Select(kRawNvme);
  const char* statements[] = {
      "LBAWrite( LBA:131072, SectorCount:1 );",
      "LBAWrite( LBA:131071, SectorCount:2 );",
      "LBAWrite( LBA:0, SectorCount:0 );",
      "LBAWrite( LBA:0, SectorCount:-3 );",
      "LBAWrite( LBA:0x7FFFFFFFFFFFFFFF, SectorCount:1 );",
      "LBAWrite( LBA:0, SectorCount:1, WritePattern:\"55AA\" );",
      "LBAWrite( LBA:0, SectorCount:1, WritePattern:0x100000000 );",
  };
  lab->requestLog().Clear();
  for (const char* s : statements) {
    Run(s);
    EXPECT_EQ(Code(), -2) << s;
  }
  EXPECT_TRUE(lab->requestLog().Records().empty());
}

TEST_F(SectorCommands, WriteFromAFileWritesItsWholeSectors) {
  Select(kRawNvme);
  std::vector<uint8_t> file(1000);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(dir.path(), "data.bin"), file));
  lab->requestLog().Clear();
  Run("LBAWrite( LBA:0, File:\"data.bin\" );");
  EXPECT_EQ(Code(), 0);
  std::vector<sim::RequestRecord> writes = Requests("Write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].offset, 0u);
  EXPECT_EQ(writes[0].length, 512u);
  const std::vector<uint8_t> first(file.begin(), file.begin() + 512);
  EXPECT_EQ(Get(tree(), kRawNvme, 0, 1, 512), first);
  EXPECT_EQ(DumpBytes(), first);
}

TEST_F(SectorCommands, WriteFromAFileThatIsMissingTooShortOrUnnamed) {
  Select(kRawNvme);
  Run("LBAWrite( LBA:0, File:\"absent.bin\" );");
  EXPECT_EQ(Code(), -11);
  EXPECT_EQ(Description(), "File Open Fail or File Does Not Exist. absent.bin");

  ASSERT_TRUE(
      platform::WriteWholeFile(platform::JoinPath(dir.path(), "tiny.bin"), std::vector<uint8_t>(100, 1)));
  Run("LBAWrite( LBA:0, File:\"tiny.bin\" );");
  EXPECT_EQ(Code(), -2) << "no whole sector to write";

  lab->requestLog().Clear();
  Run("LBAWrite( LBA:0, File:\"\" );");
  EXPECT_EQ(Code(), 0);
  EXPECT_TRUE(interp.view(0).cancel) << "nobody to choose a file: the run is cancelled";
  EXPECT_TRUE(Requests("Write").empty());
}

// ---- TRIM ----

TEST_F(SectorCommands, TrimOfCountZeroRunsToTheEndOfTheDisk) {
  Select(kRawNvme);
  lab->requestLog().Clear();
  Run("TRIM( LBA:100, TRIMSectorCount:0 );");
  EXPECT_EQ(Code(), 0);
  std::vector<sim::RequestRecord> trims = Requests("Trim");
  ASSERT_EQ(trims.size(), 1u);
  EXPECT_EQ(trims[0].offset, 100u * 512);
  EXPECT_EQ(trims[0].length, 64 * kMiB - 100 * 512);
  EXPECT_TRUE(Body().empty()) << "success prints nothing";
}

TEST_F(SectorCommands, TrimDeallocatesTheRangeAndCutsItAtTheEnd) {
  Select(kRawNvme);
  Put(tree(), kRawNvme, 10, Block(10, 4, 0x77777777, false, 512), 512);
  lab->requestLog().Clear();
  Run("TRIM( LBA:10, TRIMSectorCount:4 );");
  EXPECT_EQ(Code(), 0);
  EXPECT_EQ(Get(tree(), kRawNvme, 10, 4, 512), std::vector<uint8_t>(4 * 512, 0));
  Run("TRIM( LBA:131000, TRIMSectorCount:1000 );");
  std::vector<sim::RequestRecord> trims = Requests("Trim");
  ASSERT_EQ(trims.size(), 2u);
  EXPECT_EQ(trims[1].length, 72u * 512);
}

TEST_F(SectorCommands, TrimNeedsRawMode) {
  for (const std::string& path : {kVolumeD, kLettered, kSystemSata}) {
    Select(path);
    lab->requestLog().Clear();
    Run("TRIM( LBA:0, TRIMSectorCount:1 );");
    EXPECT_EQ(Code(), -20) << path;
    EXPECT_EQ(Description(), "Command Only Support RAW Mode. ") << path;
    EXPECT_TRUE(Requests("Trim").empty()) << path;
  }
}

TEST_F(SectorCommands, TrimFromPastTheEndIsRefused) {
  Select(kRawNvme);
  lab->requestLog().Clear();
  for (const char* s : {"TRIM( LBA:131072, TRIMSectorCount:0 );", "TRIM( LBA:200000, TRIMSectorCount:1 );",
                        "TRIM( LBA:0, TRIMSectorCount:-1 );", "TRIM( LBA:-1, TRIMSectorCount:1 );"}) {
    Run(s);
    EXPECT_EQ(Code(), -2) << s;
  }
  EXPECT_TRUE(lab->requestLog().Records().empty());
}

TEST_F(SectorCommands, TrimBehindAUsbBridgeSendsDatasetManagement) {
  Select(kBridge);
  ASSERT_EQ(state().current.diskKind, DiskKind::kAsm2362);
  Run("LBAWrite( LBA:0, SectorCount:32 );");
  ASSERT_EQ(Code(), 0);
  lab->requestLog().Clear();
  Run("TRIM( LBA:8, TRIMSectorCount:16 );");
  EXPECT_EQ(Code(), 0);
  // The ASMedia three-phase form: command, data out (the range page), completion.
  std::vector<sim::RequestRecord> scsi = Requests("Scsi");
  ASSERT_EQ(scsi.size(), 3u);
  EXPECT_EQ(scsi[0].command[2], 0x80);
  EXPECT_EQ(scsi[0].command[3], 0x01);  // the I/O queue
  EXPECT_EQ(scsi[1].command[0], 0xEA);
  EXPECT_EQ(scsi[1].length, kDeallocatePageBytes);
  EXPECT_EQ(scsi[2].command[2], 0x82);
  EXPECT_TRUE(Requests("Trim").empty());
  // The range reads as zeros now; the sectors around it kept their data.
  std::vector<uint8_t> sector(512);
  auto dev = lab->Open(kBridge, platform::OpenAccess::kRead);
  for (uint64_t lba : {7u, 8u, 23u, 24u}) {
    ASSERT_EQ(dev->Read(lba * 512, sector), 512u);
    const bool zero = std::all_of(sector.begin(), sector.end(), [](uint8_t b) { return b == 0; });
    EXPECT_EQ(zero, lba >= 8 && lba < 24) << lba;
  }
}

TEST_F(SectorCommands, TrimBehindABridgeThatRefusesIsAnIoControlError) {
  Select(kBridge);
  sim::FaultPlan plan;
  plan.bridgeCheckPhases = sim::bridge_phase::kData;
  Drive(kBridge)->set_faults(plan);
  Run("TRIM( LBA:8, TRIMSectorCount:16 );");
  EXPECT_EQ(Code(), -74);
}

// ---- FlushCache ----

TEST_F(SectorCommands, FlushCacheFlushesTheDevicePath) {
  Select(kRawNvme);
  lab->requestLog().Clear();
  Run("FlushCache();");
  EXPECT_EQ(Code(), 0);
  std::vector<sim::RequestRecord> flushes = Requests("Flush");
  ASSERT_EQ(flushes.size(), 1u);
  EXPECT_EQ(flushes[0].path, kRawNvme);
}

// ---- Failures ----

TEST_F(SectorCommands, InjectedFailuresGiveTheirCompletionCodes) {
  struct Case {
    const char* what;
    sim::FaultPlan plan;
    int32_t read, write, trim, flush;
  };
  sim::FaultPlan open;
  open.failOpen = true;
  sim::FaultPlan request;
  request.failRequests = sim::request::kAll;
  sim::FaultPlan media;
  media.mediaErrorLbas = {2};
  sim::FaultPlan shortMove;
  shortMove.shortTransfer = sim::request::kRead | sim::request::kWrite;
  const Case cases[] = {
      {"open failure", open, -1, -1, -1, -1},
      {"request failure", request, -3, -4, -74, -74},
      {"media error", media, -3, 0, 0, 0},
      {"short transfer", shortMove, -3, -4, 0, 0},
  };
  Select(kRawNvme);
  for (const Case& c : cases) {
    Drive(kRawNvme)->set_faults(c.plan);
    Run("LBARead( LBA:0, SectorCount:4 );");
    EXPECT_EQ(Code(), c.read) << c.what;
    EXPECT_TRUE(DumpPath().empty()) << c.what;
    Run("LBAWrite( LBA:0, SectorCount:4 );");
    EXPECT_EQ(Code(), c.write) << c.what;
    Run("TRIM( LBA:0, TRIMSectorCount:4 );");
    EXPECT_EQ(Code(), c.trim) << c.what;
    Run("FlushCache();");
    EXPECT_EQ(Code(), c.flush) << c.what;
    Drive(kRawNvme)->set_faults({});
  }
}

TEST_F(SectorCommands, AFailedPassOfRepeatedReadsEndsTheCommand) {
  Select(kRawNvme);
  sim::FaultPlan plan;
  plan.mediaErrorLbas = {0};
  Drive(kRawNvme)->set_faults(plan);
  lab->requestLog().Clear();
  Run("LBARead( LBA:0, SectorCount:1, Times:5 );");
  EXPECT_EQ(Code(), -3);
  EXPECT_EQ(Requests("Read").size(), 1u);
}

TEST_F(SectorCommands, WithoutACurrentDiskNothingOpens) {
  for (const char* s : {"LBARead( LBA:0, SectorCount:1 );", "LBAWrite( LBA:0, SectorCount:1 );",
                        "TRIM( LBA:0, TRIMSectorCount:1 );", "FlushCache();"}) {
    Run(s);
    EXPECT_EQ(Code(), -1) << s;
  }
}

}  // namespace
}  // namespace kestrune::disk::testing
