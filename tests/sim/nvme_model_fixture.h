// A simulated NVMe drive on the inbox route, and a helper that sends it one command.
#pragma once

#include <initializer_list>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "lab_fixture.h"

namespace kestrune::sim {

class NvmeModel : public ::testing::Test {
 protected:
  explicit NvmeModel(DriveDescription d = SmallDrive("N", Attachment::kNvmeInbox, 0)) : t({{d}}) {
    dev = t.Open(PhysicalDrivePath(0));
  }

  // Sends opcode with NSID and the given command dwords; returns the status field (DW0 in dw0).
  uint16_t Send(uint8_t opcode, uint32_t nsid, std::initializer_list<std::pair<int, uint32_t>> cdws = {},
                platform::DataDirection direction = platform::DataDirection::kNone, std::span<uint8_t> data = {},
                platform::NvmeQueue queue = platform::NvmeQueue::kAdmin) {
    std::array<uint8_t, 64> entry{};
    entry[0] = opcode;
    base::PutLe32(&entry[4], nsid);
    for (const auto& [index, value] : cdws) base::PutLe32(&entry[4 * index], value);
    platform::NvmeCompletion c;
    EXPECT_EQ(dev->Nvme(platform::NvmeRoute::kInbox, queue, entry, direction, data, 60, c), platform::PassStatus::kOk);
    dw0 = c.dw0;
    return c.status;
  }
  uint16_t In(uint8_t opcode, uint32_t nsid, std::initializer_list<std::pair<int, uint32_t>> cdws,
              std::vector<uint8_t>& data) {
    return Send(opcode, nsid, cdws, platform::DataDirection::kIn, data);
  }
  uint16_t Out(uint8_t opcode, uint32_t nsid, std::initializer_list<std::pair<int, uint32_t>> cdws,
               std::vector<uint8_t>& data) {
    return Send(opcode, nsid, cdws, platform::DataDirection::kOut, data);
  }
  // Get Log Page of length bytes from offset.
  std::vector<uint8_t> Log(uint8_t lid, size_t length, uint32_t offset = 0) {
    std::vector<uint8_t> page(length);
    const uint32_t numdl = static_cast<uint32_t>(length / 4 - 1);
    EXPECT_EQ(In(0x02, 0xFFFFFFFF, {{10, lid | numdl << 16}, {12, offset}}, page), 0) << int{lid};
    return page;
  }
  uint32_t Feature(uint32_t cdw10, uint32_t cdw11 = 0) {
    EXPECT_EQ(Send(0x0A, 0, {{10, cdw10}, {11, cdw11}}), 0);
    return dw0;
  }
  SimDrive& drive() { return *t.lab->drives()[0]; }

  LabUnderTest t;
  std::unique_ptr<platform::Device> dev;
  uint32_t dw0 = 0;
};

}  // namespace kestrune::sim
