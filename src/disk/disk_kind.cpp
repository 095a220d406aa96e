#include "disk/disk_kind.h"

namespace kestrune::disk {

std::string_view ShortName(DiskKind kind) {
  switch (kind) {
    case DiskKind::kAta: return "ATA";
    case DiskKind::kUsbAta: return "USBATA";
    case DiskKind::kNvm: return "NVM";
    case DiskKind::kOfaNvm: return "OFANVM";
    case DiskKind::kIrstNvm: return "IRSTNVM";
    case DiskKind::kJmi: return "JMI";
    case DiskKind::kAsm2362: return "ASM2362";
    case DiskKind::kAsm2364: return "ASM2364";
    case DiskKind::kRtl9210B: return "RTL9210B";
    case DiskKind::kRtl9210: return "RTL9210";
    case DiskKind::kRaid: return "RAID";
    case DiskKind::kFlashDrive: return "FlashDrv";
    case DiskKind::kUnclassified: break;
  }
  return "-";
}

}  // namespace kestrune::disk
