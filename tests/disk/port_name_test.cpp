// Port names, port keys, PortMap.ini and where it lives.
#include "disk/port_name.h"

#include <gtest/gtest.h>

#include "base/ini.h"
#include "disk/port_map.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::disk {
namespace {

DiskEntry Entry(DiskKind kind, uint32_t pathId, uint32_t targetLun, uint32_t location) {
  DiskEntry e;
  e.diskKind = kind;
  e.pathId = pathId;
  e.targetLun = targetLun;
  e.location = location;
  return e;
}

TEST(PortName, ComputedFromTheDisksOwnData) {
  struct Case {
    DiskEntry entry;
    std::string name;
    std::string key;
  };
  const Case cases[] = {
      {Entry(DiskKind::kNvm, 0, 0, 0x0300), "PCIE-03:00.0", "cmd0A_scsi0000_Parent0300"},
      {Entry(DiskKind::kOfaNvm, 0, 0, 0xFFFF), "PCIE-FF:1F.7", "cmd0B_scsi0000_ParentFFFF"},
      {Entry(DiskKind::kIrstNvm, 1, 0, 29 * 8 + 4), "PCIE-00:1D.4", "cmd0C_scsi0100_Parent00EC"},
      {Entry(DiskKind::kAta, 2, 0, 0x1F), "SATA2", "cmd01_scsi0200_Parent001F"},
      {Entry(DiskKind::kAta, 2, 100, 0), "SATA2-100", "cmd01_scsi0264_Parent0000"},
      {Entry(DiskKind::kUsbAta, 0, 0, 3), "USB-3", "cmd02_scsi0000_Parent0003"},
      {Entry(DiskKind::kAsm2364, 0, 0, 10403), "USB-3", "cmd0F_scsi0000_Parent28A3"},
      {Entry(DiskKind::kRtl9210, 0, 0, 207), "USB-7", "cmd11_scsi0000_Parent00CF"},
      {Entry(DiskKind::kFlashDrive, 0, 0, 12), "USB-12", "cmd15_scsi0000_Parent000C"},
      {Entry(DiskKind::kRaid, 0, 0, 0), "-", "cmd14_scsi0000_Parent0000"},
      {Entry(DiskKind::kUnclassified, 0, 0, 5), "-", "cmd00_scsi0000_Parent0005"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ComputedPortName(c.entry), c.name);
    EXPECT_EQ(PortKey(c.entry), c.key);
    EXPECT_EQ(PortName(c.entry, PortMap{}), c.name);
  }
}

TEST(PortMap, NamesByExactValueWithBlanksAroundBothSides) {
  base::IniFile ini = base::IniFile::Parse(
      "[Other]\r\nBay-9=cmd01_scsi0200_Parent001F\r\n"
      "[PortMap]\r\n"
      "  Bay-1   =   cmd01_scsi0200_Parent001F  \r\n"
      "Bay-2=cmd01_scsi0200_Parent001F\r\n"
      "Lower=cmd0a_scsi0000_parent0300\r\n"
      "Hidden = cmd0A_scsi0000_Parent0300\r\n");
  PortMap map = PortMap::FromIni(ini);
  EXPECT_EQ(PortName(Entry(DiskKind::kAta, 2, 0, 0x1F), map), "Bay-1");  // the first line wins
  // The value compare is exact: the lower-case key does not name the NVMe disk.
  EXPECT_EQ(PortName(Entry(DiskKind::kNvm, 0, 0, 0x0300), map), "Hidden");
  EXPECT_EQ(PortName(Entry(DiskKind::kAta, 3, 0, 0x1F), map), "SATA3");
  EXPECT_TRUE(map.HasName("bay-2"));
  EXPECT_FALSE(map.HasName("Bay-9"));  // another section
}

TEST(PortMap, TheNameXHidesADisk) {
  PortMap map = PortMap::FromIni(base::IniFile::Parse("[PortMap]\nx=cmd01_scsi0200_Parent001F\n"));
  EXPECT_TRUE(IsHiddenPortName(PortName(Entry(DiskKind::kAta, 2, 0, 0x1F), map)));
  EXPECT_TRUE(IsHiddenPortName("X"));
  EXPECT_FALSE(IsHiddenPortName("x1"));
  EXPECT_FALSE(IsHiddenPortName(""));
}

TEST(PortMap, MissingOrUnreadableFileIsAnEmptyMap) {
  testing::TempDir dir;
  EXPECT_EQ(
      PortName(Entry(DiskKind::kAta, 2, 0, 0), PortMap::Load(platform::JoinPath(dir.path(), "none.ini"))),
      "SATA2");
  EXPECT_FALSE(PortMap::Load("").HasName(""));
}

TEST(PortMap, Folder) {
  auto env = [](std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
      auto it = vars.find(name);
      if (it == vars.end()) return std::nullopt;
      return it->second;
    };
  };
#ifdef _WIN32
  EXPECT_EQ(PortMapFolderFrom(env({{"APPDATA", "C:\\Users\\t\\AppData\\Roaming"}})),
            "C:\\Users\\t\\AppData\\Roaming\\mpEnv");
  EXPECT_EQ(PortMapFolderFrom(env({})), "");
#else
  EXPECT_EQ(PortMapFolderFrom(env({{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/t"}})), "/cfg/mpEnv");
  EXPECT_EQ(PortMapFolderFrom(env({{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/t"}})), "/home/t/.config/mpEnv");
  EXPECT_EQ(PortMapFolderFrom(env({{"HOME", "/home/t"}})), "/home/t/.config/mpEnv");
  EXPECT_EQ(PortMapFolderFrom(env({})), "");
#endif
}

}  // namespace
}  // namespace kestrune::disk
