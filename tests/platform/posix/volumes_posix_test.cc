#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/mount_table.h"
#include "platform/posix/posix_platform.h"
#include "support/temp_folder.h"

namespace updater::platform {
namespace {

using testing::TempFolder;

// A mount table and a /sys tree of our own, over real folders, so that every
// kind of drive can be shown on a machine that has none of them.
class PosixVolumesTest : public ::testing::Test {
 protected:
  PosixVolumesTest() {
    const std::string sys = temp.MakeFolder("sys");
    temp.MakeFile("sys/devices/virtual/block/vda/removable", "0\n");
    temp.MakeFile("sys/devices/pci/block/sdb/removable", "1\n");
    temp.MakeFile("sys/devices/pci/block/sdb/sdb1/partition", "1\n");
    temp.MakeFile("sys/devices/pci/block/zram0/removable", "0\n");
    temp.MakeFolder("sys/dev/block");
    std::filesystem::create_directory_symlink("../../devices/virtual/block/vda",
                                              sys + "/dev/block/253:0");
    std::filesystem::create_directory_symlink("../../devices/pci/block/sdb/sdb1",
                                              sys + "/dev/block/8:17");
    std::filesystem::create_directory_symlink("../../devices/pci/block/zram0",
                                              sys + "/dev/block/252:0");
    for (const char* name : {"usb", "nfs", "cd", "ram", "proc", "sshfs", "overlay", "zram",
                             "with space", "smb"}) {
      temp.MakeFolder(std::string("mnt/") + name);
    }
    const std::string m = temp.path() + "/mnt/";
    const std::string table =
        "1 0 253:0 / / rw - ext4 /dev/vda rw\n"
        "40 1 8:17 / " + m + "usb rw - vfat /dev/sdb1 rw\n"
        "41 1 0:51 / " + m + "nfs rw - nfs4 server:/export rw\n"
        "42 1 11:0 / " + m + "cd ro - iso9660 /dev/sr0 ro\n"
        "43 1 0:30 / " + m + "ram rw shared:5 - tmpfs tmpfs rw\n"
        "44 1 0:4 / " + m + "proc rw - proc proc rw\n"
        "45 1 0:52 / " + m + "sshfs rw - fuse.sshfs user@host:/ rw\n"
        "46 1 0:53 / " + m + "overlay rw - overlay overlay rw\n"
        "47 1 252:0 / " + m + "zram rw - ext4 /dev/zram0 rw\n"
        "48 1 0:54 / " + m + "with\\040space rw - cifs //srv/share rw\n"
        "49 1 0:55 / " + m + "smb rw master:3 propagate_from:2 - smb3 //srv/s rw\n";
    const std::string mountinfo = temp.MakeFile("mountinfo", table);
    volumes = std::make_unique<PosixVolumes>(mountinfo, sys);
  }

  DriveType TypeOf(const std::string& mount) {
    return volumes->DriveTypeOf(volumes->DriveRoot(temp.path() + "/mnt/" + mount));
  }

  TempFolder temp;
  std::unique_ptr<PosixVolumes> volumes;
};

TEST_F(PosixVolumesTest, ClassifiesEveryKindOfMount) {
  EXPECT_EQ(TypeOf("usb"), DriveType::kRemovable);
  EXPECT_EQ(TypeOf("nfs"), DriveType::kRemote);
  EXPECT_EQ(TypeOf("sshfs"), DriveType::kRemote);
  EXPECT_EQ(TypeOf("with space"), DriveType::kRemote);
  EXPECT_EQ(TypeOf("smb"), DriveType::kRemote);
  EXPECT_EQ(TypeOf("cd"), DriveType::kCdRom);
  EXPECT_EQ(TypeOf("ram"), DriveType::kRamDisk);
  EXPECT_EQ(TypeOf("zram"), DriveType::kRamDisk);
  EXPECT_EQ(TypeOf("proc"), DriveType::kUnknown);
  EXPECT_EQ(TypeOf("overlay"), DriveType::kFixed);
  EXPECT_EQ(volumes->DriveTypeOf(temp.path()), DriveType::kFixed);  // the root file system
}

TEST_F(PosixVolumesTest, DriveRootIsTheMountPointThatHoldsThePath) {
  EXPECT_EQ(volumes->DriveRoot(temp.path() + "/mnt/usb/Marlix/DB_Data/not yet made"),
            temp.path() + "/mnt/usb/");
  EXPECT_EQ(volumes->DriveRoot(temp.path() + "/mnt/with space/x"),
            temp.path() + "/mnt/with space/");
  EXPECT_EQ(volumes->DriveRoot(temp.path() + "/mnt/usbother"), "/");
  EXPECT_EQ(volumes->DriveTypeOf(temp.path() + "/missing/"), DriveType::kNoRootDir);
}

TEST(PosixFreeSpace, CountsOnlyWhatTheProgramMayWrite) {
  PosixVolumes volumes;
  const Result<uint64_t> free = volumes.FreeBytes("/");
  ASSERT_TRUE(free.ok()) << free.error().Describe();
  EXPECT_GT(free.value(), 0u);
  EXPECT_FALSE(volumes.FreeBytes("/no such folder/").ok());
}

TEST(PosixMountInfo, SkipsLinesThatDoNotParse) {
  const auto mounts = ParseMountInfo("garbage\n1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].major, 8u);
  EXPECT_EQ(mounts[0].fs_type, "ext4");
}

}  // namespace
}  // namespace updater::platform
