// The Windows device-control requests as the simulated drives answer them: what each driver
// takes, what it refuses, and how answers are written.
#include "base/bytes.h"
#include "lab_fixture.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_nvme_inbox.h"
#include "platform/win_scsi_layouts.h"
#include "platform/win_storage_layouts.h"
#include "sim/control_requests.h"
#include "sim/lab_firmware_image.h"

namespace kestrune::sim {
namespace {

namespace w = platform::winio;
using platform::DataDirection;
using platform::NvmeQueue;
using platform::PassStatus;

class ControlRequests : public ::testing::Test {
 protected:
  ControlRequests() : t(Lab()) {}
  static LabDescription Lab() {
    LabDescription lab;
    lab.drives = {SmallDrive("Inbox", Attachment::kNvmeInbox, 0), SmallDrive("Rst", Attachment::kNvmeRst, 1),
                  SmallDrive("Mini", Attachment::kNvmeCommunity, 2), SmallDrive("Sata", Attachment::kSataAhci, 3)};
    lab.drives[1].pathId = 4;
    return lab;
  }
  PassStatus Send(platform::Device& dev, uint32_t code, std::vector<uint8_t>& buffer) {
    return dev.Control(code, buffer, buffer, returned, error);
  }
  std::array<uint8_t, 64> Entry(uint8_t opcode, uint32_t cdw10 = 0) {
    std::array<uint8_t, 64> e{};
    e[0] = opcode;
    base::PutLe32(&e[40], cdw10);
    return e;
  }

  LabUnderTest t;
  uint32_t returned = 0, error = 0;
};

TEST_F(ControlRequests, InboxQueryAnswersWithTheDataDescriptor) {
  auto dev = t.Open(PhysicalDrivePath(0));
  w::ProtocolQuery q;
  q.dataType = w::kNvmeDataTypeIdentify;
  q.requestValue = 1;
  q.dataLength = 4096;
  std::vector<uint8_t> buffer = w::BuildProtocolQuery(q);
  ASSERT_EQ(Send(*dev, w::kIoctlStorageQueryProperty, buffer), PassStatus::kOk);
  EXPECT_EQ(returned, 4144u);
  EXPECT_EQ(base::GetLe32(&buffer[0]), 48u);
  EXPECT_EQ(base::GetLe32(&buffer[28]), 4096u);
  EXPECT_EQ(std::string(buffer.begin() + 48 + 24, buffer.begin() + 48 + 33), "SIM MODEL");
  const RequestRecord r = t.lab->requestLog().Records().back();
  EXPECT_EQ(r.operation, "NvmeAdmin");
  EXPECT_EQ(r.control, w::kIoctlStorageQueryProperty);
  EXPECT_NE(FormatRecord(r).find("op 06 nsid 0 cdw10 00000001 +4096 via 002D1400 -> ok"), std::string::npos)
      << FormatRecord(r);

  // The same query on a drive that is not on the inbox driver, or a short answer buffer.
  auto sata = t.Open(PhysicalDrivePath(3));
  buffer = w::BuildProtocolQuery(q);
  EXPECT_EQ(Send(*sata, w::kIoctlStorageQueryProperty, buffer), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kInvalidFunction);
  std::vector<uint8_t> in = w::BuildProtocolQuery(q), out(100);
  EXPECT_EQ(dev->Control(w::kIoctlStorageQueryProperty, in, out, returned, error), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kInsufficientBuffer);
  // A refused command fails the request.
  q.requestValue = 0x10;
  buffer = w::BuildProtocolQuery(q);
  EXPECT_EQ(Send(*dev, w::kIoctlStorageQueryProperty, buffer), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kIoDevice);
}

TEST_F(ControlRequests, InboxProtocolCommandReportsTheStatusInTheRequest) {
  auto dev = t.Open(PhysicalDrivePath(0));
  std::vector<uint8_t> buffer = w::BuildProtocolCommand(NvmeQueue::kAdmin, Entry(0xC5), DataDirection::kNone, {}, 60);
  ASSERT_EQ(Send(*dev, w::kIoctlStorageProtocolCommand, buffer), PassStatus::kOk);
  EXPECT_EQ(base::GetLe32(&buffer[16]), 2u);       // STORAGE_PROTOCOL_STATUS_ERROR
  EXPECT_EQ(base::GetLe32(&buffer[20]), 0x0001u);  // invalid opcode

  std::vector<uint8_t> page(512);
  buffer = w::BuildProtocolCommand(NvmeQueue::kAdmin, Entry(0x02, 0x007F0002), DataDirection::kIn, page, 60);
  ASSERT_EQ(Send(*dev, w::kIoctlStorageProtocolCommand, buffer), PassStatus::kOk);
  EXPECT_EQ(base::GetLe32(&buffer[16]), 1u);
  EXPECT_EQ(base::GetLe16(&buffer[144 + 1]), kCompositeTemperatureKelvin);

  // Security commands take the driver's SCSI translation instead.
  buffer = w::BuildProtocolCommand(NvmeQueue::kAdmin, Entry(0x82), DataDirection::kIn, page, 60);
  EXPECT_EQ(Send(*dev, w::kIoctlStorageProtocolCommand, buffer), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kNotSupported);
  std::vector<uint8_t> data(16);
  const auto cdb = w::SecurityProtocolCdb(Entry(0x82), 16);
  w::SptdFields f;
  f.cdb = cdb;
  f.dataIn = w::kScsiDataIn;
  f.transferLength = 16;
  f.dataAddress = reinterpret_cast<uintptr_t>(data.data());
  auto sptd = *w::BuildSptd(f);
  ASSERT_EQ(dev->Control(w::kIoctlScsiPassThroughDirect, sptd, sptd, returned, error), PassStatus::kOk);
  EXPECT_EQ(w::ReadSptd(sptd).scsiStatus, 0);
  EXPECT_EQ(data[9], 0xEF);  // the supported protocol list
}

TEST_F(ControlRequests, PassThroughDirectReturnsStatusAndSense) {
  auto dev = t.Open(PhysicalDrivePath(3));
  std::vector<uint8_t> data(8);
  const uint8_t cdb[6] = {0x12, 0, 0x55, 0, 8, 0};  // a VPD page the drive does not have
  w::SptdFields f;
  f.cdb = cdb;
  f.dataIn = w::kScsiDataIn;
  f.transferLength = 8;
  f.dataAddress = reinterpret_cast<uintptr_t>(data.data());
  auto sptd = *w::BuildSptd(f);
  ASSERT_EQ(dev->Control(w::kIoctlScsiPassThroughDirect, sptd, sptd, returned, error), PassStatus::kOk);
  const w::SptdReply reply = w::ReadSptd(sptd);
  EXPECT_EQ(reply.scsiStatus, 2);
  ASSERT_GE(reply.sense.size(), 13u);
  EXPECT_EQ(reply.sense[12], 0x24);
  f.dataAddress = 0;  // data without a buffer
  sptd = *w::BuildSptd(f);
  EXPECT_EQ(dev->Control(w::kIoctlScsiPassThroughDirect, sptd, sptd, returned, error), PassStatus::kFailed);
}

TEST_F(ControlRequests, InboxFirmwareActivationWaitsForAReset) {
  auto dev = t.Open(PhysicalDrivePath(0));
  std::vector<uint8_t> image = MakeLabImage("INBOXFW2", 4096);
  std::vector<uint8_t> download = w::BuildFirmwareDownload(0, image);
  ASSERT_EQ(dev->Control(w::kIoctlStorageFirmwareDownload, download, {}, returned, error), PassStatus::kOk);
  auto activate = w::BuildFirmwareActivate(2, 1);
  EXPECT_EQ(dev->Control(w::kIoctlStorageFirmwareActivate, activate, {}, returned, error), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kActivateAfterReset);
  activate = w::BuildFirmwareActivate(1, 2);  // switch back to slot 1: done at once
  EXPECT_EQ(dev->Control(w::kIoctlStorageFirmwareActivate, activate, {}, returned, error), PassStatus::kOk);
  std::vector<uint8_t> odd = w::BuildFirmwareDownload(2, image);
  EXPECT_EQ(dev->Control(w::kIoctlStorageFirmwareDownload, odd, {}, returned, error), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kInvalidParameter);
}

TEST_F(ControlRequests, MiniportRequestsReachOnlyTheirOwnDriver) {
  auto rstPort = t.Open(ScsiPortPath(1));
  auto miniPort = t.Open(ScsiPortPath(2));
  auto rstDisk = t.Open(PhysicalDrivePath(1));
  ASSERT_TRUE(rstPort && miniPort && rstDisk);
  std::vector<uint8_t> data(4096);

  std::vector<uint8_t> rst = w::BuildRstNvme(4, NvmeQueue::kAdmin, Entry(0x06, 1), data);
  ASSERT_EQ(Send(*rstPort, w::kIoctlScsiMiniport, rst), PassStatus::kOk);
  EXPECT_EQ(std::string(rst.begin() + 164 + 24, rst.begin() + 164 + 33), "SIM MODEL");
  EXPECT_EQ(base::GetLe16(&rst[96 + 14]), 0);

  std::vector<uint8_t> otherPath = w::BuildRstNvme(3, NvmeQueue::kAdmin, Entry(0x06, 1), data);
  EXPECT_EQ(Send(*rstPort, w::kIoctlScsiMiniport, otherPath), PassStatus::kFailed);
  std::vector<uint8_t> onDisk = w::BuildRstNvme(4, NvmeQueue::kAdmin, Entry(0x06, 1), data);
  EXPECT_EQ(Send(*rstDisk, w::kIoctlScsiMiniport, onDisk), PassStatus::kFailed);
  std::vector<uint8_t> wrongDriver = w::BuildCommunityNvme(NvmeQueue::kAdmin, Entry(0x06, 1), DataDirection::kIn, data);
  EXPECT_EQ(Send(*rstPort, w::kIoctlScsiMiniport, wrongDriver), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kInvalidFunction);

  std::vector<uint8_t> mini = w::BuildCommunityNvme(NvmeQueue::kAdmin, Entry(0xC5), DataDirection::kNone, {});
  ASSERT_EQ(Send(*miniPort, w::kIoctlScsiMiniport, mini), PassStatus::kOk);
  EXPECT_EQ(base::GetLe16(&mini[116 + 14]) >> 1, 0x0001);  // the status in the completion entry
  std::vector<uint8_t> storage = w::BuildProtocolCommand(NvmeQueue::kAdmin, Entry(0x06, 1), DataDirection::kIn, data, 60);
  EXPECT_EQ(Send(*miniPort, w::kIoctlStorageProtocolCommand, storage), PassStatus::kFailed);
}

TEST_F(ControlRequests, RstFirmwareRequestsMustCarryTheirWords) {
  auto port = t.Open(ScsiPortPath(1));
  std::vector<uint8_t> image = MakeLabImage("RSTFW002", 4096);
  std::vector<uint8_t> down = w::BuildRstFirmwareDownload(4, 0, image);
  ASSERT_EQ(port->Control(w::kIoctlScsiMiniport, down, {}, returned, error), PassStatus::kOk);
  std::vector<uint8_t> activate = w::BuildRstFirmwareActivate(4);
  ASSERT_EQ(port->Control(w::kIoctlScsiMiniport, activate, {}, returned, error), PassStatus::kOk);
  EXPECT_EQ(t.lab->drives()[1]->controller().nextSlot, 2);
  down = w::BuildRstFirmwareDownload(4, 0, image);
  base::PutLe32(&down[80], 0);  // not the tabled value
  EXPECT_EQ(port->Control(w::kIoctlScsiMiniport, down, {}, returned, error), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kInvalidParameter);
}

TEST_F(ControlRequests, AGoneDriveFailsTheRequest) {
  auto dev = t.Open(PhysicalDrivePath(0));
  t.lab->drives()[0]->Unplug(std::nullopt);
  std::vector<uint8_t> buffer = w::BuildProtocolCommand(NvmeQueue::kAdmin, Entry(0xC5), DataDirection::kNone, {}, 60);
  EXPECT_EQ(Send(*dev, w::kIoctlStorageProtocolCommand, buffer), PassStatus::kFailed);
  EXPECT_EQ(error, win_error::kDeviceNotConnected);
}

}  // namespace
}  // namespace kestrune::sim
