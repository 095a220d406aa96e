// The simulated NVMe controller: Identify, log pages, features with saved values, firmware slots,
// format, security, unknown opcodes and injected failures.
#include <algorithm>

#include "nvme_model_fixture.h"
#include "sim/identify_data.h"
#include "sim/lab_firmware_image.h"
#include "sim/nvme_controller.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;

uint64_t Le64(const std::vector<uint8_t>& b, size_t at) { return base::GetLe64(&b[at]); }
std::string Text(const std::vector<uint8_t>& b, size_t at, size_t n) { return std::string(b.begin() + at, b.begin() + at + n); }

TEST_F(NvmeModel, IdentifyStructures) {
  std::vector<uint8_t> data(4096, 0xEE);
  ASSERT_EQ(In(0x06, 0, {{10, 1}}, data), 0);
  EXPECT_EQ(Text(data, 24, 9), "SIM MODEL");
  EXPECT_EQ(Text(data, 64, 8), "FW0     ");
  EXPECT_EQ(base::GetLe16(&data[256]), 0x0007);  // security, format, firmware
  EXPECT_EQ(data[260], 0x17);                      // three slots, slot 1 read-only
  EXPECT_EQ(data[261] & 0x02, 0x02);               // command effects log

  ASSERT_EQ(In(0x06, 1, {{10, 0}}, data), 0);
  EXPECT_EQ(Le64(data, 0), (uint64_t{8} << 20) / 512);
  const std::vector<uint8_t> eui(data.begin() + 120, data.begin() + 128);
  const std::vector<uint8_t> nguid(data.begin() + 104, data.begin() + 120);
  EXPECT_NE(eui, std::vector<uint8_t>(8, 0));

  ASSERT_EQ(In(0x06, 0, {{10, 2}}, data), 0);  // active namespaces above 0: just 1
  EXPECT_EQ(base::GetLe32(&data[0]), 1u);
  EXPECT_EQ(base::GetLe32(&data[4]), 0u);
  ASSERT_EQ(In(0x06, 1, {{10, 2}}, data), 0);  // none above 1
  EXPECT_EQ(base::GetLe32(&data[0]), 0u);

  ASSERT_EQ(In(0x06, 1, {{10, 3}}, data), 0);  // descriptors: EUI-64, NGUID, UUID
  EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + 4), (std::vector<uint8_t>{1, 8, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 4, data.begin() + 12), eui);
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 12, data.begin() + 16), (std::vector<uint8_t>{2, 16, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 16, data.begin() + 32), nguid);
  EXPECT_EQ(data[32], 3);
  EXPECT_EQ(data[33], 16);
  EXPECT_EQ(data[36 + 6] & 0xF0, 0x40);  // a version 4 UUID
  EXPECT_EQ(data[52], 0);                // end of the list

  EXPECT_EQ(In(0x06, 5, {{10, 0}}, data), 0x000B);  // no namespace 5
  EXPECT_EQ(In(0x06, 0, {{10, 3}}, data), 0x000B);
  EXPECT_EQ(In(0x06, 0, {{10, 0x10}}, data), 0x0002);
}

TEST_F(NvmeModel, HealthCountsWhatTheDriveDid) {
  std::vector<uint8_t> smart = Log(0x02, 512);
  EXPECT_EQ(base::GetLe16(&smart[1]), kCompositeTemperatureKelvin);
  EXPECT_EQ(smart[0], 0);
  EXPECT_EQ(smart[3], 100);
  EXPECT_EQ(Le64(smart, 112), 1u);  // power cycles: the power-on of the lab
  const uint64_t readsBefore = Le64(smart, 64);

  std::vector<uint8_t> block(512 * 1000, 0x5A);
  ASSERT_EQ(dev->Write(0, block, false), block.size());  // 1000 units of 512 bytes: one data unit
  ASSERT_EQ(dev->Write(0, std::span<const uint8_t>(block).first(512), false), 512u);
  ASSERT_EQ(dev->Read(0, block), block.size());
  smart = Log(0x02, 512);
  EXPECT_EQ(Le64(smart, 48), 2u);  // 1001 units written: rounded up
  EXPECT_EQ(Le64(smart, 32), 1u);
  EXPECT_EQ(Le64(smart, 80), 2u);
  EXPECT_EQ(Le64(smart, 64), readsBefore + 1);

  t.lab->PowerCut();
  smart = Log(0x02, 512);
  EXPECT_EQ(Le64(smart, 112), 2u);
  EXPECT_EQ(Le64(smart, 144), 1u);  // unsafe shutdowns

  // Raising the over-temperature threshold's opposite: an under-temperature threshold above the
  // temperature raises the temperature warning.
  ASSERT_EQ(Send(0x09, 0, {{10, 0x04}, {11, (1u << 20) | 320}}), 0);
  EXPECT_EQ(Log(0x02, 512)[0], 0x02);
}

TEST_F(NvmeModel, ErrorLogAndUnknownOpcodes) {
  std::vector<uint8_t> data(512);
  EXPECT_EQ(Send(0xC5, 0), 0x0001);  // invalid command opcode
  EXPECT_EQ(Send(0x7F, 1, {}, DataDirection::kNone, {}, platform::NvmeQueue::kIo), 0x0001);
  EXPECT_EQ(In(0x02, 0xFFFFFFFF, {{10, 0x00FF0042}}, data), 0x0109);  // invalid log page
  const std::vector<uint8_t> errors = Log(0x01, 256);
  EXPECT_EQ(Le64(errors, 0), 3u);  // newest first
  EXPECT_EQ(base::GetLe16(&errors[12]), 0x0109 << 1);
  EXPECT_EQ(Le64(errors, 64), 2u);
  EXPECT_EQ(base::GetLe16(&errors[64 + 8]), 1);  // the I/O queue
  EXPECT_EQ(base::GetLe16(&errors[64 + 12]), 0x0001 << 1);
  EXPECT_EQ(Le64(Log(0x02, 512), 176), 3u);
  // An offset into the page.
  EXPECT_EQ(Le64(Log(0x01, 64, 64), 0), 2u);
}

TEST_F(NvmeModel, CommandEffectsListWhatTheControllerRuns) {
  const std::vector<uint8_t> page = Log(0x05, 4096);
  auto admin = [&](int op) { return base::GetLe32(&page[4 * op]); };
  auto io = [&](int op) { return base::GetLe32(&page[1024 + 4 * op]); };
  EXPECT_EQ(admin(0x06), 1u);
  EXPECT_EQ(admin(0x80), 1u | 2 | 4 | 8);
  EXPECT_EQ(admin(0x10), 1u | 16);
  EXPECT_EQ(admin(0xC5), 0u);
  EXPECT_EQ(io(0x01), 3u);
  EXPECT_EQ(io(0x02), 1u);
}

TEST_F(NvmeModel, FeaturesKeepSavedValuesOverAPowerCycle) {
  EXPECT_EQ(Feature(0x04), kWarningTemperatureKelvin);
  EXPECT_EQ(Feature(0x06), 1u);
  ASSERT_EQ(Send(0x09, 0, {{10, 0x04}, {11, 350}}), 0);              // current only
  ASSERT_EQ(Send(0x09, 0, {{10, 0x80000010}, {11, 0x0161016B}}), 0);  // saved
  ASSERT_EQ(Send(0x09, 0, {{10, 0x06}, {11, 0}}), 0);                 // cache off, not saved
  EXPECT_EQ(Feature(0x04), 350u);
  EXPECT_EQ(Feature(0x10), 0x0161016Bu);
  EXPECT_EQ(dev->WriteCacheEnabled(), false);
  EXPECT_EQ(Feature(0x104), kWarningTemperatureKelvin);  // SEL 1: default
  EXPECT_EQ(Feature(0x210), 0x0161016Bu);                // SEL 2: saved
  EXPECT_EQ(Feature(0x204), kWarningTemperatureKelvin);  // nothing saved: the default
  EXPECT_EQ(Feature(0x306), 5u);                         // SEL 3: saveable, changeable

  t.lab->PowerCut();
  EXPECT_EQ(Feature(0x04), kWarningTemperatureKelvin);
  EXPECT_EQ(Feature(0x10), 0x0161016Bu);
  EXPECT_EQ(Feature(0x06), 1u);
  EXPECT_EQ(dev->WriteCacheEnabled(), true);

  ASSERT_EQ(Send(0x09, 0, {{10, 0x80000006}, {11, 0}}), 0);
  drive().Unplug(std::nullopt);
  drive().Replug();
  dev = t.Open(PhysicalDrivePath(0));
  EXPECT_EQ(Feature(0x06), 0u);
  EXPECT_EQ(dev->WriteCacheEnabled(), false);
}

TEST_F(NvmeModel, FeatureValuesTheControllerRefuses) {
  struct Row {
    uint32_t cdw10, cdw11;
    uint16_t status;
  };
  const Row rows[] = {
      {0x80000007, 0x00030003, 0x010D},  // number of queues: not saveable
      {0x10, 0x01000100, 0x0002},        // TMT1 above TMT2
      {0x10, 0x00640000, 0x0002},        // TMT1 below the minimum
      {0x02, 0x00000003, 0x0002},        // a power state the drive does not have
      {0x04, 0x00010000 | 300, 0x0002},  // a temperature sensor the drive does not have
      {0xE1, 0, 0x0002},                 // no such feature
  };
  for (const Row& r : rows) EXPECT_EQ(Send(0x09, 0, {{10, r.cdw10}, {11, r.cdw11}}), r.status) << std::hex << r.cdw10;
  EXPECT_EQ(Send(0x0A, 0, {{10, 0x406}}), 0x0002);  // SEL 4
  ASSERT_EQ(Send(0x09, 0, {{10, 0x07}, {11, 0x00030003}}), 0);
  EXPECT_EQ(dw0, 0x003F003Fu);  // what is allocated
}

TEST_F(NvmeModel, WithoutAWriteCacheThereIsNoCacheFeature) {
  DriveDescription d = SmallDrive("N", Attachment::kNvmeInbox, 1);
  d.writeCache = false;
  LabUnderTest lab({{d}});
  auto handle = lab.Open(PhysicalDrivePath(1));
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x0A;
  entry[40] = 0x06;
  platform::NvmeCompletion c;
  ASSERT_EQ(handle->Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kAdmin, entry, DataDirection::kNone, {},
                         60, c),
            platform::PassStatus::kOk);
  EXPECT_EQ(c.status, 0x0002);
}

TEST_F(NvmeModel, FirmwareSlots) {
  auto slotLog = [&]() { return Log(0x03, 512); };
  std::vector<uint8_t> slots = slotLog();
  EXPECT_EQ(slots[0], 0x01);
  EXPECT_EQ(Text(slots, 8, 8), "FW0     ");
  EXPECT_EQ(Send(0x10, 0, {{10, 1u << 3}}), 0x0107);  // nothing downloaded

  std::vector<uint8_t> image = MakeLabImage("NEWFW002", 8192);
  std::vector<uint8_t> half(image.begin() + 4096, image.end());
  ASSERT_EQ(Out(0x11, 0, {{10, 1023}, {11, 1024}}, half), 0);  // the second half first
  half.assign(image.begin(), image.begin() + 4096);
  ASSERT_EQ(Out(0x11, 0, {{10, 1023}, {11, 0}}, half), 0);
  ASSERT_EQ(Send(0x10, 0, {{10, 2 | 1u << 3}}), 0);  // slot 2, active at the next reset
  slots = slotLog();
  EXPECT_EQ(slots[0], 0x21);
  EXPECT_EQ(Text(slots, 16, 8), "NEWFW002");
  std::vector<uint8_t> id(4096);
  ASSERT_EQ(In(0x06, 0, {{10, 1}}, id), 0);
  EXPECT_EQ(Text(id, 64, 8), "FW0     ");

  t.lab->PowerCut();
  ASSERT_EQ(In(0x06, 0, {{10, 1}}, id), 0);
  EXPECT_EQ(Text(id, 64, 8), "NEWFW002");
  EXPECT_EQ(slotLog()[0], 0x02);

  ASSERT_EQ(Send(0x10, 0, {{10, 1 | 2u << 3}}), 0);  // back to slot 1 at the next reset
  EXPECT_EQ(slotLog()[0], 0x12);
  EXPECT_EQ(Send(0x10, 0, {{10, 3 | 2u << 3}}), 0x0107);  // slot 3 holds nothing
  EXPECT_EQ(Send(0x10, 0, {{10, 4 | 2u << 3}}), 0x0106);  // no slot 4
  EXPECT_EQ(Send(0x10, 0, {{10, 1 | 5u << 3}}), 0x0002);

  std::vector<uint8_t> binary(4096, 0xFF);  // not an image of the lab's format
  ASSERT_EQ(Out(0x11, 0, {{10, 1023}, {11, 0}}, binary), 0);
  EXPECT_EQ(Send(0x10, 0, {{10, 3 | 1u << 3}}), 0x0107);
  std::vector<uint8_t> third = MakeLabImage("NEWFW003", 4096);
  ASSERT_EQ(Out(0x11, 0, {{10, 1023}, {11, 0}}, third), 0);
  EXPECT_EQ(Send(0x10, 0, {{10, 1 | 1u << 3}}), 0x0106);  // slot 1 is read-only; the image stays staged
  ASSERT_EQ(Out(0x11, 0, {{10, 1023}, {11, 0}}, third), 0);  // offset 0 starts the image again
  ASSERT_EQ(Send(0x10, 0, {{10, 0 | 3u << 3}}), 0);  // slot 0: the controller picks; at once
  ASSERT_EQ(In(0x06, 0, {{10, 1}}, id), 0);
  EXPECT_EQ(Text(id, 64, 8), "NEWFW003");
  EXPECT_EQ(slotLog()[0] & 0x07, 3);
}

TEST_F(NvmeModel, FormatErasesTheUserData) {
  std::vector<uint8_t> data(4096, 0x77), back(4096);
  ASSERT_EQ(dev->Write(8192, data, true), data.size());
  ASSERT_EQ(Send(0x80, 0xFFFFFFFF, {{10, 0}}), 0);  // no erase: the data stays
  ASSERT_EQ(dev->Read(8192, back), back.size());
  EXPECT_EQ(back, data);
  EXPECT_EQ(Send(0x80, 0xFFFFFFFF, {{10, 0x201}}), 0x010A);  // another LBA format
  EXPECT_EQ(Send(0x80, 0xFFFFFFFF, {{10, 0x600}}), 0x0002);  // no such erase
  EXPECT_EQ(Send(0x80, 7, {{10, 0x200}}), 0x000B);
  ASSERT_EQ(dev->Write(0, data, false), data.size());  // also what the cache holds
  ASSERT_EQ(Send(0x80, 0xFFFFFFFF, {{10, 0x200}}), 0);
  for (uint64_t at : {0u, 8192u}) {
    ASSERT_EQ(dev->Read(at, back), back.size());
    EXPECT_TRUE(std::all_of(back.begin(), back.end(), [](uint8_t b) { return b == 0; })) << at;
  }
}

TEST_F(NvmeModel, SecurityPasswordStateMachine) {
  auto status = [&]() {
    std::vector<uint8_t> s(16);
    EXPECT_EQ(In(0x82, 0, {{10, 0xEF000000}, {11, 16}}, s), 0);
    return std::make_pair(s[0], s[1]);
  };
  std::vector<uint8_t> list(16);
  ASSERT_EQ(In(0x82, 0, {{10, 0}, {11, 16}}, list), 0);
  EXPECT_EQ(std::vector<uint8_t>(list.begin(), list.begin() + 10), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 2, 0, 0xEF}));
  EXPECT_EQ(status(), std::make_pair(uint8_t{1}, uint8_t{5}));

  std::vector<uint8_t> password(32, 0);
  std::copy_n("secret", 6, password.begin());
  std::vector<uint8_t> wrong(32, 'x');
  auto send = [&](uint16_t spsp, std::vector<uint8_t>& data) {
    return Out(0x81, 0, {{10, 0xEF000000u | spsp << 8}, {11, 32}}, data);
  };
  ASSERT_EQ(send(1, password), 0);
  EXPECT_EQ(status().first, 0x03);  // enabled
  std::vector<uint8_t> sector(512, 1);
  ASSERT_EQ(dev->Write(0, sector, true), 512u);

  t.lab->PowerCut();
  EXPECT_EQ(status().first, 0x07);  // locked at power-on
  EXPECT_FALSE(dev->Read(0, sector));
  EXPECT_EQ(send(1, password), 0x000C);   // no new password while locked
  EXPECT_EQ(send(2, wrong), 0x0286);
  EXPECT_EQ(status().second, 4);
  ASSERT_EQ(send(2, password), 0);
  EXPECT_EQ(status(), std::make_pair(uint8_t{0x03}, uint8_t{5}));
  EXPECT_EQ(dev->Read(0, sector), 512u);

  ASSERT_EQ(send(5, password), 0);  // frozen
  EXPECT_EQ(send(6, password), 0x000C);
  t.lab->PowerCut();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(send(2, wrong), 0x0286);
  EXPECT_EQ(status(), std::make_pair(uint8_t{0x17}, uint8_t{0}));
  EXPECT_EQ(send(2, password), 0x0286);  // no attempts left until the next power cycle

  EXPECT_EQ(send(4, password), 0x000C);  // erase without prepare
  ASSERT_EQ(send(3, password), 0);
  ASSERT_EQ(send(4, password), 0x0286);  // still no attempts left
  t.lab->PowerCut();
  ASSERT_EQ(send(3, password), 0);
  ASSERT_EQ(send(4, password), 0);
  EXPECT_EQ(status(), std::make_pair(uint8_t{1}, uint8_t{5}));  // erased, no password
  ASSERT_EQ(dev->Read(0, sector), 512u);
  EXPECT_EQ(sector, std::vector<uint8_t>(512, 0));
  EXPECT_EQ(Out(0x81, 0, {{10, 0x01000000}, {11, 32}}, password), 0x0002);  // no such protocol
}

TEST_F(NvmeModel, InjectedFailuresPerOpcode) {
  FaultPlan plan;
  plan.nvmeFailures = {{NvmeFaultKey(false, 0x06), 0x0004}, {NvmeFaultKey(true, 0x02), 0x0281}};
  plan.nvmeFailuresCount = 2;
  drive().set_faults(plan);
  std::vector<uint8_t> data(4096);
  EXPECT_EQ(In(0x06, 0, {{10, 1}}, data), 0x0004);
  EXPECT_EQ(In(0x02, 0xFFFFFFFF, {{10, 0x007F0002}}, data), 0);  // not injected: the log page runs
  EXPECT_EQ(Send(0x02, 1, {{12, 0}}, DataDirection::kIn, std::span<uint8_t>(data).first(512),
                 platform::NvmeQueue::kIo),
            0x0281);
  EXPECT_EQ(In(0x06, 0, {{10, 1}}, data), 0);  // the count is used up
  EXPECT_EQ(Le64(Log(0x02, 512), 176), 2u);
}

TEST(NvmeFaultText, ParsesOpcodesAndStatuses) {
  auto f = ParseNvmeFailures("0x06, io:0x09=0x0281 16=0x10B");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->size(), 3u);
  EXPECT_EQ(f->at(NvmeFaultKey(false, 0x06)), kInjectedNvmeStatus);
  EXPECT_EQ(f->at(NvmeFaultKey(true, 0x09)), 0x0281);
  EXPECT_EQ(f->at(NvmeFaultKey(false, 0x10)), 0x010B);
  for (const char* bad : {"", "0x100", "0x06=0", "0x06=0x800", "io:", "xyz"}) EXPECT_FALSE(ParseNvmeFailures(bad)) << bad;
  EXPECT_EQ(ParseBridgePhases("command, completion"), bridge_phase::kCommand | bridge_phase::kCompletion);
  EXPECT_EQ(ParseBridgePhases("ALL"), bridge_phase::kAll);
  EXPECT_FALSE(ParseBridgePhases("data, status"));
  EXPECT_FALSE(ParseBridgePhases(""));
}

}  // namespace
}  // namespace kestrune::sim
