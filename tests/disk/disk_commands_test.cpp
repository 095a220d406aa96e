// DiskList, ChangeDisk, RegPortName, ReScanDriver and the disk queries, run as script statements.
#include <gtest/gtest.h>

#include "base/ini.h"
#include "disk/disk_find.h"
#include "disk_fixture.h"
#include "platform/files.h"

namespace kestrune::disk {
namespace {

using testing::kNvmePath;
using testing::kSataPath;
using Lines = std::vector<std::string>;

class DiskCommandsTest : public testing::DiskFixture {
 protected:
  std::string PortMapFile() { return platform::JoinPath(state().portMapFolder, "PortMap.ini"); }
  void WritePortMap(const std::string& text) {
    ASSERT_TRUE(host.CreateFolders(state().portMapFolder));
    ASSERT_TRUE(platform::WriteWholeFile(
        PortMapFile(), std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
  }
};

const std::string kNvmeRow =
    "KX NVMe 512G                           1.2A       512GB    PCIE-03:00.0   NVM       1E4B   "
    "\\\\.\\PHYSICALDRIVE0";
const std::string kSataRow =
    "KX SATA 256G                           S1.0       256GB    SATA2          ATA              "
    "\\\\.\\PHYSICALDRIVE1";
const std::string kRaidRow =
    "Windows SW RAID                                   1999GB   -              RAID             \\\\.\\E:";

TEST_F(DiskCommandsTest, DiskListRowsAndResultList) {
  Run("Disk[] = DiskList();");
  EXPECT_EQ(Texts(), (Lines{kNvmeRow, kSataRow, kRaidRow}));
  for (const engine::OutputLine& l : printed) EXPECT_EQ(l.colour, engine::colour::kCyan);
  EXPECT_EQ(Var("Disk[0]").text, kNvmePath);
  EXPECT_EQ(Var("Disk[2]").text, "\\\\.\\E:");
  EXPECT_EQ(Var("Disk[0xEFFFFFFF]").number, 3);
  EXPECT_TRUE(reports.empty());
}

TEST_F(DiskCommandsTest, DiskListVolumesColumnsMasterAndFilter) {
  Run("d = DiskList( ShowVolumn:TRUE, Column:TRUE );");
  EXPECT_EQ(Texts(), (Lines{"KX NVMe 512G                          |1.2A      |512GB   |PCIE-03:00.0  |NVM   "
                            "   |1E4B  |\\\\.\\PHYSICALDRIVE0",
                            "        \u221F[C:] - 4K Aligned            |          |279GB   |              | "
                            "        |      |\\\\.\\C:",
                            "        \u221F[D:] - Non 4K Align          |          |512MB   |              | "
                            "        |      |\\\\.\\D:",
                            "KX SATA 256G                          |S1.0      |256GB   |SATA2         |ATA   "
                            "   |      |\\\\.\\PHYSICALDRIVE1",
                            "Windows SW RAID                       |          |1999GB  |-             |RAID  "
                            "   |      |\\\\.\\E:",
                            "        \u221F[E:] - 4K Aligned            |          |1862GB  |              | "
                            "        |      |\\\\.\\E:"}));
  EXPECT_EQ(Var("d").text,
            "\"\\\\.\\PHYSICALDRIVE0\",\"\\\\.\\C:\",\"\\\\.\\D:\",\"\\\\.\\PHYSICALDRIVE1\",\"\\\\.\\E:\","
            "\"\\\\.\\E:\"");

  Run("d = DiskList( ShowVolumn:TRUE, Master:FALSE );");  // the system disk and its volumes go
  EXPECT_EQ(Texts(), (Lines{kSataRow, kRaidRow, Texts()[2]}));
  EXPECT_EQ(printed.size(), 3u);

  Run(R"(d = DiskList( Filter:"/model/sata" );)");
  EXPECT_EQ(Texts(), Lines{kSataRow});
  EXPECT_EQ(Var("d").text, "\"" + kSataPath + "\"");

  Run(R"(d = DiskList( Filter:"/model/none" );)");
  EXPECT_TRUE(printed.empty());
  EXPECT_EQ(Var("d").text, "");
}

TEST_F(DiskCommandsTest, DiskListUsesAndHidesMappedPorts) {
  WritePortMap("[PortMap]\r\n Bay-1 = cmd01_scsi0200_Parent0002 \r\nx=cmd0A_scsi0000_Parent0300\r\n");
  Run("d = DiskList( ShowVolumn:TRUE );");
  ASSERT_EQ(printed.size(), 3u);  // the NVMe disk and its volumes are hidden
  EXPECT_EQ(Texts()[0],
            "KX SATA 256G                           S1.0       256GB    Bay-1          ATA              "
            "\\\\.\\PHYSICALDRIVE1");
}

TEST_F(DiskCommandsTest, DiskListLongAndOverflowingLists) {
  tree.snapshot.disks[1].friendlyName = "";
  tree.disks[kSataPath].ataIdentify =
      testing::AtaIdentifyData("A MODEL NAME THAT IS LONGER THAN THIRTY8", "S1.0");
  Run("d = DiskList( Master:FALSE );");
  EXPECT_EQ(Texts()[0].substr(0, 39), "A MODEL NAME THAT IS LONGER THAN THIRT ");  // cut to 38

  for (uint32_t i = 2; i < 30; ++i)
    tree.snapshot.disks.push_back(testing::Node(i, platform::bus::kSata, "storahci"));
  Run("d = DiskList();");
  EXPECT_TRUE(printed.empty());  // more than 26 entries: an empty list
  EXPECT_EQ(Var("d").text, "");
  EXPECT_TRUE(reports.empty());
}

TEST_F(DiskCommandsTest, ChangeDisk) {
  Run("DiskList();");
  Run(R"(ChangeDisk( PhysicalName:"\\.\physicaldrive1" );)");
  EXPECT_EQ(Texts(), (Lines{R"(ChangeDisk(PhysicalName:"\\.\physicaldrive1");)",
                            "Change to Disk: \\\\.\\PHYSICALDRIVE1"}));
  EXPECT_EQ(printed[0].colour, engine::colour::kGreen);
  EXPECT_EQ(printed[1].colour, engine::colour::kLightBlue);
  EXPECT_EQ(state().current.devicePath, kSataPath);
  EXPECT_EQ(state().lastChosenName, "\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(interp.CurrentDiskType(), 1);

  Run(R"(ChangeDisk( PhysicalName:"\\.\PHYSICALDRIVE7" );)");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0],
            (std::pair<int32_t, std::string>{-1, "Open Disk Fail. Cannot find \\\\.\\PHYSICALDRIVE7"}));
  EXPECT_EQ(state().current.devicePath, kSataPath);

  Run("ChangeDisk();");
  EXPECT_EQ(Texts(), (Lines{"ChangeDisk();", "---- Cancel Command ----"}));
  EXPECT_EQ(printed[1].colour, engine::colour::kCyan);
  EXPECT_TRUE(reports.empty());
}

TEST_F(DiskCommandsTest, RegPortNameWritesNewPortsOnceAndNumbersTakenNames) {
  // A second SATA bridge disk that computes the same name USB-3 as the first.
  platform::DiskNode usb1 = testing::Node(5, platform::bus::kSas, "LSI_SAS3");
  usb1.parent.busAddress = 3;
  platform::DiskNode usb2 = testing::Node(6, platform::bus::kSas, "LSI_SAS3");
  usb2.parent.busAddress = 103;
  tree.snapshot.disks.push_back(usb1);
  tree.snapshot.disks.push_back(usb2);

  Run("RegPortName();");
  const std::string file = PortMapFile();
  EXPECT_EQ(Texts(), (Lines{Texts()[0], "Port mapping defined by " + file,
                            ">> New RegPort       : PCIE-03:00.0=cmd0A_scsi0000_Parent0300",
                            ">> New RegPort       : SATA2=cmd01_scsi0200_Parent0002",
                            ">> New RegPort       : USB-3=cmd02_scsi0000_Parent0003",
                            ">> New RegPort       : USB-3n=cmd02_scsi0000_Parent0067"}));
  EXPECT_EQ(printed[1].colour, engine::colour::kGrey);
  EXPECT_EQ(printed[2].colour, engine::colour::kYellow);
  std::optional<base::IniFile> ini = base::IniFile::Load(file);
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->Get("PortMap", "USB-3n"), "cmd02_scsi0000_Parent0067");

  Run("RegPortName();");
  EXPECT_EQ(Texts(), (Lines{Texts()[0], "Port mapping defined by " + file,
                            "Existed PortMap      : PCIE-03:00.0", "Existed PortMap      : SATA2",
                            "Existed PortMap      : USB-3", "Existed PortMap      : USB-3n"}));
  EXPECT_TRUE(reports.empty());
}

TEST_F(DiskCommandsTest, RegPortNameKeepsLinesOfOthersAndSkipsKindsWithoutPorts) {
  WritePortMap("; station 7\r\n[PortMap]\r\nSATA2=cmd99_other\r\n");
  Run("RegPortName();");
  EXPECT_EQ(Texts().size(), 4u);  // header, folder, NVMe, SATA; the RAID volume has no port
  EXPECT_EQ(Texts()[3], ">> New RegPort       : SATA2n=cmd01_scsi0200_Parent0002");
  std::string text = base::DecodeTextFile([&] {
    auto b = platform::ReadWholeFile(PortMapFile());
    return std::string(b->begin(), b->end());
  }());
  EXPECT_EQ(text.substr(0, 33), "; station 7\r\n[PortMap]\r\nSATA2=cmd");
}

TEST_F(DiskCommandsTest, RegPortNameReportsAnUnwritableFolder) {
  const std::string blocker = platform::JoinPath(dir.path(), "blocker");
  ASSERT_TRUE(platform::WriteWholeFile(blocker, {}));
  state().portMapFolder = platform::JoinPath(blocker, "mpEnv");  // below a file
  Run("RegPortName();");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].first, -21);
}

TEST_F(DiskCommandsTest, ReScanDriverRescansAndWaits) {
  Run("ReScanDriver();");
  EXPECT_EQ(tree.rescans, 1);
  EXPECT_GE(host.monotonic, 3000u);
}

TEST_F(DiskCommandsTest, QueriesOfTheCurrentDisk) {
  struct Case {
    std::string path;
    int64_t raw, nvme, usb;
  };
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kNvmePath));
  Run("a = IsRAWDisk();");
  Run("b = IsNVMEDisk();");
  Run("c = IsUSBPort();");
  Run("d = IsDiskExist();");
  EXPECT_EQ(Var("a").number, 0);
  EXPECT_EQ(Var("b").number, 1);
  EXPECT_EQ(Var("c").number, 0);
  EXPECT_EQ(Var("d").number, 1);

  ASSERT_TRUE(FindCurrentDiskAgain(interp, kSataPath));
  Run("a = IsRAWDisk();");
  Run("b = IsNVMEDisk();");
  EXPECT_EQ(Var("a").number, 1);
  EXPECT_EQ(Var("b").number, 0);
  tree.later = {testing::LabSnapshot()};
  tree.later[0].disks.pop_back();
  Run("d = IsDiskExist();");
  EXPECT_EQ(Var("d").number, 0);

  DiskEntry usb = state().current;
  usb.busType = platform::bus::kUsb;
  usb.diskKind = DiskKind::kUsbAta;
  SetCurrentDisk(interp, usb);
  Run("c = IsUSBPort();");
  EXPECT_EQ(Var("c").number, 1);
  EXPECT_TRUE(printed.empty());
}

TEST_F(DiskCommandsTest, UnidentifiedDiskAnswers) {
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kNvmePath));
  Run("s = GetSocID();");
  Run("v = VSC_GetSocID();");
  Run("t = GetConfigType();");
  Run("n = GetSSDState();");
  Run("r = IsROMDrive();");
  Run("f = IsFWCfgDisk();");
  EXPECT_EQ(Var("s").type, engine::ValueType::kHex);
  EXPECT_EQ(Var("s").number, 0);
  EXPECT_EQ(Var("v").number, 0);
  EXPECT_EQ(Var("t").text, "UNKNOW Disk");
  EXPECT_EQ(Var("n").number, 255);
  EXPECT_EQ(Var("r").number, 0);
  EXPECT_EQ(Var("f").number, 0);
}

TEST_F(DiskCommandsTest, IdentifiedDiskAnswers) {
  state().refreshIdentity = [](DiskEntry& e) {
    e.socId = 0x7301;
    e.configType = 102;
  };
  ASSERT_TRUE(FindCurrentDiskAgain(interp, kNvmePath));
  Run("s = GetSocID();");
  Run("t = GetConfigType();");
  Run("n = GetSSDState();");
  Run("f = IsFWCfgDisk();");
  EXPECT_EQ(Var("s").number, 0x7301);
  EXPECT_EQ(Var("t").text, "MPOEM RDT Disk");
  EXPECT_EQ(Var("n").number, 2);
  EXPECT_EQ(Var("f").number, 0);
  state().current.configType = 0;
  Run("r = IsROMDrive();");
  Run("t = GetConfigType();");
  EXPECT_EQ(Var("r").number, 1);
  EXPECT_EQ(Var("t").text, "ROM Disk");
}

TEST_F(DiskCommandsTest, QueriesWithoutADisk) {
  state().tree = nullptr;
  for (const char* q : {"IsRAWDisk", "IsNVMEDisk", "IsUSBPort", "IsDiskExist", "IsROMDrive", "IsFWCfgDisk"}) {
    Run(std::string("q = ") + q + "();");
    EXPECT_EQ(Var("q").number, 0) << q;
  }
  Run("q = GetSocID();");
  EXPECT_EQ(Var("q").number, 0);
  Run("d = DiskList();");
  EXPECT_EQ(Var("d").text, "");
  EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace kestrune::disk
