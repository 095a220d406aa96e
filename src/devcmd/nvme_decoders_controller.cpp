// The Identify Controller dump: the byte rows of the NVMe 1.4 field set with the bit rows of the
// fields that hold flags, then the 32 power state descriptors and the vendor-specific area.
#include "base/text.h"
#include "devcmd/field_table.h"
#include "devcmd/nvme_decoders_dump.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using V = DumpValue;
using base::Format;

constexpr BitRow kCmic[] = {
    {76, 7, 4, "Reserved"},
    {76, 3, 3, "Asymmetric Namespac Access Reporting Supported"},
    {76, 2, 2, "Controller Associated with an SR-IOV Virtual Function"},
    {76, 1, 1, "NVM Subsystem May Contain Two or More Controllers"},
    {76, 0, 0, "NVM Subsystem May Contain Two or More Physical PCI Express Ports"},
};
// The version rows number their bits from the first byte of the field on.
constexpr BitRow kVer[] = {
    {80, 7, 0, "Tertiary Version", "Bit 31-24"},
    {80, 15, 8, "Minor Version Number (MNR)", "Bit 23-16"},
    {80, 31, 16, "Major Version Number (MJR)", "Bit 15-00"},
};
constexpr BitRow kOaes[] = {
    {92, 31, 15, "Reserved"},
    {92, 14, 14, "Endurance Group Event Aggregate Log Page Change Notices"},
    {92, 13, 13, "LBA Status Information Notices"},
    {92, 12, 12, "Predictable Latency Event Aggregate Log Change Notices"},
    {92, 11, 11, "Asymmetric Namespace Access Change Notices"},
    {92, 10, 10, "Reserved"},
    {92, 9, 9, "Firmware Activation Notices"},
    {92, 8, 8, "Namespace Attribute Notices"},
    {92, 7, 0, "Reserved"},
};
constexpr BitRow kCtratt[] = {
    {96, 31, 10, "Reserved"},
    {96, 9, 9, "UUID List"},
    {96, 8, 8, "SQ Associations"},
    {96, 7, 7, "Namespace Granularity"},
    {96, 6, 6, "Traffic Based Keep Alive Support (TBKAS)"},
    {96, 5, 5, "Predictable Latency Mode"},
    {96, 4, 4, "Endurance Groups"},
    {96, 3, 3, "Read Recovery Levels"},
    {96, 2, 2, "NVM Sets"},
    {96, 1, 1, "Non-Operational Power State Permissive Mode"},
    {96, 0, 0, "128-bit Host Identifier"},
};
constexpr BitRow kRrls[] = {
    {100, 15, 15, "Read Recovery Level 15 Supported"}, {100, 14, 14, "Read Recovery Level 14 Supported"},
    {100, 13, 13, "Read Recovery Level 13 Supported"}, {100, 12, 12, "Read Recovery Level 12 Supported"},
    {100, 11, 11, "Read Recovery Level 11 Supported"}, {100, 10, 10, "Read Recovery Level 10 Supported"},
    {100, 9, 9, "Read Recovery Level 9 Supported"},    {100, 8, 8, "Read Recovery Level 8 Supported"},
    {100, 7, 7, "Read Recovery Level 7 Supported"},    {100, 6, 6, "Read Recovery Level 6 Supported"},
    {100, 5, 5, "Read Recovery Level 5 Supported"},    {100, 4, 4, "Read Recovery Level 4 Supported"},
    {100, 3, 3, "Read Recovery Level 3 Supported"},    {100, 2, 2, "Read Recovery Level 2 Supported"},
    {100, 1, 1, "Read Recovery Level 1 Supported"},    {100, 0, 0, "Read Recovery Level 0 Supported"},
};
constexpr BitRow kNvmsr[] = {
    {253, 7, 2, "Reserved"},
    {253, 1, 1, "NVMe Enclosure (NVMEE)"},
    {253, 0, 0, "NVMe Storage Device (NVMESD)"},
};
constexpr BitRow kVwci[] = {
    {254, 7, 7, "VPD Write Cycles Remaining Valid (VWCRV)"},
    {254, 6, 0, "VPD Write Cycles Remaining (VWCR)"},
};
constexpr BitRow kMec[] = {
    {255, 7, 2, "Reserved"},
    {255, 1, 1, "PCIe Port Management Endpoint (PCIEME)"},
    {255, 0, 0, "SMBus/I2C Port Management Endpoint (SMBUSME)"},
};
constexpr BitRow kOacs[] = {
    {256, 15, 10, "Reserved"},
    {256, 9, 9, "Get LBA Status Capability"},
    {256, 8, 8, "Doorbell Buffer Config Command"},
    {256, 7, 7, "Virtualization Management Command"},
    {256, 6, 6, "NVMe-MI Send and NVMe-MI Receive Commands"},
    {256, 5, 5, "Directives"},
    {256, 4, 4, "Device Self-test Command"},
    {256, 3, 3, "Namespace Management and Attachment Commands"},
    {256, 2, 2, "Firmware Commit and Firmware Image Download Commands"},
    {256, 1, 1, "Format NVM Command"},
    {256, 0, 0, "Security Send and Security Receive Commands"},
};
constexpr BitRow kFrmw[] = {
    {260, 7, 5, "Reserved"},
    {260, 4, 4, "Firmware Activation Without Reset"},
    {260, 3, 1, "Number of Firmware Slots"},
    {260, 0, 0, "First Firmware Slot Read Only"},
};
constexpr BitRow kLpa[] = {
    {261, 7, 5, "Reserved"},
    {261, 4, 4, "Persistent Event Log"},
    {261, 3, 3, "Telemetry Host-Initiated and Telemetry Controller-Initiated Log Pages"},
    {261, 2, 2, "Extended Data for Get Log Page"},
    {261, 1, 1, "Commands Supported and Effects Log Page"},
    {261, 0, 0, "SMART / Health Information Log Page per Namespace"},
};
constexpr BitRow kAvscc[] = {
    {264, 7, 1, "Reserved"},
    {264, 0, 0, "Admin Vendor Specific Commands Use the Standard Format"},
};
constexpr BitRow kApsta[] = {
    {265, 7, 1, "Reserved"},
    {265, 0, 0, "Autonomous Power State Transitions Supported"},
};
constexpr BitRow kRpmbs[] = {
    {312, 31, 24, "Access Size"},         {312, 23, 16, "Total Size"},         {312, 15, 6, "Reserved"},
    {312, 5, 3, "Authentication Method"}, {312, 2, 0, "Number of RPMB Units"},
};
constexpr BitRow kDsto[] = {
    {318, 7, 1, "Reserved"},
    {318, 0, 0, "Only One Device Self-test Operation in Progress at a Time"},
};
constexpr BitRow kHctma[] = {
    {322, 15, 1, "Reserved"},
    {322, 0, 0, "Host Controlled Thermal Management Supported"},
};
constexpr BitRow kSanicap[] = {
    {328, 31, 30, "No-Deallocate Modifies Media After Sanitize (NODMMAS)"},
    {328, 29, 29, "No-Deallocate Inhibited (NDI)"},
    {328, 28, 3, "Reserved"},
    {328, 2, 2, "Overwrite Support (OWS)"},
    {328, 1, 1, "Block Erase Support (BES)"},
    {328, 0, 0, "Crypto Erase Support (CES)"},
};
// Byte 343 holds the ANA capabilities; they are listed under the transition time before them.
constexpr BitRow kAnacap[] = {
    {343, 7, 7, "Non-zero ANAGRPID Supported"},
    {343, 6, 6, "ANAGRPID Does Not Change While Attached"},
    {343, 5, 5, "Reserved"},
    {343, 4, 4, "ANA Change State Reported"},
    {343, 3, 3, "ANA Persistent Loss State Reported"},
    {343, 2, 2, "ANA Inaccessible State Reported"},
    {343, 1, 1, "ANA Non-Optimized State Reported"},
    {343, 0, 0, "ANA Optimized State Reported"},
};
constexpr BitRow kSqes[] = {
    {512, 7, 4, "Maximum Submission Queue Entry Size"},
    {512, 3, 0, "Required Submission Queue Entry Size"},
};
constexpr BitRow kCqes[] = {
    {513, 7, 4, "Maximum Completion Queue Entry Size"},
    {513, 3, 0, "Required Completion Queue Entry Size"},
};
constexpr BitRow kOncs[] = {
    {520, 15, 8, "Reserved"},
    {520, 7, 7, "Verify Command"},
    {520, 6, 6, "Timestamp Feature"},
    {520, 5, 5, "Reservations"},
    {520, 4, 4, "Save Field in Set Features and Select Field in Get Features"},
    {520, 3, 3, "Write Zeroes Command"},
    {520, 2, 2, "Dataset Management Command"},
    {520, 1, 1, "Write Uncorrectable Command"},
    {520, 0, 0, "Compare Command"},
};
constexpr BitRow kFuses[] = {
    {522, 15, 1, "Reserved"},
    {522, 0, 0, "Compare and Write Fused Operation"},
};
constexpr BitRow kFna[] = {
    {524, 7, 3, "Reserved"},
    {524, 2, 2, "Cryptographic Erase Supported as Part of Secure Erase"},
    {524, 1, 1, "Secure Erase Applies to All Namespaces"},
    {524, 0, 0, "Format Applies to All Namespaces"},
};
constexpr BitRow kVwc[] = {
    {525, 7, 3, "Reserved"},
    {525, 2, 1, "Flush Command Behavior"},
    {525, 0, 0, "Volatile Write Cache Present"},
};
constexpr BitRow kNvscc[] = {
    {530, 7, 1, "Reserved"},
    {530, 0, 0, "NVM Vendor Specific Commands Use the Standard Format"},
};
constexpr BitRow kNwpc[] = {
    {531, 7, 3, "Reserved"},
    {531, 2, 2, "Permanent Write Protect"},
    {531, 1, 1, "Write Protect Until Power Cycle"},
    {531, 0, 0, "No Write Protect and Write Protect"},
};
constexpr BitRow kSgls[] = {
    {536, 31, 22, "Reserved"},
    {536, 21, 21, "Transport SGL Data Block Descriptor"},
    {536, 20, 20, "Address Field as an Offset"},
    {536, 19, 19, "MPTR Containing an SGL Descriptor"},
    {536, 18, 18, "Byte Aligned Contiguous Physical Buffer of Metadata"},
    {536, 17, 17, "SGL Length Larger than the Data Transferred"},
    {536, 16, 16, "SGL Bit Bucket Descriptor"},
    {536, 15, 3, "Reserved"},
    {536, 2, 2, "Keyed SGL Data Block Descriptor"},
    {536, 1, 0, "SGL Support"},
};

constexpr ByteRow kRows[] = {
    {0, 1, "Vendor ID (VID)", V::kVendorId, true},
    {2, 3, "Subsystem VID (SSVID)", V::kVendorId},
    {4, 23, "Serial Number (SN)", V::kText, true},
    {24, 63, "Model Number (MN)", V::kText, true},
    {64, 71, "Firmware Revision (FR)", V::kText, true},
    {72, 72, "Recommended Arbitration Burst (RAB)"},
    {73, 75, "IEEE OUI Identifier (IEEE)", V::kReversed},
    {76, 76, "Controller Multi-Path I/O Capabilities (CMIC)", V::kNumber, false, kCmic},
    {77, 77, "Maximum Data Transfer Size (MDTS)"},
    {78, 79, "Controller ID (CNTLID)"},
    {80, 83, "Version (VER)", V::kNumber, false, kVer},
    {84, 87, "RTD3 Resume Latency (RTD3R)"},
    {88, 91, "RTD3 Entry Latency (RTD3E)"},
    {92, 95, "Optional Asynchronous Events Supported (OAES)", V::kNumber, false, kOaes},
    {96, 99, "Controller Attributes", V::kNumber, false, kCtratt},
    {100, 101, "Read Recovery Levels Supported", V::kNumber, false, kRrls},
    {102, 110, "Reserved", V::kHexList},
    {111, 111, "Controller Type"},
    {112, 127, "FRU Globally Unique Identifier", V::kHexList},
    {128, 129, "Command Retry Delay Time 1"},
    {130, 131, "Command Retry Delay Time 2"},
    {132, 133, "Command Retry Delay Time 3"},
    {134, 239, "Reserved", V::kHexList},
    {240, 252, "Reserved", V::kHexList},
    {253, 253, "NVM Subsystem Report", V::kNumber, false, kNvmsr},
    {254, 254, "VPD Write Cycle Information", V::kNumber, false, kVwci},
    {255, 255, "Management Endpoint Capabilities", V::kNumber, false, kMec},
    {256, 257, "Optional Admin Command Support (OACS)", V::kNumber, false, kOacs},
    {258, 258, "Abort Command Limit (ACL)"},
    {259, 259, "Asynchronous Event Request Limit (AERL)"},
    {260, 260, "Firmware Updates (FRMW)", V::kNumber, false, kFrmw},
    {261, 261, "Log Page Attributes (LPA)", V::kNumber, false, kLpa},
    {262, 262, "Error Log Page Entries (ELPE)"},
    {263, 263, "Number of Power States Support (NPSS)"},
    {264, 264, "Admin Vendor Specific Command Configuration (AVSCC)", V::kNumber, false, kAvscc},
    {265, 265, "Autonomous Power State Transition Attributes (APSTA)", V::kNumber, false, kApsta},
    {266, 267, "Warning Composite Temperature Threshold (WCTEMP)"},
    {268, 269, "Critical Composite Temperature Threshold (CCTEMP)"},
    {270, 271, "Maximum Time for Firmware Activation (MTFA)"},
    {272, 275, "Host Memory Buffer Preferred Size (HMPRE)"},
    {276, 279, "Host Memory Buffer Minimum Size (HMMIN)"},
    {280, 295, "Total NVM Capacity (TNVMCAP)", V::kHexList},
    {296, 311, "Unallocated NVM Capacity (UNVMCAP)", V::kHexList},
    {312, 315, "Replay Protected Memory Block Support (RPMBS)", V::kNumber, false, kRpmbs},
    {316, 317, "Extended Device Self-Test Time"},
    {318, 318, "Device Self-Test Options", V::kNumber, false, kDsto},
    {319, 319, "Firmware Update Granularity (FWUG)"},
    {320, 321, "Keep Alive Support"},
    {322, 323, "Host Controlled Thermal Management Attributes", V::kNumber, false, kHctma},
    {324, 325, "Minimum Thermal Management Temperature"},
    {326, 327, "Maximum Thermal Management Temperature"},
    {328, 331, "Sanitize Capabilities", V::kNumber, false, kSanicap},
    {332, 335, "Host Memory Buffer Minimum Descriptor Entry Size"},
    {336, 337, "Host Memory Maximum Descriptors Entries"},
    {338, 339, "NVM Set Identifier Maximum"},
    {340, 341, "Endurance Group Identifier Maximum"},
    {342, 342, "ANA Transition Time", V::kNumber, false, kAnacap},
    {344, 347, "ANA Group Identifier Maximum"},
    {348, 351, "Number of ANA Group Identifiers"},
    {352, 355, "Persistent Event Log Size"},
    {356, 511, "Reserved", V::kHexList},
    {512, 512, "Submission Queue Entry Size (SQES)", V::kNumber, false, kSqes},
    {513, 513, "Completion Queue Entry Size (CQES)", V::kNumber, false, kCqes},
    {514, 515, "Reserved", V::kHexList},
    {516, 519, "Number of Namespaces (NN)", V::kNumber, true},
    {520, 521, "Optional NVM Command Support (ONCS)", V::kNumber, false, kOncs},
    {522, 523, "Fused Operation Support (FUSES)", V::kNumber, false, kFuses},
    {524, 524, "Format NVM Attributes (FNA)", V::kNumber, false, kFna},
    {525, 525, "Volatile Write Cache (VWC)", V::kNumber, false, kVwc},
    {526, 527, "Atomic Write Unit Normal (AWUN)"},
    {528, 529, "Atomic Write Unit Power Fail (AWUPF)"},
    {530, 530, "NVM Vendor Specific Command Configuration (NVSCC)", V::kNumber, false, kNvscc},
    {531, 531, "Namespace Write Protection Capabilities", V::kNumber, false, kNwpc},
    {532, 533, "Atomic Compare & Write Unit (ACWU)"},
    {534, 535, "Reserved", V::kHexList},
    {536, 539, "SGL Support (SGLS)", V::kNumber, false, kSgls},
    {540, 543, "Maximum Number of Allowed Namespaces"},
    {544, 767, "Reserved", V::kHexList},
    {768, 1023, "NVM Subsystem NVMe Qualified name (SUBNQN)", V::kText},
    {1024, 2047, "Reserved", V::kHexList},
};

// The fields of a power state descriptor, highest bits first.
constexpr BitRow kPowerState[] = {
    {0, 255, 184, "Reserved", "Bit 255-184"},
    {0, 183, 182, "Active Power Scale (APS)", "Bit 183-182"},
    {0, 181, 179, "Reserved", "Bit 181-179"},
    {0, 178, 176, "Active Power Workload (APW)", "Bit 178-176"},
    {0, 175, 160, "Active Power (ACTP)", "Bit 175-160"},
    {0, 159, 152, "Reserved", "Bit 159-152"},
    {0, 151, 150, "Idle Power Scale (IPS)", "Bit 151-150"},
    {0, 149, 144, "Reserved", "Bit 149-144"},
    {0, 143, 128, "Idle Power (IDLP)", "Bit 143-128"},
    {0, 127, 125, "Reserved", "Bit 127-125"},
    {0, 124, 120, "Relative Write Latency (RWL)", "Bit 124-120"},
    {0, 119, 117, "Reserved", "Bit 119-117"},
    {0, 116, 112, "Relative Write Throughput (RWT)", "Bit 116-112"},
    {0, 111, 109, "Reserved", "Bit 111-109"},
    {0, 108, 104, "Relative Read Latency (RRL)", "Bit 108-104"},
    {0, 103, 101, "Reserved", "Bit 103-101"},
    {0, 100, 96, "Relative Read Throughput (RRT)", "Bit 100-96"},
    {0, 95, 64, "Exit Latency (EXLAT)", "Bit 95-64"},
    {0, 63, 32, "Entry Latency (ENLAT)", "Bit 63-32"},
    {0, 31, 26, "Reserved", "Bit 31-26"},
    {0, 25, 25, "Non-Operational State (NOPS)", "Bit 25"},
    {0, 24, 24, "Max Power Scale (MPS)", "Bit 24"},
    {0, 23, 16, "Reserved", "Bit 23-16"},
    {0, 15, 0, "Maximum Power (MP)", "Bit 15-00"},
};

constexpr ByteRow kVendorSpecific{3072, 4095, "Vendor Specific (VS)", V::kHexList};

std::string PaddedTo(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// One power state descriptor at o: its row (one blank wider in the label than the other rows) and
// its field rows.
void PrintPowerState(LineSink& sink, std::span<const uint8_t> page, unsigned i, uint32_t o) {
  const std::span<const uint8_t> descriptor = page.subspan(o, 32);
  const std::string value = HexList(descriptor);
  if (i < 10)
    sink.Write(Format("Byte %u-%u         : Power State %u Descriptor (PSD%u)                                "
                      "       | %s",
                      o, o + 31, i, i, value.c_str()),
               engine::colour::kWhite);
  else
    sink.Write(
        Format(
            "Byte %u-%u         : Power State %u Descriptor (PSD%u)                                     | %s",
            o, o + 31, i, i, value.c_str()),
        engine::colour::kWhite);
  for (BitRow field : kPowerState) {
    const std::string label = Format("    [%u]%s", o, PaddedTo(std::string(field.label), 13).c_str());
    field.byte = static_cast<uint16_t>(o);
    sink.Write(label + ": " + PaddedTo(std::string(field.name), 70) + "| " + BitRowValue(page, field),
               engine::colour::kWhite);
  }
}

}  // namespace

std::span<const ByteRow> ControllerRowsBeforeDescriptors() { return kRows; }

bool DumpIdentifyController(LineSink& sink, std::span<const uint8_t, kIdentifyPageBytes> page,
                            ByteWindow window) {
  for (const ByteRow& row : kRows)
    PrintByteRow(sink, page, row, window, row.highlighted ? engine::colour::kCyan : engine::colour::kWhite);
  for (unsigned i = 0; i < 32; ++i) {
    if (sink.Cancelled()) {
      sink.Write(kCancelLine, engine::colour::kCyan);
      return false;
    }
    const uint32_t o = 2048 + 32 * i;
    if (window.Contains(o)) PrintPowerState(sink, page, i, o);
  }
  // The vendor area runs to the end of the page: a window anywhere inside it shows it.
  if (window.end >= kVendorSpecific.first)
    sink.Write("Byte 3072-4095         : " + PaddedTo(std::string(kVendorSpecific.name), 70) + "| " +
                   ByteRowValue(page, kVendorSpecific),
               engine::colour::kWhite);
  return true;
}

}  // namespace kestrune::devcmd
