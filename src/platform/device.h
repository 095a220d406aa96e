// The operating-system seam for disks: a snapshot of the disks, their parent controllers, ports and
// volumes (DeviceTree), and an open disk handle with sector I/O and the pass-through primitives the
// NVMe, ATA and SCSI transports need (Device).
//
// Everything that is bytes or rules stays out of this seam: classification by driver path, port
// names, selectors, request layouts (NVMe submission entries, bridge CDBs, SAT task files) and
// decoders are portable code in src/disk. A backend only reports what the system says and carries
// request bytes to the device and back.
//
// Implementations: platform/linux (sysfs, O_DIRECT, SG_IO, NVMe ioctls), platform/win32 (SetupAPI,
// configuration manager, storage IOCTLs) and sim (the simulated lab). Start-up picks one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::platform {

// Storage bus type codes, numbered as the Windows STORAGE_BUS_TYPE.
namespace bus {
inline constexpr uint32_t kUnknown = 0;
inline constexpr uint32_t kScsi = 1;
inline constexpr uint32_t kAta = 3;
inline constexpr uint32_t kUsb = 7;
inline constexpr uint32_t kRaid = 8;
inline constexpr uint32_t kSas = 10;
inline constexpr uint32_t kSata = 11;
inline constexpr uint32_t kNvme = 17;
}  // namespace bus

// The device node a disk hangs below (its controller, bridge or RAID driver).
struct ParentNode {
  std::string name;                 // friendly name, else the device description
  std::string instanceId;           // device instance id (Linux: the sysfs path of the controller)
  std::string driverService;        // e.g. "stornvme", "iaStorAC"; Linux: the kernel driver ("nvme", "ahci")
  uint64_t driverVersion = 0;       // four 16-bit parts, most significant first
  std::string locationInformation;  // e.g. "PCI bus 3, device 0, function 0 (3,0,0)"; empty if none
  uint32_t busAddress = 0;          // the bus address property (SATA: port in the high 16 bits)
};

// One disk device as the system reports it. Nothing here is derived by our own rules.
struct DiskNode {
  std::string friendlyName;         // the system's name for the disk (replaced later by identify data)
  uint32_t deviceNumber = 0;        // the N of "\\.\PHYSICALDRIVEN"
  std::string physicalPath;         // what sector I/O opens: "\\.\PHYSICALDRIVE0", "/dev/nvme0n1"
  uint64_t lengthBytes = 0;
  uint32_t sectorSize = 0;          // logical bytes per sector
  bool hasScsiAddress = false;
  uint32_t scsiPort = 0;
  uint32_t pathId = 0;              // the AHCI port for SATA disks
  uint32_t targetId = 0;
  uint32_t lun = 0;
  uint32_t busType = bus::kUnknown;
  bool removable = false;
  ParentNode parent;
  // USB disks: the disk's own port first, then the port of each hub above it (root hub excluded);
  // usbHostController is the 1-based position of the host controller. Empty for other buses.
  std::vector<uint32_t> usbPorts;
  uint32_t usbHostController = 0;
  std::string controllerPath;       // Linux: the NVMe controller node ("/dev/nvme0") for admin commands
  uint32_t namespaceId = 0;  // NVMe: the namespace the disk is (its NSID); 0 when the system does not say
};

// One mounted volume (a drive letter on Windows, a mounted partition on Linux).
struct VolumeNode {
  std::string letter;               // "C:"; Linux: the mount point ("/", "/mnt/data")
  std::string path;                 // what sector I/O of the volume opens: "\\.\C:", "/dev/sdb1"
  bool onListedDisk = false;        // the volume lies on the disk with diskNumber
  uint32_t diskNumber = 0;
  bool softwareRaid = false;        // spans disks (Windows software RAID, Linux MD/LVM/device-mapper)
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  uint64_t partitionOffset = 0;     // byte offset of the partition on its disk
  bool holdsSystem = false;         // C: on Windows; "/", "/boot" or swap on Linux
  std::string label;                // the volume label; empty when none or not known
  std::string fileSystem;           // as the system names it: "NTFS", "exFAT", "ext4"; empty when not known
};

// An adapter node of the SCSI-adapter class (controllers the removal sweep may remove).
struct AdapterNode {
  std::string instanceId;
  std::string description;
  std::vector<uint32_t> childDiskNumbers;  // disks below it that the system currently shows
};

// A PCI Express link speed as the system reports it, in words (Linux sysfs "8.0 GT/s PCIe" or
// "Unknown", the simulated lab "8.0 GT/s") or as the Link Status register's speed code (Windows'
// device properties: 1 = 2.5 GT/s, 2 = 5.0 GT/s, ...). Empty text and code 0 when not reported.
struct LinkSpeedReport {
  std::string text;
  uint32_t code = 0;
};

// The PCI Express link of a PCI device as the system reports it: the negotiated and the maximum
// speed and lane count. Zero widths when not reported.
struct PciLinkReport {
  LinkSpeedReport currentSpeed;
  uint32_t currentWidth = 0;
  LinkSpeedReport maxSpeed;
  uint32_t maxWidth = 0;
};

// A PCI device and the device above it (its bridge or root port), by their location texts in the
// form of ParentNode::locationInformation.
struct PciDeviceNode {
  std::string instanceId;
  std::string locationInformation;
  std::string parentLocationInformation;  // "" when the device above is not a PCI device
};

struct DeviceSnapshot {
  std::vector<DiskNode> disks;
  std::vector<VolumeNode> volumes;
  std::vector<AdapterNode> adapters;
};

enum class DataDirection : uint8_t { kNone = 0, kIn = 1, kOut = 2 };

// Outcome of one pass-through request at the transport level.
enum class PassStatus : int8_t {
  kOk = 0,           // the device completed the request (check its own status for errors)
  kNotSupported,     // this handle or route cannot carry the request
  kFailed,           // the system refused or the device did not answer
  kTimeout,          // no answer within the timeout
};

// SCSI status and sense data of a completed CDB.
struct ScsiResult {
  uint8_t status = 0;                   // 0 GOOD, 2 CHECK CONDITION
  std::array<uint8_t, 32> sense{};
  uint32_t senseLength = 0;
  uint32_t transferred = 0;             // bytes moved
};

// ATA registers of a 28-bit or 48-bit command; the same layout carries the outputs back.
struct AtaRegisters {
  uint8_t features = 0, count = 0, lbaLow = 0, lbaMid = 0, lbaHigh = 0, device = 0, command = 0;
  uint8_t featuresExp = 0, countExp = 0, lbaLowExp = 0, lbaMidExp = 0, lbaHighExp = 0;  // 48-bit "previous"
  bool extended = false;                // a 48-bit command
  bool dma = false;                     // DMA data transfer (else PIO)
};
// Output registers: command holds STATUS and features holds ERROR.

// The route an NVMe submission entry takes to the controller.
enum class NvmeRoute : uint8_t {
  kInbox = 0,              // the system's own NVMe driver (Windows stornvme, Linux nvme)
  kRstMiniport = 1,        // Intel RST's NVMe pass-through
  kCommunityMiniport = 2,  // the community NVMe miniport interface
};

enum class NvmeQueue : uint8_t { kAdmin = 0, kIo = 1 };

// What one transfer through the system's own route carries, as the system reports it: the most
// bytes and the alignment that offsets and lengths keep. 0 where the system names none.
struct TransferLimit {
  uint32_t maxBytes = 0;
  uint32_t alignment = 0;
};

struct NvmeCompletion {
  uint32_t dw0 = 0;        // command-specific result
  uint16_t status = 0;     // status field (SC, SCT, CRD, More, DNR), phase bit removed; 0 = success
};

// An open disk. Every operation is synchronous. An object is used by one thread at a time; several
// objects may be open on the same disk from different threads.
class Device {
 public:
  virtual ~Device() = default;

  // Reads buffer.size() bytes at offset. Returns the number of bytes moved; nullopt on failure.
  // offset and size are multiples of the sector size; buffer is page-aligned.
  virtual std::optional<uint64_t> Read(uint64_t offset, std::span<uint8_t> buffer) = 0;

  // Writes data at offset, with forced unit access when fua is set. Returns the bytes moved, nullopt
  // on failure. Same alignment rules as Read.
  virtual std::optional<uint64_t> Write(uint64_t offset, std::span<const uint8_t> data, bool fua) = 0;

  // Flushes the device's write cache. False on failure.
  virtual bool Flush() = 0;

  // Deallocates (trims) length bytes at offset. False on failure.
  virtual bool Trim(uint64_t offset, uint64_t length) = 0;

  // The length in bytes and the logical sector size as the system reports them; nullopt if unknown.
  virtual std::optional<uint64_t> LengthBytes() = 0;
  virtual std::optional<uint32_t> SectorSize() = 0;

  // Whether the write cache is enabled, whether trim is supported; nullopt when the query fails.
  virtual std::optional<bool> WriteCacheEnabled() = 0;
  virtual std::optional<bool> TrimSupported() = 0;

  // Sends a SCSI CDB (6 to 16 bytes). data is read into or written from depending on direction.
  virtual PassStatus Scsi(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                          uint32_t timeoutSeconds, ScsiResult& result) = 0;

  // Sends an ATA command through the system's ATA pass-through. regs carries the inputs and,
  // when the status is kOk, the output registers.
  virtual PassStatus Ata(AtaRegisters& regs, DataDirection direction, std::span<uint8_t> data,
                         uint32_t timeoutSeconds) = 0;

  // Sends a 64-byte NVMe submission entry on route and queue. completion holds the controller's
  // answer when the status is kOk.
  virtual PassStatus Nvme(NvmeRoute route, NvmeQueue queue, std::span<const uint8_t, 64> entry,
                          DataDirection direction, std::span<uint8_t> data, uint32_t timeoutSeconds,
                          NvmeCompletion& completion) = 0;

  // What one pass-through transfer on this handle carries (Linux: the disk's queue limit in sysfs).
  // Backends whose system says nothing here answer an empty limit.
  virtual TransferLimit SystemTransferLimit() { return {}; }

  // A Windows device-control request (DeviceIoControl) whose buffers portable code has built: the
  // storage-protocol and SCSI-miniport requests of the NVMe routes. input and output may alias.
  // returned receives the bytes written to output; systemError the system's error value when the
  // request failed (status kFailed). Backends without such requests answer kNotSupported.
  virtual PassStatus Control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                             uint32_t& returned, uint32_t& systemError) {
    returned = 0;
    systemError = 0;
    return PassStatus::kNotSupported;
  }
};

enum class OpenAccess : uint8_t { kRead, kReadWrite };

class AsyncQueue;  // async_queue.h
class PartitionTool;  // partition_tool.h
struct QueueOptions;
class Host;

class DeviceTree {
 public:
  virtual ~DeviceTree() = default;

  // Enumerates the present disks, volumes and adapters. Thread-safe; each call takes a new snapshot.
  virtual DeviceSnapshot Enumerate() = 0;

  // Opens a disk or volume path (as found in a snapshot). nullptr when it does not open.
  // Thread-safe.
  virtual std::unique_ptr<Device> Open(const std::string& path, OpenAccess access) = 0;

  // Re-enumerates the system's device tree (synchronous). False when the system refused.
  // Callers serialise rescans; the backend need not.
  virtual bool Rescan() = 0;

  // Removes a device node (a disk by its physical path, an adapter by its instance id), as the
  // system's "safely remove" does. False when the node was not found or the system refused.
  virtual bool RemoveNode(const std::string& pathOrInstanceId) = 0;

  // Disables or enables a device node by instance id. False when the system refused.
  virtual bool SetNodeEnabled(const std::string& instanceId, bool enable) = 0;

  // Restarts a device node by instance id, so that its driver starts it again with what its
  // configuration now says (a PCI function after a link speed change). The default disables and
  // enables the node; Windows asks for a property change. False when the system refused.
  virtual bool RestartNode(const std::string& instanceId) {
    return SetNodeEnabled(instanceId, false) && SetNodeEnabled(instanceId, true);
  }

  // The PCI Express link of the device node with this instance id (a ParentNode::instanceId), read
  // at the time of the call. An empty report when the node is not a PCI Express device or the
  // system does not say. Thread-safe.
  virtual PciLinkReport PciLink(const std::string& instanceId) {
    static_cast<void>(instanceId);
    return {};
  }

  // The present PCI devices, each with the location of the device above it. Empty when the system
  // cannot list them. Thread-safe.
  virtual std::vector<PciDeviceNode> PciDevices() { return {}; }

  // Opens a queue for overlapped I/O (async_queue.h) on a disk or volume path of a snapshot, or on
  // a regular file (a test file on a mounted volume; the lab has none). Its ticks come from host,
  // which must outlive the queue. nullptr, with one sentence in why, when the target does not open
  // (absent, refused, a disk the system uses and options ask for writing) or the options are
  // unsound (depth 0 or above kMaxQueueDepth). Thread-safe. Trees without queues answer nullptr.
  virtual std::unique_ptr<AsyncQueue> OpenQueue(const std::string& path, const QueueOptions& options,
                                                Host& host, std::string& why);

  // The tool that changes the partitions of this tree's disks (partition_tool.h); it lives as long
  // as the tree. nullptr when the tree has none.
  virtual PartitionTool* Partitioner() { return nullptr; }
};

}  // namespace kestrune::platform
