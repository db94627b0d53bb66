// The sector sweep over sparse hand-built disks: what it recognises, how it
// jumps over found volumes, its custom range, its progress and its stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "device/Partition.h"
#include "disk_builder.h"

using namespace vantor;
using namespace vantor::test;

namespace {

struct SweepOptions {
    bool skip = true;
    std::int64_t start = 0;
    std::int64_t end = 0;
};

std::vector<Row> sweep(readWriteInterface& disk, SweepOptions o = {}, int* result = nullptr) {
    Partition scan(disk);
    scan.skipVolumeSize = o.skip;
    scan.customStartSector = o.start;
    scan.customEndSector = o.end;
    const int r = scan.sweepForVolumes();
    if (result) *result = r;
    std::vector<Row> rows;
    for (const VolumeRecord& v : scan.volumes) rows.push_back({v.fileSystem, v.startSector, v.sizeText});
    return rows;
}

// One NTFS volume of 2048000 sectors at sector 2048, its backup boot sector
// in its last sector, and FAT boot sectors placed just after it.
SparseDisk ntfsDisk() {
    SparseDisk disk(2048 + 2048000 + 4096);
    disk.set(2048, ntfsBootSector(2048000));
    disk.set(2048 + 2048000, ntfsBootSector(2048000));
    return disk;
}

}  // namespace

TEST(Sweep, JumpsOverAFoundVolumeAndTheSectorAfterIt) {
    SparseDisk disk = ntfsDisk();
    // Only a volume starting two sectors after the NTFS one is seen: the
    // sector just after it (the backup boot sector) is passed over, and so
    // is a boot sector that would lie in it.
    disk.set(2048 + 2048000 + 2, fat32BootSector(70000));
    int result = 0;
    EXPECT_EQ(sweep(disk, {}, &result), (std::vector<Row>{{"NTFS", 2048, "1000   MB"},
                                                          {"FAT32", 2048 + 2048000 + 2, "34  MB"}}));
    EXPECT_EQ(result, 1);
    // Nothing inside the volume was read.
    for (std::uint64_t at : disk.reads) {
        EXPECT_FALSE(at > 1048576 && at < (2048 + 2048000) * 512ull) << "read at byte " << at;
    }
}

// Volumes other than NTFS end exactly at their size: a volume that starts in
// the very next sector is found.
TEST(Sweep, FindsAVolumeRightAfterTheOneItJumpedOver) {
    struct Case { const char* what; Sector first; std::int64_t sectors; };
    const Case cases[] = {
        {"after FAT32", fat32BootSector(4096), 4096},
        {"after FAT16", fat16BootSector(16384), 16384},
        {"after exFAT", exfatBootSector(8192), 8192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(60000);
        disk.set(3000, c.first);
        disk.set(3000 + c.sectors, exfatBootSector(4096));
        const auto rows = sweep(disk);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1], (Row{"FAT64", 3000 + c.sectors, "2  MB"}));
    }
}

TEST(Sweep, WithoutSkippingEverySectorIsTestedAndTheBackupListed) {
    SparseDisk disk = ntfsDisk();
    disk.set(500000, fat16BootSector(16384));  // a volume inside the NTFS volume
    EXPECT_EQ(sweep(disk, {.skip = false}), (std::vector<Row>{{"NTFS", 2048, "1000   MB"},
                                                              {"FAT16", 500000, "8  MB"},
                                                              {"NTFS", 2048 + 2048000, "1000   MB"}}));
}

TEST(Sweep, RecognisesEachKindWhereverItLies) {
    struct Case { const char* what; std::int64_t sector; Sector bytes; Row row; };
    const Case cases[] = {
        {"NTFS at an odd sector", 7777, ntfsBootSector(20480), {"NTFS", 7777, "10   MB"}},
        {"NTFS counted in 4096-byte sectors", 3000, ntfsBootSector(2560, 4096), {"NTFS", 3000, "10   MB"}},
        {"FAT32", 3001, fat32BootSector(70000), {"FAT32", 3001, "34  MB"}},
        {"FAT16", 4097, fat16BootSector(16384), {"FAT16", 4097, "8  MB"}},
        {"exFAT", 2049, exfatBootSector(8192), {"FAT64", 2049, "4  MB"}},
        {"HFS+ header two sectors in", 6002, hfsPlusHeader(4096, 2560), {"HFS+", 6000, "10  MB"}},
        {"ext superblock two sectors in", 9002, extSuperblock(6144), {"extX", 9000, "6  MB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(40000);
        disk.set(c.sector, c.bytes);
        EXPECT_EQ(sweep(disk), std::vector<Row>{c.row});
    }
}

TEST(Sweep, PassesOverWhatNoReaderCouldOpen) {
    struct Case { const char* what; std::int64_t sector; Sector bytes; };
    const Case cases[] = {
        {"NTFS of less than a megabyte", 3000, ntfsBootSector(2047)},
        {"FAT32 of less than a megabyte", 3000, fat32BootSector(2000)},
        {"HFS+ claiming more than 20971519 MB", 3002, hfsPlusHeader(65536, 0xFFFFFFFFu)},
        {"HFS+ of less than a megabyte", 3002, hfsPlusHeader(512, 100)},
        {"HFS+ header in the first sector of the disk", 0, hfsPlusHeader(4096, 2560)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(40000);
        disk.set(c.sector, c.bytes);
        EXPECT_TRUE(sweep(disk).empty());
    }
}

// The range is checked a block at a time: sectors 0..2047 are one block, and
// the block after it is never examined.
TEST(Sweep, CustomRangeOfTheFirstBlockExaminesOnlyThatBlock) {
    SparseDisk disk(20000);
    disk.set(100, fat32BootSector(4096));
    disk.set(2048, exfatBootSector(8192));
    EXPECT_EQ(sweep(disk, {.skip = false, .start = 0, .end = 2047}), (std::vector<Row>{{"FAT32", 100, "2  MB"}}));
    for (std::uint64_t at : disk.reads) EXPECT_LT(at, 2048 * 512u) << "read at byte " << at;
}

TEST(Sweep, CustomStartSkipsWhatLiesBefore) {
    SparseDisk disk(20000);
    disk.set(100, fat32BootSector(4096));
    disk.set(5000, exfatBootSector(8192));
    EXPECT_EQ(sweep(disk, {.start = 101}), (std::vector<Row>{{"FAT64", 5000, "4  MB"}}));
}

// A disk that is not a whole number of MiB: its last, short block is tested too.
TEST(Sweep, TestsTheShortLastBlock) {
    SparseDisk disk(4096 + 100);
    disk.set(4096 + 99, fat32BootSector(4096));
    EXPECT_EQ(sweep(disk), (std::vector<Row>{{"FAT32", 4096 + 99, "2  MB"}}));
}

TEST(Sweep, ReportsProgressOverTheWholeDrive) {
    SparseDisk disk(10 * 2048);
    RecordingProgress progress;
    Partition scan(disk, progress);
    EXPECT_EQ(scan.sweepForVolumes(), 1);
    EXPECT_EQ(progress.rangeMin, 0);
    EXPECT_EQ(progress.rangeMax, 1000);
    EXPECT_EQ(progress.positions, (std::vector<std::int64_t>{100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}));
    ASSERT_FALSE(progress.statuses.empty());
    EXPECT_EQ(progress.statuses.front(), "Scanning partition.....");
}

// Stop is honoured within one sector: a stop asked for when the first volume
// is found ends the sweep before the next sector is tested.
TEST(Sweep, StopEndsTheSweepAtOnce) {
    SparseDisk disk(40000);
    disk.set(3000, exfatBootSector(8192));
    disk.set(3001, fat32BootSector(4096));
    disk.set(30000, fat32BootSector(4096));
    RecordingProgress progress;
    Partition scan(disk, progress);
    scan.skipVolumeSize = false;
    scan.onFound = [&](const VolumeRecord&) { scan.control.stopRequested.request(); };
    EXPECT_EQ(scan.sweepForVolumes(), 1);
    ASSERT_EQ(scan.volumes.size(), 1u);
    EXPECT_EQ(scan.volumes[0].startSector, 3000);
    EXPECT_EQ(progress.statuses.back(), "Scanned Partitions");
    EXPECT_EQ(disk.reads.size(), 2u);  // the first block and the block of the find
}

TEST(Sweep, StatusNamesEachFind) {
    SparseDisk disk(40000);
    disk.set(3000, ntfsBootSector(4096));
    disk.set(8000, ntfsBootSector(4096));
    disk.set(13000, fat16BootSector(16384));
    RecordingProgress progress;
    Partition scan(disk, progress);
    scan.sweepForVolumes();
    const std::vector<std::string> expected{"Scanning partition.....", "found NTFS 1...", "found NTFS 2...",
                                            "found FAT 16..."};
    EXPECT_EQ(progress.statuses, expected);
}

TEST(Sweep, VolumeClaimingMoreThanTheDiskEndsTheSweep) {
    SparseDisk disk(40000);
    disk.set(3000, fat32BootSector(0x7FFFFFFF));
    disk.set(30000, exfatBootSector(8192));
    int result = 0;
    const auto rows = sweep(disk, {}, &result);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].startSector, 3000);
}

TEST(Sweep, EmptyOrUnreadableSources) {
    {
        SCOPED_TRACE("a zero-length source");
        MemoryReader empty({});
        int result = 0;
        EXPECT_TRUE(sweep(empty, {}, &result).empty());
        EXPECT_EQ(result, 1);
    }
    {
        SCOPED_TRACE("a start past the end");
        SparseDisk disk(4096);
        disk.set(100, fat32BootSector(4096));
        int result = 0;
        EXPECT_TRUE(sweep(disk, {.start = 10000}, &result).empty());
        EXPECT_EQ(result, 1);
    }
}

namespace {

// A hand-built disk whose chosen sectors fail as a dying disk's do: a read
// returns the sectors before the first bad one it touches, and nothing when
// it starts on one.
class DyingDisk final : public readWriteInterface {
public:
    DyingDisk(SparseDisk& disk, std::vector<std::pair<std::int64_t, std::int64_t>> bad) : disk(disk), bad(std::move(bad)) {
        totalSectors = disk.deviceTotalSectors();
        totalBytes = disk.sizeBytes();
    }
    bool open(const std::string&) override { return true; }
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override {
        std::uint64_t good = dest.size();
        for (const auto& [first, last] : bad) {
            const std::uint64_t from = static_cast<std::uint64_t>(first) * 512, to = static_cast<std::uint64_t>(last + 1) * 512;
            if (from < offset + good && to > offset) good = from > offset ? from - offset : 0;
        }
        if (good == 0) return 0;
        const std::size_t got = disk.readAt(offset, dest.first(static_cast<std::size_t>(good)));
        std::fill(dest.begin() + static_cast<std::ptrdiff_t>(got), dest.end(), 0);
        return got;
    }

private:
    SparseDisk& disk;
    std::vector<std::pair<std::int64_t, std::int64_t>> bad;
};

}  // namespace

// Sectors that cannot be read are passed over, and the sweep goes on to the
// volumes after them.
TEST(Sweep, GoesOnPastSectorsThatCannotBeRead) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::int64_t, std::int64_t>> bad;
        std::vector<Row> rows;
    };
    const Row first{"FAT32", 100, "2  MB"}, second{"FAT64", 3000 + 4096 + 2100, "4  MB"};
    const Case cases[] = {
        {"a bad sector just before the second volume's boot sector", {{second.startSector - 1, second.startSector - 1}},
         {first, second}},
        {"a bad run across a block boundary", {{6140, 6150}}, {first, second}},
        {"2 MiB in a row", {{4096, 8191}}, {first, second}},
        {"the first volume's boot sector", {{100, 100}}, {second}},
        {"every sector", {{0, 40000}}, {}},
    };
    SparseDisk disk(40000);
    disk.set(first.startSector, fat32BootSector(4096));
    disk.set(second.startSector, exfatBootSector(8192));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DyingDisk dying(disk, c.bad);
        int result = 0;
        EXPECT_EQ(sweep(dying, {}, &result), c.rows);
        // Only a source of which nothing could be read is an error.
        EXPECT_EQ(result == 1, !c.rows.empty());
    }
}

namespace {

// A disk of which nothing can be read. It asks for a stop as soon as a
// failed block is read again sector by sector, and remembers whether it was
// read after that.
class StopOnRetryDisk final : public readWriteInterface {
public:
    explicit StopOnRetryDisk(std::int64_t sectors) {
        totalSectors = sectors;
        totalBytes = static_cast<std::uint64_t>(sectors) * 512;
    }
    bool open(const std::string&) override { return true; }
    std::size_t readAt(std::uint64_t, std::span<std::uint8_t>) override {
        readAfterStop = readAfterStop || (stop && stop->requested());
        return 0;
    }
    std::size_t readSector(std::uint64_t, std::span<std::uint8_t>) override {
        readAfterStop = readAfterStop || (stop && stop->requested());
        if (stop) stop->request();
        return 0;
    }
    StopFlag* stop = nullptr;
    bool readAfterStop = false;
};

}  // namespace

// A dying disk may spend seconds on each sector it cannot read: Stop is
// honoured between the sectors of a block that is read again one by one.
TEST(Sweep, StopIsHonouredBetweenTheSectorsOfAFailedBlock) {
    StopOnRetryDisk disk(40000);
    RecordingProgress progress;
    Partition scan(disk, progress);
    disk.stop = &scan.control.stopRequested;
    EXPECT_EQ(scan.sweepForVolumes(), 1);
    EXPECT_FALSE(disk.readAfterStop);
    ASSERT_FALSE(progress.statuses.empty());
    EXPECT_EQ(progress.statuses.back(), "Scanned Partitions");
}

namespace {

// A disk whose reads from one sector on deliver less than a sector and then
// fail, as an image file truncated while it is swept, or a device that gives
// up part way through a request.
class FadingDisk final : public readWriteInterface {
public:
    FadingDisk(std::int64_t sectors, std::int64_t fadesAt) : fadesAt(fadesAt) {
        totalSectors = sectors;
        totalBytes = static_cast<std::uint64_t>(sectors) * 512;
        disk.set(100, fat32BootSector(4096));
    }
    bool open(const std::string&) override { return true; }
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override {
        ++reads;
        const std::uint64_t at = offset;
        if (at < static_cast<std::uint64_t>(fadesAt) * 512) {
            const std::uint64_t room = static_cast<std::uint64_t>(fadesAt) * 512 - at;
            if (dest.size() > room) {
                disk.readAt(offset, dest.first(static_cast<std::size_t>(room)));
                std::fill(dest.begin() + static_cast<std::ptrdiff_t>(room), dest.end(), 0);
                return static_cast<std::size_t>(room);
            }
            return disk.readAt(offset, dest);
        }
        std::fill(dest.begin(), dest.end(), 0);
        return std::min<std::size_t>(dest.size(), 100);  // less than one sector arrives
    }
    std::atomic<int> reads{0};

private:
    SparseDisk disk{1 << 20};
    std::int64_t fadesAt;
};

}  // namespace

// A read that delivers some bytes but less than one whole sector must not
// make the sweep repeat the same read for ever: it passes over what did not
// arrive, keeping what it found. The test stops a hung sweep itself after
// five seconds, so it fails, not hangs.
TEST(Sweep, ReadYieldingLessThanASectorEndsTheSweep) {
    FadingDisk disk(10000, 4096);
    Partition scan(disk);
    auto done = std::async(std::launch::async, [&] { return scan.sweepForVolumes(); });
    const bool ended = done.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended) scan.control.stopRequested.request();
    done.get();
    EXPECT_TRUE(ended) << "the sweep was still reading after " << disk.reads.load() << " reads";
    ASSERT_FALSE(scan.volumes.empty());
    EXPECT_EQ(scan.volumes[0].startSector, 100);
}
