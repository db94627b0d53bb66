// Drives and volumes read from a fake /sys tree in a scratch folder, whose
// "devices" are image files beside it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "device/enumeration.h"
#include "disk_builder.h"
#include "support/support.h"

using namespace vantor;
using namespace vantor::test;
namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

void writeDevice(const fs::path& path, std::size_t bytes, const Sector& first = {}) {
    fs::create_directories(path.parent_path());
    std::vector<char> data(bytes, 0);
    std::copy(first.begin(), first.end(), data.begin());
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// sda: an ATA disk with two partitions (sda1 FAT32 and mounted, sda2 without
// a device node); sdb: no model; nvme0n1 with a partition; loop0 without a
// backing file (not a drive), loop1 with one; a partition-looking nvme0n1p1
// at the top level and a ram disk, neither a drive.
class FakeSystem : public testing::Test {
protected:
    void SetUp() override {
        const fs::path sys = dir.path() / "sys", dev = dir.path() / "dev";
        roots = {sys, dev, dir.path() / "mounts"};
        writeText(sys / "block/sda/device/vendor", "ATA     \n");
        writeText(sys / "block/sda/device/model", "Samsung SSD 860 \n");
        writeText(sys / "block/sda/sda1/partition", "1\n");
        writeText(sys / "block/sda/sda2/partition", "2\n");
        writeText(sys / "class/block/sda1/size", "976773168\n");
        writeText(sys / "block/sdb/size", "2048\n");
        writeText(sys / "block/nvme0n1/device/model", "WD Blue SN570\n");
        writeText(sys / "block/nvme0n1/nvme0n1p1/partition", "1\n");
        writeText(sys / "block/nvme0n1p1/partition", "1\n");
        writeText(sys / "block/loop0/size", "0\n");
        writeText(sys / "block/loop1/loop/backing_file", "/images/disk.img\n");
        writeText(sys / "block/ram0/size", "8192\n");
        writeDevice(dev / "sda1", 1048576, fat32BootSector(70000));
        writeDevice(dev / "nvme0n1p1", 3 * 1048576 + 100, ntfsBootSector(6000));
        // dm-0: a mounted volume that is no partition of a drive.
        writeText(sys / "class/block/dm-0/size", "40960\n");
        Sector extStart(1536, 0);
        const Sector superblock = extSuperblock(20480);
        std::copy(superblock.begin(), superblock.end(), extStart.begin() + 1024);
        writeDevice(dev / "dm-0", 4096, extStart);
        writeText(dir.path() / "mounts",
                  "/dev/sda1 /mnt/data vfat rw 0 0\n"
                  "proc /proc proc rw 0 0\n"
                  "/dev/dm-0 /home ext4 rw 0 0\n"
                  "/dev/sda1 /srv/bind vfat rw 0 0\n");
    }

    ScratchDir dir;
    SystemRoots roots;
};

}  // namespace

TEST_F(FakeSystem, DrivesInNameOrderWithTheirModelNames) {
    const auto drives = enumerateDrives(roots);
    ASSERT_EQ(drives.size(), 4u);
    const std::string dev = roots.dev.string();
    struct Want { const char* path; const char* label; };
    const Want want[] = {
        {"/loop1", nullptr},            // no model: the device path
        {"/nvme0n1", "WD Blue SN570"},
        {"/sda", "ATA Samsung SSD 860"},
        {"/sdb", nullptr},
    };
    for (std::size_t i = 0; i < drives.size(); ++i) {
        SCOPED_TRACE(want[i].path);
        EXPECT_EQ(drives[i].number, static_cast<int>(i));
        EXPECT_EQ(drives[i].devicePath, dev + want[i].path);
        EXPECT_EQ(drives[i].label, want[i].label ? want[i].label : dev + want[i].path);
    }
}

// sda2 has no device node here, as a volume that cannot be opened: left out.
// A volume mounted twice takes its first mount point.
TEST_F(FakeSystem, VolumesThatCanBeOpenedWithTheirKindsAndSizes) {
    const auto volumes = enumerateVolumes(roots);
    const std::string dev = roots.dev.string();
    ASSERT_EQ(volumes.size(), 3u);

    EXPECT_EQ(volumes[0].volumeId, dev + "/nvme0n1p1");
    EXPECT_EQ(volumes[0].rootPath, dev + "/nvme0n1p1");
    EXPECT_EQ(volumes[0].fileSystem, "NTFS");
    EXPECT_EQ(volumes[0].sizeText, "3  MB");  // the node's length, no size in /sys
    EXPECT_EQ(volumes[0].startSector, 0);

    EXPECT_EQ(volumes[1].volumeId, dev + "/sda1");
    EXPECT_EQ(volumes[1].rootPath, "/mnt/data");
    EXPECT_EQ(volumes[1].fileSystem, "FAT32");
    EXPECT_EQ(volumes[1].sizeText, "476940  MB");  // 976773168 sectors of 512 bytes

    EXPECT_EQ(volumes[2].volumeId, dev + "/dm-0");
    EXPECT_EQ(volumes[2].rootPath, "/home");
    EXPECT_EQ(volumes[2].fileSystem, "extX");
    EXPECT_EQ(volumes[2].sizeText, "20  MB");  // 40960 sectors from /sys, not the node's length
}

TEST_F(FakeSystem, VolumesAreNeverWritten) {
    const SourceGuard guard(roots.dev / "sda1");
    enumerateVolumes(roots);
    EXPECT_TRUE(guard.unchanged());
}

TEST(Enumeration, MissingSystemTreeListsNothing) {
    ScratchDir dir;
    const SystemRoots roots{dir.path() / "sys", dir.path() / "dev", dir.path() / "mounts"};
    EXPECT_TRUE(enumerateDrives(roots).empty());
    EXPECT_TRUE(enumerateVolumes(roots).empty());
}

TEST(Enumeration, SizeTextIsMegabytesWithTwoSpaces) {
    struct Case { std::uint64_t bytes; const char* text; };
    const Case cases[] = {
        {500107862016ull, "476940  MB"},
        {0, "0  MB"},
        {1048575, "0  MB"},
        {1048576, "1  MB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(volumeSizeText(c.bytes), c.text);
    }
}
