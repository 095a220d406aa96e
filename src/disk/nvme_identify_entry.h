// The 64-byte NVMe submission entry of Identify Controller, as the inventory sends it. The general
// NVMe command record and its builders belong to the NVMe command layer; the inventory only needs
// this one command.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrune::disk {

// Command dwords CDW0-CDW15 of a submission queue entry; written out little-endian.
struct SubmissionDwords {
  std::array<uint32_t, 16> cdw{};
};
static_assert(sizeof(SubmissionDwords) == 64, "an NVMe submission entry is 64 bytes");

// The entry's 64 bytes, each dword little-endian.
std::array<uint8_t, 64> EntryBytes(const SubmissionDwords& dwords);

// Identify (opcode 06h), NSID 0, CDW10 = CNS 1 (controller); the data pointers stay zero because
// the transport supplies the 4096-byte buffer.
std::array<uint8_t, 64> IdentifyControllerEntry();

}  // namespace kestrune::disk
