#include "devcmd/vendor_operations.h"

#include "base/completion_codes.h"
#include "base/text.h"

namespace kestrune::devcmd {
namespace {

using disk::NvmeDirection;
constexpr NvmeDirection kNone = NvmeDirection::kNone, kIn = NvmeDirection::kIn, kOut = NvmeDirection::kOut;

enum class Set { kFc, kC0, kLegacy };

Set SetOf(uint32_t variant) {
  if (variant == kVariantFc) return Set::kFc;
  if (variant == kVariantC0) return Set::kC0;
  return Set::kLegacy;
}

// Builds the command as the table rows read: opcode, direction, CDW12-CDW15.
struct Builder {
  VendorCommand& c;
  Builder& Op(uint8_t opcode, NvmeDirection dir) {
    c.opcode = opcode;
    c.direction = dir;
    return *this;
  }
  Builder& Dw(size_t index, uint32_t value) {
    c.record.SetCdw(index, value);
    return *this;
  }
  Builder& Marks() { return Dw(14, kRimo).Dw(15, kVald); }
};

void Encode(VendorOp op, Set set, const VendorArgs& a, Builder b) {
  const bool fc = set == Set::kFc, c0 = set == Set::kC0;
  switch (op) {
    case VendorOp::kEnterVendorMode:
      if (c0) b.Op(0xC0, kNone).Dw(12, 0x01).Dw(13, 1);
      else b.Op(0xFC, kNone).Dw(12, 0x1F).Dw(13, kVendorSignature).Dw(14, 1);
      return;
    case VendorOp::kBrandNew:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x80).Dw(13, 1).Marks();
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x82).Dw(13, 1).Marks();
      else b.Op(0xE4, kNone).Dw(12, 1).Marks();
      return;
    case VendorOp::kFtlVirgin:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x80).Dw(13, 2).Dw(14, 1);
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x82).Dw(13, 2).Dw(14, 1);
      else b.Op(0xE4, kNone).Dw(12, 2).Marks();
      return;
    case VendorOp::kCleanSmart:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0xD1);
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x83);
      else b.Op(0xD0, kNone).Marks();
      return;
    case VendorOp::kForceFirmwareMode:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x20).Dw(13, a.a);
      else b.Op(0xFF, kNone).Dw(12, 7).Dw(13, a.a);
      return;
    case VendorOp::kKillFirmware:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x122).Dw(13, 1);
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x86).Dw(13, 1);
      else b.Op(0xF7, kNone).Dw(12, 1).Marks();
      return;
    case VendorOp::kKeepFrb:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x108);
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x84);
      else b.Op(0xFF, kNone).Dw(12, 8);
      return;
    case VendorOp::kSetThinCapacity:
      b.c.nsid = 1;
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x10A).Dw(13, a.a).Dw(14, a.b);
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x85).Dw(13, a.a).Dw(14, a.b);
      else b.Op(0xD1, kNone).Dw(12, a.a).Dw(13, a.b);
      return;
    case VendorOp::kReadBlock:
      if (fc) {
        b.Op(0xFE, kIn).Dw(12, 0x82).Dw(13, a.a);
        if (a.a == kBlockCriticalLog) b.Dw(14, a.b).Dw(15, 4096);
      } else if (c0) {
        b.Op(0xC2, kIn).Dw(12, 0x86).Dw(13, a.a);
      } else {
        b.Op(0xE6, kIn).Dw(12, a.a).Marks();
      }
      return;
    case VendorOp::kWriteBlock:
      if (fc) {
        b.Op(0xFD, kOut).Dw(12, 0x81).Dw(13, a.a);
        if (a.a == kBlockConfig) b.Dw(15, a.crc);
      } else if (c0) {
        b.Op(0xC1, kOut).Dw(12, 0x80).Dw(13, a.a).Dw(15, a.crc);
      } else {
        b.Op(0xE5, kOut).Dw(12, a.a);
        if (a.a == kBlockLaneMargin) b.Marks();
        else b.Dw(14, a.crc);
      }
      return;
    case VendorOp::kLaneMarginPrepare:
      b.Op(0xFC, kNone).Dw(12, 0x80).Dw(13, 9);
      return;
    case VendorOp::kDriveInformation:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x63).Dw(13, a.a).Dw(14, a.b).Dw(15, a.c);
      else if (c0) b.Op(0xC2, kIn).Dw(12, 0x83).Dw(13, a.a).Dw(14, a.b).Dw(15, kVald);
      else b.Op(0xF2, kIn).Dw(12, a.a).Marks();
      return;
    case VendorOp::kGrownDefect:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x65);
      else if (c0) b.Op(0xC2, kIn).Dw(12, 0x84);
      else b.Op(0xD6, kIn).Marks();
      return;
    case VendorOp::kOtpUid:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x01);
      else if (c0) b.Op(0xC2, kIn).Dw(12, 0x80);
      else b.Op(0xFF, kIn).Dw(12, 0x0A).Marks();
      return;
    case VendorOp::kReconstructionStatus:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x69);
      else if (c0) b.Op(0xC2, kIn).Dw(12, 0x87);
      else if (a.alder) b.Op(0xEA, kIn);
      else b.Op(0xE6, kIn).Dw(12, 0x0E);
      return;
    case VendorOp::kSpiDebugInformation:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x6C).Dw(13, a.a);
      else b.c.code = base::code::kIoControlError;
      return;
    case VendorOp::kVpdPrepare:
      if (fc) b.Op(0xFC, kNone).Dw(12, 0x21);
      else if (c0) b.Op(0xC0, kNone).Dw(12, 0x81);
      else b.Op(0xFF, kNone).Dw(12, 0x12).Marks();
      return;
    case VendorOp::kVpdRead:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x22).Dw(13, 0x00C80053);
      else if (c0) b.Op(0xC2, kIn).Dw(12, 0x81);
      else b.Op(0xFF, kIn).Dw(12, 0x13).Dw(13, 0x00FF0053).Marks();
      return;
    case VendorOp::kSecurityIdRead:
      b.Op(0xFE, kIn).Dw(12, 0x82).Dw(13, 0x20).Dw(14, 1);
      return;
    case VendorOp::kSecurityIdWrite:
      b.Op(0xFD, kOut).Dw(12, 0x81).Dw(13, 0x20).Dw(14, 1);
      return;
    case VendorOp::kEventLog:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x60);
      else if (c0) b.Op(0xC2, kIn).Dw(12, 0x82);
      else b.Op(0xC2, kIn).Marks();
      return;
    case VendorOp::kLegacyDriveInformation:
      b.Op(0xCA, kIn).Marks();
      return;
    case VendorOp::kPhyCalibration:
      if (fc) b.Op(0xFE, kIn).Dw(12, 0x1A0);
      else if (c0) b.c.code = base::code::kNotSupported;
      else b.Op(0xFF, kIn).Dw(12, 0x40);
      return;
    case VendorOp::kCleanEventLog:
    case VendorOp::kTrainDdrEye:
      b.c.code = base::code::kNotSupported;
      return;
  }
}

const char* IoName(NvmeDirection d) {
  return d == kIn ? "IN" : d == kOut ? "OUT" : "NODATA";
}

}  // namespace

VendorCommand EncodeVendorCommand(VendorOp op, uint32_t variant, const VendorArgs& args, size_t length) {
  VendorCommand c;
  Encode(op, SetOf(variant), args, Builder{c});
  if (c.code != disk::kNvmeDone) return c;
  c.length = c.direction == kNone ? 0 : length;
  c.record.set_opcode(c.opcode);
  c.record.set_nsid(c.nsid);
  c.record.SetCdw(2, kVendorSignature);
  c.record.SetCdw(10, static_cast<uint32_t>(c.length / 4));
  return c;
}

uint64_t ThinCapacitySectors(uint64_t sizeGb, uint32_t sectorSize) {
  if (sizeGb < 8001) return sectorSize == 512 ? sizeGb * 1953504 + 21168 : sizeGb * 244188 + 2646;
  auto roundUp = [](uint64_t n, uint64_t m) { return (n + m - 1) / m * m; };
  if (sectorSize >= 600) return roundUp((sizeGb * 1000000000ull + 4095) / 4096, 262144);
  return roundUp(sizeGb * 1953125, 2097152);
}

std::string VendorEchoText(const VendorCommand& c, bool withCdw2) {
  const disk::NvmeCommand& r = c.record;
  const std::string cdw2 = withCdw2 ? base::Format(", CDW2:0x%X", r.Cdw(2)) : std::string();
  return base::Format(
      "NVMe(IO:\"%s\", DataLenByte:%zu, OpCode:0x%X, NSID:0x%X%s, CDW10:0x%X, CDW12:0x%X, CDW13:0x%X, CDW14:0x%X, "
      "CDW15:0x%X);",
      IoName(c.direction), c.length, c.opcode, c.nsid, cdw2.c_str(), r.Cdw(10), r.Cdw(12), r.Cdw(13), r.Cdw(14),
      r.Cdw(15));
}

}  // namespace kestrune::devcmd
