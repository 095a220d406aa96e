// The bridges and controller kinds: INQUIRY signatures as the USB bridge probe reads them, the
// classification inputs of each attachment, SCSI commands, ATA pass-through and the NVMe routes.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"
#include "lab_fixture.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
using platform::PassStatus;

// The USB bridge probe's reading of INQUIRY data (steps 1-5; step 6 needs the bridge forms).
int ProbeKind(const std::vector<uint8_t>& d) {
  const std::string product(d.begin() + 16, d.begin() + 32);
  std::string text;
  for (size_t i = 8; i < d.size() && d[i] != 0; ++i) text += static_cast<char>(d[i]);
  int kind = 21;
  if (d[36] == 0x60 && d[37] == 0x23) kind = base::ContainsNoCase(product, "2364") ? 15 : 14;
  if ((d[36] == 0x35 && d[37] == 0x35) || (d[36] == 0x30 && d[37] == 0x35)) kind = 13;
  if (product.find("9210B") != std::string::npos) {
    kind = 16;
  } else if (product.find("9210") != std::string::npos) {
    kind = 17;
  }
  if (d[36] == 0x05 && d[37] == 0x21) kind = 2;
  if (base::ContainsNoCase(text, "SATA")) kind = 2;
  return kind;
}

std::vector<uint8_t> Inquiry(platform::Device& dev, PassStatus* status = nullptr) {
  const uint8_t cdb[6] = {0x12, 0, 0, 0, 38, 0};
  std::vector<uint8_t> data(38);
  platform::ScsiResult result;
  PassStatus s = dev.Scsi(cdb, DataDirection::kIn, data, 60, result);
  if (status) *status = s;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.transferred, 38u);
  return data;
}

TEST(Bridges, InquirySignaturesGiveTheProbedKinds) {
  const Attachment usb[] = {Attachment::kUsbJmicron,  Attachment::kUsbAsm2362, Attachment::kUsbAsm2364,
                            Attachment::kUsbRtl9210B, Attachment::kUsbRtl9210, Attachment::kSataUsb,
                            Attachment::kUsbFlash};
  LabDescription lab;
  uint32_t n = 0;
  for (Attachment a : usb) lab.drives.push_back(SmallDrive("D" + std::to_string(n), a, n)), ++n;
  LabUnderTest t(lab);
  platform::DeviceSnapshot snap = t.lab->Enumerate();
  ASSERT_EQ(snap.disks.size(), std::size(usb));
  for (size_t i = 0; i < std::size(usb); ++i) {
    const platform::DiskNode& node = snap.disks[i];
    EXPECT_EQ(node.busType, platform::bus::kUsb);
    EXPECT_NE(node.parent.driverService, "stornvme");
    EXPECT_EQ(node.usbPorts, std::vector<uint32_t>{static_cast<uint32_t>(i + 1)});
    EXPECT_EQ(node.usbHostController, 1u);
    auto dev = t.Open(node.physicalPath);
    ASSERT_TRUE(dev);
    EXPECT_EQ(ProbeKind(Inquiry(*dev)), static_cast<int>(ExpectedKind(usb[i]))) << AttachmentName(usb[i]);
  }
}

TEST(Bridges, ClassificationInputsOfHostControllers) {
  struct Row {
    Attachment attachment;
    uint32_t busType;
    const char* service;  // what the classification looks for in the parent's service
  };
  const Row rows[] = {
      {Attachment::kSataAhci, platform::bus::kSata, "storahci"},
      {Attachment::kSataSas, platform::bus::kSas, "simsas"},
      {Attachment::kNvmeInbox, platform::bus::kNvme, "stornvme"},
      {Attachment::kNvmeCommunity, platform::bus::kNvme, "nvmemini"},
      {Attachment::kNvmeRst, platform::bus::kRaid, "iaStorAC"},
  };
  LabDescription lab;
  uint32_t n = 0;
  for (const Row& row : rows)
    lab.drives.push_back(SmallDrive("D" + std::to_string(n), row.attachment, n)), ++n;
  LabUnderTest t(lab);
  platform::DeviceSnapshot snap = t.lab->Enumerate();
  ASSERT_EQ(snap.disks.size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(snap.disks[i].busType, rows[i].busType) << i;
    EXPECT_EQ(snap.disks[i].parent.driverService, rows[i].service) << i;
  }
  EXPECT_TRUE(base::ContainsNoCase(snap.disks[4].parent.driverService, "iastor"));
}

TEST(Bridges, SoftwareRaidIsAVolumeWithoutADisk) {
  DriveDescription raid = SmallDrive("R", Attachment::kSoftwareRaid, 0);
  raid.volumes = {{'R', 0, raid.capacityBytes, 1 << 20}};
  LabUnderTest t({{raid}});
  platform::DeviceSnapshot snap = t.lab->Enumerate();
  EXPECT_TRUE(snap.disks.empty());
  ASSERT_EQ(snap.volumes.size(), 1u);
  EXPECT_TRUE(snap.volumes[0].softwareRaid);
  EXPECT_FALSE(snap.volumes[0].onListedDisk);
  auto dev = t.Open("\\\\.\\R:");
  ASSERT_TRUE(dev);
  std::vector<uint8_t> data = Pattern(512, 1), back(512);
  ASSERT_EQ(dev->Write(0, data, false), 512u);
  ASSERT_EQ(dev->Read(0, back), 512u);
  EXPECT_EQ(back, data);
  uint8_t cdb[6] = {0x12, 0, 0, 0, 36, 0};
  platform::ScsiResult result;
  EXPECT_EQ(dev->Scsi(cdb, DataDirection::kIn, back, 60, result), PassStatus::kNotSupported);
}

TEST(Scsi, ReadCapacityAndUnknownCdbs) {
  LabUnderTest t({{SmallDrive("A", Attachment::kUsbAsm2362, 0, 4096)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  ASSERT_TRUE(dev);
  platform::ScsiResult result;
  std::vector<uint8_t> data(32);
  const uint8_t rc10[10] = {0x25};
  ASSERT_EQ(dev->Scsi(rc10, DataDirection::kIn, data, 60, result), PassStatus::kOk);
  EXPECT_EQ(result.status, 0);
  const uint8_t expect10[8] = {0, 0, 0x07, 0xFF, 0, 0, 0x10, 0};  // last LBA 2047, 4096 bytes
  EXPECT_TRUE(std::equal(std::begin(expect10), std::end(expect10), data.begin()));
  const uint8_t rc16[16] = {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0};
  ASSERT_EQ(dev->Scsi(rc16, DataDirection::kIn, data, 60, result), PassStatus::kOk);
  EXPECT_EQ(result.transferred, 32u);
  EXPECT_EQ(data[7], 0xFF);
  EXPECT_EQ(data[6], 0x07);
  EXPECT_EQ(data[10], 0x10);

  // Other bridges' CDB sets and ATA pass-through: CHECK CONDITION, ILLEGAL REQUEST, INVALID
  // COMMAND OPERATION CODE; this bridge's own CDBs with nonsense in them: INVALID FIELD IN CDB.
  for (uint8_t op : {0xA1, 0x85, 0xE4, 0xE5, 0xFF, 0xEA, 0xE6}) {
    uint8_t cdb[16] = {op};
    ASSERT_EQ(dev->Scsi(cdb, DataDirection::kIn, data, 60, result), PassStatus::kOk);
    EXPECT_EQ(result.status, 2);
    auto codes = SenseCodes(result);
    EXPECT_EQ(codes[0], sense_key::kIllegalRequest);
    EXPECT_EQ(codes[1], op == 0xEA || op == 0xE6 ? 0x24 : 0x20) << std::hex << int{op};
  }
}

TEST(Scsi, ReadWriteCdbsShareTheMedia) {
  LabUnderTest t({{SmallDrive("A", Attachment::kUsbJmicron, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(1024, 5);
  const uint8_t write10[10] = {0x2A, 0, 0, 0, 0, 10, 0, 0, 2, 0};
  platform::ScsiResult result;
  ASSERT_EQ(dev->Scsi(write10, DataDirection::kOut, data, 60, result), PassStatus::kOk);
  EXPECT_EQ(result.status, 0);
  std::vector<uint8_t> back(1024);
  ASSERT_EQ(dev->Read(10 * 512, back), 1024u);
  EXPECT_EQ(back, data);
  const uint8_t read16[16] = {0x88, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 2, 0, 0};
  std::fill(back.begin(), back.end(), 0);
  ASSERT_EQ(dev->Scsi(read16, DataDirection::kIn, back, 60, result), PassStatus::kOk);
  EXPECT_EQ(back, data);
  const uint8_t beyond[10] = {0x28, 0, 0, 0, 0x40, 0, 0, 0, 1, 0};  // LBA 16384 of 16384
  ASSERT_EQ(dev->Scsi(beyond, DataDirection::kIn, back, 60, result), PassStatus::kOk);
  EXPECT_EQ(SenseCodes(result)[1], 0x21);
}

TEST(Sat, IdentifyThroughAtaPassThroughOnUsbSata) {
  LabUnderTest t({{SmallDrive("S", Attachment::kSataUsb, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  platform::ScsiResult result;
  std::vector<uint8_t> id(512);
  // The forms the ATA layer sends: PIO data-in, transfer from the device, length in the count.
  const uint8_t pt12[12] = {0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0x40, 0xEC, 0, 0};
  ASSERT_EQ(dev->Scsi(pt12, DataDirection::kIn, id, 60, result), PassStatus::kOk);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(id[54], 'I');  // "SIM MODEL 0" byte-swapped
  EXPECT_EQ(id[55], 'S');
  std::fill(id.begin(), id.end(), 0);
  const uint8_t pt16[16] = {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 0xEC, 0};
  ASSERT_EQ(dev->Scsi(pt16, DataDirection::kIn, id, 60, result), PassStatus::kOk);
  EXPECT_EQ(id[55], 'S');
  // The system's ATA route does not reach a drive behind a bridge.
  platform::AtaRegisters regs;
  regs.command = 0xEC;
  EXPECT_EQ(dev->Ata(regs, DataDirection::kIn, id, 60), PassStatus::kNotSupported);
}

TEST(Sat, AtaErrorsComeBackInDescriptorSense) {
  LabUnderTest t({{SmallDrive("S", Attachment::kSataSas, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  platform::ScsiResult result;
  std::vector<uint8_t> data(512);
  const uint8_t unknown[12] = {0xA1, 0x06, 0x00, 0, 0, 0, 0, 0, 0x40, 0x77, 0, 0};
  ASSERT_EQ(dev->Scsi(unknown, DataDirection::kNone, {}, 60, result), PassStatus::kOk);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.sense[0], 0x72);
  EXPECT_EQ(result.sense[1], sense_key::kAbortedCommand);
  EXPECT_EQ(result.sense[8], 0x09);   // ATA Status Return descriptor
  EXPECT_EQ(result.sense[11], 0x04);  // ERROR: ABORT
  EXPECT_EQ(result.sense[21], 0x51);  // STATUS: ERR
  // CK_COND asks for the registers also on success.
  const uint8_t flush[12] = {0xA1, 0x06, 0x20, 0, 0, 0, 0, 0, 0x40, 0xE7, 0, 0};
  ASSERT_EQ(dev->Scsi(flush, DataDirection::kNone, {}, 60, result), PassStatus::kOk);
  EXPECT_EQ(result.sense[1], sense_key::kRecoveredError);
  EXPECT_EQ(result.sense[21], 0x50);
}

TEST(Sat, PreviousRegistersCountOnlyWithTheExtendBit) {
  // 16 GiB of 512-byte sectors reach past LBA 2^24 (sparse: only the written sector costs space).
  LabUnderTest t({{SmallDrive("S", Attachment::kSataUsb, 0, 512, uint64_t{16} << 30)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(512, 77);
  const uint64_t lba = uint64_t{1} << 24;
  ASSERT_EQ(dev->Write(lba * 512, data, false), 512u);
  platform::ScsiResult result;
  std::vector<uint8_t> back(512);
  // READ DMA EXT at LBA 2^24: byte 7 carries LBA bits 24-31.
  uint8_t cdb[16] = {0x85, 0x0D, 0x0E, 0, 0, 0, 1, 0x01, 0, 0, 0, 0, 0, 0x40, 0x25, 0};
  ASSERT_EQ(dev->Scsi(cdb, DataDirection::kIn, back, 60, result), PassStatus::kOk);
  EXPECT_EQ(back, data);
  // Without EXTEND the translation leaves the previous registers out: the drive reads LBA 0.
  cdb[1] = 0x0C;
  std::fill(back.begin(), back.end(), 0xEE);
  ASSERT_EQ(dev->Scsi(cdb, DataDirection::kIn, back, 60, result), PassStatus::kOk);
  EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
}

TEST(Sat, AtaReadWriteOnAhci) {
  LabUnderTest t({{SmallDrive("S", Attachment::kSataAhci, 0, 4096)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(8192, 3);
  platform::AtaRegisters w;
  w.command = 0x35;  // WRITE DMA EXT, 2 sectors at LBA 5
  w.count = 2;
  w.lbaLow = 5;
  w.extended = true;
  w.dma = true;
  ASSERT_EQ(dev->Ata(w, DataDirection::kOut, data, 60), PassStatus::kOk);
  EXPECT_EQ(w.command, 0x50);
  std::vector<uint8_t> back(8192);
  ASSERT_EQ(dev->Read(5 * 4096, back), 8192u);
  EXPECT_EQ(back, data);
  platform::AtaRegisters r;
  r.command = 0x20;  // READ SECTORS beyond the end: ID NOT FOUND
  r.count = 1;
  r.lbaLow = 0x00;
  r.lbaMid = 0x08;  // LBA 2048 of 2048
  ASSERT_EQ(dev->Ata(r, DataDirection::kIn, back, 60), PassStatus::kOk);
  EXPECT_EQ(r.command, 0x51);
  EXPECT_EQ(r.features, 0x10);
}

std::array<uint8_t, 64> NvmeEntry(uint8_t opcode, uint32_t nsid,
                                  std::initializer_list<std::pair<int, uint32_t>> dws) {
  std::array<uint8_t, 64> e{};
  e[0] = opcode;
  base::PutLe32(&e[4], nsid);
  for (auto [i, v] : dws) base::PutLe32(&e[4 * i], v);
  return e;
}

TEST(Nvme, MiniportRoutesGoThroughTheScsiPort) {
  LabDescription lab;
  lab.drives.push_back(SmallDrive("M", Attachment::kNvmeCommunity, 0));
  lab.drives.push_back(SmallDrive("R", Attachment::kNvmeRst, 1));
  LabUnderTest t(lab);
  std::vector<uint8_t> data(4096);
  platform::NvmeCompletion done;
  auto identify = NvmeEntry(0x06, 0, {{10, 1}});
  struct Row {
    const char* path;
    platform::NvmeRoute route;
    PassStatus expected;
  };
  const Row rows[] = {
      {"\\\\.\\scsi0:", platform::NvmeRoute::kCommunityMiniport, PassStatus::kOk},
      {"\\\\.\\scsi0:", platform::NvmeRoute::kRstMiniport, PassStatus::kNotSupported},
      {"\\\\.\\PHYSICALDRIVE0", platform::NvmeRoute::kCommunityMiniport, PassStatus::kNotSupported},
      {"\\\\.\\PHYSICALDRIVE0", platform::NvmeRoute::kInbox, PassStatus::kNotSupported},
      {"\\\\.\\SCSI1:", platform::NvmeRoute::kRstMiniport, PassStatus::kOk},
      {"\\\\.\\scsi1:", platform::NvmeRoute::kInbox, PassStatus::kNotSupported},
  };
  for (const Row& row : rows) {
    auto dev = t.Open(row.path);
    ASSERT_TRUE(dev) << row.path;
    EXPECT_EQ(dev->Nvme(row.route, platform::NvmeQueue::kAdmin, identify, DataDirection::kIn, data, 60, done),
              row.expected)
        << row.path << " route " << static_cast<int>(row.route);
  }
  // A port handle carries no sector I/O.
  auto port = t.Open("\\\\.\\scsi0:");
  EXPECT_FALSE(port->Read(0, data));
  EXPECT_FALSE(port->LengthBytes());
}

TEST(Nvme, CommandsAndStatusCodes) {
  LabUnderTest t({{SmallDrive("N", Attachment::kNvmeInbox, 0, 4096)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data(8192);
  platform::NvmeCompletion done;
  auto send = [&](platform::NvmeQueue q, const std::array<uint8_t, 64>& e, DataDirection dir) {
    EXPECT_EQ(dev->Nvme(platform::NvmeRoute::kInbox, q, e, dir, data, 60, done), PassStatus::kOk);
    return done.status;
  };
  using Q = platform::NvmeQueue;
  EXPECT_EQ(send(Q::kAdmin, NvmeEntry(0x06, 1, {{10, 0}}), DataDirection::kIn), 0);
  EXPECT_EQ(base::GetLe64(&data[0]), 2048u);
  EXPECT_EQ(send(Q::kAdmin, NvmeEntry(0x06, 5, {{10, 0}}), DataDirection::kIn),
            nvme_status::kInvalidNamespace);
  EXPECT_EQ(send(Q::kAdmin, NvmeEntry(0x06, 0, {{10, 0x55}}), DataDirection::kIn),
            nvme_status::kInvalidField);
  EXPECT_EQ(send(Q::kAdmin, NvmeEntry(0xC5, 0, {}), DataDirection::kNone), nvme_status::kInvalidOpcode);
  EXPECT_EQ(send(Q::kIo, NvmeEntry(0x06, 1, {}), DataDirection::kNone), nvme_status::kInvalidOpcode);

  // Write 2 blocks at LBA 7, read them back through the I/O queue and through sector I/O.
  std::vector<uint8_t> pattern = Pattern(8192, 11);
  data = pattern;
  EXPECT_EQ(send(Q::kIo, NvmeEntry(0x01, 1, {{10, 7}, {12, 1}}), DataDirection::kOut), 0);
  std::fill(data.begin(), data.end(), 0);
  EXPECT_EQ(send(Q::kIo, NvmeEntry(0x02, 1, {{10, 7}, {12, 1}}), DataDirection::kIn), 0);
  EXPECT_EQ(data, pattern);
  EXPECT_EQ(send(Q::kIo, NvmeEntry(0x02, 1, {{10, 2047}, {12, 1}}), DataDirection::kIn),
            nvme_status::kLbaOutOfRange);
  EXPECT_EQ(send(Q::kIo, NvmeEntry(0x00, 1, {}), DataDirection::kNone), 0);

  // Dataset Management, deallocate LBA 7 (one block): it reads as zeros afterwards.
  std::fill(data.begin(), data.end(), 0);
  base::PutLe32(&data[4], 1);
  base::PutLe64(&data[8], 7);
  EXPECT_EQ(send(Q::kIo, NvmeEntry(0x09, 1, {{10, 0}, {11, 4}}), DataDirection::kOut), 0);
  std::vector<uint8_t> back(8192);
  ASSERT_EQ(dev->Read(7 * 4096, back), 8192u);
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 4096), std::vector<uint8_t>(4096, 0));
  EXPECT_EQ(std::vector<uint8_t>(back.begin() + 4096, back.end()),
            std::vector<uint8_t>(pattern.begin() + 4096, pattern.end()));
}

}  // namespace
}  // namespace kestrune::sim
