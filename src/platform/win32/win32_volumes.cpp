// Drive letters C to Z: the disk each lies on, or the disks it spans (software RAID), its size, free
// space and partition offset.
#include <windows.h>

#include <algorithm>

#include "platform/win32/wide.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_io.h"
#include "platform/win_device_text.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"

namespace kestrune::platform::win32 {
namespace {

constexpr size_t kExtentsBytes = winio::kDiskExtentsHeaderBytes + 32 * winio::kDiskExtentBytes;

// Letters without a local volume behind them (unassigned, network shares) are not opened: a
// network drive can keep the open waiting for its server.
bool IsLocalVolume(char letter) {
  const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
  const UINT type = GetDriveTypeW(root);
  return type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN && type != DRIVE_REMOTE;
}

// A volume that spans disks answers with its extents (or says there are more than fit).
bool HasDiskExtents(HANDLE h) {
  if (Query(h, winio::kIoctlVolumeGetVolumeDiskExtents, {}, kExtentsBytes)) return true;
  return GetLastError() == ERROR_MORE_DATA;
}

std::optional<uint64_t> LengthOf(HANDLE h) {
  auto a = Query(h, winio::kIoctlDiskGetLengthInfo, {}, winio::kLengthInfoBytes);
  return a ? winio::ReadLength(*a) : std::nullopt;
}

}  // namespace

std::vector<VolumeNode> EnumerateVolumes(const std::vector<FoundDisk>& disks) {
  std::vector<VolumeNode> volumes;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    if (!IsLocalVolume(letter)) continue;
    VolumeNode v;
    v.letter = std::string{letter, ':'};
    v.path = winio::VolumePath(letter);
    UniqueHandle h = OpenForQueries(v.path);
    if (!h) continue;

    auto numberAnswer = Query(h.get(), winio::kIoctlStorageGetDeviceNumber, {}, winio::kDeviceNumberBytes);
    std::optional<winio::DeviceNumber> number =
        numberAnswer ? winio::ReadDeviceNumber(*numberAnswer) : std::nullopt;
    if (number) {
      const bool listed = std::any_of(disks.begin(), disks.end(), [&](const FoundDisk& d) {
        return d.disk.deviceNumber == number->deviceNumber;
      });
      if (number->deviceType != winio::kFileDeviceDisk || !listed) continue;
      v.onListedDisk = true;
      v.diskNumber = number->deviceNumber;
    } else if (HasDiskExtents(h.get())) {
      v.softwareRaid = true;
    } else {
      continue;
    }

    v.holdsSystem = letter == 'C';
    if (auto a = Query(h.get(), winio::kIoctlDiskGetPartitionInfoEx, {}, winio::kPartitionInfoExBytes))
      v.partitionOffset = winio::ReadPartitionOffset(*a).value_or(0);
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    ULARGE_INTEGER callerFree{}, total{}, totalFree{};
    const bool space = GetDiskFreeSpaceExW(root, &callerFree, &total, &totalFree) != 0;
    if (space) {
      v.totalBytes = total.QuadPart;
      v.freeBytes = totalFree.QuadPart;
    }
    // A software RAID volume's size is its length; so is that of a volume without a file system.
    if (v.softwareRaid || !space) v.totalBytes = LengthOf(h.get()).value_or(v.totalBytes);
    wchar_t label[MAX_PATH + 1] = {}, fileSystem[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, fileSystem, MAX_PATH + 1)) {
      v.label = Narrow(label);
      v.fileSystem = Narrow(fileSystem);
    }
    volumes.push_back(std::move(v));
  }
  return volumes;
}

}  // namespace kestrune::platform::win32
